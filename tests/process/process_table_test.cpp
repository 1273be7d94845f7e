#include "process/process_table.h"
#include "process/process_cell.h"
#include "process/process_list.h"

#include "app/view_fixture.h"
#include "ui/fonts.h"

#include <QTest>

#include <memory>

class ProcessTableTest : public ViewTest {};

TEST_F(ProcessTableTest, HeaderSortsAndNamesItsColumnsInBothLanguages)
{
    auto monitor = make();
    ProcessTable table(*monitor);
    showOffscreen(table, {900, 300});
    const auto cells = ProcessTable::headerCells(900);
    ASSERT_EQ(cells.size(), 8u);
    // The figure columns end where the rows' figures end.
    EXPECT_DOUBLE_EQ(cells[2].rect.left(), 900 - 378);
    EXPECT_DOUBLE_EQ(cells.back().rect.right(), 900 - 12);
    EXPECT_FALSE(cells[1].key);

    auto click = [&](std::size_t i) {
        QTest::mouseClick(&table, Qt::LeftButton, {}, cells[i].rect.center().toPoint());
    };
    click(2);
    EXPECT_EQ(monitor->sort(), Monitor::SortKey::cpu);
    EXPECT_TRUE(monitor->ascending());
    click(0);
    EXPECT_EQ(monitor->sort(), Monitor::SortKey::name);
    EXPECT_TRUE(monitor->ascending());
    click(3);
    EXPECT_EQ(monitor->sort(), Monitor::SortKey::mem);
    EXPECT_FALSE(monitor->ascending());

    L10n::setChinese(true);
    QStringList titles;
    for (const auto& cell : ProcessTable::headerCells(900))
        if (cell.key)
            titles << cell.title;
    EXPECT_EQ(titles, (QStringList{"进程", "CPU", "内存", "线程", "句柄", "↓ 下载", "↑ 上传"}));
}

TEST_F(ProcessTableTest, HooksOutliveNoList)
{
    auto monitor = make();
    ingest(*monitor, snapshotOf({group("A", 5, {1, 2}), group("B", 1)}));
    auto list = std::make_unique<ProcessList>(*monitor);
    showOffscreen(*list, {800, 200});
    runPending();
    runPending();
    monitor->rowIconHider({QStringLiteral("A")});
    EXPECT_EQ(list->hiddenIcons(), QSet<QString>{"A"});
    ASSERT_TRUE(monitor->rowAnchorSource());
    EXPECT_TRUE(monitor->rowAnchorSource()->points.contains("B"));

    // Torn down, as a language change does: the hooks answer nothing.
    list.reset();
    EXPECT_FALSE(monitor->listKeyHandler("down"));
    EXPECT_FALSE(monitor->rowAnchorSource());
    monitor->rowIconHider({});
    monitor->listHold().set(InteractionHold::Reason::pointer, true);
    monitor->listHold().set(InteractionHold::Reason::pointer, false);
    advance(1);
    EXPECT_FALSE(monitor->listHold().active());
}

TEST_F(ProcessTableTest, ExpandedGroupsOutliveTheList)
{
    auto monitor = make();
    ingest(*monitor, snapshotOf({group("A", 5, {1, 2})}));
    {
        ProcessList list(*monitor);
        showOffscreen(list, {800, 200});
        runPending();
        list.clicked(0, 10);
        EXPECT_EQ(list.items().size(), 3u);
    }
    ProcessList again(*monitor);
    showOffscreen(again, {800, 200});
    runPending();
    EXPECT_EQ(again.items().size(), 3u);
}

TEST(ProcessColumns, NarrowWidthsDropColumnsInOrderAndHeadersStayOverThem)
{
    using ProcessCell::columns;
    using Shown = std::array<bool, 6>;
    for (double w : {670.0, 1600.0}) {
        EXPECT_TRUE(columns(w).spark);
        EXPECT_EQ(columns(w).shown, Shown({true, true, true, true, true, true}));
        EXPECT_DOUBLE_EQ(columns(w).left[0], w - 378);
        EXPECT_DOUBLE_EQ(columns(w).nameLimit - ProcessCell::groupNameX, w - 510);
    }
    // The sparkline goes first, then the rates, then handles and threads,
    // then memory.
    EXPECT_FALSE(columns(669).spark);
    EXPECT_EQ(columns(669).shown, Shown({true, true, true, true, true, true}));
    EXPECT_EQ(columns(599).shown, Shown({true, true, true, true, false, false}));
    EXPECT_EQ(columns(459).shown, Shown({true, true, false, false, false, false}));
    EXPECT_EQ(columns(355).shown, Shown({true, false, false, false, false, false}));
    // Below the full width a group's name and count keep readable room:
    // beside the instruments of a 1024-wide window, and beside the
    // inspector too.
    for (double w : {294.0, 355.0, 459.0, 599.0, 624.0, 669.0})
        EXPECT_GE(columns(w).nameLimit - ProcessCell::groupNameX, ProcessCell::nameReadable) << w;
    EXPECT_EQ(columns(294).shown[0], true);
    // That room holds sixteen letters of a group's name in its own font.
    const auto sixteen = ProcessCell::cellLayout(624, 28, false,
                                                 QFontMetricsF(Fonts::font(12, QFont::Medium))
                                                     .horizontalAdvance(QStringLiteral("renderer-service")),
                                                 QFontMetricsF(Fonts::mono(9.5)).horizontalAdvance(QStringLiteral("×32")),
                                                 true);
    EXPECT_GE(sixteen.name.width(),
              QFontMetricsF(Fonts::font(12, QFont::Medium)).horizontalAdvance(QStringLiteral("renderer-service")));

    for (double w = 220; w <= 1600; w += 7) {
        // A long name keeps its floor left of the figures, and every header
        // stands over its column.
        const auto row = ProcessCell::cellLayout(w, 28, false, 2000, 0, false);
        EXPECT_GE(row.name.width(), 20) << w;
        EXPECT_LE(row.name.right(), row.metrics[0].left()) << w;
        std::size_t headers = 0, shown = 0;
        for (const auto& cell : ProcessTable::headerCells(w)) {
            EXPECT_LE(cell.rect.right(), w - 12 + 1e-9) << w;
            if (!cell.key) {
                EXPECT_EQ(cell.rect.left(), row.spark.left()) << w;
            }
            if (!cell.key || *cell.key == Monitor::SortKey::name)
                continue;
            const auto i = std::size_t(*cell.key) - std::size_t(Monitor::SortKey::cpu);
            EXPECT_EQ(cell.rect, QRectF(row.metrics[i].left(), 0, row.metrics[i].width(), 26)) << w;
            ++headers;
        }
        for (const QRectF& r : row.metrics)
            shown += r.isEmpty() ? 0 : 1;
        EXPECT_EQ(headers, shown) << w;
    }
}
