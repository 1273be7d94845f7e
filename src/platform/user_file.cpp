#include "platform/user_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <unistd.h>

namespace UserFile {

State read(const std::string& path, uint64_t maxBytes, std::string* out)
{
    if (out)
        out->clear();
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a
    // writer. O_NOCTTY: a terminal at the path must not become ours.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return State::missing;
        // A dangling link or a file we may not read still exists.
        struct stat st{};
        return ::lstat(path.c_str(), &st) == 0 ? State::refused : State::missing;
    }
    struct stat st{};
    State state = State::refused;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && uint64_t(st.st_size) <= maxBytes) {
        state = State::regular;
        if (out) {
            // Read at most one byte past the cap: a file that grew since the
            // check is refused instead of read without bound.
            out->resize(size_t(st.st_size) + 1);
            size_t got = 0;
            for (;;) {
                if (got == out->size()) {
                    if (got > maxBytes)
                        break;
                    out->resize(std::min<size_t>(out->size() * 2 + 4096, maxBytes + 1));
                }
                const ssize_t n = ::read(fd, out->data() + got, out->size() - got);
                if (n < 0 && errno == EINTR)
                    continue;
                if (n < 0) {
                    state = State::refused;
                    break;
                }
                if (n == 0)
                    break;
                got += size_t(n);
            }
            if (got > maxBytes)
                state = State::refused;
            out->resize(state == State::regular ? got : 0);
        }
    }
    ::close(fd);
    return state;
}

std::string asideName(const std::string& base, int attempt)
{
    return attempt == 0 ? base : base + "-" + std::to_string(attempt + 1);
}

Kept moveAside(const std::string& path, const std::string& base)
{
    for (int attempt = 0; attempt < asideNames; ++attempt) {
        const std::string name = asideName(base, attempt);
        // Never over another rescue: rename() would replace a file there.
        if (::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, name.c_str(), RENAME_NOREPLACE) == 0)
            return {true, name, 0, true};
        int error = errno;
        if (error == EINVAL || error == ENOSYS) {
            // A file system without the flag: look, then rename.
            struct stat st{};
            if (::lstat(name.c_str(), &st) == 0)
                continue;
            if (::rename(path.c_str(), name.c_str()) == 0)
                return {true, name, 0, true};
            error = errno;
        }
        if (error == EEXIST || error == ENOTEMPTY)
            continue;
        struct stat st{};
        if (error == ENOENT && ::lstat(path.c_str(), &st) != 0 && errno == ENOENT)
            return {true, {}, 0}; // gone already: nothing left to keep
        return {false, {}, error};
    }
    return {false, {}, EEXIST};
}

int writeAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            return EIO;
        data += n;
        size -= size_t(n);
    }
    return 0;
}

bool isNoSpace(int error) { return error == ENOSPC || error == EDQUOT; }

namespace {

constexpr mode_t copyMode = 0600;

// Whether `name` is a copy of `content` that an earlier rescue made: a link
// there, or a second name of some other file, may lead anywhere, and a file
// of another owner or mode is someone else's, whatever it holds.
bool isOurCopy(const std::string& name, const std::string& content)
{
    const int fd = ::open(name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st{};
    bool ours = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid()
        && st.st_nlink == 1 && (st.st_mode & 07777) == copyMode && uint64_t(st.st_size) == content.size();
    if (ours) {
        // Room for one byte more: a file that grew since is not the copy.
        std::string there(content.size() + 1, '\0');
        size_t got = 0;
        while (got < there.size()) {
            const ssize_t n = ::read(fd, there.data() + got, there.size() - got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            got += size_t(n);
        }
        ours = got == content.size() && there.compare(0, got, content) == 0;
    }
    ::close(fd);
    return ours;
}

} // namespace

Kept copyAside(const std::string& path, const std::string& base, uint64_t maxBytes)
{
    std::string content;
    switch (read(path, maxBytes, &content)) {
    case State::missing:
        return {true, {}, 0};
    case State::refused:
        return {false, {}, EINVAL};
    case State::regular:
        break;
    }
    for (int attempt = 0; attempt < asideNames; ++attempt) {
        const std::string name = asideName(base, attempt);
        // O_EXCL: the name is ours only if no one else made it first.
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, copyMode);
        if (fd < 0) {
            const int error = errno;
            if (error != EEXIST)
                return {false, {}, error};
            if (isOurCopy(name, content))
                return {true, name, 0};
            continue;
        }
        // The mode marks it as ours, whatever the umask took away.
        int error = ::fchmod(fd, copyMode) == 0 ? 0 : errno;
        if (!error)
            error = writeAll(fd, content.data(), content.size());
        if (!error && ::fsync(fd) != 0)
            error = errno;
        ::close(fd);
        if (!error)
            return {true, name, 0, true};
        ::unlink(name.c_str());
        return {false, {}, error};
    }
    return {false, {}, EEXIST};
}

std::string currentPath(int dirFd)
{
    char link[4096];
    const std::string self = "/proc/self/fd/" + std::to_string(dirFd);
    const ssize_t n = ::readlink(self.c_str(), link, sizeof link - 1);
    return n > 0 && link[0] == '/' ? std::string(link, size_t(n)) : std::string();
}

int renameNoReplace(int fromDir, const char* from, int toDir, const char* to)
{
#ifdef SYS_renameat2
    if (::syscall(SYS_renameat2, fromDir, from, toDir, to, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return -1;
#endif
    struct stat st {};
    if (::fstatat(toDir, to, &st, AT_SYMLINK_NOFOLLOW) == 0) {
        errno = EEXIST;
        return -1;
    }
    return ::renameat(fromDir, from, toDir, to);
}

Lock::Lock(const std::string& path, int attempts)
    : Lock(AT_FDCWD, path, attempts)
{
}

Lock::Lock(int dirFd, const std::string& name, int attempts)
{
    fd_ = ::openat(dirFd, name.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
    if (fd_ < 0)
        return;
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid())
        return;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
            held_ = true;
            return;
        }
        if (errno != EWOULDBLOCK && errno != EINTR)
            return;
        ::usleep(10000);
    }
}

Lock::~Lock()
{
    if (fd_ >= 0)
        ::close(fd_);
}

} // namespace UserFile
