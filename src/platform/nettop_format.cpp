#include "platform/nettop_format.h"

#include "platform/text_marks.h"

#include <arpa/inet.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/sock_diag.h>
#include <linux/tcp.h>
#include <netinet/in.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

namespace nettop {

namespace {

void appendNumber(std::string& out, uint64_t v)
{
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

bool isZero(const uint8_t* a, size_t n)
{
    return std::all_of(a, a + n, [](uint8_t b) { return b == 0; });
}

bool isMapped(const uint8_t* a)
{
    static const uint8_t prefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
    return std::memcmp(a, prefix, 12) == 0;
}

// A socket of an IPv6 family that only ever carries IPv4 traffic.
bool printsAsV4(const Socket& s)
{
    if (!s.v6)
        return false;
    return isMapped(s.local) && (isMapped(s.remote) || isZero(s.remote, 16));
}

template <typename T>
bool hexNumber(std::string_view text, T& out)
{
    if (text.empty())
        return false;
    auto r = std::from_chars(text.data(), text.data() + text.size(), out, 16);
    return r.ec == std::errc() && r.ptr == text.data() + text.size();
}

// Each socket inode to the lowest pid that holds it.
std::unordered_map<uint64_t, int32_t> ownerMap(const std::map<int32_t, Process>& processes)
{
    // Lowest pid first: iterating the ordered map and keeping the first claim.
    std::unordered_map<uint64_t, int32_t> ownerOf;
    for (const auto& [pid, proc] : processes)
        for (uint64_t inode : proc.inodes)
            ownerOf.try_emplace(inode, pid);
    return ownerOf;
}

} // namespace

const char* stateName(uint8_t tcpState)
{
    switch (tcpState) {
    case established: return "Established";
    case synSent: return "SynSent";
    case synRecv:
    case newSynRecv: return "SynReceived";
    case finWait1: return "FinWait1";
    case finWait2: return "FinWait2";
    case timeWait: return "TimeWait";
    case closed: return "Closed";
    case closeWait: return "CloseWait";
    case lastAck: return "LastAck";
    case listen: return "Listen";
    case closing: return "Closing";
    default: return "Unknown";
    }
}

std::string cleanName(std::string_view name)
{
    std::string out;
    out.reserve(name.size());
    auto at = [&name](size_t i) { return i < name.size() ? static_cast<unsigned char>(name[i]) : 0u; };
    for (size_t i = 0; i < name.size(); ++i) {
        const unsigned u = at(i);
        // Commas would add a field, control characters a line.
        if (u < 0x20 || u == 0x7f || u == ',') {
            out.push_back(' ');
            continue;
        }
        // The same marks the process records neutralise, in their UTF-8
        // form: C1 controls become a space, direction embeddings, overrides
        // and isolates U+FFFD, and invisible marks go.
        if (u == 0xc2 && at(i + 1) >= 0x80 && at(i + 1) <= 0x9f) {
            out.push_back(' ');
            ++i;
            continue;
        }
        // The Arabic letter mark, U+061C.
        if (u == 0xd8 && at(i + 1) == 0x9c) {
            ++i;
            continue;
        }
        if ((u == 0xe2 || u == 0xef) && (at(i + 1) & 0xc0) == 0x80 && (at(i + 2) & 0xc0) == 0x80) {
            const char32_t c = ((u & 0x0f) << 12) | ((at(i + 1) & 0x3f) << 6) | (at(i + 2) & 0x3f);
            const bool direction = TextMarks::directionControl(c);
            const bool invisible = TextMarks::invisibleMark(c);
            if (direction)
                out += "\xEF\xBF\xBD";
            if (direction || invisible) {
                i += 2;
                continue;
            }
        }
        out.push_back(static_cast<char>(u));
    }
    // A name such as "tcp4 a<->b" must not read as a flow line.
    for (size_t at = out.find("<->"); at != std::string::npos; at = out.find("<->", at))
        out[at + 1] = '_';
    return out;
}

std::string endpoint(const Socket& s, bool remote, std::string (*zoneName)(uint32_t))
{
    const uint8_t* addr = remote ? s.remote : s.local;
    const uint16_t port = remote ? s.remotePort : s.localPort;
    const bool v4 = !s.v6 || printsAsV4(s);
    std::string out;
    if (v4) {
        const uint8_t* a = s.v6 ? addr + 12 : addr;
        if (isZero(a, 4)) {
            out = "*";
        } else {
            for (int i = 0; i < 4; ++i) {
                if (i)
                    out.push_back('.');
                appendNumber(out, a[i]);
            }
        }
        out.push_back(':');
    } else {
        if (isZero(addr, 16)) {
            out = "*";
        } else {
            char buf[INET6_ADDRSTRLEN];
            if (inet_ntop(AF_INET6, addr, buf, sizeof buf))
                out = buf;
            // Link-local addresses mean nothing without their interface.
            if (addr[0] == 0xfe && (addr[1] & 0xc0) == 0x80 && s.ifindex != 0) {
                out.push_back('%');
                std::string zone = zoneName ? zoneName(s.ifindex) : std::string();
                if (zone.empty())
                    appendNumber(out, s.ifindex);
                else
                    out += cleanName(zone);
            }
        }
        out.push_back('.');
    }
    if (port == 0)
        out.push_back('*');
    else
        appendNumber(out, port);
    return out;
}

std::map<int32_t, std::vector<const Socket*>> groupByOwner(const std::vector<Socket>& sockets,
                                                            const std::unordered_map<uint64_t, int32_t>& ownerOf)
{
    std::map<int32_t, std::vector<const Socket*>> byPid;
    std::unordered_set<uint64_t> listed;
    listed.reserve(sockets.size());
    for (const Socket& s : sockets) {
        if (s.inode == 0)
            continue;
        auto it = ownerOf.find(s.inode);
        if (it == ownerOf.end())
            continue;
        // A dump can list one socket twice when it changes state mid-dump.
        if (listed.insert(s.inode).second)
            byPid[it->second].push_back(&s);
    }
    return byPid;
}

void appendProcess(std::string& out, std::string_view name, int32_t pid, uint64_t bytesIn, uint64_t bytesOut,
                   const std::vector<const Socket*>& sockets, std::string (*zoneName)(uint32_t))
{
    out += cleanName(name);
    out.push_back('.');
    appendNumber(out, static_cast<uint64_t>(pid));
    out += ",,";
    appendNumber(out, bytesIn);
    out.push_back(',');
    appendNumber(out, bytesOut);
    out += ",\n";
    for (const Socket* s : sockets) {
        const bool v4 = !s->v6 || printsAsV4(*s);
        out += s->proto == Proto::tcp ? "tcp" : "udp";
        out += v4 ? "4 " : "6 ";
        out += endpoint(*s, false, zoneName);
        out += "<->";
        out += endpoint(*s, true, zoneName);
        out.push_back(',');
        if (s->proto == Proto::tcp)
            out += stateName(s->state);
        out.push_back(',');
        appendNumber(out, s->bytesIn);
        out.push_back(',');
        appendNumber(out, s->bytesOut);
        out += ",\n";
    }
}

std::string format(const std::vector<Socket>& sockets, const std::map<int32_t, Process>& processes,
                   std::string (*zoneName)(uint32_t))
{
    const auto byPid = groupByOwner(sockets, ownerMap(processes));
    std::string out;
    out.reserve(byPid.size() * 40 + sockets.size() * 80);
    for (const auto& [pid, list] : byPid) {
        uint64_t in = 0, outBytes = 0;
        for (const Socket* s : list) {
            in += s->bytesIn;
            outBytes += s->bytesOut;
        }
        appendProcess(out, processes.at(pid).name, pid, in, outBytes, list, zoneName);
    }
    return out;
}

int parseDiagReply(const uint8_t* data, size_t len, Proto proto, std::vector<Socket>& out)
{
    size_t off = 0;
    while (len - off >= sizeof(nlmsghdr)) {
        nlmsghdr hdr;
        std::memcpy(&hdr, data + off, sizeof hdr);
        if (hdr.nlmsg_len < sizeof(nlmsghdr) || hdr.nlmsg_len > len - off)
            return -1;
        if (hdr.nlmsg_type == NLMSG_DONE)
            return 1;
        if (hdr.nlmsg_type == NLMSG_ERROR)
            return -1;
        const uint8_t* payload = data + off + NLMSG_HDRLEN;
        const size_t payloadLen = hdr.nlmsg_len >= NLMSG_HDRLEN ? hdr.nlmsg_len - NLMSG_HDRLEN : 0;
        // Replies carry the request's type: the older TCP form or the current one.
        if ((hdr.nlmsg_type == SOCK_DIAG_BY_FAMILY || hdr.nlmsg_type == TCPDIAG_GETSOCK) && payloadLen >= sizeof(inet_diag_msg)) {
            inet_diag_msg msg;
            std::memcpy(&msg, payload, sizeof msg);
            if (msg.idiag_family == AF_INET || msg.idiag_family == AF_INET6) {
                Socket s;
                s.proto = proto;
                s.v6 = msg.idiag_family == AF_INET6;
                std::memcpy(s.local, msg.id.idiag_src, s.v6 ? 16 : 4);
                std::memcpy(s.remote, msg.id.idiag_dst, s.v6 ? 16 : 4);
                s.localPort = ntohs(msg.id.idiag_sport);
                s.remotePort = ntohs(msg.id.idiag_dport);
                s.state = msg.idiag_state;
                s.inode = msg.idiag_inode;
                s.uid = msg.idiag_uid;
                s.ifindex = msg.id.idiag_if;

                size_t at = NLMSG_ALIGN(sizeof(inet_diag_msg));
                while (at + sizeof(rtattr) <= payloadLen) {
                    rtattr attr;
                    std::memcpy(&attr, payload + at, sizeof attr);
                    if (attr.rta_len < sizeof(rtattr) || attr.rta_len > payloadLen - at)
                        break;
                    const size_t attrLen = attr.rta_len - RTA_LENGTH(0);
                    if (attr.rta_type == INET_DIAG_INFO && proto == Proto::tcp) {
                        // Older kernels send a shorter tcp_info; take what is there.
                        const uint8_t* info = payload + at + RTA_LENGTH(0);
                        constexpr size_t acked = offsetof(tcp_info, tcpi_bytes_acked);
                        constexpr size_t received = offsetof(tcp_info, tcpi_bytes_received);
                        if (attrLen >= acked + sizeof(uint64_t))
                            std::memcpy(&s.bytesOut, info + acked, sizeof(uint64_t));
                        if (attrLen >= received + sizeof(uint64_t))
                            std::memcpy(&s.bytesIn, info + received, sizeof(uint64_t));
                    }
                    at += RTA_ALIGN(attr.rta_len);
                }
                out.push_back(s);
            }
        }
        off += std::min<size_t>(NLMSG_ALIGN(hdr.nlmsg_len), len - off);
    }
    return 0;
}

std::vector<Socket> parseProcNet(std::string_view text, Proto proto, bool v6)
{
    std::vector<Socket> out;
    bool header = true;
    while (!text.empty()) {
        const size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
        if (header) {
            header = false;
            continue;
        }
        std::string_view fields[10];
        size_t n = 0;
        size_t i = 0;
        while (n < 10 && i < line.size()) {
            while (i < line.size() && line[i] == ' ')
                ++i;
            const size_t start = i;
            while (i < line.size() && line[i] != ' ')
                ++i;
            if (i > start)
                fields[n++] = line.substr(start, i - start);
        }
        if (n < 10)
            continue;

        Socket s;
        s.proto = proto;
        s.v6 = v6;
        auto address = [&](std::string_view field, uint8_t* addr, uint16_t& port) {
            const size_t colon = field.find(':');
            const size_t words = v6 ? 4 : 1;
            if (colon != words * 8 || !hexNumber(field.substr(colon + 1), port))
                return false;
            // Each 32-bit word is printed in host order.
            for (size_t w = 0; w < words; ++w) {
                uint32_t v = 0;
                if (!hexNumber(field.substr(w * 8, 8), v))
                    return false;
                std::memcpy(addr + w * 4, &v, 4);
            }
            return true;
        };
        if (!address(fields[1], s.local, s.localPort) || !address(fields[2], s.remote, s.remotePort))
            continue;
        if (!hexNumber(fields[3], s.state))
            continue;
        std::from_chars(fields[7].data(), fields[7].data() + fields[7].size(), s.uid);
        auto r = std::from_chars(fields[9].data(), fields[9].data() + fields[9].size(), s.inode);
        if (r.ec != std::errc())
            continue;
        out.push_back(s);
    }
    return out;
}

uint64_t socketInode(std::string_view link)
{
    constexpr std::string_view prefix = "socket:[";
    if (link.size() < prefix.size() + 2 || link.substr(0, prefix.size()) != prefix || link.back() != ']')
        return 0;
    uint64_t inode = 0;
    const char* first = link.data() + prefix.size();
    const char* last = link.data() + link.size() - 1;
    auto r = std::from_chars(first, last, inode);
    return r.ec == std::errc() && r.ptr == last ? inode : 0;
}

} // namespace nettop
