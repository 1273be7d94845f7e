#include "ui/emblem.h"
#include "ui/theme.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

// The pixel at `radius` units from the centre of a 64-px icon, `degrees`
// clockwise from straight up.
QColor at(const QImage& image, double degrees, double radius)
{
    const double a = degrees * std::numbers::pi / 180;
    const double x = 32 + radius * std::sin(a), y = 32 - radius * std::cos(a);
    return image.pixelColor(int(std::floor(x)), int(std::floor(y)));
}

} // namespace

// The icon is the welcome emblem at rest on the tour's ground: the dial
// turned 35°, the long mint ticks, the short idle ones and the mint core.
TEST(Emblem, IconIsTheEmblemAtRestOnItsPlate)
{
    const QImage image = Emblem::iconImage(64);
    ASSERT_EQ(image.size(), QSize(64, 64));
    EXPECT_EQ(at(image, 0, 0), Emblem::mint());
    EXPECT_EQ(Emblem::mint(), Theme::cpu());
    // Tick 0 (mint) and tick 4 (idle), along their own directions.
    EXPECT_EQ(at(image, Emblem::dialDegrees, 25), Emblem::mint());
    EXPECT_EQ(at(image, Emblem::dialDegrees + 90, 20.5), Emblem::idle());
    // Between the ticks' ends and the plate's edge, the plate.
    EXPECT_EQ(at(image, Emblem::dialDegrees + 90, 29.5), Theme::bg());
    EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0);
    for (const int edge : Emblem::iconSizes)
        EXPECT_EQ(Emblem::iconImage(edge).size(), QSize(edge, edge));
    EXPECT_EQ(Emblem::appIcon().availableSizes().size(), qsizetype(Emblem::iconSizes.size()));
}
