#include "platform/defaults.h"
#include "ui/motion.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

TEST(Motion, TimeScaleTakesOnlyFinitePositiveNumbers)
{
    QTemporaryDir dir;
    Defaults defaults(dir.filePath(QStringLiteral("m.conf")));
    EXPECT_EQ(Motion::readTimeScale(defaults), 1);
    const std::pair<const char*, double> cases[] = {
        {"2", 2}, {"0.5", 0.5}, {"0", 1}, {"-1", 1}, {"abc", 1}, {"inf", 1}, {"nan", 1}, {"1e400", 1},
    };
    for (auto [text, expected] : cases) {
        defaults.set(QStringLiteral("motionScale"), QString::fromLatin1(text));
        EXPECT_EQ(Motion::readTimeScale(defaults), expected) << text;
    }
}

TEST(Motion, DurationsAreScaledOnceForTheProcess)
{
    QTemporaryDir dir;
    Defaults::useFile(dir.filePath(QStringLiteral("m.conf")));
    Defaults::setArguments({QStringLiteral("-motionScale"), QStringLiteral("2")});
    const double scale = Motion::timeScale();
    EXPECT_DOUBLE_EQ(Motion::quick(), 0.17 * scale);
    EXPECT_DOUBLE_EQ(Motion::standard(), 0.3 * scale);
    EXPECT_DOUBLE_EQ(Motion::emphasized(), 0.42 * scale);

    Defaults::setArguments({QStringLiteral("-motionScale"), QStringLiteral("7")});
    EXPECT_EQ(Motion::timeScale(), scale);
    EXPECT_DOUBLE_EQ(Motion::standard(), 0.3 * scale);
    Defaults::setArguments({});
}

TEST(Spring, SettlesOnTargetWithoutOvershootWhateverTheFrameRate)
{
    Spring coarse(0.3);
    coarse.target = 100;
    Spring fine = coarse;
    double previous = 0;
    for (int frame = 0; frame < 60; ++frame) {
        coarse.step(1.0 / 60);
        for (int i = 0; i < 4; ++i)
            fine.step(1.0 / 240);
        EXPECT_GE(coarse.position, previous);
        EXPECT_LE(coarse.position, 100);
        previous = coarse.position;
    }
    EXPECT_NEAR(coarse.position, fine.position, 1e-9);
    EXPECT_NEAR(coarse.velocity, fine.velocity, 1e-9);
    EXPECT_TRUE(coarse.resting(0.01));

    // A fling away from the target turns back once and never crosses it.
    Spring fling(0.3);
    fling.velocity = -500;
    double least = 0;
    for (int frame = 0; frame < 120; ++frame) {
        fling.step(1.0 / 60);
        least = std::min(least, fling.position);
        EXPECT_LE(fling.position, 1e-9);
    }
    EXPECT_LT(least, -1);
    EXPECT_TRUE(fling.resting());

    Spring instant(0, 3);
    instant.velocity = 1;
    instant.target = 8;
    instant.step(0.01);
    EXPECT_EQ(instant.position, 8);
    EXPECT_EQ(instant.velocity, 0);
}

TEST(TimingCurve, SolvesForTimeThenEases)
{
    const TimingCurve curve = Motion::ease();
    EXPECT_EQ(curve.value(0), 0);
    EXPECT_EQ(curve.value(1), 1);
    EXPECT_EQ(curve.value(-0.5), 0);
    EXPECT_EQ(curve.value(2), 1);
    EXPECT_EQ(curve.value(std::nan("")), 0);
    // At parameter ½ the curve passes through (0.3425, 0.875).
    EXPECT_NEAR(curve.value(0.3425), 0.875, 1e-6);

    double previous = 0;
    for (int i = 1; i <= 1000; ++i) {
        const double v = curve.value(i / 1000.0);
        EXPECT_GE(v, previous - 1e-9) << i;
        EXPECT_LE(v, 1 + 1e-9) << i;
        previous = v;
    }
    // A linear curve is the identity.
    const TimingCurve linear{1.0 / 3, 1.0 / 3, 2.0 / 3, 2.0 / 3};
    EXPECT_NEAR(linear.value(0.37), 0.37, 1e-6);
}
