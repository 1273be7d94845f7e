#include "platform/nettop_producer.h"

#include "platform/netlink_diag.h"
#include "platform/proc_files.h"

#include <fcntl.h>
#include <net/if.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

namespace nettop {

namespace {

struct UniqueFd {
    int fd;
    ~UniqueFd()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

std::string interfaceName(uint32_t index)
{
    char name[IF_NAMESIZE] = {};
    return if_indextoname(index, name) ? std::string(name) : std::string();
}

} // namespace

Producer::Producer(std::string root, int32_t exclude)
    : root_(std::move(root))
    , exclude_(exclude)
    , uid_(::geteuid())
{
}

Producer::~Producer()
{
    if (procFd_ >= 0)
        ::close(procFd_);
    if (diagFd_ >= 0)
        ::close(diagFd_);
}

std::string Producer::poll()
{
    refresh();
    if (diagFd_ < 0)
        diagFd_ = openDiagSocket();
    if (diagFd_ < 0 || !dumpSockets(diagFd_, sockets_)) {
        if (diagFd_ >= 0)
            ::close(diagFd_);
        diagFd_ = -1;
        sockets_ = readProcNet(root_);
    }
    return text(sockets_);
}

std::string Producer::poll(const std::vector<Socket>& sockets)
{
    refresh();
    return text(sockets);
}

bool Producer::openProc()
{
    if (procFd_ < 0)
        procFd_ = ::open((root_ + "/proc").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return procFd_ >= 0;
}

// Lists the processes; reads the new ones, and those holding a listed socket
// whose descriptors changed. Processes that are gone are forgotten.
void Producer::refresh()
{
    ++poll_;
    reads_ = 0;
    if (!openProc() || !ProcFiles::listPids(procFd_, pids_)) {
        entries_.clear();
        return;
    }
    for (const int32_t pid : pids_) {
        if (pid == exclude_)
            continue;
        Entry& e = entries_[pid];
        e.listed = poll_;
        if (e.read == 0) {
            restat(pid, e);
            read(pid, e);
        } else if (!countsReliable_ || (e.watched && restat(pid, e))) {
            read(pid, e);
        }
    }
    std::erase_if(entries_, [&](const auto& item) { return item.second.listed != poll_; });
}

// True when the descriptor directory changed since it was last looked at.
bool Producer::restat(int32_t pid, Entry& e)
{
    e.statted = poll_;
    char path[32];
    std::snprintf(path, sizeof path, "%d/fd", pid);
    struct stat st;
    Stamp stamp;
    if (::fstatat(procFd_, path, &st, 0) == 0)
        stamp = {st.st_ino, st.st_size, st.st_mtim.tv_sec * 1'000'000'000 + st.st_mtim.tv_nsec, st.st_uid};
    const bool changed = !(stamp == e.stamp);
    e.stamp = stamp;
    return changed;
}

void Producer::read(int32_t pid, Entry& e)
{
    e.read = poll_;
    e.inodes.clear();
    ++reads_;
    char path[32];
    std::snprintf(path, sizeof path, "%d/fd", pid);
    const UniqueFd dir{::openat(procFd_, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    e.readable = dir.fd >= 0;   // else another user's process, or gone
    if (!e.readable)
        return;
    int64_t count = 0;
    ProcFiles::forEachEntry(dir.fd, [&](const char* name) {
        ++count;
        char link[64];
        const ssize_t n = ::readlinkat(dir.fd, name, link, sizeof link);
        if (n <= 0 || n == static_cast<ssize_t>(sizeof link))
            return;
        if (const uint64_t inode = socketInode(std::string_view(link, static_cast<size_t>(n))))
            e.inodes.push_back(inode);
    });
    // Kernels before 6.2 give no count: then every process is read each poll.
    if (count > 0 && e.stamp.size == 0)
        countsReliable_ = false;
}

// Sockets with no known holder that one of our processes may hold. Sockets
// of other users' processes cannot be attributed and never ask for a look;
// neither do those a full walk has already failed to place.
bool Producer::strangers(const std::vector<Socket>& sockets) const
{
    for (const Socket& s : sockets)
        if (s.inode != 0 && (uid_ == 0 || s.uid == uid_) && !ownerOf_.contains(s.inode)
            && !unowned_.contains(s.inode))
            return true;
    return false;
}

void Producer::placeStrangers(const std::vector<Socket>& sockets)
{
    buildOwners();
    if (!strangers(sockets))
        return;
    // A process that held no listed socket and now opened one: its count
    // changed, and one stat each finds it.
    for (auto& [pid, e] : entries_)
        if (e.statted != poll_ && e.read != poll_ && restat(pid, e))
            read(pid, e);
    buildOwners();
    if (!strangers(sockets))
        return;
    // A descriptor swapped for another leaves the count as it was: read all.
    for (auto& [pid, e] : entries_)
        if (e.read != poll_ && e.readable)
            read(pid, e);
    buildOwners();
}

// Owners of the listed sockets, lowest pid first: the map is ordered and the
// first claim stays. Every holder of a listed socket is watched, not only its
// owner: the owner may close its copy and leave the socket to another.
void Producer::buildOwners()
{
    ownerOf_.clear();
    for (auto& [pid, e] : entries_) {
        e.watched = false;
        for (uint64_t inode : e.inodes) {
            if (listed_.contains(inode)) {
                e.watched = true;
                ownerOf_.try_emplace(inode, pid);
            }
        }
    }
}

std::string Producer::text(const std::vector<Socket>& sockets)
{
    listed_.clear();
    for (const Socket& s : sockets)
        if (s.inode != 0)
            listed_.insert(s.inode);
    placeStrangers(sockets);
    unowned_.clear();
    for (uint64_t inode : listed_)
        if (!ownerOf_.contains(inode))
            unowned_.insert(inode);
    const auto groups = groupByOwner(sockets, ownerOf_);

    // A process's totals only grow: a socket it closes or hands over leaves
    // its last-seen bytes behind, so the reader's difference of two totals
    // does not fall when a connection ends.
    std::unordered_map<uint64_t, Flow> next;
    next.reserve(flows_.size() + 16);
    for (const auto& [pid, list] : groups) {
        for (const Socket* s : list) {
            Flow f{pid, s->bytesIn, s->bytesOut};
            if (auto it = flows_.find(s->inode); it != flows_.end()) {
                Flow& was = it->second;
                // Counters never fall on one socket: if they did, the inode
                // was reused and this socket is new.
                if (s->bytesIn >= was.in && s->bytesOut >= was.out) {
                    if (was.pid == pid) {
                        f.baseIn = was.baseIn;
                        f.baseOut = was.baseOut;
                        was.kept = true;
                    } else {
                        f.baseIn = was.in;
                        f.baseOut = was.out;
                    }
                }
            }
            next.emplace(s->inode, f);
        }
    }
    for (const auto& [inode, was] : flows_) {
        if (was.kept)
            continue;
        if (auto e = entries_.find(was.pid); e != entries_.end()) {
            e->second.retiredIn += was.in - was.baseIn;
            e->second.retiredOut += was.out - was.baseOut;
        }
    }
    flows_ = std::move(next);

    static const std::vector<const Socket*> none;
    std::string out;
    out.reserve(groups.size() * 40 + sockets.size() * 80);
    char path[32];
    for (const auto& [pid, e] : entries_) {
        const auto g = groups.find(pid);
        if (g == groups.end() && e.retiredIn == 0 && e.retiredOut == 0)
            continue;
        const auto& list = g != groups.end() ? g->second : none;
        uint64_t in = e.retiredIn, outBytes = e.retiredOut;
        for (const Socket* s : list) {
            const Flow& f = flows_.at(s->inode);
            in += s->bytesIn - f.baseIn;
            outBytes += s->bytesOut - f.baseOut;
        }
        // Names are read as printed: exec and renames change them.
        std::snprintf(path, sizeof path, "%d/comm", pid);
        ProcFiles::readAt(procFd_, path, comm_);
        while (!comm_.empty() && comm_.back() == '\n')
            comm_.pop_back();
        appendProcess(out, comm_.empty() ? std::string_view("?") : std::string_view(comm_), pid, in, outBytes,
                      list, interfaceName);
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
    std::string text;
    for (const Table& t : {Table{"tcp", Proto::tcp, false}, Table{"tcp6", Proto::tcp, true},
                           Table{"udp", Proto::udp, false}, Table{"udp6", Proto::udp, true}}) {
        ProcFiles::readAt(AT_FDCWD, (root + "/proc/net/" + t.name).c_str(), text);
        auto part = parseProcNet(text, t.proto, t.v6);
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

} // namespace nettop
