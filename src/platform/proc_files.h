#pragma once
// Small, allocation-light readers of kernel files. Qt-free so the stand-in
// tools can share them. Paths are absolute; callers prefix their root.

#include <cstdint>
#include <cerrno>
#include <dirent.h>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace ProcFiles {

// Reads a whole (small) file into `out`, reusing its capacity. Returns false
// and leaves errno's value in *error when the file cannot be opened or read.
bool read(const std::string& path, std::string& out, int* error = nullptr);

// The same for a path relative to an open directory.
bool readAt(int dirFd, const char* path, std::string& out, int* error = nullptr);

// The same for a file the kernel writes out whole on the first read: one
// record such as /proc/PID/stat, io, statm or status. A read shorter than
// asked is its end, which spares the second read that only finds it. Not
// for tables (/proc/net/*), whose reads stop short at a record boundary.
bool readRecordAt(int dirFd, const char* path, std::string& out, int* error = nullptr);

// The file's text, or nothing.
std::optional<std::string> read(const std::string& path);

// A symbolic link's target, or nothing (errno's value in *error).
std::optional<std::string> readLink(const std::string& path, int* error = nullptr);

// Where a process's exe link (/proc/PID/exe) points, without the
// " (deleted)" the kernel adds once the file is gone; nothing when refused.
std::optional<std::string> exeLink(const std::string& path);

// Names in a directory, "." and ".." left out; empty when unreadable.
std::vector<std::string> list(const std::string& path);

// Entries in a directory other than "." and ".."; -1 when it cannot be opened.
int countEntries(const std::string& path, int* error = nullptr);
int countEntriesAt(int dirFd, const char* path, int* error = nullptr);

// The process ids listed in an open /proc, read from its start, so that one
// descriptor serves every walk. Replaces `out`; false when it cannot be read.
bool listPids(int procFd, std::vector<int32_t>& out);

bool exists(const std::string& path);

// An error that means the reader may not look, as opposed to one that means
// the file or the process is gone.
inline bool refused(int error)
{
    return error == EACCES || error == EPERM;
}

// An error that means this process or the machine has run short of
// descriptors or memory: nothing can be read until that passes.
inline bool exhausted(int error)
{
    return error == EMFILE || error == ENFILE || error == ENOMEM;
}

// Whether the process whose /proc entry `owner` owns is this reader's to
// read in full. Where the kernel keeps no io file to refuse, the entry's
// owner is what tells another user's process from one's own: the kernel
// hands an entry to root as the process turns undumpable, which is when it
// would refuse the file too.
inline bool readsInFull(uint32_t owner)
{
    const uid_t me = ::geteuid();
    return me == 0 || owner == me;
}

inline bool isDots(const char* name)
{
    return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

// Calls f(name) for each entry of an open directory but "." and "..", from
// its start. Straight getdents64 into a stack buffer: no DIR allocation and
// no fcntl per open, and /proc with a thousand processes fits in one or two
// calls. False when the directory cannot be read.
template <typename F>
bool forEachEntry(int fd, F&& f)
{
    if (::lseek(fd, 0, SEEK_SET) < 0)
        return false;
    alignas(8) char buf[32768];
    for (;;) {
        const ssize_t n = ::getdents64(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        for (ssize_t pos = 0; pos < n;) {
            const auto* e = reinterpret_cast<const dirent64*>(buf + pos);
            pos += e->d_reclen;
            if (!isDots(e->d_name))
                f(e->d_name);
        }
    }
}

// "/" becomes "" so that root + "/proc/..." is a plain path; any other root
// loses a trailing slash.
std::string normaliseRoot(std::string root);

} // namespace ProcFiles
