#include "field/reactor_geometry.h"

#include "core/fmt.h"
#include "core/l10n.h"

#include "language_guard.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

using Kinds = std::vector<CoreKind>;
constexpr CoreKind E = CoreKind::efficiency;
constexpr CoreKind P = CoreKind::performance;

QPointF at(const ReactorGeometry& g, double radius, double degrees)
{
    const double a = degrees * std::numbers::pi / 180;
    return g.centre + QPointF(radius * std::cos(a), radius * std::sin(a));
}

SystemSample sample(std::vector<double> cores = {})
{
    SystemSample s;
    s.cores = std::move(cores);
    s.memTotal = 1000000;
    return s;
}

class ReactorGeometryTest : public ::testing::Test {
protected:
    LanguageGuard english{false};
};

} // namespace

TEST_F(ReactorGeometryTest, SectorsAndRadii)
{
    // One kind: no kind gap, 1.6° between sectors, the first at the top.
    const ReactorGeometry one({400, 330}, Kinds(4, P));
    EXPECT_DOUBLE_EQ(one.r, 159);
    EXPECT_EQ(one.centre, QPointF(200, 165));
    ASSERT_EQ(one.sectors.size(), 4u);
    EXPECT_DOUBLE_EQ(one.sectors[0].start, -90);
    EXPECT_DOUBLE_EQ(one.sectors[0].end, -90 + (360 - 6.4) / 4);
    EXPECT_DOUBLE_EQ(one.sectors[1].start, one.sectors[0].end + 1.6);
    EXPECT_NEAR(one.sectors[3].end, 270 - 1.6, 1e-9);

    // Four of each: 9° + 1.6° at 12 o'clock and at the change of kind.
    const ReactorGeometry both({400, 400}, {E, E, E, E, P, P, P, P});
    const double sweep = (360 - 18 - 12.8) / 8;
    EXPECT_DOUBLE_EQ(both.sectors[0].start, -85.5);
    EXPECT_DOUBLE_EQ(both.sectors[7].end - both.sectors[7].start, sweep);
    EXPECT_NEAR(both.sectors[4].start - both.sectors[3].end, 10.6, 1e-9);
    EXPECT_NEAR(360 + both.sectors[0].start - both.sectors[7].end, 10.6, 1e-9);

    // Interleaved: every change of kind adds another 9°.
    const ReactorGeometry mixed({400, 400}, {E, P, E, P});
    for (std::size_t i = 1; i < 4; ++i)
        EXPECT_NEAR(mixed.sectors[i].start - mixed.sectors[i - 1].end, 10.6, 1e-9);

    // A tiny view keeps a ring of radius 10; no cores, no sectors.
    EXPECT_DOUBLE_EQ(ReactorGeometry({8, 30}, {}).r, 10);
    EXPECT_TRUE(ReactorGeometry({400, 400}, {}).sectors.empty());
}

TEST_F(ReactorGeometryTest, ManyCoresStillMakeARingWithoutGaps)
{
    // 1.6° each for 300 cores is more than the circle: the sectors touch.
    const ReactorGeometry g({400, 400}, Kinds(300, P));
    ASSERT_EQ(g.sectors.size(), 300u);
    EXPECT_DOUBLE_EQ(g.spacing, 0);
    for (std::size_t i = 0; i < g.sectors.size(); ++i) {
        EXPECT_GT(g.sectors[i].end, g.sectors[i].start);
        if (i > 0) {
            EXPECT_DOUBLE_EQ(g.sectors[i].start, g.sectors[i - 1].end);
        }
    }
    EXPECT_NEAR(g.sectors.back().end - g.sectors.front().start, 360, 1e-6);

    Kinds split(150, E);
    split.insert(split.end(), 150, P);
    const ReactorGeometry h({400, 400}, split);
    EXPECT_GT(h.sectors[0].end - h.sectors[0].start, 0);
    EXPECT_NEAR(h.sectors[150].start - h.sectors[149].end, 9, 1e-9);
    EXPECT_NEAR(h.sectors.back().end, 270 - 4.5, 1e-6);
    // A point on a sector still finds its core.
    SystemSample s = sample(std::vector<double>(300, 0.5));
    EXPECT_EQ(h.tip(at(h, 0.8 * h.r, (h.sectors[200].start + h.sectors[200].end) / 2), s, split),
              QStringLiteral("P51  50%"));
}

TEST_F(ReactorGeometryTest, WedgesReachWithTheLoad)
{
    const ReactorGeometry g({400, 400}, Kinds(2, P));
    EXPECT_DOUBLE_EQ(g.wedgeRadius(0), g.r * (0.66 + 0.004 * 0.31));
    EXPECT_DOUBLE_EQ(g.wedgeRadius(0.5), g.r * (0.66 + 0.5 * 0.31));
    EXPECT_DOUBLE_EQ(g.wedgeRadius(1.2), g.r * 0.97);
    EXPECT_DOUBLE_EQ(g.wedgeRadius(std::nan("")), g.wedgeRadius(0));
}

TEST_F(ReactorGeometryTest, MemorySegmentsAreClamped)
{
    const auto s = ReactorGeometry::memSegments({0.004, 0.5, 0.6, 0.2});
    // At most 0.004 leaves no colour between the two 0.002 gaps.
    EXPECT_FALSE(s[0].visible());
    EXPECT_TRUE(s[1].visible());
    EXPECT_DOUBLE_EQ(s[1].a, 0.006);
    EXPECT_DOUBLE_EQ(s[1].b, 0.502);
    // The running end stops at the top of the circle.
    EXPECT_DOUBLE_EQ(s[2].end, 1);
    EXPECT_FALSE(s[3].visible());
    EXPECT_DOUBLE_EQ(s[3].start, 1);

    const auto odd = ReactorGeometry::memSegments({-0.2, std::nan(""), 0.3, 0});
    EXPECT_DOUBLE_EQ(odd[1].end, 0);
    EXPECT_DOUBLE_EQ(odd[2].start, 0);
    EXPECT_DOUBLE_EQ(odd[2].end, 0.3);

    SystemSample zero;
    zero.memTotal = 0;
    zero.memApp = 5;
    EXPECT_DOUBLE_EQ(ReactorGeometry::memShares(zero)[0], 5);
}

TEST_F(ReactorGeometryTest, TipOverCores)
{
    const ReactorGeometry one({400, 400}, Kinds(4, P));
    const SystemSample s = sample({0.1, 0.429, 0.9, 1.0});
    const double mid = 0.8 * one.r;
    // Sector 0 ends at -1.6°, sector 1 starts at 0°: each takes its half.
    EXPECT_EQ(one.tip(at(one, mid, -0.85), s, Kinds(4, P)), QStringLiteral("P1  10%"));
    EXPECT_EQ(one.tip(at(one, mid, -0.75), s, Kinds(4, P)), QStringLiteral("P2  42%"));
    // Inside the ring's reach, outside it nothing.
    EXPECT_TRUE(one.tip(at(one, 0.97 * one.r + 3.5, 45), s, Kinds(4, P)));
    EXPECT_FALSE(one.tip(at(one, 0.97 * one.r + 5, 45), s, Kinds(4, P)));
    EXPECT_FALSE(one.tip(at(one, 0.3 * one.r, 45), s, Kinds(4, P)));
    // Fewer loads than sectors: no tip rather than a made-up figure.
    EXPECT_FALSE(one.tip(at(one, mid, 200), sample({0.5}), Kinds(4, P)));

    const Kinds kinds{E, E, E, E, P, P, P, P};
    const ReactorGeometry both({400, 400}, kinds);
    const SystemSample eight = sample({0, 0, 0, 0.25, 0.5, 0.6, 0.7, 0.8});
    const double gap = (both.sectors[3].end + both.sectors[4].start) / 2;
    EXPECT_FALSE(both.tip(at(both, mid, gap), eight, kinds));
    // The first performance core after four efficiency ones is P1.
    EXPECT_EQ(both.tip(at(both, mid, both.sectors[4].start + 1), eight, kinds),
              QStringLiteral("P1  50%"));
    EXPECT_EQ(both.tip(at(both, mid, both.sectors[3].end - 1), eight, kinds),
              QStringLiteral("E4  25%"));
}

TEST_F(ReactorGeometryTest, TipOverMemoryNamesOnlyWhatTheRingDraws)
{
    const ReactorGeometry g({400, 400}, {});
    const double ring = 0.575 * g.r;
    SystemSample s = sample();
    s.memApp = 3000; // 0.003 of the total: drawn as no colour
    s.memWired = 500000;
    // Just past the top, inside the app share that shows no colour.
    EXPECT_EQ(g.tip(at(g, ring, -90 + 0.5), s, {}),
              QStringLiteral("Free  ") + Fmt::bytes(497000));
    EXPECT_EQ(g.tip(at(g, ring + 8, 0), s, {}),
              QStringLiteral("Wired  ") + Fmt::bytes(500000));
    EXPECT_EQ(g.tip(at(g, ring, 180), s, {}), QStringLiteral("Free  ") + Fmt::bytes(497000));

    // More than the whole: the share that crosses the top is cut there, and
    // the tip gives what the ring shows of it.
    s.memApp = 700000;
    EXPECT_EQ(g.tip(at(g, ring, 260), s, {}), QStringLiteral("Wired  ") + Fmt::bytes(300000));
    s.memWired = 0;
    s.memCached = 500000;
    EXPECT_EQ(g.tip(at(g, ring, 260), s, {}),
              QStringLiteral("Cached files  ") + Fmt::bytes(300000));

    L10n::setChinese(true);
    s.memApp = 100000;
    s.memCached = 0;
    EXPECT_EQ(g.tip(at(g, ring, -72), s, {}), QStringLiteral("应用内存  ") + Fmt::bytes(100000));
}

TEST_F(ReactorGeometryTest, ReadoutRoundsHalvesUp)
{
    EXPECT_EQ(ReactorGeometry::readoutPercent(0.495), 50);
    EXPECT_EQ(ReactorGeometry::readoutPercent(0.494), 49);
    EXPECT_EQ(ReactorGeometry::readoutPercent(1), 100);
    EXPECT_EQ(ReactorGeometry::readoutPercent(std::nan("")), 0);
}
