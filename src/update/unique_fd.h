#pragma once
// A file descriptor that closes itself, the names in an open directory and
// whole writes: the pieces every descriptor-relative walk of the updater
// needs.

#include <QByteArray>

#include <cstddef>
#include <optional>
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

// Writes all `size` bytes, going on after interruptions. 0, or the errno
// of the write that failed.
int writeAll(int fd, const char* data, size_t size);

// Whether a write failed for want of room: the file system is full or the
// user's quota is used up.
bool isNoSpace(int error);
