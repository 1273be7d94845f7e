// The connection reader: the line grammar, rates, listeners, scopes, and live
// readings of sockets this test opens on loopback, from the in-process
// producer and from the one-shot tool.

#include "engine/net_top.h"
#include "net_loopback.h"

#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <thread>

#include <gtest/gtest.h>

namespace {

NetTop::Reading feed(NetTop& reader, const QString& text, double now)
{
    reader.ingest(text, now);
    std::lock_guard guard(reader.lock);
    return reader.latest;
}

} // namespace

TEST(NetTop, ProcessLinesGiveRatesOverTheElapsedTime)
{
    NetTop reader("/nonexistent");
    auto r = feed(reader, "time,,bytes_in,bytes_out,\nExample Agent.1234,,5000,600,\nidle.9,,10,10,\n", 100);
    EXPECT_TRUE(r.rates.empty());
    EXPECT_EQ(r.serial, 1);
    EXPECT_EQ(r.interval, 2.0);

    r = feed(reader, "Example Agent.1234,,9000,600,\nidle.9,,10,10,\n", 102);
    ASSERT_EQ(r.rates.size(), 1u);   // both of idle's rates are 0
    EXPECT_EQ(r.rates.at(1234), std::make_pair(2000.0, 0.0));
    EXPECT_EQ(r.interval, 2.0);

    // A counter that falls reads as no traffic, never negative.
    r = feed(reader, "Example Agent.1234,,10,700,\n", 106);
    EXPECT_EQ(r.rates.at(1234), std::make_pair(0.0, 25.0));
    EXPECT_EQ(r.interval, 4.0);
    EXPECT_EQ(r.serial, 3);

    // The last "." names the pid; anything else after it is no process.
    r = feed(reader, "com.example.agent.77,,0,0,\nno-pid.,,1,1,\nbig.99999999999,,1,1,\nneg.-5,,1,1,\n", 108);
    EXPECT_TRUE(r.rates.empty());
}

TEST(NetTop, FlowLinesBecomeConnectionsAndListeners)
{
    NetTop reader("/nonexistent");
    const QString text =
        "tcp4 1.2.3.4:1<->5.6.7.8:9,Established,1,1,\n"   // before any process: ignored
        "com.example.agent.77,,0,0,\n"
        "header without dot,,,\n"                          // leaves pid 77 current
        "tcp4 192.168.1.5:50012<->203.0.113.10:443,Established,100,200,\n"
        "tcp6 fe80::1%en0.50012<->fe80::2%en0.22,Established,0,0,\n"
        "tcp4 127.0.0.1:5000<->*:*,Listen,0,0,\n"
        "tcp4 *:5000<->*:*,Listen,0,0,\n"
        "tcp4 127.0.0.1:6000<->*:*,Listen,0,0,\n"
        "tcp4 127.0.0.1:6000<->*:*,Listen,0,0,\n"
        "udp4 *:5353<->*:*,,0,0,\n"
        "udp4 *:60000<->*:*,,0,0,\n"
        "tcp4 *:8080<->*:*,Closed,0,0,\n"
        "udp6 *.*<->*.*,,0,0,\n"
        "tcp4 short\n";
    auto r = feed(reader, text, 50);
    ASSERT_EQ(r.connections.size(), 2u);
    const Connection& c = r.connections[0];
    EXPECT_EQ(c.id, "77 tcp4 192.168.1.5:50012<->203.0.113.10:443");
    EXPECT_EQ(c.pid, 77);
    EXPECT_EQ(c.remoteHost, "203.0.113.10");
    EXPECT_EQ(c.remotePort, 443);
    EXPECT_EQ(c.scope, Connection::Scope::internet);
    EXPECT_EQ(c.bytesIn, 100);
    EXPECT_EQ(c.bytesOut, 200);
    EXPECT_EQ(c.rateIn, 0);
    EXPECT_FALSE(c.host.has_value());
    EXPECT_EQ(r.connections[1].remoteHost, "fe80::2");
    EXPECT_EQ(r.connections[1].remotePort, 22);
    EXPECT_EQ(r.connections[1].scope, Connection::Scope::lan);

    const std::vector<Listener> listeners{{77, "TCP", 5000, false}, {77, "TCP", 6000, true}, {77, "UDP", 5353, false}};
    EXPECT_EQ(r.listeners, listeners);

    // The same flow two seconds later has a rate; one that ended is forgotten.
    r = feed(reader,
             "com.example.agent.77,,0,0,\n"
             "tcp4 192.168.1.5:50012<->203.0.113.10:443,Established,2100,100,\n", 52);
    ASSERT_EQ(r.connections.size(), 1u);
    EXPECT_EQ(r.connections[0].rateIn, 1000);
    EXPECT_EQ(r.connections[0].rateOut, 0);
}

TEST(NetTop, EndpointsAndScopes)
{
    auto ep = [](const char* text, bool v6) {
        const auto e = NetTop::endpoint(QString(text), v6);
        return std::make_pair(e.host, e.port);
    };
    EXPECT_EQ(ep("*:*", false), std::make_pair(QString("*"), int64_t(0)));
    EXPECT_EQ(ep("*.*", true), std::make_pair(QString("*"), int64_t(0)));
    EXPECT_EQ(ep("fe80::1%en0.443", true), std::make_pair(QString("fe80::1"), int64_t(443)));
    EXPECT_EQ(ep("2001:db8::1.8080", true), std::make_pair(QString("2001:db8::1"), int64_t(8080)));
    EXPECT_EQ(ep("noseparator", false), std::make_pair(QString("noseparator"), int64_t(0)));
    EXPECT_EQ(ep("1.2.3.4:x", false), std::make_pair(QString("1.2.3.4"), int64_t(0)));
    // Far too long for a port, and never an overflow.
    EXPECT_EQ(ep("1.2.3.4:9223372036854775808", false).second, 0);
    EXPECT_EQ(ep("1.2.3.4:9999999999999999999", false).second, 0);

    using S = Connection::Scope;
    EXPECT_EQ(NetTop::scope(u"172.20.1.1"), S::lan);
    EXPECT_EQ(NetTop::scope(u"172.16.0.1"), S::lan);
    EXPECT_EQ(NetTop::scope(u"172.31.0.1"), S::lan);
    EXPECT_EQ(NetTop::scope(u"172.32.1.1"), S::internet);
    EXPECT_EQ(NetTop::scope(u"172.x.1.1"), S::internet);
    EXPECT_EQ(NetTop::scope(u"::1"), S::loopback);
    EXPECT_EQ(NetTop::scope(u"127.0.0.53"), S::loopback);
    EXPECT_EQ(NetTop::scope(u"fd12::1"), S::lan);
    EXPECT_EQ(NetTop::scope(u"169.254.3.3"), S::lan);
    EXPECT_EQ(NetTop::scope(u"8.8.8.8"), S::internet);
}

TEST(NetTop, AToolThatFailsGivesEmptyReadingsAndStartsRatesOver)
{
    QTemporaryDir dir;
    const QString garbage = dir.path() + "/garbage";
    {
        QFile f(garbage);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\nhead -c 20000 /dev/urandom; printf 'tcp6<->,,\\n,,,,\\n.,,,\\n'\n");
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    NetTop bad(garbage);
    bad.poll();
    bad.poll();
    {
        std::lock_guard guard(bad.lock);
        EXPECT_EQ(bad.latest.serial, 2);
        EXPECT_TRUE(bad.latest.connections.empty());
    }

    NetTop missing(dir.path() + "/missing");
    missing.ingest("a.1,,10,10,\n", 10);
    missing.poll();   // cannot start: an empty reading that forgets the totals
    missing.ingest("a.1,,20,20,\n", 14);
    std::lock_guard guard(missing.lock);
    EXPECT_EQ(missing.latest.serial, 3);
    EXPECT_TRUE(missing.latest.rates.empty());
}

namespace {

// One reading across 300 kB moved on a fresh loopback connection.
void expectLiveTraffic(const QString& tool)
{
    Fd server(listenOn(INADDR_LOOPBACK));
    Fd wide(listenOn(INADDR_ANY));
    ASSERT_GE(server.fd, 0);
    ASSERT_GE(wide.fd, 0);
    Fd client(connectTo(portOf(server.fd)));
    Fd peer(::accept4(server.fd, nullptr, nullptr, SOCK_CLOEXEC));
    ASSERT_GE(peer.fd, 0);

    NetTop reader(tool);
    reader.poll();
    constexpr size_t total = 300000;
    move(client.fd, peer.fd, total);
    reader.poll();

    NetTop::Reading r;
    {
        std::lock_guard guard(reader.lock);
        r = reader.latest;
    }
    const int32_t pid = ::getpid();
    EXPECT_EQ(r.serial, 2);
    const QString serverSide = QString("%1 tcp4 127.0.0.1:%2<->127.0.0.1:%3")
                                   .arg(pid).arg(portOf(server.fd)).arg(portOf(client.fd));
    auto conn = std::find_if(r.connections.begin(), r.connections.end(),
                             [&](const Connection& c) { return c.id == serverSide; });
    ASSERT_NE(conn, r.connections.end());
    EXPECT_EQ(conn->pid, pid);
    EXPECT_EQ(conn->scope, Connection::Scope::loopback);
    EXPECT_EQ(conn->bytesIn, double(total));
    // The rate times its interval is the traffic moved between the polls.
    EXPECT_NEAR(conn->rateIn * r.interval, double(total), 1.0);
    ASSERT_TRUE(r.rates.count(pid));
    EXPECT_NEAR(r.rates.at(pid).first * r.interval, double(total), 1.0);

    auto listener = [&](uint16_t port) {
        auto it = std::find_if(r.listeners.begin(), r.listeners.end(),
                               [&](const Listener& l) { return l.pid == pid && l.port == port; });
        return it == r.listeners.end() ? std::optional<Listener>() : *it;
    };
    ASSERT_TRUE(listener(portOf(server.fd)));
    EXPECT_TRUE(listener(portOf(server.fd))->localOnly);
    EXPECT_EQ(listener(portOf(server.fd))->proto, "TCP");
    ASSERT_TRUE(listener(portOf(wide.fd)));
    EXPECT_FALSE(listener(portOf(wide.fd))->localOnly);
}

} // namespace

TEST(NetTop, LiveLoopbackTraffic)
{
    {
        SCOPED_TRACE("in-process");
        expectLiveTraffic({});
    }
    SCOPED_TRACE("one-shot tool");
    expectLiveTraffic(QString(TAVRIN_BIN_DIR) + "/tavrin-nettop");
}

TEST(NetTop, StartedReaderPollsAtOnceAndDestroysWithoutWaiting)
{
    QTemporaryDir dir;
    const QString slow = dir.path() + "/slow";
    {
        QFile f(slow);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\necho 'a.1,,0,0,'\nexec sleep 5\n");
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    {
        NetTop reader;
        reader.start();
        for (;;) {
            {
                std::lock_guard guard(reader.lock);
                if (reader.latest.serial >= 1)
                    break;
            }
            std::this_thread::yield();
        }
    }
    // Destroyed mid-run: the thread is left to finish the tool on its own.
    auto reader = std::make_unique<NetTop>(slow);
    reader->start();
    reader.reset();
    SUCCEED();
}
