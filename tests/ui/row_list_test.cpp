#include "ui/menu_plan.h"
#include "ui/row_list.h"

#include "widget_fixture.h"

#include <QAction>
#include <QMenu>
#include <QPainter>
#include <QTest>

#include <memory>

namespace {

// Rows of any height, painted as nothing: the list's motion alone.
class SlotList : public RowList {
public:
    void show(std::vector<RowSlot> rows)
    {
        // What a leaving row is painted from is taken from the old rows.
        const std::vector<RowSlot> old = shownRows();
        reconcileRows(std::move(rows), std::nullopt, true,
                      [&old](int index) { return std::any(old[std::size_t(index)].id); });
    }
    std::vector<QString> painted;
    std::vector<int> clicks;

protected:
    void rowClicked(int row, QPointF) override { clicks.push_back(row); }
    void paintRow(QPainter&, const RowPaint& paint) override
    {
        painted.push_back(paint.leaving ? std::any_cast<QString>(*paint.leaving) + "~"
                                        : shownRows()[std::size_t(paint.index)].id);
    }
};

} // namespace

class RowListTest : public WidgetTest {};

TEST_F(RowListTest, RowsOfMixedHeightsSlideFadeAndLeave)
{
    SlotList list;
    list.resize(300, 200);
    list.QWidget::show();
    list.show({{"a", 30}, {"b", 24}, {"c", 30}});
    // A first fill lands at once.
    EXPECT_FALSE(list.moving());
    EXPECT_DOUBLE_EQ(*list.drawnTop("c"), 54);
    EXPECT_DOUBLE_EQ(list.contentHeight(), 84);

    // "b" goes, "d" comes: "c" slides up, "b" fades where it stood.
    list.show({{"a", 30}, {"c", 30}, {"d", 40}});
    EXPECT_EQ(list.leavingCount(), 1u);
    EXPECT_DOUBLE_EQ(*list.drawnTop("c"), 54);
    list.painted.clear();
    list.grab();
    EXPECT_EQ(list.painted, (std::vector<QString>{"b~", "a", "c", "d"}));
    settle();
    EXPECT_FALSE(list.moving());
    EXPECT_EQ(list.leavingCount(), 0u);
    EXPECT_DOUBLE_EQ(*list.drawnTop("c"), 30);
    EXPECT_DOUBLE_EQ(*list.drawnTop("d"), 60);
    EXPECT_FALSE(list.drawnTop("b"));
    EXPECT_EQ(list.rowAt(65), 2);
    EXPECT_EQ(list.rowAt(150), -1);
}

TEST_F(RowListTest, TheSecondOfTwoQuickClicksActsToo)
{
    SlotList list;
    list.resize(300, 200);
    list.QWidget::show();
    list.show({{"a", 30}, {"b", 30}});
    const QPoint b(40, 45);
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, b);
    // A press within the double-click time arrives as a double-click.
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, b);
    QTest::mouseRelease(list.viewport(), Qt::LeftButton, {}, b);
    EXPECT_EQ(list.clicks, (std::vector<int>{1, 1}));
}

TEST_F(RowListTest, AnchoredOriginUsesEachRowsOwnHeight)
{
    const std::vector<RowSlot> rows{{"a", 30}, {"b", 24}, {"c", 30}, {"d", 40}, {"e", 30}};
    // "d" starts at 84; kept 10 px below the top of a 60 px view.
    EXPECT_DOUBLE_EQ(*anchoredOrigin(ReconcilePlan::Anchor{"d", 10}, rows, 60, 0), 74);
    // Clamped to the content's end (154 - 60).
    EXPECT_DOUBLE_EQ(*anchoredOrigin(ReconcilePlan::Anchor{"e", -100}, rows, 60, 0), 94);
    EXPECT_FALSE(anchoredOrigin(ReconcilePlan::Anchor{"d", 10}, rows, 60, 74.4));
}

TEST_F(RowListTest, MenusAreDescriptionsShownAsTyped)
{
    int copied = 0;
    MenuPlan plan;
    plan.add("Copy R&D", [&] { ++copied; });
    plan.addDivider();
    plan.add("Show", {});
    EXPECT_EQ(plan.titles(), (QStringList{"Copy R&D", "-", "Show"}));
    EXPECT_TRUE(plan.trigger("Copy R&D"));
    EXPECT_EQ(copied, 1);
    EXPECT_FALSE(plan.trigger("Missing"));

    std::unique_ptr<QMenu> menu(buildMenu(plan));
    ASSERT_TRUE(menu);
    ASSERT_EQ(menu->actions().size(), 3);
    // The '&' is no mnemonic: the title reads as given.
    EXPECT_EQ(menu->actions()[0]->text(), "Copy R&&D");
    EXPECT_TRUE(menu->actions()[1]->isSeparator());
    menu->actions()[0]->trigger();
    EXPECT_EQ(copied, 2);
    EXPECT_FALSE(buildMenu(MenuPlan{}));
}
