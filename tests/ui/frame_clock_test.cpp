// The frame clock runs only while someone is subscribed and stops when the
// last one leaves, settles or dies. Driven by the manual scheduler.

#include "ui/animation.h"
#include "ui/frame_clock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

TEST(FrameClock, TicksAtSixtyHertzWhileSubscribedThenStops)
{
    ScopedManualScheduler clock;
    FrameClock frames;
    QObject owner;
    std::vector<double> steps;
    EXPECT_FALSE(frames.running());
    frames.subscribe(&owner, [&](double dt) {
        steps.push_back(dt);
        return steps.size() < 3;
    });
    EXPECT_TRUE(frames.running());
    EXPECT_TRUE(frames.subscribed(&owner));
    clock.scheduler.advance(1);
    ASSERT_EQ(steps.size(), 3u);
    for (double dt : steps)
        EXPECT_NEAR(dt, FrameClock::interval, 1e-9);
    EXPECT_FALSE(frames.running());
    EXPECT_FALSE(frames.subscribed(&owner));
    EXPECT_EQ(frames.frames(), 3u);
    EXPECT_EQ(clock.scheduler.pending(), 0u);
}

TEST(FrameClock, StopsOnceTheLastAnimatedValueSettles)
{
    ScopedManualScheduler clock;
    FrameClock frames;
    QObject a, b;
    AnimatedValue fade(0), slide(0);
    int repaints = 0;
    auto drive = [&](QObject* owner, AnimatedValue& value) {
        frames.subscribe(owner, [&, owner](double dt) {
            ++repaints;
            return value.step(dt);
        });
    };
    fade.setTarget(1, Animation::ease(0.17));
    drive(&a, fade);
    slide.setTarget(300, Animation::spring(0.42));
    drive(&b, slide);

    clock.scheduler.advance(0.2);
    EXPECT_FALSE(fade.moving());
    EXPECT_FALSE(frames.subscribed(&a));
    EXPECT_TRUE(frames.running()); // the slide still moves
    clock.scheduler.advance(5);
    EXPECT_FALSE(slide.moving());
    EXPECT_EQ(slide.value(), 300);
    EXPECT_FALSE(frames.running());
    EXPECT_EQ(clock.scheduler.pending(), 0u);

    // Nothing moves: time passes and nothing is repainted.
    const int before = repaints;
    clock.scheduler.advance(10);
    EXPECT_EQ(repaints, before);
}

TEST(FrameClock, UnsubscribingOrDyingEndsTheSubscription)
{
    ScopedManualScheduler clock;
    FrameClock frames;
    int calls = 0;
    auto owner = std::make_unique<QObject>();
    frames.subscribe(owner.get(), [&](double) { return ++calls, true; });
    clock.scheduler.advance(FrameClock::interval);
    EXPECT_EQ(calls, 1);
    owner.reset();
    EXPECT_EQ(frames.subscribers(), 0u);
    clock.scheduler.advance(1);
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(frames.running());

    QObject other;
    frames.subscribe(&other, [&](double) { return ++calls, true; });
    frames.unsubscribe(&other);
    EXPECT_FALSE(frames.running()); // stops at once, no frame to come
    clock.scheduler.advance(1);
    EXPECT_EQ(calls, 1);

    frames.subscribe(nullptr, [](double) { return true; });
    frames.subscribe(&other, {});
    EXPECT_FALSE(frames.running());
}

TEST(FrameClock, SubscribingAgainReplacesAndWorksFromInsideAFrame)
{
    ScopedManualScheduler clock;
    FrameClock frames;
    QObject a, b;
    std::vector<char> order;
    frames.subscribe(&a, [&](double) { return order.push_back('x'), true; });
    frames.subscribe(&a, [&](double) {
        order.push_back('a');
        // Joins from inside a frame: first called on the next one.
        frames.subscribe(&b, [&](double) { return order.push_back('b'), false; });
        return false;
    });
    EXPECT_EQ(frames.subscribers(), 1u);
    clock.scheduler.advance(FrameClock::interval);
    EXPECT_EQ(order, (std::vector<char>{'a'}));
    EXPECT_TRUE(frames.running());
    clock.scheduler.advance(1);
    EXPECT_EQ(order, (std::vector<char>{'a', 'b'}));
    EXPECT_FALSE(frames.running());

    // A frame that resubscribes its own owner keeps it, whatever it returns.
    int again = 0;
    std::function<bool(double)> renew = [&](double) {
        if (++again < 3)
            frames.subscribe(&a, renew);
        return false;
    };
    frames.subscribe(&a, renew);
    clock.scheduler.advance(1);
    EXPECT_EQ(again, 3);
    EXPECT_FALSE(frames.running());
}

// A manual clock whose reading can run ahead of the frames, as a stalled
// event loop's does.
class LaggingScheduler final : public Scheduler {
public:
    double now() const override { return inner.now() + lag; }
    void after(double seconds, QObject* context, std::function<void()> action) override
    {
        inner.after(seconds, context, std::move(action));
    }
    ManualScheduler inner;
    double lag = 0;
};

TEST(FrameClock, ReportsElapsedTimeCappedAfterAStall)
{
    LaggingScheduler scheduler;
    FrameClock frames(&scheduler);
    QObject owner;
    std::vector<double> steps;
    frames.subscribe(&owner, [&](double dt) { return steps.push_back(dt), steps.size() < 3; });
    scheduler.inner.advance(FrameClock::interval);
    scheduler.lag = 0.1;
    scheduler.inner.advance(FrameClock::interval);
    scheduler.lag = 5;
    scheduler.inner.advance(FrameClock::interval);
    ASSERT_EQ(steps.size(), 3u);
    EXPECT_NEAR(steps[0], FrameClock::interval, 1e-9);
    EXPECT_NEAR(steps[1], FrameClock::interval + 0.1, 1e-9);
    EXPECT_EQ(steps[2], FrameClock::maxStep);
}

TEST(FrameClock, SharedClockRecoversWhenTheSchedulerIsReplaced)
{
    QObject owner;
    int calls = 0;
    {
        ScopedManualScheduler first;
        FrameClock::shared().subscribe(&owner, [&](double) { return ++calls, true; });
        EXPECT_TRUE(FrameClock::shared().running());
    }
    // The frame posted to the scheduler that is gone never comes; the next
    // subscription posts afresh.
    ScopedManualScheduler second;
    FrameClock::shared().subscribe(&owner, [&](double) { return ++calls, false; });
    second.scheduler.advance(1);
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(FrameClock::shared().running());
}

TEST(FrameClock, SnoozersShareGridFramesAndTheClockSleepsBetween)
{
    ScopedManualScheduler clock;
    FrameClock frames;
    QObject a, b, busy;
    std::vector<double> aTimes, bTimes, aSteps;
    // Each snoozes to a moment of its own, a few milliseconds apart: both
    // are woken on the same grid frame, and nothing runs in between.
    frames.subscribe(&a, [&](double dt) {
        aTimes.push_back(clock.scheduler.now());
        aSteps.push_back(dt);
        frames.snooze(&a, 0.100);
        return aTimes.size() < 4;
    });
    frames.subscribe(&b, [&](double) {
        bTimes.push_back(clock.scheduler.now());
        frames.snooze(&b, 0.095);
        return bTimes.size() < 4;
    });
    clock.scheduler.advance(0.45);
    ASSERT_EQ(aTimes.size(), 4u);
    ASSERT_EQ(bTimes.size(), 4u);
    EXPECT_EQ(aTimes, bTimes);
    EXPECT_EQ(frames.frames(), 4u);
    // A snoozer's step spans its whole wait, and every frame is on the grid.
    for (std::size_t i = 1; i < aTimes.size(); ++i) {
        EXPECT_GE(aTimes[i] - aTimes[i - 1], 0.100 - 1e-9);
        EXPECT_NEAR(aSteps[i], aTimes[i] - aTimes[i - 1], 1e-9);
        const double onGrid = aTimes[i] / FrameClock::interval;
        EXPECT_NEAR(onGrid, std::round(onGrid), 1e-6);
    }
    EXPECT_FALSE(frames.running());

    // An owner that does not snooze still gets every frame, and a snoozer
    // alongside it only its own.
    int busyFrames = 0;
    aTimes.clear();
    frames.subscribe(&busy, [&](double) { return ++busyFrames < 60; });
    frames.subscribe(&a, [&](double) {
        aTimes.push_back(clock.scheduler.now());
        frames.snooze(&a, 0.5);
        return true;
    });
    clock.scheduler.advance(1.0);
    EXPECT_EQ(busyFrames, 60);
    EXPECT_EQ(aTimes.size(), 2u);
    frames.unsubscribe(&a);
    EXPECT_FALSE(frames.running());
}

TEST(FrameClock, ASnoozerWithSlackRidesOnAnotherOwnersFrame)
{
    ScopedManualScheduler clock;
    FrameClock frames;
    QObject pulse, glide;
    std::vector<double> pulseTimes, glideTimes;
    // One owner wakes every 60 ms exactly; the other is due every 100 ms
    // but may be 70 ms late. It never takes a frame of its own, and each of
    // its frames comes inside its window.
    frames.subscribe(&pulse, [&](double) {
        pulseTimes.push_back(clock.scheduler.now());
        frames.snooze(&pulse, 0.060);
        return true;
    });
    double due = 0;
    frames.subscribe(&glide, [&](double) {
        const double now = clock.scheduler.now();
        if (!glideTimes.empty()) {
            EXPECT_GE(now, due - 1e-9);
            EXPECT_LE(now, due + 0.070 + FrameClock::interval);
        }
        glideTimes.push_back(now);
        due = now + 0.100;
        frames.snooze(&glide, 0.100, 0.070);
        return true;
    });
    clock.scheduler.advance(2.0);
    EXPECT_GE(glideTimes.size(), 12u);
    for (double t : glideTimes)
        EXPECT_NE(std::find(pulseTimes.begin(), pulseTimes.end(), t), pulseTimes.end()) << t;
    EXPECT_EQ(frames.frames(), pulseTimes.size());

    // Alone, it wakes at the end of its window, on the grid.
    frames.unsubscribe(&pulse);
    glideTimes.clear();
    clock.scheduler.advance(1.0);
    ASSERT_GE(glideTimes.size(), 2u);
    for (std::size_t i = 1; i < glideTimes.size(); ++i)
        EXPECT_NEAR(glideTimes[i] - glideTimes[i - 1], 0.100 + 0.070, FrameClock::interval);
    frames.unsubscribe(&glide);
    EXPECT_FALSE(frames.running());
}
