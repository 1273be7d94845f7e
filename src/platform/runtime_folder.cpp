#include "platform/runtime_folder.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr mode_t ownMode = 0700;

std::string octal(mode_t mode)
{
    char text[16];
    std::snprintf(text, sizeof text, "%04o", unsigned(mode & 07777));
    return text;
}

// Fills `address` with `path`; false when it does not fit.
bool fill(sockaddr_un& address, const std::string& path)
{
    address = {};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path || path.find('\0') != std::string::npos)
        return false;
    std::memcpy(address.sun_path, path.data(), path.size());
    return true;
}

bool plainName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos
        && name.find('\0') == std::string::npos;
}

} // namespace

RuntimeFolder::RuntimeFolder(const std::string& given)
{
    std::string path = given;
    // "/run/user/1000/" names the same folder, but a trailing slash would
    // make the open follow a link there.
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    if (path.empty()) {
        refusal_ = "is not set";
        return;
    }
    if (path.front() != '/') {
        refusal_ = "is not an absolute path";
        return;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        struct stat st {};
        // Only for the message: the folder is never used by this name.
        if (error == ELOOP || (error == ENOTDIR && ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)))
            refusal_ = "is a link";
        else if (error == ENOTDIR)
            refusal_ = "is not a folder";
        else
            refusal_ = std::string("cannot be opened (") + std::strerror(error) + ")";
        return;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        refusal_ = std::string("cannot be examined (") + std::strerror(errno) + ")";
    else if (!S_ISDIR(st.st_mode))
        refusal_ = "is not a folder";
    else if (st.st_uid != ::geteuid())
        refusal_ = "belongs to another user (uid " + std::to_string(st.st_uid) + ")";
    else if ((st.st_mode & 07777) != ownMode)
        refusal_ = "has mode " + octal(st.st_mode) + ", not 0700";
    if (!refusal_.empty()) {
        ::close(fd);
        return;
    }
    fd_ = fd;
}

RuntimeFolder::~RuntimeFolder()
{
    if (fd_ >= 0)
        ::close(fd_);
}

std::string RuntimeFolder::address(const std::string& name) const
{
    return "/proc/self/fd/" + std::to_string(fd_) + "/" + name;
}

int RuntimeFolder::socketFor(const std::string& name, sockaddr_un& address) const
{
    if (!usable() || !plainName(name) || !fill(address, this->address(name))) {
        errno = usable() ? ENAMETOOLONG : EBADF;
        return -1;
    }
    return ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
}

int RuntimeFolder::connect(const std::string& name, int timeoutMs) const
{
    sockaddr_un to{};
    const int fd = socketFor(name, to);
    if (fd < 0)
        return -1;
    // A local connect never waits on its own: it fails at once with EAGAIN
    // while the listener's queue is full, so that is tried again.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0)
            return fd;
        const int error = errno;
        if (error == EINTR)
            continue;
        if (error != EAGAIN || std::chrono::steady_clock::now() >= deadline) {
            ::close(fd);
            errno = error;
            return -1;
        }
        ::usleep(10000);
    }
}

int RuntimeFolder::listen(const std::string& name, int backlog) const
{
    sockaddr_un at{};
    const int fd = socketFor(name, at);
    if (fd < 0)
        return -1;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&at), sizeof at) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    // The folder already keeps others out; the socket says so too, as
    // the user's own.
    if (::fchmodat(fd_, name.c_str(), ownMode, 0) != 0 || ::listen(fd, backlog) != 0) {
        const int error = errno;
        ::unlinkat(fd_, name.c_str(), 0);
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

bool RuntimeFolder::removeSocket(const std::string& name) const
{
    if (!usable() || !plainName(name))
        return false;
    struct stat st {};
    if (::fstatat(fd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT;
    if (!S_ISSOCK(st.st_mode) || st.st_uid != ::geteuid())
        return false;
    return ::unlinkat(fd_, name.c_str(), 0) == 0 || errno == ENOENT;
}

std::optional<uid_t> RuntimeFolder::peerUid(int socketFd)
{
    ucred credentials{};
    socklen_t size = sizeof credentials;
    if (::getsockopt(socketFd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0
        || size != sizeof credentials)
        return std::nullopt;
    return credentials.uid;
}
