#pragma once
// The pure half of tavrin-nettop: the socket list it gathers, the text it
// prints, and the parsers of what the kernel hands it. No I/O here, and no Qt,
// so the tool stays small and quick to start.

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace nettop {

enum class Proto : uint8_t { tcp, udp };

// Kernel TCP state numbers (include/net/tcp_states.h).
enum TcpState : uint8_t {
    established = 1, synSent, synRecv, finWait1, finWait2, timeWait, closed,
    closeWait, lastAck, listen, closing, newSynRecv, boundInactive,
};

struct Socket {
    Proto proto = Proto::tcp;
    bool v6 = false;            // address family as the kernel reports it
    uint8_t local[16] = {};     // network byte order; first 4 bytes used for IPv4
    uint8_t remote[16] = {};
    uint16_t localPort = 0;     // host byte order
    uint16_t remotePort = 0;
    uint8_t state = 0;
    uint64_t inode = 0;
    uint32_t uid = 0;           // of the process that created it
    uint32_t ifindex = 0;       // bound interface, for IPv6 link-local zones
    uint64_t bytesIn = 0;
    uint64_t bytesOut = 0;
};

struct Process {
    std::string name;
    std::vector<uint64_t> inodes;   // socket inodes the process holds
};

// The listed sockets of each owner, lowest pid first, each socket once;
// sockets no pid holds are left out.
std::map<int32_t, std::vector<const Socket*>> groupByOwner(const std::vector<Socket>& sockets,
                                                            const std::unordered_map<uint64_t, int32_t>& ownerOf);

// One process line with the given totals, then one line per socket.
void appendProcess(std::string& out, std::string_view name, int32_t pid, uint64_t bytesIn, uint64_t bytesOut,
                   const std::vector<const Socket*>& sockets, std::string (*zoneName)(uint32_t) = nullptr);

// One snapshot as text: for each process that owns at least one listed
// socket (lowest pid first) a process line, then its sockets. A socket held
// by several pids is attributed to the lowest; sockets nobody listed holds
// are left out. `zoneName` maps an interface index to its name ("" unknown).
std::string format(const std::vector<Socket>& sockets, const std::map<int32_t, Process>& processes,
                   std::string (*zoneName)(uint32_t) = nullptr);

// A process name made safe for one field of one line.
std::string cleanName(std::string_view name);

// One endpoint: "a.b.c.d:port", "addr.port" for IPv6, "*" for wildcards,
// "%zone" on link-local IPv6. IPv4-mapped IPv6 is written as IPv4.
std::string endpoint(const Socket& s, bool remote, std::string (*zoneName)(uint32_t) = nullptr);

const char* stateName(uint8_t tcpState);

// Parses one sock_diag dump reply buffer (a run of netlink messages) into
// `out`. Returns 1 when the dump's end was seen, 0 when more is to come, -1
// on an error message or malformed framing.
int parseDiagReply(const uint8_t* data, size_t len, Proto proto, std::vector<Socket>& out);

// Parses /proc/net/{tcp,tcp6,udp,udp6}. No byte counters there.
std::vector<Socket> parseProcNet(std::string_view text, Proto proto, bool v6);

// Inode of a /proc/PID/fd link text "socket:[123]", or 0.
uint64_t socketInode(std::string_view link);

} // namespace nettop
