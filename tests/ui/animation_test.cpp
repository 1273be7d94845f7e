// Animated values on the spring and the curve: retargeting keeps value and
// velocity, curves are additive and end exactly, every value type moves.

#include "ui/animation.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr double frame = 1.0 / 60;

// Steps until the value rests, at most `limit` seconds.
double settle(AnimatedValue& v, double limit = 5)
{
    double t = 0;
    while (v.step(frame) && t < limit)
        t += frame;
    return t;
}

} // namespace

TEST(AnimatedValue, SpringRetargetKeepsValueAndVelocity)
{
    AnimatedValue v(0);
    v.setTarget(100, Animation::spring(0.3));
    EXPECT_TRUE(v.moving());
    for (int i = 0; i < 6; ++i)
        v.step(frame);
    const double value = v.value();
    const double speed = v.channels().velocity()[0];
    ASSERT_GT(speed, 0);

    v.setTarget(-50, Animation::spring(0.3));
    EXPECT_DOUBLE_EQ(v.value(), value);
    EXPECT_DOUBLE_EQ(v.channels().velocity()[0], speed);
    // It carries on upwards for a moment before turning back.
    v.step(frame);
    EXPECT_GT(v.value(), value);
    settle(v);
    EXPECT_FALSE(v.moving());
    EXPECT_EQ(v.value(), -50);

    // Already there and at rest: nothing moves.
    v.setTarget(-50, Animation::spring());
    EXPECT_FALSE(v.moving());
}

TEST(AnimatedValue, CurveFollowsTheEasingAndEndsExactly)
{
    const TimingCurve curve = Motion::ease();
    AnimatedValue v(10);
    v.setTarget(20, Animation::timing(curve, 0.2));
    EXPECT_EQ(v.value(), 10);
    v.step(0.05);
    EXPECT_NEAR(v.value(), 10 + 10 * curve.value(0.25), 1e-9);
    v.step(0.1);
    EXPECT_NEAR(v.value(), 10 + 10 * curve.value(0.75), 1e-9);
    EXPECT_TRUE(v.step(0.049));
    EXPECT_FALSE(v.step(0.001));
    EXPECT_EQ(v.value(), 20);
    EXPECT_EQ(v.channels().segments(), 0u);
}

TEST(AnimatedValue, CurveRetargetIsAdditiveAndContinuous)
{
    const TimingCurve linear{1.0 / 3, 1.0 / 3, 2.0 / 3, 2.0 / 3};
    AnimatedValue v(0);
    v.setTarget(1, Animation::timing(linear, 1));
    v.step(0.5);
    ASSERT_NEAR(v.value(), 0.5, 1e-6);
    const double speed = v.channels().velocity()[0];
    EXPECT_NEAR(speed, 1, 1e-3);

    // Back to 0 over one second: the first change runs on, the reverse is
    // laid over it, so the value does not jump.
    v.setTarget(0, Animation::timing(linear, 1));
    EXPECT_NEAR(v.value(), 0.5, 1e-9);
    // The reverse starts at the curve's own pace, which here cancels the
    // first change's: the value turns without a jump.
    EXPECT_NEAR(v.channels().velocity()[0], 0, 1e-3);
    v.step(0.5);
    EXPECT_NEAR(v.value(), 1 - 0.5, 1e-6); // 1·1.0 − 1·0.5
    v.step(0.5);
    EXPECT_NEAR(v.value(), 0, 1e-9);
    EXPECT_FALSE(v.moving());
}

TEST(AnimatedValue, DelaysJumpsAndNonsense)
{
    AnimatedValue v(0);
    v.setTarget(1, Animation::ease(0.2, 0.1));
    v.step(0.09);
    EXPECT_EQ(v.value(), 0);
    EXPECT_EQ(v.channels().velocity()[0], 0);
    v.step(0.02);
    EXPECT_GT(v.value(), 0);

    v.setTarget(5, Animation::none());
    EXPECT_FALSE(v.moving());
    EXPECT_EQ(v.value(), 5);
    v.setTarget(7, false);
    EXPECT_EQ(v.value(), 7);
    // A zero or nonsensical duration jumps; a target that is not a number is
    // ignored.
    v.setTarget(8, Animation::ease(0));
    EXPECT_EQ(v.value(), 8);
    v.setTarget(9, Animation::spring(std::nan("")));
    EXPECT_EQ(v.value(), 9);
    v.setTarget(std::nan(""), Animation::spring());
    EXPECT_EQ(v.value(), 9);
    EXPECT_FALSE(v.moving());
    // Steps of no time change nothing.
    v.setTarget(10, Animation::ease(0.2));
    v.step(0);
    v.step(-1);
    v.step(std::nan(""));
    EXPECT_EQ(v.value(), 9);

    EXPECT_EQ(Animation::spring().unless(true).kind, Animation::Kind::none);
    EXPECT_EQ(Animation::spring().unless(false).kind, Animation::Kind::spring);
}

TEST(AnimatedValue, RetargetingEveryFrameStaysBoundedAndArrives)
{
    AnimatedValue v(0);
    double previous = 0;
    for (int i = 1; i <= 200; ++i) {
        v.setTarget(i, Animation::ease(1));
        const double before = v.value();
        EXPECT_NEAR(before, previous, 1e-9) << i; // no jump on retarget
        v.step(frame / 4);
        previous = v.value();
        ASSERT_LE(v.channels().segments(), AnimatedChannels::maxSegments);
    }
    settle(v);
    EXPECT_EQ(v.value(), 200);
}

TEST(AnimatedValue, MixingSpringAndCurveKeepsTheValue)
{
    AnimatedValue v(0);
    v.setTarget(10, Animation::ease(0.3));
    v.step(0.1);
    const double mid = v.value();
    v.setTarget(0, Animation::spring(0.3));
    EXPECT_NEAR(v.value(), mid, 1e-9);
    EXPECT_EQ(v.channels().segments(), 0u);
    v.step(frame);
    v.setTarget(4, Animation::ease(0.3));
    const double during = v.value();
    v.step(frame);
    EXPECT_LT(std::abs(v.value() - during), 2);
    settle(v);
    EXPECT_NEAR(v.value(), 4, 1e-3);
}

TEST(Animated, PointsRectsSizesAndColoursMoveComponentwise)
{
    const TimingCurve linear{1.0 / 3, 1.0 / 3, 2.0 / 3, 2.0 / 3};
    AnimatedPoint p(QPointF(0, 0));
    p.setTarget(QPointF(10, -20), Animation::timing(linear, 1));
    p.step(0.5);
    EXPECT_NEAR(p.value().x(), 5, 1e-6);
    EXPECT_NEAR(p.value().y(), -10, 1e-6);

    AnimatedRect r(QRectF(0, 0, 10, 10));
    r.setTarget(QRectF(10, 20, 30, 40), Animation::timing(linear, 1));
    r.step(0.25);
    EXPECT_NEAR(r.value().x(), 2.5, 1e-6);
    EXPECT_NEAR(r.value().height(), 17.5, 1e-6);
    r.setTarget(QRectF(0, 0, 0, 0), Animation::spring());
    while (r.step(frame)) {}
    EXPECT_EQ(r.value(), QRectF(0, 0, 0, 0));

    AnimatedSize s(QSizeF(4, 4));
    s.setTarget(QSizeF(8, 2), Animation::timing(linear, 1));
    s.step(0.5);
    EXPECT_NEAR(s.value().width(), 6, 1e-6);

    AnimatedColor c(QColor(0, 0, 0, 255));
    c.setTarget(QColor(255, 102, 0, 0), Animation::timing(linear, 1));
    c.step(0.5);
    EXPECT_NEAR(c.value().redF(), 0.5, 1e-3);
    EXPECT_NEAR(c.value().greenF(), 0.2, 1e-3);
    EXPECT_NEAR(c.value().alphaF(), 0.5, 1e-3);
    c.step(0.5);
    EXPECT_EQ(c.value().rgba(), QColor(255, 102, 0, 0).rgba());

    // A spring between colours never leaves the colour range.
    AnimatedColor fling(QColor(Qt::white));
    fling.setTarget(QColor(Qt::black), Animation::spring(0.2));
    while (fling.step(frame)) {
        const QColor now = fling.value();
        EXPECT_TRUE(now.redF() >= 0 && now.redF() <= 1);
    }
    EXPECT_EQ(fling.value().rgb(), QColor(Qt::black).rgb());
}

TEST(Animated, StepAllStepsEveryValue)
{
    AnimatedValue a(0), b(0);
    a.setTarget(1, Animation::ease(0.1));
    b.setTarget(1, Animation::ease(0.2));
    EXPECT_TRUE(stepAll(0.1, a, b));
    EXPECT_EQ(a.value(), 1);
    EXPECT_LT(b.value(), 1);
    EXPECT_GT(b.value(), 0);
    EXPECT_FALSE(stepAll(0.1, a, b));
}
