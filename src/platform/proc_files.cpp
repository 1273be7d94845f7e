#include "platform/proc_files.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <string_view>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ProcFiles {

namespace {

bool readFrom(int dirFd, const char* path, std::string& out, int* error, bool shortReadEnds)
{
    out.clear();
    const int fd = ::openat(dirFd, path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (error)
            *error = errno;
        return false;
    }
    // Kernel files report size 0; read until end of file. Most fit in one
    // chunk, and a stack chunk spares zero-filling the string each time.
    char chunk[4096];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (error)
                *error = errno; // /proc refuses some files only at read time
            ::close(fd);
            out.clear();
            return false;
        }
        if (n == 0)
            break;
        out.append(chunk, size_t(n));
        if (shortReadEnds && size_t(n) < sizeof chunk)
            break;
    }
    ::close(fd);
    return true;
}

} // namespace

bool readAt(int dirFd, const char* path, std::string& out, int* error)
{
    return readFrom(dirFd, path, out, error, false);
}

bool readRecordAt(int dirFd, const char* path, std::string& out, int* error)
{
    return readFrom(dirFd, path, out, error, true);
}

bool read(const std::string& path, std::string& out, int* error)
{
    return readAt(AT_FDCWD, path.c_str(), out, error);
}

std::optional<std::string> read(const std::string& path)
{
    std::string out;
    if (!read(path, out))
        return std::nullopt;
    return out;
}

std::optional<std::string> readLink(const std::string& path, int* error)
{
    char buf[4096];
    const ssize_t n = ::readlink(path.c_str(), buf, sizeof buf);
    if (n < 0) {
        if (error)
            *error = errno;
        return std::nullopt;
    }
    return std::string(buf, static_cast<size_t>(n));
}

std::optional<std::string> exeLink(const std::string& path)
{
    auto link = readLink(path);
    constexpr std::string_view deleted = " (deleted)";
    if (link && link->size() > deleted.size() && link->ends_with(deleted))
        link->resize(link->size() - deleted.size());
    return link;
}

std::vector<std::string> list(const std::string& path)
{
    std::vector<std::string> names;
    DIR* dir = ::opendir(path.c_str());
    if (!dir)
        return names;
    while (const dirent* e = ::readdir(dir)) {
        if (!isDots(e->d_name))
            names.emplace_back(e->d_name);
    }
    ::closedir(dir);
    return names;
}

int countEntriesAt(int dirFd, const char* path, int* error)
{
    const int fd = ::openat(dirFd, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        if (error)
            *error = errno;
        return -1;
    }
    int n = 0;
    const bool ok = forEachEntry(fd, [&](const char*) { ++n; });
    if (!ok && error)
        *error = errno;
    ::close(fd);
    return ok ? n : -1;
}

bool listPids(int procFd, std::vector<int32_t>& out)
{
    out.clear();
    return forEachEntry(procFd, [&](const char* name) {
        const char* end = name + std::strlen(name);
        int32_t pid = 0;
        auto [p, ec] = std::from_chars(name, end, pid);
        if (ec == std::errc() && p == end && pid > 0)
            out.push_back(pid);
    });
}

int countEntries(const std::string& path, int* error)
{
    return countEntriesAt(AT_FDCWD, path.c_str(), error);
}

bool exists(const std::string& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

std::string normaliseRoot(std::string root)
{
    while (!root.empty() && root.back() == '/')
        root.pop_back();
    return root;
}

} // namespace ProcFiles
