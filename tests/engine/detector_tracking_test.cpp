#include "engine/detector.h"
#include "core/l10n.h"

#include "detector_samples.h"

#include <gtest/gtest.h>

using namespace detector_test;
using Kind = Incident::Kind;

namespace {

// A detector that keeps its list in memory, with a wall clock the test sets.
struct Tracking : ::testing::Test {
    double wall = 800000000;
    Detector d{QString(), /*demo*/ true, [this] { return Date{wall}; }};

    void SetUp() override
    {
        L10n::setChinese(false);
        d.prefs = prefs();
        // Footprints change between passes here; growth incidents would
        // only crowd the list.
        d.prefs.thresholds.memoryGrowthGB = 1000;
    }

    static Snapshot hotProcess(double cpu, int32_t pid = 11)
    {
        ProcSample p = proc(pid, "busy");
        p.cpu = cpu;
        return snapshot({group("exe:busy", "Busy", {p})});
    }

    static Snapshot bigProcess(double gib, int32_t pid = 11)
    {
        ProcSample p = proc(pid, "big");
        p.mem = uint64_t(gib * GiB);
        return snapshot({group("exe:big", "Big", {p})});
    }

    std::vector<Incident> at(double now, const Snapshot& s)
    {
        wall = 800000000 + now;
        return d.evaluate(s, now);
    }
};

} // namespace

TEST_F(Tracking, OpensOnceTheHoldHasPassed)
{
    for (double t = 100; t <= 144; t += 2)
        EXPECT_TRUE(at(t, hotProcess(200)).empty()) << t;
    EXPECT_TRUE(at(144.9, hotProcess(200)).empty());
    auto opened = at(145, hotProcess(200));
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].kind, Kind::processCPU);
    EXPECT_EQ(opened[0].start.sinceReference, 800000000 + 145); // the moment of opening
    EXPECT_TRUE(opened[0].isOpen());
    EXPECT_TRUE(opened[0].contributors.isEmpty());
    ASSERT_EQ(d.incidents.size(), 1u);
    EXPECT_EQ(d.incidents[0], opened[0]);
    // Later passes update it; they open nothing new.
    EXPECT_TRUE(at(147, hotProcess(200)).empty());
    EXPECT_EQ(d.incidents.size(), 1u);
}

TEST_F(Tracking, ShortGapsKeepTheTrackLongGapsEndIt)
{
    const Snapshot quiet = snapshot();
    // Seen at 100, away for 8 s: the hold still runs from 100.
    at(100, bigProcess(9));
    for (double t = 102; t <= 106; t += 2)
        at(t, quiet);
    EXPECT_EQ(at(108, bigProcess(9)).size(), 1u);

    // A pending condition away for 11 s loses its track and starts afresh.
    at(200, bigProcess(9, 22));
    for (double t = 202; t <= 210; t += 2)
        at(t, quiet);
    at(211, quiet);
    EXPECT_FALSE(d.tracks.contains("memory.22"));
    EXPECT_TRUE(at(212, bigProcess(9, 22)).empty());
    EXPECT_TRUE(at(216, bigProcess(9, 22)).empty());
    EXPECT_EQ(at(217, bigProcess(9, 22)).size(), 1u);
}

TEST_F(Tracking, ClosesMoreThanTenSecondsAfterTheLastSighting)
{
    at(100, bigProcess(9));
    ASSERT_EQ(at(105, bigProcess(9)).size(), 1u);
    const Snapshot quiet = snapshot();
    at(110, quiet);
    at(115, quiet); // exactly ten seconds: still open
    EXPECT_TRUE(d.incidents[0].isOpen());
    at(115.5, quiet);
    ASSERT_FALSE(d.incidents[0].isOpen());
    EXPECT_EQ(d.incidents[0].end->sinceReference, 800000000 + 115.5);
    EXPECT_TRUE(d.tracks.isEmpty());

    // Its return is a new incident with a new identity.
    at(120, bigProcess(9));
    ASSERT_EQ(at(125, bigProcess(9)).size(), 1u);
    ASSERT_EQ(d.incidents.size(), 2u);
    EXPECT_NE(d.incidents[0].id, d.incidents[1].id);
    EXPECT_TRUE(d.incidents[0].isOpen());
    EXPECT_FALSE(d.incidents[1].isOpen());
}

TEST_F(Tracking, PeakAndSeverityOnlyRise)
{
    at(100, bigProcess(9));
    at(105, bigProcess(9));
    at(107, bigProcess(12));
    EXPECT_EQ(d.incidents[0].peak, 12 * GiB);
    EXPECT_EQ(d.incidents[0].peakText, "12.0G");
    EXPECT_EQ(d.incidents[0].severity, Severity::warn);

    at(109, bigProcess(10));
    EXPECT_EQ(d.incidents[0].peakText, "12.0G");

    at(111, bigProcess(20)); // 2.5 × 8 GiB: critical
    EXPECT_EQ(d.incidents[0].severity, Severity::critical);
    at(113, bigProcess(9));
    EXPECT_EQ(d.incidents[0].severity, Severity::critical);
    EXPECT_EQ(d.incidents[0].peak, 20 * GiB);
    EXPECT_EQ(d.incidents[0].peakText, "20.0G");
    EXPECT_EQ(d.incidents.size(), 1u);
}

TEST_F(Tracking, SeveralOpenedInOnePassComeBackInConditionOrder)
{
    ProcSample a = proc(1, "a"), b = proc(2, "b");
    a.mem = b.mem = uint64_t(9 * GiB);
    GroupSample heavy = group("exe:heavy", "Heavy", {a, b});
    heavy.cpu = 300;
    GroupSample light = group("exe:light", "Light", {proc(3, "c")});
    light.cpu = 300; // ties keep the snapshot's order
    light.mem = 1;
    GroupSample idle = group("exe:idle", "Idle", {proc(4, "d")});
    GroupSample busiest = group("exe:top", "Top", {proc(5, "e")});
    busiest.cpu = 99.96;
    Snapshot s = snapshot({heavy, light, idle, busiest});
    s.system.cpu = 0.99;
    s.system.pressure = 2;

    at(100, s);
    auto opened = at(108, s);
    ASSERT_EQ(opened.size(), 4u);
    EXPECT_EQ(opened[0].kind, Kind::systemCPU);
    EXPECT_EQ(opened[1].kind, Kind::memoryPressure);
    EXPECT_EQ(opened[2].pid, 1);
    EXPECT_EQ(opened[3].pid, 2);
    ASSERT_EQ(d.incidents.size(), 4u);
    EXPECT_EQ(d.incidents[0].id, opened[3].id);
    EXPECT_EQ(d.incidents[3].id, opened[0].id);

    EXPECT_EQ(opened[0].contributors, QStringList({"Heavy 300%", "Light 300%", "Top 100.0%"}));
    EXPECT_EQ(opened[1].contributors, QStringList({"Heavy 18.0G", "Light 1B", "Idle 0B"}));
    EXPECT_TRUE(opened[2].contributors.isEmpty());
    EXPECT_EQ(opened[0].subject, QString::fromUtf8("整机"));
}

TEST_F(Tracking, TheOldestIsDroppedPastFourHundredEvenWhenOpen)
{
    GroupSample crowd("exe:crowd", "Crowd", std::nullopt);
    for (int32_t pid = 1; pid <= 401; ++pid) {
        ProcSample p = proc(pid);
        p.mem = uint64_t(9 * GiB);
        crowd.add(p);
    }
    const Snapshot s = snapshot({crowd});
    at(100, s);
    auto opened = at(105, s);
    ASSERT_EQ(opened.size(), 401u);
    ASSERT_EQ(d.incidents.size(), 400u);
    EXPECT_EQ(d.incidents.back().pid, 2);
    EXPECT_TRUE(d.incidents.back().isOpen());

    // The track that lost its incident opens a new one on its next pass.
    opened = at(107, s);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].pid, 1);
    EXPECT_EQ(d.incidents.size(), 400u);
    EXPECT_EQ(d.incidents.front().pid, 1);
}

TEST_F(Tracking, MutingOrRaisingAThresholdClosesLikeAnyOtherEnd)
{
    ProcSample a = proc(1, "a");
    a.mem = uint64_t(9 * GiB);
    ProcSample b = proc(2, "b");
    b.cpu = 300;
    const Snapshot s = snapshot({group("exe:a", "A", {a}), group("exe:b", "B", {b})});
    at(100, s);
    at(145, s);
    at(147, s);
    ASSERT_EQ(d.incidents.size(), 2u);

    d.prefs.ignored = QStringList{"A"};
    d.prefs.thresholds.processCPU = 400;
    for (double t = 149; t <= 157; t += 2)
        at(t, s);
    EXPECT_TRUE(d.incidents[0].isOpen());
    EXPECT_TRUE(d.incidents[1].isOpen());
    at(157.5, s);
    EXPECT_FALSE(d.incidents[0].isOpen());
    EXPECT_FALSE(d.incidents[1].isOpen());
}

TEST_F(Tracking, ClearKeepsOnlyOpenIncidents)
{
    at(100, bigProcess(9, 1));
    at(105, bigProcess(9, 1));
    at(116, snapshot()); // closes pid 1
    at(120, bigProcess(9, 2));
    at(125, bigProcess(9, 2));
    ASSERT_EQ(d.incidents.size(), 2u);
    d.clear();
    ASSERT_EQ(d.incidents.size(), 1u);
    EXPECT_EQ(d.incidents[0].pid, 2);
    EXPECT_TRUE(d.incidents[0].isOpen());
    // The open one is still followed.
    at(127, bigProcess(21, 2));
    EXPECT_EQ(d.incidents[0].severity, Severity::critical);
}
