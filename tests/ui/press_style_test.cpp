#include "ui/press_style.h"

#include "ui/motion.h"

#include <QPainterPath>
#include <QRectF>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using Kind = PressStyle::Kind;

namespace {

// The settled values: hover and press amounts of 0 or 1.
struct Settled {
    double rest, hover, pressed;
};

Settled scales(PressStyle style, bool reduceMotion = false)
{
    return {style.scale(0, 0, reduceMotion), style.scale(1, 0, reduceMotion),
            style.scale(1, 1, reduceMotion)};
}

} // namespace

TEST(PressStyle, WashTable)
{
    for (PressStyle style : {PressStyle::surface(8), PressStyle::icon(6), PressStyle::row(12)}) {
        EXPECT_DOUBLE_EQ(style.washOpacity(0, 0), 0);
        EXPECT_DOUBLE_EQ(style.washOpacity(1, 0), 0.055);
        EXPECT_DOUBLE_EQ(style.washOpacity(1, 1), 0.09);
        // Pressing wins over hovering, also once the pointer has slipped off.
        EXPECT_DOUBLE_EQ(style.washOpacity(0, 1), 0.09);
        EXPECT_DOUBLE_EQ(PressStyle::washBrightness(1), -0.05);
    }
    // Bare text has no wash at all.
    EXPECT_DOUBLE_EQ(PressStyle::text().washOpacity(1, 1), 0);
    EXPECT_TRUE(PressStyle::text().washShape(QRectF(0, 0, 40, 20)).isEmpty());
}

TEST(PressStyle, ScaleTable)
{
    auto expect = [](Settled s, double rest, double hover, double pressed) {
        EXPECT_DOUBLE_EQ(s.rest, rest);
        EXPECT_DOUBLE_EQ(s.hover, hover);
        EXPECT_DOUBLE_EQ(s.pressed, pressed);
    };
    expect(scales(PressStyle::surface(8)), 1, 1, 0.97);
    expect(scales(PressStyle::icon(6)), 1, 1.04, 0.94);
    expect(scales(PressStyle::row(12)), 1, 1, 1);
    expect(scales(PressStyle::text()), 1, 1, 0.97);

    // Reduce motion keeps every kind at its size; the wash still shows.
    for (PressStyle style : {PressStyle::surface(8), PressStyle::icon(6), PressStyle::text()})
        expect(scales(style, true), 1, 1, 1);
    EXPECT_DOUBLE_EQ(PressStyle::icon(6).washOpacity(1, 1), 0.09);

    // A release spring that overshoots carries on past the rest value.
    EXPECT_GT(PressStyle::icon(6).scale(0, -0.1, false), 1);
}

TEST(PressStyle, OnlyTextBrightensUnderThePointer)
{
    const PressStyle text = PressStyle::text();
    EXPECT_DOUBLE_EQ(text.labelBrightness(1, 0), 0.14);
    EXPECT_DOUBLE_EQ(text.labelBrightness(0, 1), -0.05);
    EXPECT_DOUBLE_EQ(text.labelBrightness(1, 1), 0.09);
    EXPECT_DOUBLE_EQ(PressStyle::surface(8).labelBrightness(1, 0), 0);
    EXPECT_DOUBLE_EQ(PressStyle::icon(6).labelBrightness(1, 1), -0.05);
}

TEST(PressStyle, WashShapes)
{
    const QRectF rect(0, 0, 60, 20);
    // A capsule: ends of radius 10, so the corner point lies outside it.
    for (PressStyle style : {PressStyle::surface(PressStyle::capsule),
                             PressStyle::icon(PressStyle::capsule)}) {
        const QPainterPath capsule = style.washShape(rect);
        EXPECT_EQ(capsule.boundingRect(), rect);
        EXPECT_FALSE(capsule.contains(QPointF(2, 2)));
        EXPECT_TRUE(capsule.contains(QPointF(10, 1)));
    }
    // A row of radius 12 has corners 12 round.
    const QPainterPath row = PressStyle::row(12).washShape(QRectF(0, 0, 200, 40));
    EXPECT_FALSE(row.contains(QPointF(2, 2)));
    EXPECT_TRUE(row.contains(QPointF(4, 12)));
    EXPECT_TRUE(row.contains(QPointF(12, 0.5)));
    EXPECT_TRUE(PressStyle::row(0).washShape(QRectF(0, 0, 200, 40)).contains(QPointF(0.5, 0.5)));
}

TEST(PressMotion, EasesInThenSpringsBackPastRest)
{
    const double quick = Motion::quick();
    PressMotion motion;
    motion.setPressed(true, false);
    double t = 0;
    while (motion.moving() && t < 1) {
        motion.step(1.0 / 120);
        t += 1.0 / 120;
    }
    EXPECT_DOUBLE_EQ(motion.value(), 1);
    EXPECT_NEAR(t, PressMotion::pressDuration(quick), 1.0 / 120 + 1e-9);

    // Damping 0.72 from rest: one dip below 0 of e^(−ζπ/√(1−ζ²)) ≈ 3.8 %.
    motion.setPressed(false, false);
    double lowest = 1;
    for (int i = 0; i < 600 && motion.moving(); ++i) {
        motion.step(1.0 / 240);
        lowest = std::min(lowest, motion.value());
    }
    EXPECT_FALSE(motion.moving());
    EXPECT_EQ(motion.value(), 0);
    EXPECT_NEAR(lowest, -0.0384, 0.002);
}

TEST(PressMotion, ReduceMotionReleasesWithoutBounce)
{
    PressMotion motion;
    motion.setPressed(true, true);
    motion.step(1);
    motion.setPressed(false, true);
    double lowest = 1;
    for (int i = 0; i < 600 && motion.moving(); ++i) {
        motion.step(1.0 / 240);
        lowest = std::min(lowest, motion.value());
    }
    EXPECT_GE(lowest, 0);
    EXPECT_FALSE(motion.moving());
}

TEST(PressMotion, PressingAgainMidReleaseStartsFromWhereItIs)
{
    PressMotion motion;
    motion.setPressed(true, false);
    motion.step(1);
    motion.setPressed(false, false);
    motion.step(0.05);
    const double mid = motion.value();
    ASSERT_GT(mid, 0);
    ASSERT_LT(mid, 1);
    motion.setPressed(true, false);
    motion.step(1e-4);
    EXPECT_NEAR(motion.value(), mid, 0.01);
}

TEST(Spring, UnderDampedStepLengthDoesNotChangeThePath)
{
    Spring coarse(0.3, 1, 0.72);
    coarse.target = 0;
    Spring fine = coarse;
    coarse.step(0.2);
    for (int i = 0; i < 200; ++i)
        fine.step(0.001);
    EXPECT_NEAR(coarse.position, fine.position, 1e-9);
    EXPECT_NEAR(coarse.velocity, fine.velocity, 1e-9);
}
