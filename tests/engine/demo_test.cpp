#include "engine/demo_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>

// Reaches into the simulated state that the snapshots do not show.
struct DemoSourceInspector {
    static const std::vector<std::vector<DemoSource::Proc>>& procs(const DemoSource& d) { return d.procs; }
    static int32_t agentBasePid(const DemoSource& d) { return d.agentBasePid; }
    static Date origin(const DemoSource& d) { return d.origin; }
    static double totalsMem(const DemoSource& d) { return d.totals.mem; }
    static size_t linkCount(const DemoSource& d) { return d.links.size(); }
};
using Inspect = DemoSourceInspector;

namespace {

constexpr uint64_t GiB = 1073741824ull;
// A wall-clock moment 30 s into a beacon minute, so that no minute boundary
// lies within a couple of seconds of it.
constexpr double quietUnix = 1800000035.0;

// A clock that moves one second per reading, or stays put when step is 0.
struct TestClock {
    std::shared_ptr<double> unix;
    double step = 1;
    DemoSource::Clock fn() const
    {
        return [u = unix, s = step] {
            const Date d = Date::fromUnix(*u);
            *u += s;
            return d;
        };
    }
};

TestClock clockAt(double unix, double step = 1)
{
    return TestClock{std::make_shared<double>(unix), step};
}

const GroupSample* findGroup(const Snapshot& s, const QString& name)
{
    for (const auto& g : s.groups)
        if (g.name == name)
            return &g;
    return nullptr;
}

const Connection* findConnection(const Snapshot& s, const QString& remote, int64_t port)
{
    for (const auto& c : s.connections)
        if (c.remoteHost == remote && c.remotePort == port)
            return &c;
    return nullptr;
}

int64_t mod72(int64_t t)
{
    return ((t % 72) + 72) % 72;
}

} // namespace

TEST(SplitMix64, MatchesThePublishedSequence)
{
    SplitMix64 zero{0};
    EXPECT_EQ(zero.next(), 0xE220A8397B1DCDAFull);
    EXPECT_EQ(zero.next(), 0x6E789E6AA1B965F4ull);
    EXPECT_EQ(zero.next(), 0x06C45D188009454Full);

    // The demo's own seed: "TAVRIN" as a big-endian integer.
    SplitMix64 demo{0x54415652494Eull};
    EXPECT_EQ(demo.next(), 0x159E1849E9125A82ull);
    EXPECT_EQ(demo.next(), 0x538D088A8460479Full);
    EXPECT_EQ(demo.next(), 0xEFAB290F6E6E00E0ull);
}

TEST(SplitMix64, UniformAndGaussStayInRange)
{
    SplitMix64 rng{0x54415652494Eull};
    double lo = 1, hi = 0, sum = 0;
    for (int i = 0; i < 100000; ++i) {
        const double u = rng.uniform();
        lo = std::min(lo, u);
        hi = std::max(hi, u);
        const double g = rng.gauss();
        ASSERT_LE(std::abs(g), 3.464);
        sum += g;
    }
    EXPECT_GE(lo, 0.0);
    EXPECT_LT(hi, 1.0);
    EXPECT_NEAR(sum / 100000, 0.0, 0.03);
}

TEST(Wander, MeanRevertsAndClamps)
{
    SplitMix64 rng{42};
    // Pulled back towards 0 from the edge, never past the bounds.
    Wander walk{2, 0};
    double sum = 0;
    for (int i = 0; i < 20000; ++i) {
        const double v = walk.step(rng);
        ASSERT_LE(std::abs(v), 2.0);
        sum += v;
    }
    EXPECT_LT(std::abs(sum / 20000), 0.2);

    Wander high{1.9, 3};
    EXPECT_EQ(high.step(rng), 2.0);
    Wander low{-1.9, -3};
    EXPECT_EQ(low.step(rng), -2.0);

    SplitMix64 a{7}, b{7};
    const Wander fresh = Wander::start(a);
    EXPECT_DOUBLE_EQ(fresh.value, 0.4 * b.gauss());
    EXPECT_EQ(fresh.speed, 0.0);
    EXPECT_EQ(a.state, b.state); // four draws, no more
}

TEST(DemoTables, ShapeOfTheSimulatedMachine)
{
    const auto& groups = DemoTables::groups();
    ASSERT_EQ(groups.size(), 57u);
    size_t roles = 0, processes = 0;
    std::set<QString> roleNames;
    for (const auto& g : groups) {
        roles += g.roles.size();
        if (g.roles.size() == 1) {
            EXPECT_EQ(g.roles[0].name, g.name);
        }
        for (const auto& r : g.roles) {
            processes += size_t(r.count);
            roleNames.insert(r.name);
            if (g.kind == GroupKind::system) {
                EXPECT_TRUE(r.threads == 0 && r.fds == 0 && r.read == 0 && r.write == 0) << r.name.toStdString();
            }
        }
    }
    EXPECT_EQ(roles, 75u);
    EXPECT_EQ(processes, 144u);

    ASSERT_EQ(DemoTables::links().size(), 41u);
    ASSERT_EQ(DemoTables::listeners().size(), 19u);
    for (const auto& l : DemoTables::links())
        EXPECT_TRUE(l.owner == QStringView(DemoTables::agentName) || roleNames.count(l.owner)) << l.owner.toStdString();
    for (const auto& l : DemoTables::listeners())
        EXPECT_TRUE(roleNames.count(l.owner)) << l.owner.toStdString();

    // Internet names have three labels; their sites (the last two) are shared
    // only where flows belong to one service.
    std::set<QString> sites;
    for (const auto& l : DemoTables::links()) {
        if (l.scope == Connection::Scope::loopback) {
            EXPECT_FALSE(l.host.has_value());
            continue;
        }
        ASSERT_TRUE(l.host.has_value());
        const QStringList labels = l.host->split(u'.');
        if (l.scope == Connection::Scope::internet) {
            EXPECT_EQ(labels.size(), 3) << l.host->toStdString();
            sites.insert(labels[1] + u'.' + labels[2]);
        } else {
            EXPECT_EQ(labels.size(), 2) << l.host->toStdString();
        }
    }
    EXPECT_EQ(sites.size(), 19u);
    const auto& links = DemoTables::links();
    EXPECT_EQ(links[6].host->section(u'.', 1), links[9].host->section(u'.', 1));
    EXPECT_EQ(links[10].host->section(u'.', 1), links[24].host->section(u'.', 1));
    EXPECT_EQ(links[26].host, links[27].host);
}

TEST(DemoSource, BuildsTheWholeMachine)
{
    DemoSource source(clockAt(quietUnix).fn());
    const auto& procs = Inspect::procs(source);
    ASSERT_EQ(procs.size(), 57u);
    size_t count = 0;
    std::set<int32_t> pids;
    for (const auto& list : procs)
        for (const auto& p : list) {
            ++count;
            pids.insert(p.pid);
            // Never a pid the kernel could hand to a real process.
            EXPECT_TRUE(p.pid == 0 || p.pid == 1 || p.pid > 4194304) << p.pid;
            EXPECT_LT(p.pid, Inspect::agentBasePid(source));
        }
    EXPECT_EQ(count, 144u);
    EXPECT_EQ(pids.size(), 144u);
    EXPECT_EQ(Inspect::linkCount(source), 41u);

    // Tick -120 lies inside an agent cycle and outside the download window.
    const Snapshot s = source.advance(false).snapshot;
    EXPECT_EQ(s.groups.size(), 58u);
    EXPECT_EQ(s.connections.size(), 40u);
    EXPECT_EQ(s.listeners.size(), 19u);
    EXPECT_EQ(s.system.cores.size(), 16u);
    EXPECT_EQ(s.system.memTotal, 128 * GiB);
    EXPECT_EQ(s.interval, 1.0);
    EXPECT_EQ(s.netInterval, 2.0);
    for (const auto& g : s.groups)
        for (const auto& m : g.members)
            EXPECT_EQ(m.groupKey, g.key);

    // Flow identities are distinct even where two flows share a remote end.
    std::set<QString> ids;
    for (const auto& c : s.connections)
        ids.insert(c.id);
    EXPECT_EQ(ids.size(), s.connections.size());
    const QString browser = QString::number(s.connections[0].pid);
    EXPECT_EQ(s.connections[0].id, browser + " tcp4 10.0.1.24:49152<->192.0.2.10:443");
    EXPECT_EQ(s.connections[3].id, browser + " tcp6 2001:db8:a::24.50343<->2001:db8:4::1f.443");
    const Connection* local = findConnection(s, "127.0.0.1", 5173);
    ASSERT_NE(local, nullptr);
    EXPECT_EQ(local->id, browser + " tcp4 127.0.0.1:61856<->127.0.0.1:5173");
    EXPECT_FALSE(local->host.has_value());
}

TEST(DemoSource, SystemProcessesAndTheProcessTree)
{
    DemoSource source(clockAt(quietUnix).fn());
    const auto& procs = Inspect::procs(source);

    const auto& kernel = procs[0][0];
    EXPECT_EQ(kernel.name, "kernel");
    EXPECT_EQ(kernel.groupKey, "exe:kernel");
    EXPECT_EQ(kernel.pid, 0);
    EXPECT_EQ(kernel.ppid, 0);
    EXPECT_TRUE(kernel.path.isEmpty());
    const auto& init = procs[1][0];
    EXPECT_EQ(init.pid, 1);
    EXPECT_EQ(init.ppid, 1);
    EXPECT_EQ(init.path, "/usr/lib/systemd/systemd");
    for (size_t i = 2; i < 14; ++i) {
        EXPECT_GE(procs[i][0].pid, 4200030);
        EXPECT_TRUE(procs[i][0].path.startsWith("/usr/libexec/"));
        EXPECT_TRUE(procs[i][0].restricted);
    }

    // Applications group under their desktop entry.
    const auto& mail = procs[22];
    EXPECT_EQ(mail[0].groupName, "Mail");
    EXPECT_EQ(mail[0].groupKey, "/usr/share/applications/mail.desktop");
    EXPECT_EQ(mail[0].bundlePath, mail[0].groupKey);
    EXPECT_EQ(procs[26][0].groupKey, "/usr/share/applications/password-vault.desktop");

    const int32_t terminal = procs[37][0].pid;
    const auto& shells = procs[38];
    ASSERT_EQ(shells.size(), 6u);
    EXPECT_EQ(shells[0].ppid, terminal);
    for (size_t k = 1; k < shells.size(); ++k)
        EXPECT_EQ(shells[k].ppid, shells[0].pid);

    // The first process of every other tool group is the child of a shell,
    // taken in turn; its siblings are its children.
    size_t turn = 0;
    for (size_t i = 0; i < procs.size(); ++i) {
        const auto& list = procs[i];
        if (DemoTables::groups()[i].kind != GroupKind::tool || i == 38)
            continue;
        EXPECT_EQ(list[0].ppid, shells[turn % 6].pid) << list[0].name.toStdString();
        ++turn;
        for (size_t k = 1; k < list.size(); ++k)
            EXPECT_EQ(list[k].ppid, list[0].pid);
        EXPECT_TRUE(list[0].path.startsWith("/usr/local/bin/"));
    }
    EXPECT_EQ(turn, 14u);

    // Start times: system groups from the base date, our own a second before now.
    const Date origin = Inspect::origin(source);
    EXPECT_DOUBLE_EQ(procs[0][0].start - origin, -874800);
    EXPECT_DOUBLE_EQ(procs[56][0].start - origin, -1);
    EXPECT_NEAR(procs[29][1].start - procs[29][0].start, 0.6, 1e-6);
}

TEST(DemoSource, NetSerialCountsOnlyLiveProcessTicks)
{
    DemoSource source(clockAt(quietUnix).fn());
    const auto history = source.prefill();
    ASSERT_EQ(history.size(), 120u);
    for (const auto& s : history)
        EXPECT_EQ(s.netSerial, 0);
    EXPECT_DOUBLE_EQ(history.front().system.date - Inspect::origin(source), -120);
    EXPECT_DOUBLE_EQ(history.back().system.date - Inspect::origin(source), -1);

    const int64_t expected[] = {1, 1, 2, 2, 3};
    for (int t = 0; t < 5; ++t) {
        const auto frame = source.advance(true);
        EXPECT_EQ(frame.snapshot.netSerial, expected[t]);
        EXPECT_EQ(frame.procTick, t % 2 == 0);
        EXPECT_EQ(frame.clock, double(t));
    }
}

TEST(DemoSource, OddTicksRepeatTheProcessReading)
{
    DemoSource source(clockAt(quietUnix).fn());
    const auto even = source.advance(false).snapshot;
    const auto odd = source.advance(false).snapshot;
    EXPECT_EQ(odd.groups, even.groups);
    EXPECT_EQ(odd.connections, even.connections);
    EXPECT_NE(odd.system.cores, even.system.cores);
}

TEST(DemoSource, AgentComesAndGoesEachCycle)
{
    DemoSource source(clockAt(quietUnix).fn());
    source.prefill();
    const int32_t base = Inspect::agentBasePid(source);
    for (int64_t t = 0; t < 220; ++t) {
        const auto frame = source.advance(true);
        if (!frame.procTick)
            continue;
        const int64_t m = mod72(t);
        const GroupSample* agent = findGroup(frame.snapshot, "agent-cli");
        const Connection* flow = findConnection(frame.snapshot, "198.51.100.200", 443);
        ASSERT_EQ(agent != nullptr, m >= 6 && m <= 57) << t;
        ASSERT_EQ(flow != nullptr, agent != nullptr) << t;
        if (!agent)
            continue;
        EXPECT_EQ(&frame.snapshot.groups.back(), agent);
        EXPECT_EQ(agent->key, "exe:agent-cli");
        ASSERT_EQ(agent->members.size(), 1u);
        const int32_t pid = agent->members[0].pid;
        EXPECT_EQ(pid, base + int32_t((t - m) / 72 + 4) * 173);
        EXPECT_EQ(flow->pid, pid);
        if (t == 6) {
            EXPECT_EQ(pid, base + 692);
        }
        if (t == 78) {
            EXPECT_EQ(pid, base + 865);
        }
        if (m == 6) { // a new cycle starts its flow from nothing
            EXPECT_DOUBLE_EQ(flow->bytesIn, 2 * flow->rateIn) << t;
        } else {
            EXPECT_GT(flow->bytesIn, 2 * flow->rateIn) << t;
        }
        EXPECT_EQ(agent->members[0].netIn, flow->rateIn);
    }
}

TEST(DemoSource, CloudSyncDownloadWindow)
{
    DemoSource source(clockAt(quietUnix).fn());
    source.prefill();
    int windows = 0;
    for (int64_t t = 0; t < 150; ++t) {
        const auto frame = source.advance(true);
        if (!frame.procTick)
            continue;
        const int64_t m = mod72(t);
        const bool inWindow = m >= 38 && m <= 57;
        const Connection* dl = findConnection(frame.snapshot, "203.0.113.121", 443);
        ASSERT_EQ(dl != nullptr, inWindow) << t;
        const GroupSample* sync = findGroup(frame.snapshot, "Cloud Sync");
        ASSERT_NE(sync, nullptr);
        const ProcSample& first = sync->members[0];
        if (inWindow) {
            EXPECT_GE(dl->rateIn, 12.0 * 1048576);
            EXPECT_DOUBLE_EQ(dl->rateOut, dl->rateIn * 0.012);
            if (m == 38) {
                ++windows;
                EXPECT_DOUBLE_EQ(dl->bytesIn, 2 * dl->rateIn);
            }
            EXPECT_GE(first.cpu, 14.0);
            EXPECT_GE(first.diskWrite, 0.9 * first.netIn);
        } else {
            EXPECT_LT(first.cpu, 14.0);
            EXPECT_LT(first.diskWrite, 0.9 * 12 * 1048576);
        }
        // The extra load reaches the group's sums too.
        double cpu = 0, write = 0;
        for (const auto& member : sync->members) {
            cpu += member.cpu;
            write += member.diskWrite;
        }
        EXPECT_NEAR(sync->cpu, cpu, 1e-9);
        EXPECT_NEAR(sync->diskWrite, write, 1e-6);
    }
    EXPECT_EQ(windows, 2);
}

TEST(DemoSource, BeaconFollowsTheWallClockMinute)
{
    auto clock = clockAt(quietUnix, 0);
    DemoSource source(clock.fn());
    auto beacon = [&] {
        const auto s = source.advance(true).snapshot;
        source.advance(true);
        const Connection* c = findConnection(s, "198.51.100.61", 443);
        EXPECT_NE(c, nullptr);
        return c ? c->rateIn : -1.0;
    };
    EXPECT_DOUBLE_EQ(beacon(), 1.2 * 1024); // always in the very first step
    EXPECT_EQ(beacon(), 0.0);
    *clock.unix += 60;
    EXPECT_DOUBLE_EQ(beacon(), 1.2 * 1024);
    EXPECT_EQ(beacon(), 0.0);
    EXPECT_EQ(beacon(), 0.0);
}

TEST(DemoSource, IdleFlowsAndRestrictedProcesses)
{
    DemoSource source(clockAt(quietUnix).fn());
    const Snapshot first = source.advance(false).snapshot;
    Snapshot last;
    for (int i = 0; i < 40; ++i)
        last = source.advance(false).snapshot;

    int idle = 0;
    for (const auto& c : last.connections) {
        const auto before = std::find_if(first.connections.begin(), first.connections.end(),
                                         [&](const Connection& f) { return f.id == c.id; });
        if (c.rateIn != 0 || c.rateOut != 0 || before == first.connections.end())
            continue;
        if (c.remoteHost == "198.51.100.61")
            continue; // the beacon between two minutes
        ++idle;
        EXPECT_EQ(c.bytesIn, before->bytesIn);
        EXPECT_EQ(c.bytesOut, before->bytesOut);
        EXPECT_EQ(before->rateIn, 0.0);
    }
    EXPECT_EQ(idle, 12);

    double openMem = 0;
    for (const auto& g : last.groups) {
        bool anyOpen = false;
        for (const auto& m : g.members) {
            if (m.restricted) {
                EXPECT_EQ(m.threads, 0);
                EXPECT_EQ(m.fds, 0);
                EXPECT_EQ(m.diskRead, 0.0);
                EXPECT_EQ(m.diskWrite, 0.0);
            } else {
                anyOpen = true;
                EXPECT_GE(m.threads, 1);
                EXPECT_GE(m.fds, 3);
            }
            EXPECT_LE(m.cpu, 140.0);
        }
        if (anyOpen)
            openMem += double(g.mem);
    }
    EXPECT_EQ(Inspect::totalsMem(source), openMem);

    const GroupSample* self = findGroup(last, "Tavrin");
    ASSERT_NE(self, nullptr);
    EXPECT_EQ(last.selfCPU, self->members[0].cpu);
    EXPECT_EQ(last.selfMem, self->members[0].mem);
}

TEST(DemoSource, SystemFiguresStayInBounds)
{
    DemoSource source(clockAt(quietUnix).fn());
    source.prefill();
    for (int i = 0; i < 400; ++i) {
        const SystemSample s = source.advance(true).snapshot.system;
        ASSERT_EQ(s.cores.size(), 16u);
        double sum = 0;
        for (double c : s.cores) {
            ASSERT_LE(c, 0.99);
            ASSERT_GE(c, 0.0);
            sum += c;
        }
        EXPECT_NEAR(s.cpu, sum / 16, 1e-12);
        EXPECT_NEAR(s.cpuUser + s.cpuSystem, s.cpu, 1e-12);
        ASSERT_GE(s.gpu, 0.03);
        ASSERT_LE(s.gpu, 0.95);
        EXPECT_GT(s.memApp, 4 * GiB);
        EXPECT_LT(s.memApp + s.memWired + s.memCompressed + s.memCached, s.memTotal);
        EXPECT_EQ(s.fileMax, 491520);
        EXPECT_GE(s.fileCount, 7800);
    }
}

namespace {

// A snapshot with its dates expressed relative to the source's origin.
Snapshot relativeDates(Snapshot s, Date origin)
{
    s.system.date = Date{s.system.date - origin};
    for (auto& g : s.groups)
        for (auto& m : g.members)
            if (m.startTime)
                m.startTime = Date{*m.startTime - origin};
    return s;
}

} // namespace

TEST(DemoSource, RunsAreReproducible)
{
    // Same clock: every frame equal, to the last bit.
    {
        DemoSource a(clockAt(quietUnix).fn());
        DemoSource b(clockAt(quietUnix).fn());
        EXPECT_EQ(a.prefill(), b.prefill());
        for (int i = 0; i < 300; ++i) {
            const auto fa = a.advance(true);
            const auto fb = b.advance(true);
            ASSERT_EQ(fa.snapshot, fb.snapshot) << i;
            ASSERT_EQ(fa.procTick, fb.procTick);
            ASSERT_EQ(fa.clock, fb.clock);
        }
    }
    // Started hours apart at the same second of the minute: only dates differ.
    {
        DemoSource a(clockAt(quietUnix).fn());
        DemoSource b(clockAt(quietUnix + 5 * 3600).fn());
        const Date oa = Inspect::origin(a), ob = Inspect::origin(b);
        EXPECT_DOUBLE_EQ(ob - oa, 5 * 3600);
        const auto ha = a.prefill(), hb = b.prefill();
        for (size_t i = 0; i < ha.size(); ++i)
            ASSERT_EQ(relativeDates(ha[i], oa), relativeDates(hb[i], ob)) << i;
        for (int i = 0; i < 300; ++i)
            ASSERT_EQ(relativeDates(a.advance(true).snapshot, oa), relativeDates(b.advance(true).snapshot, ob)) << i;
    }
}
