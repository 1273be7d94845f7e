#include "ui/menu_glyph.h"

#include "ui/theme.h"

#include <QPainter>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();

// The rows of column `x`, from the bottom, painted at full opacity.
int levelHeight(const QImage& image, int x)
{
    int count = 0;
    for (int y = image.height() - 1; y >= 0; --y)
        if (image.pixelColor(x, y).alpha() == 255)
            ++count;
    return count;
}

} // namespace

TEST(MenuGlyph, SizeFollowsTheCoreCount)
{
    const QImage empty = MenuGlyph::image({}, std::nullopt);
    EXPECT_EQ(empty.size(), QSize(2, 14));
    // Nothing to draw before the first sample.
    for (int y = 0; y < 14; ++y)
        for (int x = 0; x < 2; ++x)
            EXPECT_EQ(empty.pixelColor(x, y).alpha(), 0);

    const QImage eight = MenuGlyph::image(std::vector<double>(8, 1.0), std::nullopt);
    EXPECT_EQ(eight.size(), QSize(23, 14));
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(levelHeight(eight, 3 * i), 14) << i;
        EXPECT_EQ(levelHeight(eight, 3 * i + 1), 14) << i;
        if (i < 7) {
            EXPECT_EQ(eight.pixelColor(3 * i + 2, 7).alpha(), 0) << "gap after bar " << i;
        }
    }

    const QImage sharp = MenuGlyph::image(std::vector<double>(8, 1.0), std::nullopt, 2);
    EXPECT_EQ(sharp.size(), QSize(46, 28));
    EXPECT_EQ(sharp.deviceIndependentSize(), QSizeF(23, 14));
}

TEST(MenuGlyph, LevelsStandOverTheirTrack)
{
    const QImage image = MenuGlyph::image({0.0, 0.5, notANumber, -1.0, 3.0}, std::nullopt);
    EXPECT_EQ(levelHeight(image, 0), 1);
    EXPECT_EQ(levelHeight(image, 3), 7);
    EXPECT_EQ(levelHeight(image, 6), 1) << "a load that is not a number leaves a stub";
    EXPECT_EQ(levelHeight(image, 9), 1);
    EXPECT_EQ(levelHeight(image, 12), 14) << "an overload stays inside the picture";

    // The stub sits at the bottom, the 0.28 track above it.
    EXPECT_EQ(image.pixelColor(0, 13).alpha(), 255);
    const QColor track = image.pixelColor(0, 0);
    EXPECT_NEAR(track.alphaF(), 0.28, 0.01);
    // Premultiplied storage may shift a channel by one.
    EXPECT_NEAR(track.red(), Theme::text().red(), 2);
    EXPECT_NEAR(track.green(), Theme::text().green(), 2);
    EXPECT_NEAR(track.blue(), Theme::text().blue(), 2);
}

TEST(MenuGlyph, ColourFollowsTheWorstOpenIncident)
{
    const auto at = [](std::optional<Severity> alert) {
        return MenuGlyph::image({1.0}, alert).pixelColor(0, 7).rgb();
    };
    EXPECT_EQ(at(std::nullopt), Theme::text().rgb());
    EXPECT_EQ(at(Severity::warn), Theme::warn().rgb());
    EXPECT_EQ(at(Severity::critical), Theme::crit().rgb());
    EXPECT_NE(Theme::warn().rgb(), Theme::crit().rgb());
}

TEST(MenuGlyph, SquareCentresWhatFitsAndShrinksWhatDoesNot)
{
    const QImage small = MenuGlyph::square({1.0, 1.0}, std::nullopt, 22);
    EXPECT_EQ(small.size(), QSize(22, 22));
    // 5 × 14 at its own size, offset (8, 4), on a ground 2 pixels wider on
    // every side.
    EXPECT_EQ(small.pixelColor(8, 4).rgb(), Theme::text().rgb());
    EXPECT_EQ(small.pixelColor(12, 17).rgb(), Theme::text().rgb());
    for (QPoint ground : {QPoint(7, 4), QPoint(8, 3), QPoint(13, 17), QPoint(10, 10)}) {
        EXPECT_GT(small.pixelColor(ground).alpha(), 150) << ground.x() << "," << ground.y();
        EXPECT_LT(small.pixelColor(ground).lightness(), 40) << ground.x() << "," << ground.y();
    }
    EXPECT_EQ(small.pixelColor(5, 10).alpha(), 0);
    EXPECT_EQ(small.pixelColor(10, 1).alpha(), 0);

    // 51 wide into 22: scaled by 22/51, so the ground ends at the right
    // edge and stays short of the top.
    const QImage wide = MenuGlyph::square(std::vector<double>(16, 1.0), std::nullopt, 22);
    EXPECT_GT(wide.pixelColor(21, 11).alpha(), 0);
    EXPECT_EQ(wide.pixelColor(10, 0).alpha(), 0);
    // Nothing to stand on before the first sample.
    const QImage none = MenuGlyph::square({}, std::nullopt, 22);
    EXPECT_EQ(none.pixelColor(11, 11).alpha(), 0);
}

TEST(MenuGlyph, BarsReadOnLightAndDarkPanels)
{
    const auto luminance = [](QColor c) {
        const auto lin = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * lin(c.redF()) + 0.7152 * lin(c.greenF()) + 0.0722 * lin(c.blueF());
    };
    const auto contrast = [&](QColor a, QColor b) {
        const double la = luminance(a), lb = luminance(b);
        return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
    };
    const QImage glyph = MenuGlyph::square({1.0, 0.3, 1.0}, std::nullopt, 22);
    for (QColor panel : {QColor(Qt::white), QColor(236, 236, 236), QColor(32, 32, 32), QColor(Qt::black)}) {
        QImage shown(glyph.size(), QImage::Format_ARGB32_Premultiplied);
        shown.fill(panel);
        QPainter(&shown).drawImage(0, 0, glyph);
        // A full bar against the gap beside it and the track above its
        // neighbour.
        const QColor bar = shown.pixelColor(8, 10);
        EXPECT_GE(contrast(bar, shown.pixelColor(9, 10)), 3.0) << panel.name().toStdString();
        EXPECT_GE(contrast(bar, shown.pixelColor(10, 5)), 3.0) << panel.name().toStdString();
    }
}

TEST(MenuGlyph, PercentRoundsHalvesAwayAndNamesNoNumber)
{
    EXPECT_EQ(MenuGlyph::percentText(0.374), QStringLiteral("37%"));
    EXPECT_EQ(MenuGlyph::percentText(0.125), QStringLiteral("13%"));
    EXPECT_EQ(MenuGlyph::percentText(1.0), QStringLiteral("100%"));
    EXPECT_EQ(MenuGlyph::percentText(0.999), QStringLiteral("100%"));
    EXPECT_EQ(MenuGlyph::percentText(-0.001), QStringLiteral("0%"));
    EXPECT_EQ(MenuGlyph::percentText(notANumber), QStringLiteral("—"));
    EXPECT_EQ(MenuGlyph::percentText(std::numeric_limits<double>::infinity()), QStringLiteral("—"));
}
