#include "field/field_style.h"

#include "ui/theme.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

GroupSample groupOf(const QString& key, uint64_t mem, double cpu)
{
    GroupSample g(key, key, std::nullopt);
    g.mem = mem;
    g.cpu = cpu;
    return g;
}

} // namespace

TEST(FieldStyleTest, TicksDotsAndLabelsFollowTheFigures)
{
    EXPECT_EQ(FieldStyle::tickCount(7), 0);
    EXPECT_EQ(FieldStyle::tickCount(8), 1);
    EXPECT_EQ(FieldStyle::tickCount(575), 71);
    EXPECT_EQ(FieldStyle::tickCount(576), 72);
    EXPECT_EQ(FieldStyle::tickCount(100000), 72);
    EXPECT_FALSE(FieldStyle::ticksShown(72, 12));
    EXPECT_TRUE(FieldStyle::ticksShown(1, 12.5));

    EXPECT_EQ(FieldStyle::dots(2048), 0);
    EXPECT_EQ(FieldStyle::dots(3000), 1);
    EXPECT_EQ(FieldStyle::dots(4096), 2);
    EXPECT_EQ(FieldStyle::dots(1024.0 * 1024 * 1024), 14);
    // Rates that are not figures never reach an integer conversion.
    EXPECT_EQ(FieldStyle::dots(std::nan("")), 0);
    EXPECT_EQ(FieldStyle::dots(-1e300), 0);
    EXPECT_EQ(FieldStyle::dots(std::numeric_limits<double>::infinity()), 14);
    EXPECT_EQ(FieldStyle::dots(1e308), 14);

    EXPECT_EQ(FieldStyle::nameSize(26), std::nullopt);
    EXPECT_EQ(FieldStyle::nameSize(27), 9.5);
    EXPECT_EQ(FieldStyle::nameSize(60), 13.0);

    // Full heat: the ramp's top, fill 0.32, stroke 0.95, ticks 5.15 times.
    const FieldStyle::Disc hot = FieldStyle::disc(450, false);
    EXPECT_NEAR(hot.fill.alphaF(), 0.32, 0.005);
    EXPECT_NEAR(hot.stroke.alphaF(), 0.95, 0.005);
    EXPECT_EQ(hot.fill.rgb(), Theme::heat(1).rgb());
    EXPECT_DOUBLE_EQ(FieldStyle::tickSpeed(450), 5.15);
    EXPECT_EQ(FieldStyle::disc(0, true).width, 1.8);
    EXPECT_EQ(FieldStyle::ticks(400, 400).rgb(), Theme::warn().rgb());
    EXPECT_EQ(FieldStyle::ticks(399, 400).rgb(), Theme::dim().rgb());

    GroupSample g = groupOf("a", 3 * 1024 * 1024, 123.4);
    g.threads = 12;
    g.fds = 40;
    EXPECT_EQ(FieldStyle::detailText(g), QStringLiteral("3.0M  123%"));
    EXPECT_EQ(FieldStyle::tooltipText(g), QStringLiteral("a   CPU 123%  MEM 3.0M  THR 12  FD 40"));
    EXPECT_EQ(FieldStyle::cpuText(9.96), QStringLiteral("10.0%"));
}

TEST(FieldStyleTest, DotsRunOnOneCycleWhateverTheRadiusOrCount)
{
    // The same instant gives the same place on the path at any radius: a
    // growing bubble's dots finish their way instead of starting over.
    const FieldStyle::Dot small = FieldStyle::dot(0, 1, 3, 20, 5.3);
    const FieldStyle::Dot large = FieldStyle::dot(0, 1, 3, 40, 5.3);
    EXPECT_DOUBLE_EQ(small.opacity, large.opacity);
    // Inbound dots fall from r + 32 to r + 6 over the period.
    const FieldStyle::Dot start = FieldStyle::dot(0, 0, 1, 20, 0);
    EXPECT_NEAR(std::hypot(start.centre.x(), start.centre.y()), 52, 1e-9);
    EXPECT_DOUBLE_EQ(start.opacity, 0);
    const FieldStyle::Dot mid = FieldStyle::dot(0, 0, 1, 20, FieldStyle::flowPeriod / 2);
    EXPECT_NEAR(std::hypot(mid.centre.x(), mid.centre.y()), 39, 1e-9);
    EXPECT_DOUBLE_EQ(mid.opacity, 1);
    // Later dots lag by 0.62 of their share of the period.
    const double delay = FieldStyle::flowPeriod / 4 * 0.62;
    EXPECT_DOUBLE_EQ(FieldStyle::dot(1, 2, 4, 30, 7 + 2 * delay).opacity,
                     FieldStyle::dot(1, 0, 4, 30, 7).opacity);
}

TEST(FieldStyleTest, TooltipStaysInsideTheView)
{
    const QRectF left = FieldStyle::tooltipFrame(QPointF(10, 200), 100, 600);
    EXPECT_DOUBLE_EQ(left.x(), 6);
    EXPECT_DOUBLE_EQ(left.y(), 166);
    EXPECT_DOUBLE_EQ(left.width(), 118);
    EXPECT_DOUBLE_EQ(left.height(), 18);
    EXPECT_DOUBLE_EQ(FieldStyle::tooltipFrame(QPointF(590, 200), 100, 600).x(), 600 - 118 - 6);
    EXPECT_DOUBLE_EQ(FieldStyle::tooltipFrame(QPointF(300, 10), 100, 600).y(), 6);
}

TEST(FieldStyleTest, ChoosesTheLargestTheBusiestAndThePinned)
{
    std::vector<GroupSample> rows;
    for (int i = 0; i < 100; ++i)
        rows.push_back(groupOf(QStringLiteral("g%1").arg(i), uint64_t(1000 - i), 0));
    // The busiest is also among the largest; the next eleven are small.
    rows[0].cpu = 500;
    for (int i = 0; i < 11; ++i)
        rows[std::size_t(60 + i)].cpu = 100 - i;
    const QSet<QString> pinned{QStringLiteral("g99"), QStringLiteral("g1")};
    const std::vector<GroupSample> chosen = FieldStyle::chooseGroups(rows, pinned);

    ASSERT_EQ(chosen.size(), 44u + 11u + 1u);
    EXPECT_EQ(chosen[0].key, QStringLiteral("g0"));
    EXPECT_EQ(chosen[43].key, QStringLiteral("g43"));
    EXPECT_EQ(chosen[44].key, QStringLiteral("g60"));
    EXPECT_EQ(chosen.back().key, QStringLiteral("g99"));
    QSet<QString> keys;
    for (const GroupSample& g : chosen)
        keys.insert(g.key);
    EXPECT_EQ(keys.size(), qsizetype(chosen.size()));

    Incident warn, crit, system;
    warn.groupKey = crit.groupKey = QStringLiteral("g1");
    warn.severity = Severity::warn;
    crit.severity = Severity::critical;
    system.severity = Severity::critical;
    const auto flags = FieldStyle::mergeFlags({crit, warn, system});
    EXPECT_EQ(flags.size(), 1);
    EXPECT_EQ(flags.value(QStringLiteral("g1")), Severity::critical);
}

TEST(FieldStyleTest, RowPointsSplitIntoVisibleAndAway)
{
    const QHash<QString, QPointF> points{{"in", QPointF(37, 50)},
                                         {"edge", QPointF(37, 104)},
                                         {"above", QPointF(37, -20)},
                                         {"below", QPointF(37, 400)}};
    const auto rows = FieldStyle::rowPoints(points, QRectF(0, 0, 300, 107));
    EXPECT_EQ(rows.visible.size(), 1u);
    EXPECT_TRUE(rows.visible.contains("in"));
    EXPECT_EQ(rows.away.at("above"), -1);
    EXPECT_EQ(rows.away.at("below"), 1);
    EXPECT_EQ(rows.away.at("edge"), 1);
}
