#include "nettop_proc.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <memory>

namespace nettop {

namespace {

struct DirCloser {
    void operator()(DIR* d) const { ::closedir(d); }
};
using Dir = std::unique_ptr<DIR, DirCloser>;

std::string readSmallFile(int dirFd, const char* name)
{
    const int fd = ::openat(dirFd, name, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    std::string out;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0)
            break;
        out.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return out;
}

std::string readFile(const std::string& path)
{
    return readSmallFile(AT_FDCWD, path.c_str());
}

} // namespace

std::map<int32_t, Process> socketOwners(const std::string& root, int32_t self)
{
    std::map<int32_t, Process> out;
    const std::string procPath = root + "/proc";
    Dir proc(::opendir(procPath.c_str()));
    if (!proc)
        return out;
    const int procFd = ::dirfd(proc.get());
    char path[64];
    while (dirent* e = ::readdir(proc.get())) {
        int32_t pid = 0;
        const char* end = e->d_name + std::char_traits<char>::length(e->d_name);
        auto r = std::from_chars(e->d_name, end, pid);
        if (r.ec != std::errc() || r.ptr != end || pid <= 0 || pid == self)
            continue;

        // Relative to the open /proc: no path walk from the root per process.
        std::snprintf(path, sizeof path, "%d/fd", pid);
        const int fdDirFd = ::openat(procFd, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fdDirFd < 0)
            continue;   // another user's process, or gone
        Dir fds(::fdopendir(fdDirFd));
        if (!fds) {
            ::close(fdDirFd);
            continue;
        }
        Process p;
        while (dirent* f = ::readdir(fds.get())) {
            if (f->d_name[0] == '.')
                continue;
            char link[64];
            const ssize_t n = ::readlinkat(fdDirFd, f->d_name, link, sizeof link);
            if (n <= 0 || n == static_cast<ssize_t>(sizeof link))
                continue;
            if (const uint64_t inode = socketInode(std::string_view(link, static_cast<size_t>(n))))
                p.inodes.push_back(inode);
        }
        if (p.inodes.empty())
            continue;
        std::snprintf(path, sizeof path, "%d/comm", pid);
        std::string comm = readSmallFile(procFd, path);
        while (!comm.empty() && comm.back() == '\n')
            comm.pop_back();
        p.name = comm.empty() ? "?" : comm;
        out.emplace(pid, std::move(p));
    }
    return out;
}

std::vector<Socket> readProcNet(const std::string& root)
{
    std::vector<Socket> out;
    struct Table {
        const char* name;
        Proto proto;
        bool v6;
    };
    for (const Table& t : {Table{"tcp", Proto::tcp, false}, Table{"tcp6", Proto::tcp, true},
                           Table{"udp", Proto::udp, false}, Table{"udp6", Proto::udp, true}}) {
        auto part = parseProcNet(readFile(root + "/proc/net/" + t.name), t.proto, t.v6);
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

} // namespace nettop
