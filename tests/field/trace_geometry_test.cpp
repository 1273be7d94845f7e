#include "field/trace_geometry.h"

#include "core/l10n.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace G = TraceGeometry;

TEST(TraceGeometry, WindowReachesOneStepPastEachEdge)
{
    const double w = 236;
    const double step = G::step(w);
    EXPECT_DOUBLE_EQ(step, 2.0);
    EXPECT_DOUBLE_EQ(G::sampleX(w, 121, 120), w + step);
    EXPECT_DOUBLE_EQ(G::sampleX(w, 121, 0), -step);
    // A short history still ends at the same place.
    EXPECT_DOUBLE_EQ(G::sampleX(w, 3, 2), w + step);
    EXPECT_DOUBLE_EQ(G::sampleX(w, 3, 0), w - step);
}

TEST(TraceGeometry, PlotAndGridForOneAndTwoSeries)
{
    const auto one = G::plot(60, 1);
    EXPECT_DOUBLE_EQ(one.baseline, 59);
    EXPECT_DOUBLE_EQ(one.upper, 55);
    EXPECT_EQ(G::gridFractions(1), (std::vector<double>{1.0 / 3, 2.0 / 3}));
    const auto two = G::plot(100, 2);
    EXPECT_DOUBLE_EQ(two.baseline, 58);
    EXPECT_DOUBLE_EQ(two.lower, 39);
    EXPECT_EQ(G::gridFractions(2), (std::vector<double>{0, 0.5}));
    // Values above the scale stop at the plot's outer edge.
    EXPECT_DOUBLE_EQ(G::valueY(one, 0, 1.7), 4);
    EXPECT_DOUBLE_EQ(G::valueY(two, 1, 1.0), 97);
}

TEST(TraceGeometry, TicksMarkEveryHalfMinute)
{
    std::vector<SystemSample> samples(5);
    // :28, :29, :30, :59, 1:00 past a whole minute.
    const double base = 600;
    const double at[] = {28, 29, 30, 59, 60};
    for (int i = 0; i < 5; ++i)
        samples[std::size_t(i)].date = Date{base + at[i]};
    EXPECT_EQ(G::ticks(samples), (std::vector<int>{2, 4}));
    EXPECT_TRUE(G::ticks({}).empty());
}

TEST(TraceGeometry, ScaleLadder)
{
    EXPECT_DOUBLE_EQ(G::ladderScale(0, true), 65536);
    EXPECT_DOUBLE_EQ(G::ladderScale(0, false), 65536);
    EXPECT_DOUBLE_EQ(G::ladderScale(100000, true), 262144);
    const double top = 4194304.0 * 1024;
    EXPECT_DOUBLE_EQ(G::ladderScale(top, true), top * 1.15);
    EXPECT_DOUBLE_EQ(G::ladderScale(top / 1.15, true), top);
}

TEST(TraceGeometry, PressureNames)
{
    L10n::setChinese(false);
    EXPECT_EQ(G::pressureName(1), "normal");
    EXPECT_EQ(G::pressureName(2), "warning");
    EXPECT_EQ(G::pressureName(3), "warning");
    EXPECT_EQ(G::pressureName(4), "critical");
    EXPECT_EQ(G::pressureName(5), "critical");
    L10n::setChinese(true);
    EXPECT_EQ(G::pressureName(4), QString::fromUtf8("危急"));
    L10n::setChinese(false);
}

TEST(TraceGeometry, HoverFollowsTheGlide)
{
    const double w = 236; // step 2
    // Right after a sample the newest sits one step out: the right edge
    // shows the second newest.
    EXPECT_EQ(G::hoverIndex(w, w, 10, 0), 8);
    // After the glide the newest is at the edge.
    EXPECT_EQ(G::hoverIndex(w, w, 10, 1), 9);
    EXPECT_EQ(G::hoverIndex(w, w, 10, 7.5), 9);
    // A clock behind the sample counts as the glide's start.
    EXPECT_DOUBLE_EQ(G::newestX(w, -0.5), w + 2);
    // Left of the oldest sample, and an empty history: nothing.
    EXPECT_EQ(G::hoverIndex(w, w - 2 * 10, 10, 1), std::nullopt);
    EXPECT_EQ(G::hoverIndex(w, w - 2 * 9, 10, 1), 0);
    EXPECT_EQ(G::hoverIndex(w, 5, 0, 1), std::nullopt);
    EXPECT_EQ(G::hoverIndex(w, -1e300, 10, 1), std::nullopt);
}

TEST(TraceGeometry, IntervalOfZeroOrLessIsAJump)
{
    const Date sample{1000};
    EXPECT_DOUBLE_EQ(G::glideFraction(sample + 0.25, sample, 1.0), 0.25);
    EXPECT_DOUBLE_EQ(G::glideFraction(sample + 0.25, sample, 0), 1);
    EXPECT_DOUBLE_EQ(G::glideFraction(sample, sample, -1), 1);
    EXPECT_DOUBLE_EQ(G::glideFraction(sample, sample, std::nan("")), 1);
    EXPECT_DOUBLE_EQ(G::glideFraction(Date{std::nan("")}, sample, 1), 1);
    EXPECT_EQ(G::hoverIndex(236, 236, 10, G::glideFraction(sample, sample, 0)), 9);
}

TEST(TraceGeometry, DoubleToIntNeverOverflows)
{
    EXPECT_EQ(G::toInt(std::nan("")), 0);
    EXPECT_EQ(G::toInt(std::nan(""), -1), -1);
    EXPECT_EQ(G::toInt(1e300), std::numeric_limits<int>::max());
    EXPECT_EQ(G::toInt(-std::numeric_limits<double>::infinity()), std::numeric_limits<int>::min());
    EXPECT_EQ(G::roundToInt(49.5), 50);
    EXPECT_EQ(G::roundToInt(-0.5), -1);
    EXPECT_EQ(G::halfMinute(Date{std::nan("")}), 0);
}

TEST(TraceGeometry, CapacityFraction)
{
    EXPECT_DOUBLE_EQ(G::capacityFraction(512, 0), 1);
    EXPECT_DOUBLE_EQ(G::capacityFraction(0, 0), 0);
    EXPECT_DOUBLE_EQ(G::capacityFraction(25, 100), 0.25);
    EXPECT_DOUBLE_EQ(G::capacityFraction(200, 100), 1);
    EXPECT_DOUBLE_EQ(G::capacityFraction(1, -5), 1);
}
