#include "platform/netlink_diag.h"

#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace nettop {

namespace {

// Every state but sockets bound and never used: the kernel finds those by
// walking its whole bind table, lock by lock, at a third of the dump's cost,
// and no reading shows them.
constexpr uint32_t states = ~0u & ~(1u << boundInactive);

bool receive(int fd, Proto proto, std::vector<Socket>& out)
{
    alignas(nlmsghdr) static thread_local uint8_t buf[64 * 1024];
    for (;;) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        const int done = parseDiagReply(buf, static_cast<size_t>(n), proto, out);
        if (done < 0)
            return false;
        if (done > 0)
            return true;
    }
}

bool send(int fd, const void* request, size_t size)
{
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    return ::sendto(fd, request, size, 0, reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) >= 0;
}

bool dumpFamily(int fd, uint8_t family, Proto proto, std::vector<Socket>& out)
{
    struct {
        nlmsghdr hdr;
        inet_diag_req_v2 req;
    } request{};
    request.hdr.nlmsg_len = sizeof request;
    request.hdr.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    request.hdr.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.req.sdiag_family = family;
    request.req.sdiag_protocol = proto == Proto::tcp ? IPPROTO_TCP : IPPROTO_UDP;
    request.req.idiag_states = states;
    if (proto == Proto::tcp)
        request.req.idiag_ext = 1 << (INET_DIAG_INFO - 1);
    return send(fd, &request, sizeof request) && receive(fd, proto, out);
}

// TCP through the older request form: its family "unspecified" lists IPv4
// and IPv6 in one walk of the kernel's connection table, which costs far
// more than the sockets it finds. A kernel without it still answers the
// per-family form, counters included.
bool dumpTcp(int fd, std::vector<Socket>& out)
{
    struct {
        nlmsghdr hdr;
        inet_diag_req req;
    } request{};
    request.hdr.nlmsg_len = sizeof request;
    request.hdr.nlmsg_type = TCPDIAG_GETSOCK;
    request.hdr.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.req.idiag_states = states;
    request.req.idiag_ext = 1 << (INET_DIAG_INFO - 1);
    const size_t mark = out.size();
    if (send(fd, &request, sizeof request) && receive(fd, Proto::tcp, out))
        return true;
    out.resize(mark);
    return dumpFamily(fd, AF_INET, Proto::tcp, out) && dumpFamily(fd, AF_INET6, Proto::tcp, out);
}

} // namespace

int openDiagSocket()
{
    return ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
}

bool dumpSockets(int fd, std::vector<Socket>& out)
{
    out.clear();
    return dumpTcp(fd, out) && dumpFamily(fd, AF_INET, Proto::udp, out) && dumpFamily(fd, AF_INET6, Proto::udp, out);
}

} // namespace nettop
