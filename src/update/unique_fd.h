#pragma once
// A file descriptor that closes itself and the names in an open directory:
// the pieces every descriptor-relative walk of the updater needs. Whole
// writes are UserFile::writeAll.

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <optional>
#include <sys/stat.h>
#include <utility>
#include <vector>

struct UniqueFd {
    int fd = -1;
    explicit UniqueFd(int f = -1) : fd(f) {}
    ~UniqueFd();
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    UniqueFd(UniqueFd&& o) noexcept : fd(std::exchange(o.fd, -1)) {}
    UniqueFd& operator=(UniqueFd&& o) noexcept
    {
        std::swap(fd, o.fd);
        return *this;
    }
};

// The names in the directory open at `dirFd`, without "." and "..".
// Read through a description of its own, so the caller's descriptor keeps
// its offset. Nothing when the directory cannot be read.
std::optional<std::vector<QByteArray>> entryNames(int dirFd);

// Opens `relative` below the directory open at `dirFd` without following a
// link anywhere on the way and without stepping above it: openat2 with
// RESOLVE_BENEATH and RESOLVE_NO_SYMLINKS where the kernel has it, else
// one O_NOFOLLOW step per part. `flags` are for the last part, which is
// never made (no O_CREAT).
UniqueFd openBeneath(int dirFd, const QByteArray& relative, int flags);

// Opens `path` for reading only if it is a regular file, a link to one
// followed. It is opened without waiting, so a FIFO or a device is refused
// at once rather than read.
struct RegularFile {
    UniqueFd file;          // invalid when refused
    int error = 0;          // errno of the open or the stat that failed
    bool notAFile = false;  // something other than a regular file is there
    struct stat st {};      // what the open file is
};
RegularFile openRegular(const QByteArray& path);

// Whether a name's bytes are well-formed UTF-8: no overlong forms, no
// surrogates, nothing past U+10FFFF. Judged on the bytes alone, so the
// answer never depends on the locale.
bool isUtf8(const QByteArray& name);

// A name as text for a message: valid UTF-8 as it is, every other byte (and
// every control character) written as \xNN.
QString shownName(const QByteArray& name);
