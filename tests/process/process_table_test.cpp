#include "process/process_table.h"
#include "process/process_cell.h"
#include "process/process_list.h"

#include "app/view_fixture.h"

#include <QMouseEvent>
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
    // The full set stands from the width where a name has its floor.
    for (double w : {530.0, 900.0, 1600.0}) {
        const auto c = columns(w);
        EXPECT_TRUE(c.spark) << w;
        EXPECT_EQ(c.shown, (std::array<bool, 6>{true, true, true, true, true, true})) << w;
        EXPECT_DOUBLE_EQ(c.left[0], w - 378);
        EXPECT_DOUBLE_EQ(c.sparkLeft, w - 448);
    }
    // The sparkline goes first, then the rates, then handles and threads.
    EXPECT_FALSE(columns(529).spark);
    EXPECT_TRUE(columns(529).shown[5]);
    EXPECT_EQ(columns(388).shown, (std::array<bool, 6>{true, true, true, true, false, false}));
    EXPECT_EQ(columns(250).shown, (std::array<bool, 6>{true, true, false, false, false, false}));
    EXPECT_DOUBLE_EQ(columns(388).left[3], 388 - 12 - 54);

    for (double w = 220; w <= 1600; w += 7) {
        // A long group name keeps its floor and stays left of the figures.
        const auto row = ProcessCell::cellLayout(w, 28, false, 2000, 0, false);
        EXPECT_GE(row.name.width(), 20) << w;
        EXPECT_LE(row.name.right(), row.metrics[0].left()) << w;
        EXPECT_GE(row.metrics[0].left(), 54 + 20) << w;
        // Every figure header sits over its column, and nothing runs off.
        const auto cells = ProcessTable::headerCells(w);
        std::size_t figures = 0;
        for (const auto& cell : cells) {
            EXPECT_LE(cell.rect.right(), w - 12 + 1e-9) << w;
            if (!cell.key) {
                EXPECT_EQ(cell.rect.left(), row.spark.left()) << w;
                continue;
            }
            if (*cell.key == Monitor::SortKey::name)
                continue;
            const std::size_t i = std::size_t(*cell.key) - std::size_t(Monitor::SortKey::cpu);
            ASSERT_LT(i, 6u);
            EXPECT_EQ(cell.rect.left(), row.metrics[i].left()) << w << " " << i;
            EXPECT_EQ(cell.rect.width(), row.metrics[i].width()) << w << " " << i;
            ++figures;
        }
        std::size_t shown = 0;
        for (const QRectF& r : row.metrics)
            shown += r.isEmpty() ? 0 : 1;
        EXPECT_EQ(figures, shown) << w;
    }
}

TEST_F(ProcessTableTest, HeaderTitlesLightAndPressWithMotion)
{
    using Key = Monitor::SortKey;
    auto monitor = make();
    ProcessTable table(*monitor);
    showOffscreen(table, {900, 300});
    const QPointF cpu = ProcessTable::headerCells(900)[2].rect.center();
    auto send = [&](QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QMouseEvent event(type, cpu, table.mapToGlobal(cpu), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(&table, &event);
    };

    send(QEvent::MouseMove, Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(table.hoverAmount(Key::cpu), 0);
    settle();
    EXPECT_DOUBLE_EQ(table.hoverAmount(Key::cpu), 1);
    EXPECT_EQ(table.hoverAmount(Key::mem), 0);

    send(QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton);
    advance(FrameClock::interval);
    EXPECT_GT(table.pressAmount(Key::cpu), 0);
    EXPECT_LT(table.pressAmount(Key::cpu), 1);
    settle();
    EXPECT_DOUBLE_EQ(table.pressAmount(Key::cpu), 1);
    send(QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton);
    EXPECT_TRUE(monitor->ascending());
    EXPECT_TRUE(table.moving());
    settle();
    EXPECT_NEAR(table.pressAmount(Key::cpu), 0, 1e-3);
    EXPECT_FALSE(FrameClock::shared().subscribed(&table));
}
