#include "ui/motion.h"
#include "settings/logo_timeline.h"

#include <gtest/gtest.h>

using namespace LogoTimeline;

namespace {

int flashes(const Flash& flash)
{
    int count = 0;
    for (std::size_t k = 1; k < flash.colors.size(); ++k)
        if (flash.colors[k] == mint() && flash.colors[k - 1] == idle())
            ++count;
    return count;
}

} // namespace

TEST(LogoTimelineTest, EachTickFlashesAsTheBeamsPass)
{
    for (int tick : {0, 8}) {
        EXPECT_EQ(passes(tick), (std::vector<double>{0, 0.5, 1})) << tick;
        const Flash flash = flashSchedule(tick);
        EXPECT_EQ(flashes(flash), 3);
        // The pass at the very end of the turn stays lit.
        EXPECT_EQ(flash.colors.back(), mint());
        EXPECT_EQ(flash.at(flash.duration() + 1), mint());
    }
    EXPECT_EQ(passes(4), (std::vector<double>{0.25, 0.75}));
    const Flash four = flashSchedule(4);
    EXPECT_EQ(flashes(four), 2);
    EXPECT_EQ(four.colors.back(), idle());
    // Lit at the moment a beam passes, grey again 0.3 s later.
    const double hit = sweepStart + sweepDuration * timeForProgress(0.25);
    EXPECT_EQ(four.at(hit), mint());
    ASSERT_GE(four.times.size(), 4u);
    EXPECT_NEAR(four.times[3], hit + flashFade, 1e-9);
    EXPECT_EQ(four.colors[3], idle());

    for (int tick = 0; tick < tickCount; ++tick) {
        const Flash flash = flashSchedule(tick);
        ASSERT_EQ(flash.times.size(), flash.colors.size());
        for (std::size_t k = 1; k < flash.times.size(); ++k)
            EXPECT_GT(flash.times[k], flash.times[k - 1]) << tick;
        EXPECT_EQ(flash.colors.back().rgba(), finalColor(tick).rgba());
    }
}

TEST(LogoTimelineTest, SweepInverseAndRestingColours)
{
    EXPECT_NEAR(timeForProgress(0), 0, 1e-6);
    EXPECT_NEAR(timeForProgress(1), 1, 1e-6);
    double last = -1;
    for (int i = 0; i <= 200; ++i) {
        const double t = timeForProgress(i / 200.0);
        EXPECT_GE(t, last);
        last = t;
        // The eased sweep at that time has turned that far.
        EXPECT_NEAR((TimingCurve{0.5, 0, 0.15, 1}.value(t)), i / 200.0, 1e-3);
    }
    EXPECT_EQ(finalColor(-1), finalColor(15));
    EXPECT_EQ(finalColor(-8), finalColor(0));
    EXPECT_EQ(finalColor(0), mint());
    EXPECT_NEAR(finalColor(1).alphaF(), 0.7, 1e-3);
    EXPECT_EQ(finalColor(4), idle());
}

TEST(LogoTimelineTest, StateOverTime)
{
    const Durations normal;
    const State start = stateAt(0, normal, false);
    EXPECT_EQ(start.coreOpacity, 0);
    EXPECT_EQ(start.ringOpacity, 0);
    EXPECT_EQ(start.tickOuter[0], grownFrom); // principal ticks grow later

    // The end state: resting lengths and colours, the core in full.
    const double end = entranceEnd(normal, false);
    const State rest = stateAt(end + 0.01, normal, false);
    for (int i = 0; i < tickCount; ++i) {
        EXPECT_NEAR(rest.tickOuter[std::size_t(i)], restingOuter(i), 0.05) << i;
        EXPECT_EQ(rest.tickColor[std::size_t(i)], finalColor(i)) << i;
    }
    EXPECT_NEAR(rest.coreScale, 1, 1e-3);
    EXPECT_EQ(rest.beamsAngle, 0);
    // The ring pulses for as long as the logo shows.
    const double pulse = lead + pulseStart;
    EXPECT_GT(stateAt(pulse + 0.3, normal, false).ringScale, 1);
    EXPECT_NEAR(stateAt(pulse + 0.3, normal, false).ringScale,
                stateAt(pulse + 0.3 + 10 * pulsePeriod, normal, false).ringScale, 1e-9);

    // A slower animation speed stretches the pop-in and fades, never the
    // sweep, the flashes or the pulse.
    const Durations slow{0.17 * 3, 0.3 * 3, 0.42 * 3};
    for (double t : {0.9, 1.4, 2.0, pulse + 1.0}) {
        const State a = stateAt(t, normal, false), b = stateAt(t, slow, false);
        EXPECT_EQ(a.beamsAngle, b.beamsAngle) << t;
        EXPECT_EQ(a.ringScale, b.ringScale) << t;
        EXPECT_EQ(a.tickColor, b.tickColor) << t;
    }
    EXPECT_NE(stateAt(0.2, normal, false).coreOpacity, stateAt(0.2, slow, false).coreOpacity);

    // Reduced motion: the built emblem fades in as a whole; no ring ever.
    EXPECT_EQ(stateAt(0, normal, true).opacity, 0);
    const State reduced = stateAt(normal.emphasized, normal, true);
    EXPECT_EQ(reduced.opacity, 1);
    EXPECT_EQ(reduced.ringOpacity, 0);
    EXPECT_EQ(stateAt(pulse + 1, normal, true).ringOpacity, 0);
}
