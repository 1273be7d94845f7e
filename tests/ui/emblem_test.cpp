#include "ui/emblem.h"
#include "ui/theme.h"

#include <QXmlStreamReader>

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

// The scalable icon draws the same shapes: the plate, two beams, sixteen
// ticks of the resting lengths and colours, and the core.
TEST(Emblem, ScalableIconHasTheSameShapes)
{
    QXmlStreamReader svg(Emblem::iconSvg());
    int ticks = 0, paths = 0, circles = 0;
    QString viewBox;
    while (!svg.atEnd()) {
        if (svg.readNext() != QXmlStreamReader::StartElement)
            continue;
        const auto attr = [&](const char* name) { return svg.attributes().value(QLatin1String(name)).toString(); };
        if (svg.name() == QLatin1String("svg")) {
            viewBox = attr("viewBox");
        } else if (svg.name() == QLatin1String("line")) {
            EXPECT_EQ(attr("y1").toDouble(), 32 - Emblem::restingOuter(ticks));
            EXPECT_EQ(attr("y2").toDouble(), 32 - Emblem::innerRadius);
            EXPECT_EQ(attr("stroke"), Emblem::finalColor(ticks).name());
            EXPECT_NEAR(attr("stroke-opacity").toDouble(), Emblem::finalColor(ticks).alphaF(), 1e-3);
            EXPECT_EQ(attr("transform"), QStringLiteral("rotate(%1 32 32)").arg(22.5 * ticks));
            ++ticks;
        } else if (svg.name() == QLatin1String("path")) {
            ++paths;
        } else if (svg.name() == QLatin1String("circle")) {
            EXPECT_EQ(attr("r").toDouble(), Emblem::coreRadius);
            ++circles;
        }
    }
    EXPECT_FALSE(svg.hasError()) << svg.errorString().toStdString();
    EXPECT_EQ(viewBox, "0 0 64 64");
    EXPECT_EQ(ticks, Emblem::tickCount);
    EXPECT_EQ(paths, 2);
    EXPECT_EQ(circles, 1);
}
