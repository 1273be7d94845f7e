#pragma once
// The text tavrin-nettop prints, produced by a long-lived object that keeps
// what it learnt between polls: which process holds which socket, and the
// bytes of sockets each process has closed. Re-reading every descriptor of
// every process at each poll costs thousands of system calls. Instead a
// process is read when it is new; one holding a listed socket is read again
// when its descriptor count changes; the rest are looked at only when a
// socket of ours turns up that no known process holds.

#include "platform/nettop_format.h"

#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace nettop {

class Producer {
public:
    // `root` is the tree holding proc/ ("" or "/" on a live system).
    // `exclude` is a pid never read: the one-shot tool holds only what its
    // parent leaked to it.
    explicit Producer(std::string root = {}, int32_t exclude = 0);
    ~Producer();
    Producer(const Producer&) = delete;
    Producer& operator=(const Producer&) = delete;

    // One snapshot of the kernel's sockets. Without netlink, the /proc tables
    // still list every socket, only without byte counters.
    std::string poll();

    // One snapshot of the given sockets.
    std::string poll(const std::vector<Socket>& sockets);

    // Descriptor directories read by the last poll.
    size_t lastReads() const { return reads_; }

private:
    // What stat says of /proc/PID/fd: a new process under a reused pid has a
    // new inode, and recent kernels give the descriptor count as the size.
    struct Stamp {
        uint64_t ino = 0;
        int64_t size = -1;
        int64_t mtime = 0;   // fixture trees change it instead
        uint32_t uid = 0;    // a process that changes user may become readable
        bool operator==(const Stamp&) const = default;
    };
    struct Entry {
        Stamp stamp;
        std::vector<uint64_t> inodes;   // every socket it holds, TCP and UDP or not
        bool readable = false;
        bool watched = false;           // holds a socket of the last dump
        uint64_t retiredIn = 0, retiredOut = 0;   // sockets it no longer holds
        uint64_t listed = 0, statted = 0, read = 0;   // poll numbers
    };
    // A socket as last seen under its owner. `base` is what it had moved when
    // it was handed to this owner: those bytes were counted for the last one.
    struct Flow {
        int32_t pid = 0;
        uint64_t in = 0, out = 0;
        uint64_t baseIn = 0, baseOut = 0;
        bool kept = false;
    };

    bool openProc();
    void refresh();
    bool restat(int32_t pid, Entry& e);
    void read(int32_t pid, Entry& e);
    bool strangers(const std::vector<Socket>& sockets) const;
    void placeStrangers(const std::vector<Socket>& sockets);
    void buildOwners();
    std::string text(const std::vector<Socket>& sockets);

    std::string root_;
    int32_t exclude_;
    uint32_t uid_;
    int procFd_ = -1;
    std::vector<int32_t> pids_;   // reused between polls
    int diagFd_ = -1;
    bool countsReliable_ = true;
    uint64_t poll_ = 0;
    size_t reads_ = 0;
    std::map<int32_t, Entry> entries_;
    std::unordered_map<uint64_t, int32_t> ownerOf_;
    std::unordered_set<uint64_t> listed_;    // inodes of the last dump
    std::unordered_set<uint64_t> unowned_;   // of those, held by no process we can read
    std::unordered_map<uint64_t, Flow> flows_;
    std::vector<Socket> sockets_;
    std::string comm_;
};

// TCP and UDP over IPv4 and IPv6 from root/proc/net/{tcp,tcp6,udp,udp6}.
std::vector<Socket> readProcNet(const std::string& root);

} // namespace nettop
