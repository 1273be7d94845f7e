#pragma once
// Reading files the user can put anything at: the settings and the incident
// store. Only a regular file within a size cap is read; a FIFO, a device, a
// directory or a huge file is refused without ever blocking on it.

#include <cstddef>
#include <cstdint>
#include <string>

namespace UserFile {

enum class State {
    missing,  // nothing at the path
    regular,  // a regular file within the cap
    refused,  // something else, or too large, or not openable
};

// What is at `path` (links followed), checked on an open descriptor so that
// a file swapped in between the check and the read cannot slip through.
// With `out`, a regular file's whole content is read into it.
State read(const std::string& path, uint64_t maxBytes, std::string* out = nullptr);

// Where a file the program could not read is kept: beside it, under
// `base` or, when that name is taken, `base`-2, -3 and on. Nothing already
// there is ever replaced, so every rescued copy keeps a name of its own.
struct Kept {
    bool ok = false;  // kept, or nothing was there to keep
    std::string path; // the name it is kept under; empty when nothing was there
    int error = 0;    // errno of the step that failed
    bool made = false; // this call put it there (not an earlier run's copy)
};

// Moves whatever is at `path` (a link itself, not its target) to the first
// free name.
Kept moveAside(const std::string& path, const std::string& base);

// Copies the regular file at `path`, byte for byte, to a file created under
// the first free name. A copy an earlier run made that holds the same bytes
// is the same rescue (a run that wrote nothing): it is named and no new one
// is made. Only a file that looks like one of ours counts: a regular file,
// not reached through a link, of this user, mode 0600, with no other name.
Kept copyAside(const std::string& path, const std::string& base, uint64_t maxBytes);

// Writes all `size` bytes, going on after interruptions. 0, or the errno
// of the write that failed.
int writeAll(int fd, const char* data, size_t size);

// Whether a write failed for want of room: the file system is full or the
// user's quota is used up.
bool isNoSpace(int error);

// Renames without replacing what may stand at `to`; where the filesystem
// cannot promise that, a plain rename once `to` is seen missing. 0, or -1
// with errno set.
int renameNoReplace(int fromDir, const char* from, int toDir, const char* to);

// The path the directory open at `dirFd` has now, as the kernel names it,
// whatever it was called when opened; empty when it has none.
std::string currentPath(int dirFd);

// An exclusive lock on a file of its own at `path`, made if missing (not
// through a link, and only a regular file), tried for up to `attempts`
// times 10 ms. A holder that is stopped keeps nobody waiting for good:
// past that the caller goes ahead unlocked. The lock goes with the
// descriptor, so a killed holder never leaves it taken. A file there of
// another user is not one every copy shares, and is not taken.
class Lock {
public:
    Lock(const std::string& path, int attempts);
    // The same for `name` in the folder held open as `dirFd`.
    Lock(int dirFd, const std::string& name, int attempts);
    ~Lock();
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

    // Whether this holds the lock (else the caller went ahead unlocked).
    bool held() const { return held_; }

private:
    int fd_ = -1;
    bool held_ = false;
};

// The name tried `attempt` times after `base` (0 gives `base`).
std::string asideName(const std::string& base, int attempt);
// How many names are tried before giving up.
constexpr int asideNames = 1000;

} // namespace UserFile
