// The producer behind the connection reader: owners kept between polls and
// re-read only when something changed, totals that never fall, and live
// sockets that change hands between processes.

#include "platform/nettop_producer.h"

#include "engine/net_top.h"
#include "net_loopback.h"
#include "probes_fixture.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <random>
#include <sstream>

#include <gtest/gtest.h>

using namespace nettop;

namespace {

Socket tcp(uint64_t inode, uint64_t in = 0, uint64_t out = 0)
{
    Socket s;
    s.local[0] = s.remote[0] = 127;
    s.localPort = static_cast<uint16_t>(1000 + inode);   // the port names the socket
    s.remotePort = 9;
    s.state = established;
    s.inode = inode;
    s.bytesIn = in;
    s.bytesOut = out;
    // Ours, whoever runs the tests: other users' sockets are never placed.
    s.uid = ::geteuid();
    return s;
}

// A new descriptor directory, built beside the old one so that it never
// reuses its inode: how a live process's change looks.
void setFds(const FakeRoot& r, int pid, const QStringList& targets)
{
    const QString fd = QString("proc/%1/fd").arg(pid);
    for (qsizetype i = 0; i < targets.size(); ++i)
        r.link(fd + ".new/" + QString::number(i), targets[i]);
    r.remove(fd);
    ASSERT_TRUE(QDir(r.path()).rename(fd + ".new", fd));
}

using Totals = std::pair<uint64_t, uint64_t>;

struct Text {
    std::map<int32_t, Totals> totals;    // pid → its process line
    std::map<uint16_t, int32_t> owner;   // local port of an IPv4 flow → pid
};

Text parse(const std::string& text)
{
    Text t;
    std::istringstream lines(text);
    int32_t pid = -1;
    for (std::string line; std::getline(lines, line);) {
        const std::string ident = line.substr(0, line.find(','));
        if (ident.find("<->") != std::string::npos) {
            if (ident[3] == '4')
                t.owner[uint16_t(std::stoi(ident.substr(ident.rfind(':', ident.find("<->")) + 1)))] = pid;
            continue;
        }
        pid = std::stoi(ident.substr(ident.rfind('.') + 1));
        std::istringstream fields(line.substr(ident.size() + 2));
        char comma;
        fields >> t.totals[pid].first >> comma >> t.totals[pid].second;
    }
    return t;
}

} // namespace

TEST(NettopProducer, ReadsOwnersFromATreeAndTheFallbackTables)
{
    FakeRoot r;
    r.write("proc/42/comm", "agent\n");
    r.link("proc/42/fd/3", "socket:[1001]");
    r.link("proc/42/fd/4", "pipe:[5]");
    r.link("proc/42/fd/5", "socket:[1002]");
    r.link("proc/42/fd/6", "socket:[1003]");
    r.write("proc/7/comm", "nosockets\n");
    r.link("proc/7/fd/0", "/dev/null");
    QDir().mkpath(r.path() + "/proc/self/fd");
    r.write("proc/net/tcp",
            "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n"
            "   0: 0100007F:1388 00000000:0000 0A 00000000:00000000 00:00000000 00000000  1000        0 1001 1 0\n"
            "   1: garbage\n"
            "   2: 0500A8C0:C35C 0A7100CB:01BB 01 00000000:00000000 00:00000000 00000000  1000        0 1002 1 0\n");
    r.write("proc/net/tcp6",
            "  sl  local_address                         remote_address                        st\n"
            "   0: 0000000000000000FFFF00000100007F:1F90 00000000000000000000000000000000:0000 0A "
            "00000000:00000000 00:00000000 00000000  1000        0 1003 1 0\n");

    const auto sockets = readProcNet(r.path().toStdString());
    ASSERT_EQ(sockets.size(), 3u);
    EXPECT_EQ(sockets[0].uid, 1000u);
    Producer producer(r.path().toStdString());
    EXPECT_EQ(producer.poll(sockets),
              "agent.42,,0,0,\n"
              "tcp4 127.0.0.1:5000<->*:*,Listen,0,0,\n"
              "tcp4 192.168.0.5:50012<->203.0.113.10:443,Established,0,0,\n"
              "tcp4 127.0.0.1:8080<->*:*,Listen,0,0,\n");
    // The one-shot tool leaves itself out; without a tree there are no owners.
    EXPECT_EQ(Producer(r.path().toStdString(), 42).poll(sockets), "");
    EXPECT_EQ(Producer("/nonexistent").poll(sockets), "");
}

TEST(NettopProducer, RereadsOnlyNewAndChangedProcesses)
{
    FakeRoot r;
    r.link("proc/10/fd/0", "socket:[1]");
    r.link("proc/20/fd/0", "socket:[2]");
    r.link("proc/30/fd/0", "/dev/null");
    Producer p(r.path().toStdString());
    std::vector<Socket> sockets{tcp(1), tcp(2)};
    p.poll(sockets);
    EXPECT_EQ(p.lastReads(), 3u);
    p.poll(sockets);
    EXPECT_EQ(p.lastReads(), 0u);

    setFds(r, 20, {"socket:[2]", "socket:[3]"});
    sockets.push_back(tcp(3));
    EXPECT_EQ(parse(p.poll(sockets)).owner.at(1003), 20);
    EXPECT_EQ(p.lastReads(), 1u);

    r.link("proc/40/fd/0", "socket:[4]");
    sockets.push_back(tcp(4));
    EXPECT_EQ(parse(p.poll(sockets)).owner.at(1004), 40);
    EXPECT_EQ(p.lastReads(), 1u);

    // A process that held no listed socket opens one: its count tells.
    setFds(r, 30, {"/dev/null", "socket:[6]"});
    sockets.push_back(tcp(6));
    EXPECT_EQ(parse(p.poll(sockets)).owner.at(1006), 30);
    EXPECT_EQ(p.lastReads(), 1u);

    // A socket no one known holds sends the producer through every process
    // once; while it stays unplaced it costs nothing more.
    sockets.push_back(tcp(5));
    EXPECT_FALSE(parse(p.poll(sockets)).owner.contains(1005));
    EXPECT_EQ(p.lastReads(), 4u);
    p.poll(sockets);
    EXPECT_EQ(p.lastReads(), 0u);

    // A process that is gone is forgotten; a pid that comes back is read.
    r.remove("proc/40");
    EXPECT_FALSE(parse(p.poll(sockets)).owner.contains(1004));
    r.link("proc/40/fd/0", "socket:[4]");
    EXPECT_EQ(parse(p.poll(sockets)).owner.at(1004), 40);
    EXPECT_EQ(p.lastReads(), 1u);

    // Every holder of a shared socket is followed, not only its owner: the
    // later closes go unread otherwise and the socket falls to a stale one.
    r.link("proc/50/fd/0", "socket:[7]");
    r.link("proc/60/fd/0", "socket:[7]");
    sockets.push_back(tcp(7));
    EXPECT_EQ(parse(p.poll(sockets)).owner.at(1007), 50);
    setFds(r, 60, {"/dev/null"});
    p.poll(sockets);
    setFds(r, 50, {"/dev/null"});
    EXPECT_FALSE(parse(p.poll(sockets)).owner.contains(1007));
}

TEST(NettopProducer, TotalsNeverFallAsSocketsCloseOrChangeHands)
{
    FakeRoot r;
    r.write("proc/10/comm", "client\n");
    r.write("proc/20/comm", "peer\n");
    for (int i : {1, 2, 3, 5})
        r.link(QString("proc/10/fd/%1").arg(i), QString("socket:[%1]").arg(i));
    r.link("proc/20/fd/0", "socket:[3]");   // shared: the lower pid owns it
    r.link("proc/20/fd/1", "socket:[4]");
    Producer p(r.path().toStdString());

    Text t = parse(p.poll({tcp(1, 100, 10), tcp(2, 50, 5), tcp(3, 7, 7), tcp(4, 1, 1)}));
    EXPECT_EQ(t.totals.at(10), (Totals{157, 22}));
    EXPECT_EQ(t.totals.at(20), (Totals{1, 1}));
    EXPECT_EQ(t.owner.at(1003), 10);

    // Socket 2 closed: its last-seen bytes stay. Socket 5 is new and counts
    // in full.
    t = parse(p.poll({tcp(1, 300, 20), tcp(3, 9, 9), tcp(4, 1, 1), tcp(5, 40, 0)}));
    EXPECT_EQ(t.totals.at(10), (Totals{399, 34}));

    // The client exits and socket 3 passes to the peer, which counts only
    // what it moved since. Socket 4's counters fell: a new socket under a
    // reused inode, while the old one's bytes stay.
    r.remove("proc/10");
    t = parse(p.poll({tcp(3, 12, 10), tcp(4, 0, 0)}));
    EXPECT_FALSE(t.totals.contains(10));
    EXPECT_EQ(t.owner.at(1003), 20);
    EXPECT_EQ(t.totals.at(20), (Totals{4, 2}));

    // With no socket left the process line stays, so that the next
    // connection's bytes read as a rate rather than as a first sight.
    EXPECT_EQ(p.poll({}), "peer.20,,4,2,\n");
}

namespace {

// The child: connects, reports its port, takes one descriptor handed over
// the channel, acknowledges, and holds it all until the channel closes.
[[noreturn]] void holder(int channel, uint16_t port)
{
    const int mine = connectTo(port);
    const uint16_t local = mine >= 0 ? portOf(mine) : 0;
    char byte;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
    iovec iov{&byte, 1};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    if (::write(channel, &local, sizeof local) != sizeof local || ::recvmsg(channel, &msg, 0) != 1
        || ::write(channel, "k", 1) != 1)
        ::_exit(1);
    while (::read(channel, &byte, 1) > 0) {
    }
    ::_exit(0);
}

bool handOver(int channel, int fd)
{
    char byte = 'f';
    iovec iov{&byte, 1};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    cmsghdr* c = CMSG_FIRSTHDR(&msg);
    c->cmsg_level = SOL_SOCKET;
    c->cmsg_type = SCM_RIGHTS;
    c->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(c), &fd, sizeof fd);
    return ::sendmsg(channel, &msg, 0) == 1;
}

} // namespace

TEST(NettopProducer, LiveSocketsFindTheirOwnersAsProcessesComeAndHandThemOver)
{
    Fd listener(listenOn(INADDR_LOOPBACK));
    ASSERT_GE(listener.fd, 0);
    const uint16_t port = portOf(listener.fd);
    auto accept = [&] { return Fd(::accept4(listener.fd, nullptr, nullptr, SOCK_CLOEXEC)); };
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
    Fd channel(pair[0]);
    Producer p;
    const int32_t self = ::getpid();
    p.poll();

    // A process that did not exist at the last poll.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(pair[0]);
        holder(pair[1], port);
    }
    ::close(pair[1]);
    uint16_t childPort = 0;
    ASSERT_EQ(::read(channel.fd, &childPort, sizeof childPort), ssize_t(sizeof childPort));
    Fd childPeer = accept();
    EXPECT_EQ(parse(p.poll()).owner[childPort], child);

    // One of ours handed to the child, our copy closed.
    Fd mine(connectTo(port));
    Fd minePeer = accept();
    const uint16_t minePort = portOf(mine.fd);
    EXPECT_EQ(parse(p.poll()).owner[minePort], self);
    ASSERT_TRUE(handOver(channel.fd, mine.fd));
    mine.reset();
    char ack;
    ASSERT_EQ(::read(channel.fd, &ack, 1), 1);
    Text t = parse(p.poll());
    if (t.owner[minePort] != child)
        t = parse(p.poll());
    EXPECT_EQ(t.owner[minePort], child);

    // One socket closed and another opened in its place: the count is as it
    // was, and the newcomer still finds its owner.
    Fd first(connectTo(port));
    Fd firstPeer = accept();
    p.poll();
    first.reset();
    Fd second(connectTo(port));
    EXPECT_EQ(parse(p.poll()).owner[portOf(second.fd)], self);

    channel.reset();
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(NettopProducer, RatesHoldWhileConnectionsBesideASteadyOneComeAndGo)
{
    Fd listener(listenOn(INADDR_LOOPBACK));
    ASSERT_GE(listener.fd, 0);
    struct Link {
        Fd client, server;
        int left = 0;   // polls to live
    };
    auto open = [&](int left) {
        Link l{Fd(connectTo(portOf(listener.fd))), Fd(::accept4(listener.fd, nullptr, nullptr, SOCK_CLOEXEC)), left};
        return l;
    };
    constexpr size_t steadyStep = 100'000, otherStep = 60'000;
    Link steady = open(0);
    ASSERT_GE(steady.server.fd, 0);
    std::vector<Link> others;
    std::mt19937 random(11);

    Producer p;
    NetTop reader("/nonexistent");
    const int32_t self = ::getpid();
    double now = 100, truth = 0, seen = 0;
    reader.ingest(QString::fromStdString(p.poll()), now);
    for (int step = 0; step < 40; ++step) {
        if (random() % 2)
            others.push_back(open(4 + static_cast<int>(random() % 7)));
        move(steady.client.fd, steady.server.fd, steadyStep);
        truth += steadyStep;
        for (Link& l : others) {
            const size_t n = otherStep / 2 + random() % otherStep;
            move(l.client.fd, l.server.fd, n);
            truth += double(n);
            --l.left;
        }
        // What a connection moves after its last poll goes unseen; over
        // connections of several polls that is a small share.
        std::erase_if(others, [](const Link& l) { return l.left <= 0; });

        reader.ingest(QString::fromStdString(p.poll()), now += 2);
        std::lock_guard guard(reader.lock);
        ASSERT_TRUE(reader.latest.rates.contains(self)) << "step " << step;
        const double moved = reader.latest.rates.at(self).first * reader.latest.interval;
        EXPECT_GE(moved, double(steadyStep)) << "step " << step;
        seen += moved;
    }
    EXPECT_NEAR(seen, truth, 0.15 * truth);
}
