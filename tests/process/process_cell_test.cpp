#include "process/process_cell.h"
#include "process/sparkline.h"

#include "ui/theme.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include <vector>

namespace {

std::array<MetricText, 6> cpuOnly(double cpu)
{
    return ProcessCell::metrics(cpu, 0, 1, 1, 0, 0, false, Thresholds{});
}

} // namespace

TEST(ProcessCell, CpuTextAndColourAtTheirBoundaries)
{
    EXPECT_EQ(cpuOnly(0.49)[0], (MetricText{"0.5%", Theme::faint()}));
    EXPECT_EQ(cpuOnly(99.96)[0], (MetricText{"100.0%", Theme::text()}));
    EXPECT_EQ(cpuOnly(100)[0], (MetricText{"100%", Theme::heat(0.625)}));
    EXPECT_EQ(cpuOnly(400)[0].color, Theme::heat(1));
    EXPECT_EQ(cpuOnly(900)[0].color, Theme::heat(1));
}

TEST(ProcessCell, MemoryCountsAndRatesAtTheirBoundaries)
{
    Thresholds t;
    t.threads = 400;
    t.fds = 1024;
    auto m = ProcessCell::metrics(1, 52'428'799, 399, 1024, 0, -1, false, t);
    EXPECT_EQ(m[1].color, Theme::dim());
    EXPECT_EQ(m[2], (MetricText{"399", Theme::dim()}));
    EXPECT_EQ(m[3], (MetricText{"1024", Theme::warn()}));
    EXPECT_EQ(m[4], (MetricText{"·", Theme::faint()}));
    EXPECT_EQ(m[5], (MetricText{"·", Theme::faint()}));

    m = ProcessCell::metrics(1, 52'428'800, 400, 3, 2048, 1024, true, t);
    EXPECT_EQ(m[1].color, Theme::text());
    EXPECT_EQ(m[2], (MetricText{"—", Theme::faint()}));
    EXPECT_EQ(m[3], (MetricText{"—", Theme::faint()}));
    EXPECT_TRUE(m[4].text.endsWith("/s"));
    EXPECT_EQ(m[4].color, Theme::net());
    EXPECT_NEAR(m[5].color.alphaF(), 0.7, 0.01);
}

TEST(ProcessCell, GroupIsRestrictedOnlyWhenEveryMemberIs)
{
    GroupSample g;
    EXPECT_TRUE(ProcessCell::restricted(g));
    ProcSample p;
    p.restricted = true;
    g.members = {p};
    EXPECT_TRUE(ProcessCell::restricted(g));
    p.restricted = false;
    g.members.push_back(p);
    EXPECT_FALSE(ProcessCell::restricted(g));
}

TEST(ProcessCell, LayoutAtWidth800)
{
    const auto l = ProcessCell::cellLayout(800, 28, false, 100.2, 14, true);
    const double lefts[] = {800 - 378, 800 - 318, 800 - 256, 800 - 206, 800 - 152, 800 - 82};
    for (int i = 0; i < 6; ++i) {
        EXPECT_DOUBLE_EQ(l.metrics[std::size_t(i)].left(), lefts[i]) << i;
        EXPECT_DOUBLE_EQ(l.metrics[std::size_t(i)].top(), 7);
        EXPECT_DOUBLE_EQ(l.metrics[std::size_t(i)].height(), 14);
    }
    EXPECT_EQ(l.spark, QRectF(800 - 448, 7, 60, 14));
    EXPECT_EQ(l.chevron, QPointF(20, 14));
    EXPECT_EQ(l.icon, QRectF(28, 5, 18, 18));
    EXPECT_EQ(l.tile, QRectF(28, 6.5, 18, 15));
    EXPECT_EQ(l.name, QRectF(54, 6, 106, 16));
    EXPECT_DOUBLE_EQ(l.count.left(), 54 + 106 + 6);
    EXPECT_EQ(l.flag, QRectF(166 + 14 + 7, 11, 6, 6));

    const auto member = ProcessCell::cellLayout(800, 24, true, 30, 0, false);
    EXPECT_EQ(member.pid, QRectF(18, 5.5, 52, 13));
    EXPECT_DOUBLE_EQ(member.name.left(), 78);

    // A long name takes the room there is, never less than 20.
    EXPECT_DOUBLE_EQ(ProcessCell::cellLayout(800, 28, false, 2000, 0, false).name.width(),
                     422 - 78 - 54);
    EXPECT_DOUBLE_EQ(ProcessCell::cellLayout(200, 28, false, 2000, 14, true).name.width(), 20);
}

TEST(ProcessCell, LookOfSelectedAndMemberRows)
{
    auto group = ProcessCell::look(false, true, true);
    EXPECT_EQ(group.background, Theme::raised());
    EXPECT_EQ(group.accent, 1);
    EXPECT_EQ(group.chevron, 90);
    auto member = ProcessCell::look(true, true, false);
    EXPECT_EQ(member.background, Theme::raised());
    EXPECT_EQ(member.accent, 0);
    EXPECT_NEAR(ProcessCell::look(true, false, false).background.alphaF(), 0.5, 0.01);
    EXPECT_EQ(ProcessCell::look(false, false, false).background.alpha(), 0);
}

TEST(Sparkline, PathRule)
{
    const QRectF rect(100, 10, 59, 14);
    const std::vector<double> none, one{5};
    EXPECT_TRUE(sparkPath(none, 100, rect).isEmpty());
    EXPECT_TRUE(sparkPath(one, 100, rect).isEmpty());

    // Two values: the newest on the right edge, the older one step left;
    // 200 over a floor of 100 is the peak, 1 pixel below the top.
    const std::vector<double> two{50, 200};
    QPainterPath path = sparkPath(two, 100, rect);
    ASSERT_EQ(path.elementCount(), 2);
    EXPECT_DOUBLE_EQ(path.elementAt(1).x, 159);
    EXPECT_DOUBLE_EQ(path.elementAt(1).y, 11);
    EXPECT_DOUBLE_EQ(path.elementAt(0).x, 158);
    EXPECT_DOUBLE_EQ(path.elementAt(0).y, 23 - 0.25 * 12);

    // Sixty zeros: a flat line from the left edge, 1 pixel above the bottom.
    const std::vector<double> sixty(60, 0.0);
    path = sparkPath(sixty, 100, rect);
    ASSERT_EQ(path.elementCount(), 60);
    EXPECT_DOUBLE_EQ(path.elementAt(0).x, 100);
    EXPECT_DOUBLE_EQ(path.elementAt(0).y, 23);
    EXPECT_DOUBLE_EQ(path.elementAt(59).x, 159);
}

TEST(ProcessCell, StackedMarksStayOnTheGroupsLetterTile)
{
    QString zalgo = QStringLiteral("Z");
    for (int i = 0; i < 20; ++i)
        zalgo += QString(QChar(0x0301)) + QChar(0x0323);
    const GroupSample group(QStringLiteral("exe:z"), zalgo, std::nullopt);
    QImage image(400, 90, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    ProcessCell::paintGroup(p, QRectF(0, 30, 400, 30), group, ProcessCell::Paint{});
    p.end();
    // Above and below the row, in the tile's own column, nothing is drawn.
    const ProcessCell::Layout l = ProcessCell::cellLayout(400, 30, false, 0, 0, false);
    for (int x = int(l.tile.left()); x < int(l.tile.right()); ++x)
        for (int y : {0, 10, 20, 29, 60, 70, 80, 89})
            EXPECT_EQ(qAlpha(image.pixel(x, y)), 0) << x << "," << y;
}

// A mark that encloses its letter (U+20DD) rings it wider than its advance:
// a group's tile shows the letter without the ring, and a name keeps to its
// own column, off the count after it.
TEST(ProcessCell, EnclosingMarksStayOffTheTileAndInTheNamesColumn)
{
    const auto row = [](const QString& name, std::size_t members) {
        GroupSample group(QStringLiteral("exe:w"), name, std::nullopt);
        group.members.resize(members);
        QImage image(400, 30, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter p(&image);
        ProcessCell::Paint paint;
        paint.chrome = false;
        ProcessCell::paintGroup(p, QRectF(0, 0, 400, 30), group, paint);
        return image;
    };
    const QString ringed = QStringLiteral("l\u20DD");
    const int tileEnd = int(ProcessCell::cellLayout(400, 30, false, 0, 0, false).icon.right()) + 1;
    EXPECT_EQ(row(ringed, 1).copy(0, 0, tileEnd, 30), row(QStringLiteral("l"), 1).copy(0, 0, tileEnd, 30));

    // Where the count "×2" draws (what a second member adds), the name
    // alone draws nothing.
    const QImage alone = row(ringed, 1), counted = row(ringed, 2);
    int shared = 0;
    for (int x = tileEnd; x < 300; ++x) {
        bool count = false, name = false;
        for (int y = 0; y < 30; ++y) {
            count = count || counted.pixel(x, y) != alone.pixel(x, y);
            name = name || qAlpha(alone.pixel(x, y)) > 0;
        }
        shared += count && name;
    }
    EXPECT_EQ(shared, 0);
}
