#include "platform/user_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
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

bool moveAside(const std::string& path, const std::string& aside)
{
    struct stat st{};
    if (::lstat(path.c_str(), &st) != 0)
        return errno == ENOENT; // gone already: nothing left to keep
    // rename() replaces a file at `aside` but not a directory there.
    if (::rename(path.c_str(), aside.c_str()) == 0)
        return true;
    if (::unlink(aside.c_str()) != 0 && ::rmdir(aside.c_str()) != 0)
        return false;
    return ::rename(path.c_str(), aside.c_str()) == 0;
}

} // namespace UserFile
