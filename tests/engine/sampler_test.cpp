#include "engine/sampler.h"

#include "probes_fixture.h"

#include <QTemporaryDir>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

GroupSample groupOf(const char* name, double cpu, uint64_t mem, double net = 0, double disk = 0, int members = 1)
{
    GroupSample g(QString("exe:") + name, name, std::nullopt);
    for (int i = 0; i < members; ++i) {
        ProcSample p;
        p.pid = 100 + i;
        p.threads = 2;
        p.cpu = i == 0 ? cpu : 0;
        p.mem = i == 0 ? mem : 0;
        p.netIn = i == 0 ? net : 0;
        p.diskWrite = i == 0 ? disk : 0;
        g.add(p);
    }
    return g;
}

// Collects the updates a running sampler delivers.
struct Collector {
    std::mutex lock;
    std::condition_variable arrived;
    std::vector<Sampler::Update> updates;

    Sampler::Callback callback()
    {
        return [this](const Sampler::Update& u) {
            std::lock_guard guard(lock);
            updates.push_back(u);
            arrived.notify_all();
        };
    }

    bool waitFor(size_t count, std::chrono::seconds limit)
    {
        std::unique_lock guard(lock);
        return arrived.wait_for(guard, limit, [&] { return updates.size() >= count; });
    }

    // Runs a sampler on a scratch store until `count` updates arrived.
    bool run(bool demo, size_t count, const QString& storePath)
    {
        Sampler::Options options;
        options.demo = demo;
        options.storePath = storePath;
        Sampler sampler(options);
        sampler.setOnUpdate(callback());
        Preferences prefs;
        prefs.resolveHosts = false;
        sampler.apply(prefs);
        sampler.start();
        return waitFor(count, std::chrono::seconds(60));
    }
};

} // namespace

TEST(SamplerTotals, CountsAndTopTexts)
{
    SystemSample s;
    s.topCPU = "stale";
    Sampler::fillTotals(s, {});
    EXPECT_EQ(s.procCount, 0);
    EXPECT_EQ(s.threadCount, 0);
    EXPECT_TRUE(s.topCPU.isEmpty() && s.topMem.isEmpty() && s.topNet.isEmpty() && s.topDisk.isEmpty());

    std::vector<GroupSample> groups{groupOf("a", 12.34, 0, 0, 0, 3), groupOf("b", 12.34, 0), groupOf("c", 1, 0)};
    Sampler::fillTotals(s, groups);
    EXPECT_EQ(s.procCount, 5);
    EXPECT_EQ(s.threadCount, 10);
    EXPECT_EQ(s.topCPU, "a 12.3%"); // the earlier of two equal groups
    EXPECT_EQ(s.topMem, "a 0B");    // present even when every group has none
    EXPECT_EQ(s.topNet, "");
    EXPECT_EQ(s.topDisk, "");

    groups = {groupOf("x", 99.96, 1048576, 1024, 0), groupOf("y", 100, 1 << 30, 0, 2048)};
    Sampler::fillTotals(s, groups);
    EXPECT_EQ(s.topCPU, "y 100%");
    EXPECT_EQ(s.topMem, "y 1.0G");
    EXPECT_EQ(s.topNet, "x 1K/s");
    EXPECT_EQ(s.topDisk, "y 2K/s");
    groups = {groupOf("x", 99.96, 0)};
    Sampler::fillTotals(s, groups);
    EXPECT_EQ(s.topCPU, "x 100.0%");
    // A figure that is not a number never holds the top.
    groups = {groupOf("nan", std::numeric_limits<double>::quiet_NaN(), 0), groupOf("z", 3, 0)};
    Sampler::fillTotals(s, groups);
    EXPECT_EQ(s.topCPU, "z 3.0%");
}

TEST(SamplerTotals, GroupsKeepFirstSeenOrderAndSums)
{
    auto proc = [](int32_t pid, const char* key, double cpu) {
        ProcSample p;
        p.pid = pid;
        p.groupKey = key;
        p.groupName = QString(key).mid(4);
        p.cpu = cpu;
        return p;
    };
    auto groups = Sampler::group({proc(1, "exe:a", 1), proc(2, "exe:b", 2), proc(3, "exe:a", 3)});
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0].key, "exe:a");
    EXPECT_EQ(groups[0].name, "a");
    ASSERT_EQ(groups[0].members.size(), 2u);
    EXPECT_EQ(groups[0].members[1].pid, 3);
    EXPECT_DOUBLE_EQ(groups[0].cpu, 4);
    EXPECT_EQ(groups[1].key, "exe:b");
}

TEST(SamplerDemo, HistoryArrivesAtOnceAndNothingIsEverOpened)
{
    QTemporaryDir dir;
    const QString store = dir.filePath("incidents.json");
    Collector collector;
    ASSERT_TRUE(collector.run(true, 121, store));
    std::lock_guard guard(collector.lock);
    for (size_t i = 0; i < 120; ++i) {
        const Sampler::Update& u = collector.updates[i];
        EXPECT_TRUE(u.incidents.empty());
        EXPECT_TRUE(u.opened.empty());
        EXPECT_EQ(u.snapshot.netSerial, 0);
        EXPECT_GT(u.snapshot.system.procCount, 0);
        EXPECT_FALSE(u.snapshot.system.topCPU.isEmpty());
    }
    EXPECT_EQ(collector.updates[120].snapshot.netSerial, 1);
    for (const auto& u : collector.updates)
        EXPECT_TRUE(u.opened.empty());
    // The demo never touches the store.
    EXPECT_FALSE(QFile::exists(store));
}

TEST(SamplerDemo, GoesAwayWhileItsHistoryIsStillBeingMade)
{
    // Destroyed right after the first prefilled update, while the queue
    // still runs the task that starts the ticks.
    QTemporaryDir dir;
    Collector collector;
    {
        Sampler::Options options;
        options.demo = true;
        options.storePath = dir.filePath("incidents.json");
        Sampler sampler(options);
        sampler.setOnUpdate(collector.callback());
        sampler.start();
        ASSERT_TRUE(collector.waitFor(1, std::chrono::seconds(60)));
    }
    SUCCEED();
}

TEST(SamplerLive, ProcessTicksAlternateWithSystemTicks)
{
    QTemporaryDir dir;
    Collector collector;
    ASSERT_TRUE(collector.run(false, 3, dir.filePath("incidents.json")));
    std::lock_guard guard(collector.lock);
    const Snapshot& first = collector.updates[0].snapshot;
    const Snapshot& second = collector.updates[1].snapshot;
    const Snapshot& third = collector.updates[2].snapshot;

    // First tick: processes without rates, no rules.
    EXPECT_FALSE(first.groups.empty());
    EXPECT_GT(first.system.procCount, 0);
    EXPECT_EQ(first.system.netIn, 0);
    EXPECT_TRUE(collector.updates[0].opened.empty());
    for (const auto& g : first.groups)
        EXPECT_EQ(g.cpu, 0) << g.name.toStdString();

    // Second tick repeats the process reading with fresh machine figures.
    EXPECT_EQ(second.groups, first.groups);
    EXPECT_EQ(second.netSerial, first.netSerial);
    EXPECT_TRUE(collector.updates[1].opened.empty());
    EXPECT_GT(second.system.date, first.system.date);

    // Third tick: a new process reading in which we find ourselves.
    bool found = false;
    for (const auto& g : third.groups)
        for (const auto& p : g.members)
            found = found || p.pid == getpid();
    EXPECT_TRUE(found);
    EXPECT_GT(third.selfMem, 0u);
    EXPECT_EQ(third.interval, 1.0);
}

TEST(SamplerUnread, AMachineThatCannotBeReadKeepsItsLastFiguresAndItsIncidents)
{
    FakeRoot r;
    QTemporaryDir store;
    std::atomic<double> clock{0};
    Sampler::Options options;
    options.demo = false;
    options.storePath = store.filePath("incidents.json");
    options.root = r.path();
    options.clock = [&clock] { return clock.load(); };
    Sampler sampler(options);
    Collector collector;
    sampler.setOnUpdate(collector.callback());
    Preferences prefs;
    prefs.resolveHosts = false;
    sampler.apply(prefs);

    // A machine at half load with one process using two cores, read once a
    // second of the injected clock.
    FakeRoot::Proc busy;
    busy.pid = 100;
    busy.comm = "miner";
    auto machineAt = [&](int t) {
        const QByteArray half = QByteArray::number(50 * t);
        r.write("proc/stat", "cpu0 " + half + " 0 0 " + half + " 0 0 0 0 0 0\nbtime 1\n");
        r.write("proc/meminfo", "MemTotal: 8000000 kB\nMemAvailable: 4000000 kB\nAnonPages: 2000000 kB\n");
        busy.utime = uint64_t(200 * t);
        r.process(busy);
    };
    auto tick = [&](int t) {
        clock = double(t);
        sampler.tickNow();
        EXPECT_TRUE(collector.waitFor(size_t(t), std::chrono::seconds(60)));
        std::lock_guard guard(collector.lock);
        return collector.updates.back();
    };
    auto openIncidents = [](const Sampler::Update& u) {
        std::vector<QUuid> open;
        for (const Incident& i : u.incidents)
            if (!i.end)
                open.push_back(i.id);
        return open;
    };

    Sampler::Update last;
    for (int t = 1; t <= 60; ++t) {
        machineAt(t);
        last = tick(t);
    }
    ASSERT_EQ(last.snapshot.unreadable, 0);
    const std::vector<QUuid> open = openIncidents(last);
    ASSERT_EQ(open.size(), 1u);
    EXPECT_DOUBLE_EQ(last.snapshot.system.cpu, 0.5);
    EXPECT_EQ(last.snapshot.system.procCount, 1);

    // /proc goes for longer than an incident takes to close.
    r.remove("proc");
    for (int t = 61; t <= 80; ++t) {
        const Sampler::Update u = tick(t);
        EXPECT_EQ(u.snapshot.unreadable, ENOENT) << t;
        EXPECT_EQ(u.snapshot.system, last.snapshot.system) << t;
        EXPECT_EQ(u.snapshot.groups, last.snapshot.groups) << t;
        EXPECT_TRUE(u.opened.empty()) << t;
        EXPECT_EQ(u.incidents, last.incidents) << t;
    }

    // It comes back by itself, and the incident it had is still the one open.
    for (int t = 81; t <= 84; ++t) {
        machineAt(t);
        const Sampler::Update u = tick(t);
        EXPECT_EQ(u.snapshot.unreadable, 0) << t;
        EXPECT_TRUE(u.opened.empty()) << t;
        EXPECT_EQ(openIncidents(u), open) << t;
        EXPECT_EQ(u.snapshot.system.procCount, 1) << t;
    }
}
