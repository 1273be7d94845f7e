// The domain log: folding readings forward, the name merge, the window and
// the cap, and site names.

#include "engine/domain_log.h"

#include <gtest/gtest.h>

namespace {

Connection conn(const QString& id, const QString& remote, double in = 0, double out = 0,
                std::optional<QString> host = {}, int32_t pid = 7)
{
    Connection c;
    c.id = id;
    c.pid = pid;
    c.remoteHost = remote;
    c.remotePort = 443;
    c.scope = remote.startsWith(u"127.") ? Connection::Scope::loopback : Connection::Scope::internet;
    c.rateIn = in;
    c.rateOut = out;
    c.host = std::move(host);
    return c;
}

Snapshot reading(int64_t serial, std::vector<Connection> connections, double interval = 2.0)
{
    Snapshot s;
    s.netSerial = serial;
    s.netInterval = interval;
    s.connections = std::move(connections);
    return s;
}

const Date t0 = Date::fromUnix(1'700'000'000);   // a cell boundary
int64_t cellOf(Date d) { return static_cast<int64_t>(d.unix()) / 10; }

} // namespace

TEST(DomainLog, FoldsReadingsOncePerSerial)
{
    DomainLog log;
    const std::unordered_map<int32_t, Owner> owners{{7, {"app", "App", QString("/a.desktop"), "app-bin"}}};
    const auto s1 = reading(1, {conn("7 a", "203.0.113.5", 1000), conn("7 lo", "127.0.0.1", 50)});
    log.update(s1, owners, t0);
    log.update(s1, owners, t0 + 1);   // same reading again: nothing changes
    log.update(reading(2, {conn("7 a", "203.0.113.5", 1000)}), owners, t0 + 2);
    log.update(reading(3, {conn("7 a", "203.0.113.5", 1000)}), owners, t0 + 4);

    ASSERT_EQ(log.records.size(), 1);   // loopback makes no record
    const DomainRecord& r = log.records["203.0.113.5"];
    EXPECT_EQ(r.source, DomainRecord::Source::address);
    EXPECT_EQ(r.bytesIn, 6000);
    EXPECT_EQ(r.hits, 1);
    EXPECT_EQ(r.live, 1);
    EXPECT_EQ(r.rateIn, 1000);
    EXPECT_EQ(r.firstSeen, t0);
    EXPECT_EQ(r.lastSeen, t0 + 4);
    ASSERT_EQ(r.apps.size(), 1u);
    EXPECT_EQ(r.apps[0], (DomainRecord::App{"app", "App", QString("/a.desktop")}));
    EXPECT_EQ(r.buckets.at(cellOf(t0)), 6000);
    EXPECT_EQ(log.known, QSet<QString>{"7 a"});

    // Gone from the next reading: no rates, no live count, totals kept.
    log.update(reading(4, {}), owners, t0 + 6);
    EXPECT_EQ(log.records["203.0.113.5"].live, 0);
    EXPECT_EQ(log.records["203.0.113.5"].rateIn, 0);
    EXPECT_EQ(log.records["203.0.113.5"].bytesIn, 6000);
    EXPECT_TRUE(log.known.isEmpty());
}

TEST(DomainLog, QuietConnectionsCountOnceAndOldCellsExpire)
{
    DomainLog log;
    log.update(reading(1, {conn("1 q", "198.51.100.1")}), {}, t0);
    log.update(reading(2, {conn("1 q", "198.51.100.1")}), {}, t0 + 20);
    const DomainRecord& r = log.records["198.51.100.1"];
    EXPECT_EQ(r.hits, 1);
    EXPECT_EQ(r.lastSeen, t0);
    EXPECT_EQ(r.buckets, (std::map<int64_t, double>{{cellOf(t0), 1.0}}));

    // 36 cells later the first one has left the window.
    log.update(reading(3, {conn("1 q", "198.51.100.1", 1)}), {}, t0 + 355);
    EXPECT_EQ(log.records["198.51.100.1"].buckets.count(cellOf(t0)), 1u);
    log.update(reading(4, {conn("1 q", "198.51.100.1", 1)}), {}, t0 + 360);
    EXPECT_EQ(log.records["198.51.100.1"].buckets.count(cellOf(t0)), 0u);
}

TEST(DomainLog, ANameArrivingLaterTakesOverTheAddressRecord)
{
    DomainLog log;
    const std::unordered_map<int32_t, Owner> a{{7, {"a", "A", std::nullopt, "a"}}};
    const std::unordered_map<int32_t, Owner> b{{7, {"b", "B", std::nullopt, "b"}}};
    log.update(reading(1, {conn("7 x", "203.0.113.9", 500)}), a, t0);
    log.update(reading(2, {conn("7 x", "203.0.113.9", 500, 0, QString("cdn.example.com"))}), b, t0 + 30);
    ASSERT_EQ(log.records.size(), 1);
    const DomainRecord& r = log.records["cdn.example.com"];
    EXPECT_EQ(r.source, DomainRecord::Source::reverse);
    EXPECT_EQ(r.site, "example.com");
    EXPECT_EQ(r.firstSeen, t0);
    EXPECT_EQ(r.bytesIn, 2000);
    EXPECT_EQ(r.hits, 1);
    EXPECT_EQ(r.live, 1);
    EXPECT_EQ(r.buckets.at(cellOf(t0)), 1000);
    EXPECT_EQ(r.buckets.at(cellOf(t0 + 30)), 1000);
    ASSERT_EQ(r.apps.size(), 2u);
    EXPECT_EQ(r.apps[0].key, "a");

    log.update(reading(3, {conn("7 p", "198.19.0.4", 0, 0, QString("mapped.example"))}), {}, t0 + 32);
    EXPECT_EQ(log.records["mapped.example"].source, DomainRecord::Source::proxyMapped);
}

TEST(DomainLog, CapDropsTheOldestIdleRecords)
{
    auto run = [](int total, int live) {
        DomainLog log;
        for (int i = 0; i < total; ++i) {
            DomainRecord r;
            r.host = QString("h%1").arg(i);
            r.lastSeen = t0 + i;
            log.records.insert(r.host, r);
        }
        std::vector<Connection> open;
        for (int i = 0; i < live; ++i)   // the oldest records are the live ones
            open.push_back(conn(QString("c%1").arg(i), "x", 0, 0, QString("h%1").arg(i)));
        log.update(reading(1, open), {}, t0 + total);
        return log;
    };
    DomainLog some = run(1600, 300);
    EXPECT_EQ(some.records.size(), 1200);
    EXPECT_TRUE(some.records.contains("h0"));
    EXPECT_FALSE(some.records.contains("h300"));
    EXPECT_FALSE(some.records.contains("h699"));
    EXPECT_TRUE(some.records.contains("h700"));

    EXPECT_EQ(run(1600, 1550).records.size(), 1550);
}

TEST(DomainLog, Site)
{
    const std::pair<const char*, const char*> cases[] = {
        {"a.b.c", "b.c"},           {"a.b.co.xy", "b.co.xy"}, {"a.b.cd.xy", "cd.xy"},
        {"b.c", "b.c"},             {"a.co.xy", "a.co.xy"},   {"a.b.c.xy", "c.xy"},
        {"192.0.2.10", "192.0.2.10"}, {"2001:db8::1", "2001:db8::1"}, {"a..b.c.", "b.c"},
    };
    for (const auto& [host, site] : cases)
        EXPECT_EQ(DomainLog::site(host), site) << host;
}
