#include "engine/incident_rules.h"
#include "core/l10n.h"

#include "detector_samples.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

using namespace detector_test;
using Kind = Incident::Kind;

namespace {

struct Rules : ::testing::Test {
    IncidentRules rules;
    Preferences p = prefs();

    void SetUp() override { L10n::setChinese(false); }
    void TearDown() override { L10n::setChinese(false); }

    std::vector<IncidentRules::Condition> pass(const Snapshot& s, double now)
    {
        return rules.collect(s, now, p);
    }

    static QStringList keys(const std::vector<IncidentRules::Condition>& cs)
    {
        QStringList out;
        for (const auto& c : cs)
            out << c.key;
        return out;
    }
};

} // namespace

TEST_F(Rules, SystemRulesAtTheirBoundaries)
{
    Snapshot s = snapshot();
    s.system.cpu = 0.874;
    s.system.pressure = 1;
    s.system.fileCount = 60;
    s.system.fileMax = 100;
    auto cs = pass(s, 100);
    ASSERT_EQ(keys(cs), QStringList({"sys.cpu", "sys.files"}));
    EXPECT_EQ(cs[0].valueText, "87%");
    EXPECT_DOUBLE_EQ(cs[0].value, 0.874);
    EXPECT_EQ(cs[0].severity, Severity::warn);
    EXPECT_EQ(cs[0].hold, 8);
    EXPECT_EQ(cs[0].subject, QString::fromUtf8("整机"));
    EXPECT_FALSE(cs[0].groupKey);
    EXPECT_FALSE(cs[0].pid);
    EXPECT_EQ(cs[1].valueText, "60 / 100");
    EXPECT_EQ(cs[1].severity, Severity::warn);

    s.system.cpu = 0.97;
    s.system.pressure = 2;
    s.system.memApp = 1024;
    s.system.memWired = 1024;
    s.system.fileCount = 85;
    cs = pass(s, 102);
    ASSERT_EQ(keys(cs), QStringList({"sys.cpu", "sys.pressure", "sys.files"}));
    EXPECT_EQ(cs[0].severity, Severity::critical);
    EXPECT_EQ(cs[1].severity, Severity::warn);
    EXPECT_EQ(cs[1].valueText, "2K");
    EXPECT_EQ(cs[2].severity, Severity::critical);

    s.system.pressure = 4;
    cs = pass(s, 104);
    EXPECT_EQ(cs[1].severity, Severity::critical);

    s.system.cpu = 0.5;
    s.system.pressure = 1;
    s.system.fileCount = 59;
    EXPECT_TRUE(pass(s, 106).empty());
}

TEST_F(Rules, ProcessRulesInOrderWithTheirTexts)
{
    ProcSample a = proc(42, "render");
    a.cpu = 150;          // exactly the threshold
    a.mem = uint64_t(20 * GiB); // 2.5 × 8 GiB
    a.netIn = 5 * MiB;
    a.netOut = 2 * MiB;
    a.threads = 1000;     // 2.5 × 400
    a.fds = 1024;
    auto cs = pass(snapshot({group("exe:render", "Render", {a})}), 100);
    ASSERT_EQ(keys(cs), QStringList({"processCPU.42", "memory.42", "download.42", "upload.42",
                                     "threads.42", "fds.42"}));
    EXPECT_EQ(cs[0].severity, Severity::warn);
    EXPECT_EQ(cs[0].valueText, "150%");
    EXPECT_EQ(cs[0].hold, 45);
    EXPECT_EQ(cs[0].subject, "render");
    EXPECT_EQ(cs[0].groupKey, "exe:render");
    EXPECT_EQ(cs[0].pid, 42);
    EXPECT_EQ(cs[1].severity, Severity::critical);
    EXPECT_EQ(cs[1].valueText, "20.0G");
    EXPECT_EQ(cs[2].valueText, "5.0M/s");
    EXPECT_EQ(cs[3].severity, Severity::warn);
    EXPECT_EQ(cs[4].severity, Severity::critical);
    EXPECT_EQ(cs[4].valueText, "1000 threads");
    EXPECT_EQ(cs[5].severity, Severity::warn);
    EXPECT_EQ(cs[5].valueText, "1024 handles");

    L10n::setChinese(true);
    a.cpu = 600;
    cs = pass(snapshot({group("exe:render", "Render", {a})}), 102);
    EXPECT_EQ(cs[0].severity, Severity::critical);
    EXPECT_EQ(cs[4].valueText, QString::fromUtf8("1000 线程"));
    EXPECT_EQ(cs[5].valueText, QString::fromUtf8("1024 句柄"));
}

TEST_F(Rules, CpuTextPatternIsChosenBeforeRounding)
{
    EXPECT_EQ(IncidentRules::percentText(99.96), "100.0%");
    EXPECT_EQ(IncidentRules::percentText(100), "100%");
    EXPECT_EQ(IncidentRules::percentText(12.34), "12.3%");
    EXPECT_EQ(IncidentRules::percentText(250.4), "250%");
}

TEST_F(Rules, MutedGroupYieldsNothingButSystemRulesStay)
{
    ProcSample hot = proc(7, "miner");
    hot.cpu = 800;
    hot.mem = uint64_t(100 * GiB);
    hot.threads = 5000;
    Snapshot s = snapshot({group("exe:miner", "Miner", {hot})});
    s.system.cpu = 1.0;
    pass(s, 100); // a mark pass: the process has history now
    ASSERT_EQ(rules.marks.count(7), 1u);

    p.ignored = QStringList{"Miner"};
    auto cs = pass(s, 106);
    EXPECT_EQ(keys(cs), QStringList({"sys.cpu"}));
    EXPECT_EQ(rules.marks.count(7), 0u);           // dropped at the mark pass
    EXPECT_EQ(rules.groupCounts.count("exe:miner"), 1); // counts stay, frozen
    EXPECT_EQ(rules.groupCounts.value("exe:miner").size(), 1u);

    // Unmuting starts the history afresh: no growth against the old mark.
    p.ignored.clear();
    hot.mem = uint64_t(200 * GiB);
    cs = pass(snapshot({group("exe:miner", "Miner", {hot})}), 112);
    EXPECT_FALSE(keys(cs).contains("memoryGrowth.7"));
}

TEST_F(Rules, RestrictedAndPidZeroGetOnlyTheFirstFourRules)
{
    auto overEverything = [](int32_t pid, bool restricted) {
        ProcSample x = proc(pid, "kernel_task");
        x.restricted = restricted;
        x.cpu = 900;
        x.mem = uint64_t(100 * GiB);
        x.netIn = x.netOut = 100 * MiB;
        x.threads = 100000;
        x.fds = 100000;
        return x;
    };
    const Snapshot s = snapshot({group("exe:sys", "System", {overEverything(0, false),
                                                             overEverything(5, true)})});
    for (double now : {100.0, 106.0, 112.0}) {
        auto cs = pass(s, now);
        EXPECT_EQ(keys(cs), QStringList({"processCPU.0", "memory.0", "download.0", "upload.0",
                                         "processCPU.5", "memory.5", "download.5", "upload.5"}));
    }
    EXPECT_TRUE(rules.marks.empty());
}

TEST_F(Rules, GrowthComparesWithTheOldestOfTwelveMarks)
{
    ProcSample x = proc(9, "leaky");
    x.mem = uint64_t(50 * GiB); // huge but no history yet
    auto run = [&](double now) { return pass(snapshot({group("exe:leaky", "Leaky", {x})}), now); };
    EXPECT_FALSE(keys(run(100)).contains("memoryGrowth.9"));

    // Twelve marks 6 s apart: t = 100 … 166.
    for (int k = 1; k < 12; ++k) {
        x.mem += uint64_t(0.05 * GiB);
        run(100 + 6 * k);
    }
    ASSERT_EQ(rules.marks.at(9).size(), 12u);
    EXPECT_EQ(rules.marks.at(9).front().t, 100);

    // The 13th mark pass still measures from t = 100, then pushes it out.
    x.mem = uint64_t(50 * GiB + 1.2 * GiB);
    auto cs = run(172);
    ASSERT_TRUE(keys(cs).contains("memoryGrowth.9"));
    const auto& c = cs[std::size_t(keys(cs).indexOf("memoryGrowth.9"))];
    EXPECT_EQ(c.valueText, "+1.2G / 72s");
    EXPECT_EQ(c.hold, 0);
    EXPECT_EQ(c.severity, Severity::warn);
    EXPECT_EQ(rules.marks.at(9).size(), 12u);
    EXPECT_EQ(rules.marks.at(9).front().t, 106);

    // Between mark passes the list stays; the comparison is now with t = 106.
    L10n::setChinese(true);
    cs = run(174);
    ASSERT_TRUE(keys(cs).contains("memoryGrowth.9"));
    EXPECT_TRUE(cs.back().valueText.endsWith(QString::fromUtf8(" / 68 秒")));
}

TEST_F(Rules, ShrinkingIsNotGrowth)
{
    ProcSample x = proc(9, "shrinker");
    x.mem = uint64_t(4 * GiB);
    x.threads = 300;
    x.fds = 900;
    pass(snapshot({group("exe:s", "S", {x})}), 100);
    x.mem = uint64_t(1 * GiB);
    x.threads = 10;
    x.fds = 5;
    EXPECT_TRUE(pass(snapshot({group("exe:s", "S", {x})}), 102).empty());
}

TEST_F(Rules, ThreadAndHandleGrowthTexts)
{
    ProcSample x = proc(3, "spawner");
    x.threads = 50;
    x.fds = 100;
    pass(snapshot({group("exe:s", "S", {x})}), 100);
    x.threads = 200;
    x.fds = 500;
    auto cs = pass(snapshot({group("exe:s", "S", {x})}), 102);
    ASSERT_EQ(keys(cs), QStringList({"threadGrowth.3", "fdGrowth.3"}));
    EXPECT_EQ(cs[0].valueText, QString::fromUtf8("+150 threads → 200"));
    EXPECT_EQ(cs[1].valueText, QString::fromUtf8("+400 handles → 500"));
    EXPECT_DOUBLE_EQ(cs[1].value, 400);
    x.threads = 199;
    x.fds = 499;
    EXPECT_TRUE(pass(snapshot({group("exe:s", "S", {x})}), 104).empty());
}

TEST_F(Rules, BurstNeedsFortyMembersAndTwentyMore)
{
    pass(snapshot({groupOf("exe:a", "A", 30, 1000), groupOf("exe:b", "B", 10, 2000)}), 100);
    auto cs = pass(snapshot({groupOf("exe:a", "A", 50, 1000), groupOf("exe:b", "B", 35, 2000)}), 102);
    ASSERT_EQ(keys(cs), QStringList({"burst.exe:a"}));
    EXPECT_EQ(cs[0].valueText, QString::fromUtf8("+20 procs → 50"));
    EXPECT_EQ(cs[0].subject, "A");
    EXPECT_EQ(cs[0].groupKey, "exe:a");
    EXPECT_FALSE(cs[0].pid);
    EXPECT_DOUBLE_EQ(cs[0].value, 50);

    // What runs when the detector starts is its own baseline; an app that
    // appears later had no members before, muted or not at the last mark.
    IncidentRules fresh;
    EXPECT_TRUE(fresh.collect(snapshot({groupOf("exe:c", "C", 60, 3000)}), 100, p).empty());
    p.ignored = {"M"};
    fresh.collect(snapshot({groupOf("exe:c", "C", 60, 3000), groupOf("exe:m", "M", 50, 5000)}), 105, p);
    p.ignored.clear();
    const Snapshot later = snapshot({groupOf("exe:c", "C", 60, 3000), groupOf("exe:m", "M", 50, 5000),
                          groupOf("exe:d", "D", 45, 4000)});
    EXPECT_TRUE(fresh.collect(later, 107, p).empty()); // not a mark pass: no count yet
    cs = fresh.collect(later, 110, p);
    ASSERT_EQ(keys(cs), QStringList({"burst.exe:d"}));
    EXPECT_EQ(cs[0].valueText, QString::fromUtf8("+45 procs → 45"));
}

TEST_F(Rules, HugeThresholdsDoNotOverflow)
{
    constexpr int64_t top = std::numeric_limits<int64_t>::max();
    p.thresholds.threads = top;
    p.thresholds.fds = top;
    p.thresholds.memoryGB = 1e300;
    p.thresholds.processCPU = 1e308;
    ProcSample x = proc(4, "odd");
    x.threads = top;
    x.fds = 1000;
    x.mem = std::numeric_limits<uint64_t>::max();
    x.cpu = 1e6;
    auto cs = pass(snapshot({group("exe:o", "O", {x})}), 100);
    ASSERT_EQ(keys(cs), QStringList({"threads.4"}));
    EXPECT_EQ(cs[0].severity, Severity::warn);

    // Tiny thresholds still work in the other direction.
    p.thresholds.fds = 1;
    cs = pass(snapshot({group("exe:o", "O", {x})}), 102);
    ASSERT_EQ(keys(cs), QStringList({"threads.4", "fds.4"}));
    EXPECT_EQ(cs[1].severity, Severity::critical);
}

TEST_F(Rules, ZeroNegativeOrNonFiniteThresholdsFallBackToTheDefaults)
{
    // "0" is how a hand edit says "off"; it must not turn every idle
    // process into a breach.
    for (double bad : {0.0, -1.0, -1e300, std::numeric_limits<double>::quiet_NaN(),
                       std::numeric_limits<double>::infinity()}) {
        p.thresholds.systemCPU = bad;
        p.thresholds.processCPU = bad;
        p.thresholds.memoryGB = bad;
        p.thresholds.memoryGrowthGB = bad;
        p.thresholds.downloadMB = bad;
        p.thresholds.uploadMB = bad;
        p.thresholds.threads = bad > 0 ? 400 : int64_t(bad < 0 ? -5 : 0);
        p.thresholds.fds = p.thresholds.threads;
        IncidentRules fresh;
        Snapshot idle = snapshot({group("exe:a", "A", {proc(7), proc(8)})});
        idle.system.cpu = 0.01;
        for (int tick = 0; tick < 40; ++tick)
            EXPECT_TRUE(fresh.collect(idle, 100 + 2 * tick, p).empty()) << bad;

        // The fallback is the default, not "never": a real breach still counts.
        ProcSample busy = proc(9);
        busy.cpu = 400;
        busy.netIn = 6 * MiB;
        busy.threads = 500;
        auto cs = fresh.collect(snapshot({group("exe:b", "B", {busy})}), 200, p);
        EXPECT_EQ(keys(cs), QStringList({"processCPU.9", "download.9", "threads.9"})) << bad;
    }
}

TEST(Thresholds, UsableKeepsPositiveValuesAndReplacesTheRest)
{
    const Thresholds defaults = Thresholds::forMemory(uint64_t(16) << 30);
    Thresholds t = defaults;
    t.systemCPU = 0.5;
    t.downloadMB = 0;
    t.threads = -3;
    t.memoryGB = std::numeric_limits<double>::quiet_NaN();
    const Thresholds u = t.usable(defaults);
    EXPECT_EQ(u.systemCPU, 0.5);
    EXPECT_EQ(u.downloadMB, defaults.downloadMB);
    EXPECT_EQ(u.threads, defaults.threads);
    EXPECT_EQ(u.memoryGB, defaults.memoryGB);
    // The stored value is untouched.
    EXPECT_EQ(t.downloadMB, 0);
}
