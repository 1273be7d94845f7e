#include "app/toolbar.h"

#include "app/mode_switch.h"
#include "process/process_list.h"
#include "ui/hold_badge.h"
#include "ui/press_button.h"

#include "model/event_loop_wait.h"
#include "shell_fixture.h"

#include <QCoreApplication>
#include <QCursor>
#include <QFontMetricsF>
#include <QPaintEvent>
#include <QRegion>

#include <cmath>

using Mode = Monitor::Mode;

TEST(ToolbarTexts, CountsAndPlaceholdersInBothLanguages)
{
    const bool chinese = L10n::isChinese();
    L10n::setChinese(false);
    EXPECT_EQ(Toolbar::countText(Mode::table, 0, 412, 9, 9), QStringLiteral("0 groups · 412 procs"));
    EXPECT_EQ(Toolbar::countText(Mode::field, 12345, 1, 0, 0), QStringLiteral("12345 groups · 1 proc"));
    EXPECT_EQ(Toolbar::countText(Mode::field, 1, 3, 0, 0), QStringLiteral("1 group · 3 procs"));
    EXPECT_EQ(Toolbar::countText(Mode::ports, 3, 3, 40, 1), QStringLiteral("1 listening port"));
    EXPECT_EQ(Toolbar::countText(Mode::flow, 3, 3, 1, 0), QStringLiteral("1 connection"));
    EXPECT_EQ(Toolbar::countText(Mode::domains, 3, 3, 40, 0), QStringLiteral("40 connections"));
    EXPECT_EQ(Toolbar::countText(Mode::ports, 3, 3, 40, 2), QStringLiteral("2 listening ports"));
    EXPECT_EQ(Toolbar::placeholderFor(Mode::field), QStringLiteral("Filter by name or PID"));
    EXPECT_EQ(Toolbar::placeholderFor(Mode::flow), QStringLiteral("Filter by app, domain or port"));
    EXPECT_EQ(Toolbar::placeholderFor(Mode::domains), QStringLiteral("Filter by domain or app"));
    EXPECT_EQ(Toolbar::placeholderFor(Mode::ports), QStringLiteral("Port or process name"));

    L10n::setChinese(true);
    EXPECT_EQ(Toolbar::countText(Mode::table, 5, 80, 0, 0), QStringLiteral("5 组 · 80 进程"));
    EXPECT_EQ(Toolbar::countText(Mode::flow, 0, 0, 1, 0), QStringLiteral("1 条连接"));
    EXPECT_EQ(Toolbar::countText(Mode::ports, 0, 0, 0, 7), QStringLiteral("7 个监听端口"));
    EXPECT_EQ(Toolbar::placeholderFor(Mode::table), QStringLiteral("按名称或 PID 过滤"));
    EXPECT_EQ(Toolbar::placeholderFor(Mode::ports), QStringLiteral("端口号或进程名"));
    L10n::setChinese(chinese);
}

TEST_F(ShellTest, ToolbarCountsWhatTheModeShows)
{
    auto m = make();
    Snapshot s = snapshotOf({group(QStringLiteral("a"), 1, {10}), group(QStringLiteral("b"), 2, {20})});
    s.system.procCount = 300;
    s.connections.resize(1);
    ingest(*m, s);

    Toolbar::Model model = Toolbar::build(*m);
    EXPECT_EQ(model.count, QStringLiteral("2 groups · 300 procs"));
    EXPECT_EQ(model.hold, Mode::table);
    // The filter counts the groups it leaves, not the processes.
    m->setFilter(QStringLiteral("nothing-matches"));
    EXPECT_EQ(Toolbar::build(*m).count, QStringLiteral("0 groups · 300 procs"));
    m->setFilter(QStringLiteral("20"));
    EXPECT_EQ(Toolbar::build(*m).count, QStringLiteral("1 group · 300 procs"));

    m->switchMode(Mode::field);
    model = Toolbar::build(*m);
    EXPECT_EQ(model.placeholder, QStringLiteral("Filter by name or PID"));
    EXPECT_EQ(model.count, QStringLiteral("1 group · 300 procs"));
    EXPECT_FALSE(model.hold);
    advance(1);
    m->switchMode(Mode::domains);
    EXPECT_EQ(Toolbar::build(*m).count, QStringLiteral("1 connection"));
    EXPECT_EQ(Toolbar::build(*m).hold, Mode::domains);
}

TEST_F(ShellTest, ToolbarLaysOutFieldCountBadgeAndSwitch)
{
    auto m = make();
    Toolbar bar(*m);
    bar.resize(1000, Toolbar::barHeight);
    bar.show();
    settle();
    FilterField* field = bar.filterField();
    EXPECT_EQ(field->width(), 230);
    EXPECT_EQ(field->height(), 26);
    EXPECT_EQ(field->x(), 12);
    EXPECT_TRUE(bar.countShown());
    EXPECT_EQ(bar.modeSwitch()->geometry().right(), 1000 - 12 - 1);
    EXPECT_TRUE(bar.badge(Mode::table)->isVisibleTo(&bar));
    EXPECT_EQ(bar.badge(Mode::field), nullptr);

    // Narrow: the field keeps 170 and the count goes whole.
    bar.resize(12 + 170 + 10 + bar.modeSwitch()->sizeHint().width() + 12 + 20, Toolbar::barHeight);
    EXPECT_EQ(field->width(), 170);
    EXPECT_FALSE(bar.countShown());

    // The clear button comes with text and clears only the text.
    EXPECT_TRUE(field->clearButton()->isHidden());
    m->setFilter(QStringLiteral("x"));
    EXPECT_FALSE(field->clearButton()->isHidden());
    EXPECT_EQ(field->edit()->text(), QStringLiteral("x"));
    field->clearButton()->click();
    EXPECT_TRUE(m->filter().isEmpty());
    EXPECT_TRUE(field->clearButton()->isHidden());

    // The border follows the focus.
    EXPECT_EQ(field->borderColor(), FilterField::borderFor(false));
    EXPECT_NE(FilterField::borderFor(true), FilterField::borderFor(false));
}

TEST_F(ShellTest, ToolbarDropsTheCountBeforeItSqueezesTheBadge)
{
    auto m = make();
    Toolbar bar(*m);
    bar.resize(1000, Toolbar::barHeight);
    bar.show();
    settle();
    // Hold the list's order and change it under the hold: "Order paused".
    InteractionHold& hold = m->listHold();
    auto self = [](const QString& s) { return s; };
    hold.arrange(std::vector<QString>{QStringLiteral("a"), QStringLiteral("b")}, QString(), 0, false, false, self);
    hold.set(InteractionHold::Reason::pointer, true);
    hold.arrange(std::vector<QString>{QStringLiteral("b"), QStringLiteral("a")}, QString(), 0, false, false, self);
    settle();
    HoldBadge* badge = bar.badge(Mode::table);
    ASSERT_TRUE(hold.stale());
    const int badgeWidth = badge->sizeHint().width();
    ASSERT_GT(badgeWidth, 40);

    // Room for the field at its floor and the count, but not for the badge too.
    const int countWidth = int(std::ceil(QFontMetricsF(Toolbar::countFont()).horizontalAdvance(bar.model().count)));
    bar.resize(12 + FilterField::floorWidth + 10 + countWidth + 10 + bar.modeSwitch()->sizeHint().width() + 12,
               Toolbar::barHeight);
    settle();
    EXPECT_FALSE(bar.countShown());
    EXPECT_EQ(badge->width(), badgeWidth);
    hold.set(InteractionHold::Reason::pointer, false);
}

TEST_F(ShellTest, ListBadgeSaysOrderPausedWhileANewMemberWaits)
{
    auto m = make();
    QCursor::setPos(-500, -500);
    ingest(*m, snapshotOf({group(QStringLiteral("A"), 50, {1, 2}), group(QStringLiteral("B"), 10)}));
    m->tableState.expanded = {QStringLiteral("A")};
    Toolbar bar(*m);
    bar.resize(1000, Toolbar::barHeight);
    bar.show();
    ProcessList list(*m);
    list.resize(800, 300);
    list.show();
    settle();
    advance(1);
    ASSERT_EQ(list.items().size(), 4u);

    // A process starts in the expanded group while the list is held: its
    // row waits for the release, and the badge says why the list differs.
    InteractionHold& hold = m->listHold();
    hold.set(InteractionHold::Reason::scroll, true);
    ingest(*m, snapshotOf({group(QStringLiteral("A"), 50, {1, 2, 3}), group(QStringLiteral("B"), 10)}));
    settle();
    EXPECT_EQ(list.items().size(), 4u);
    EXPECT_TRUE(hold.stale());
    EXPECT_EQ(hold.withheld(), 0);
    EXPECT_EQ(bar.badge(Mode::table)->shownText(), std::optional<QString>(QStringLiteral("Order paused")));
    hold.set(InteractionHold::Reason::scroll, false);
}

TEST_F(ShellTest, NarrowToolbarKeepsTheFieldClearOfTheSwitch)
{
    // The centre column of the smallest window with the inspector open.
    auto m = make();
    Toolbar bar(*m);
    bar.resize(388, Toolbar::barHeight);
    bar.show();
    for (AppLanguage language : {AppLanguage::en, AppLanguage::zh}) {
        setLanguage(*m, language);
        settle();
        EXPECT_TRUE(bar.modeSwitch()->compact());
        EXPECT_GE(bar.filterField()->width(), FilterField::minimumWidth);
        EXPECT_LE(bar.filterField()->geometry().right() + Toolbar::spacing,
                  bar.modeSwitch()->geometry().left());
    }
    // A held list's badge reads whole: the field gives it room.
    InteractionHold& hold = m->listHold();
    hold.set(InteractionHold::Reason::scroll, true);
    hold.setStale(QStringLiteral("list"), true);
    settle();
    bar.resize(389, Toolbar::barHeight);
    bar.resize(388, Toolbar::barHeight);
    HoldBadge* badge = bar.badge(Mode::table);
    ASSERT_TRUE(badge->shownText().has_value());
    EXPECT_EQ(badge->width(), badge->sizeHint().width());
    EXPECT_LE(bar.filterField()->geometry().right() + Toolbar::spacing, badge->geometry().left());
    EXPECT_LE(badge->geometry().right() + Toolbar::spacing, bar.modeSwitch()->geometry().left());
    // Beside the inspector in a 1024-wide window there is no room for it:
    // it goes whole rather than showing a piece.
    bar.resize(294, Toolbar::barHeight);
    EXPECT_TRUE(badge->width() == 0 || badge->width() == badge->sizeHint().width()) << badge->width();
    if (badge->width() > 0) {
        EXPECT_LE(badge->geometry().right() + Toolbar::spacing, bar.modeSwitch()->geometry().left());
    }
    hold.set(InteractionHold::Reason::scroll, false);
    bar.resize(1000, Toolbar::barHeight);
    EXPECT_FALSE(bar.modeSwitch()->compact());
}

// Domains beside the inspector of the default window, and beside the
// instruments of the smallest one: when "Order paused" comes, the count of
// connections stays beside it and the field gives way. Nothing overlaps.
TEST_F(ShellTest, ToolbarKeepsTheCountBesideTheBadge)
{
    auto m = make();
    Snapshot s = snapshotOf({group(QStringLiteral("a"), 1, {10})});
    s.connections.resize(30);
    ingest(*m, s);
    m->switchMode(Mode::domains);
    Toolbar bar(*m);
    bar.resize(1000, Toolbar::barHeight);
    bar.show();
    InteractionHold& hold = m->domainsHold();
    hold.set(InteractionHold::Reason::scroll, true);
    hold.setStale(QStringLiteral("domains"), true);
    for (AppLanguage language : {AppLanguage::en, AppLanguage::zh}) {
        setLanguage(*m, language);
        settle();
        HoldBadge* badge = bar.badge(Mode::domains);
        ASSERT_TRUE(badge->shownText().has_value());
        for (int width : {1400 - 401 - 331, 1366 - 401 - 331, 1024 - 401}) {
            SCOPED_TRACE(testing::Message() << int(language) << " " << width);
            bar.resize(width, Toolbar::barHeight);
            settle();
            EXPECT_TRUE(bar.countShown());
            EXPECT_EQ(badge->width(), badge->sizeHint().width());
            EXPECT_GE(bar.filterField()->width(), FilterField::floorWidth);
            const QRectF count = bar.countRect();
            EXPECT_LE(bar.filterField()->geometry().right() + 1 + Toolbar::spacing, count.left() + 0.001);
            EXPECT_LE(count.right() + Toolbar::spacing, badge->geometry().left() + 0.001);
            EXPECT_LE(badge->geometry().right() + 1 + Toolbar::spacing, bar.modeSwitch()->geometry().left());
        }
    }
    hold.set(InteractionHold::Reason::scroll, false);
}

namespace {

// Collects what the widget was asked to repaint.
class PaintedRegion : public QObject {
public:
    QRegion region;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            region += static_cast<QPaintEvent*>(event)->region();
        return false;
    }
};

} // namespace

TEST_F(ShellTest, ACountMovedByTheBadgeIsRepaintedWhereItWasAndIsNow)
{
    auto m = make();
    Toolbar bar(*m);
    // Room enough for the count beside the widest field, but not for the
    // badge as well: when the badge comes, the field narrows and the count
    // moves left without any new text.
    const int countWidth = int(std::ceil(QFontMetricsF(Toolbar::countFont()).horizontalAdvance(bar.model().count)));
    bar.resize(12 + FilterField::maximumWidth + 10 + countWidth + 10 + bar.modeSwitch()->sizeHint().width() + 12,
               Toolbar::barHeight);
    PaintedRegion painted;
    bar.installEventFilter(&painted);
    bar.show();
    settle();
    ASSERT_TRUE(bar.countShown());
    const QRect before = bar.countRect().toAlignedRect();
    // The first paint of the whole bar is not what this is about.
    ASSERT_TRUE(waitFor([&] { return (QRegion(bar.rect()) - painted.region).isEmpty(); }));
    painted.region = QRegion();
    InteractionHold& hold = m->listHold();
    hold.set(InteractionHold::Reason::scroll, true);
    hold.setStale(QStringLiteral("list"), true);
    settle();
    // The badge asks the bar for room through a posted layout request.
    QCoreApplication::sendPostedEvents(&bar, QEvent::LayoutRequest);
    ASSERT_TRUE(bar.badge(Mode::table)->shownText().has_value());
    ASSERT_TRUE(bar.countShown());
    const QRect after = bar.countRect().toAlignedRect();
    ASSERT_NE(before, after);
    // Both places are painted again: the old text is gone, the new one whole.
    EXPECT_TRUE(waitFor([&] { return (QRegion(before).united(after) - painted.region).isEmpty(); }));
    hold.set(InteractionHold::Reason::scroll, false);
}
