#include "ui/theme.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

void expectRgb(const QColor& c, double r, double g, double b, double load)
{
    EXPECT_NEAR(c.redF(), r, 1e-3) << load;
    EXPECT_NEAR(c.greenF(), g, 1e-3) << load;
    EXPECT_NEAR(c.blueF(), b, 1e-3) << load;
    EXPECT_EQ(c.alphaF(), 1) << load;
}

} // namespace

TEST(Theme, HeatRampStops)
{
    for (double x : {-0.3, 0.0, 0.3, 0.55, std::nan("")})
        expectRgb(Theme::heat(x), 0.30, 0.94, 0.72, x);
    expectRgb(Theme::heat(0.675), 0.65, 0.88, 0.485, 0.675);
    expectRgb(Theme::heat(0.8), 1.0, 0.82, 0.25, 0.8);
    expectRgb(Theme::heat(0.9), 1.0, 0.56, 0.275, 0.9);
    for (double x : {1.0, 1.7, double(INFINITY)})
        expectRgb(Theme::heat(x), 1.0, 0.30, 0.30, x);
}
