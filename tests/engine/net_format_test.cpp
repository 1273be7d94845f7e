// tavrin-nettop's pure core: the printed text and the kernel reply parsers.

#include "platform/nettop_format.h"

#include "engine/net_top.h"

#include <arpa/inet.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/sock_diag.h>
#include <linux/tcp.h>
#include <netinet/in.h>

#include <cstring>

#include <gtest/gtest.h>

using namespace nettop;

namespace {

Socket make(bool v6, Proto proto, const char* local, uint16_t lport, const char* remote, uint16_t rport,
            uint8_t state, uint64_t inode, uint64_t in, uint64_t out)
{
    Socket s;
    s.proto = proto;
    s.v6 = v6;
    inet_pton(v6 ? AF_INET6 : AF_INET, local, s.local);
    inet_pton(v6 ? AF_INET6 : AF_INET, remote, s.remote);
    s.localPort = lport;
    s.remotePort = rport;
    s.state = state;
    s.inode = inode;
    s.bytesIn = in;
    s.bytesOut = out;
    return s;
}

Socket v4(Proto proto, const char* local, uint16_t lport, const char* remote, uint16_t rport, uint8_t state,
          uint64_t inode, uint64_t in = 0, uint64_t out = 0)
{
    return make(false, proto, local, lport, remote, rport, state, inode, in, out);
}

Socket v6(Proto proto, const char* local, uint16_t lport, const char* remote, uint16_t rport, uint8_t state,
          uint64_t inode, uint64_t in = 0, uint64_t out = 0)
{
    return make(true, proto, local, lport, remote, rport, state, inode, in, out);
}

std::string zone(uint32_t index)
{
    return index == 2 ? "eth0" : "";
}

} // namespace

TEST(NettopFormat, PrintsProcessesAndTheirSocketsInTheReaderGrammar)
{
    Socket linkLocal = v6(Proto::tcp, "fe80::1", 50012, "fe80::2", 22, established, 15);
    linkLocal.ifindex = 2;
    std::vector<Socket> sockets{
        v4(Proto::tcp, "192.168.1.5", 50012, "203.0.113.10", 443, established, 11, 100, 200),
        v4(Proto::tcp, "127.0.0.1", 5000, "0.0.0.0", 0, nettop::listen, 12),
        v4(Proto::tcp, "0.0.0.0", 5000, "0.0.0.0", 0, nettop::listen, 13),
        v6(Proto::tcp, "::ffff:10.0.0.2", 40000, "::ffff:10.0.0.3", 80, closeWait, 14, 5, 6),
        linkLocal,
        v4(Proto::udp, "0.0.0.0", 5353, "0.0.0.0", 0, 7, 16),
        v6(Proto::tcp, "::", 8080, "::", 0, nettop::listen, 17),
        v4(Proto::tcp, "10.0.0.9", 1, "10.0.0.8", 2, established, 99, 7, 7),   // nobody we see holds it
        v4(Proto::tcp, "10.0.0.9", 3, "10.0.0.8", 4, timeWait, 0),             // no inode at all
    };
    sockets.push_back(sockets[1]);   // listed twice by a dump that raced a state change
    std::map<int32_t, Process> owners{
        {200, {"tcp4 a<->b", {11, 14, 15, 16, 17}}},   // shares 11 with the lower pid
        {100, {"web,server\nx", {11, 12, 13}}},
        {300, {"idle", {77}}},
    };
    const std::string text = format(sockets, owners, zone);
    EXPECT_EQ(text,
              "web server x.100,,100,200,\n"
              "tcp4 192.168.1.5:50012<->203.0.113.10:443,Established,100,200,\n"
              "tcp4 127.0.0.1:5000<->*:*,Listen,0,0,\n"
              "tcp4 *:5000<->*:*,Listen,0,0,\n"
              "tcp4 a<_>b.200,,5,6,\n"
              "tcp4 10.0.0.2:40000<->10.0.0.3:80,CloseWait,5,6,\n"
              "tcp6 fe80::1%eth0.50012<->fe80::2%eth0.22,Established,0,0,\n"
              "udp4 *:5353<->*:*,,0,0,\n"
              "tcp6 *.8080<->*.*,Listen,0,0,\n");

    // And the reader takes it back as written.
    NetTop reader("/nonexistent");
    reader.ingest(QString::fromStdString(text), 100);
    const NetTop::Reading r = reader.latest;
    ASSERT_EQ(r.connections.size(), 3u);
    EXPECT_EQ(r.connections[0].id, "100 tcp4 192.168.1.5:50012<->203.0.113.10:443");
    EXPECT_EQ(r.connections[1].pid, 200);
    EXPECT_EQ(r.connections[1].remoteHost, "10.0.0.3");
    EXPECT_EQ(r.connections[2].remoteHost, "fe80::2");
    EXPECT_EQ(r.connections[2].remotePort, 22);
    const std::vector<Listener> listeners{{100, "TCP", 5000, false}, {200, "UDP", 5353, false},
                                          {200, "TCP", 8080, false}};
    EXPECT_EQ(r.listeners, listeners);
}

TEST(NettopFormat, NamesCannotAddFieldsLinesOrFlows)
{
    EXPECT_EQ(cleanName("a,b\r\nc\t\x7f"), "a b  c  ");
    EXPECT_EQ(cleanName("udp6 x<-><->y"), "udp6 x<_><_>y");
    EXPECT_EQ(cleanName("plain.name"), "plain.name");
    // Direction controls cannot reorder the line; invisible marks go.
    EXPECT_EQ(cleanName("evil\xE2\x80\xAE" "fdp.exe"), "evil\xEF\xBF\xBD" "fdp.exe");
    EXPECT_EQ(cleanName("a\xE2\x81\xA6" "b\xE2\x80\x8B" "c\xEF\xBB\xBF\xC2\x85" "d"), "a\xEF\xBF\xBD" "bc d");
    EXPECT_EQ(cleanName("caf\xC3\xA9 \xE2\x80\x94"), "caf\xC3\xA9 \xE2\x80\x94");
}

TEST(NettopFormat, ParsesDiagRepliesDefensively)
{
    // Two messages (a TCP socket with counters, then the end of the dump).
    struct Msg {
        nlmsghdr hdr;
        inet_diag_msg msg;
        rtattr attr;
        uint8_t info[sizeof(tcp_info)];
    };
    uint8_t buf[sizeof(Msg) + NLMSG_HDRLEN] = {};
    Msg m{};
    m.hdr.nlmsg_len = sizeof(Msg);
    m.hdr.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    m.msg.idiag_family = AF_INET;
    m.msg.idiag_state = established;
    m.msg.id.idiag_sport = htons(443);
    m.msg.id.idiag_dport = htons(50000);
    inet_pton(AF_INET, "127.0.0.1", m.msg.id.idiag_src);
    m.msg.idiag_inode = 4242;
    m.msg.idiag_uid = 1000;
    m.attr.rta_len = RTA_LENGTH(sizeof(tcp_info));
    m.attr.rta_type = INET_DIAG_INFO;
    tcp_info info{};
    info.tcpi_bytes_received = 1234;
    info.tcpi_bytes_acked = 5678;
    std::memcpy(m.info, &info, sizeof info);
    std::memcpy(buf, &m, sizeof m);
    nlmsghdr done{};
    done.nlmsg_len = NLMSG_HDRLEN;
    done.nlmsg_type = NLMSG_DONE;
    std::memcpy(buf + sizeof m, &done, sizeof done);

    std::vector<Socket> out;
    EXPECT_EQ(parseDiagReply(buf, sizeof buf, Proto::tcp, out), 1);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].localPort, 443);
    EXPECT_EQ(out[0].inode, 4242u);
    EXPECT_EQ(out[0].uid, 1000u);
    EXPECT_EQ(out[0].bytesIn, 1234u);
    EXPECT_EQ(out[0].bytesOut, 5678u);

    // A counter block cut short keeps the socket, without counters.
    out.clear();
    Msg shortInfo = m;
    shortInfo.attr.rta_len = RTA_LENGTH(8);
    shortInfo.hdr.nlmsg_len = NLMSG_ALIGN(sizeof(nlmsghdr) + sizeof(inet_diag_msg)) + RTA_LENGTH(8);
    EXPECT_EQ(parseDiagReply(reinterpret_cast<uint8_t*>(&shortInfo), shortInfo.hdr.nlmsg_len, Proto::tcp, out), 0);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].bytesIn, 0u);

    // A length that runs past the buffer is an error, not a read past it.
    out.clear();
    EXPECT_EQ(parseDiagReply(buf, sizeof(Msg) - 4, Proto::tcp, out), -1);
    EXPECT_TRUE(out.empty());
}
