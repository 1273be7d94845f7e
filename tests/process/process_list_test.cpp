#include "process/process_cell.h"
#include "process/process_list.h"
#include "process/process_menu.h"
#include "process/process_table.h"

#include "app/view_fixture.h"
#include "platform/process_signals.h"
#include "ui/theme.h"

#include <QAction>
#include <QClipboard>
#include <QCursor>
#include <QEnterEvent>
#include <QImage>
#include <QMenu>
#include <QProcess>
#include <QTest>
#include <QWheelEvent>

#include <memory>

namespace {

QStringList titles(QMenu* menu)
{
    QStringList list;
    for (QAction* action : menu->actions())
        list << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return list;
}

QAction* find(QMenu* menu, const QString& title)
{
    for (QAction* action : menu->actions())
        if (action->text() == title)
            return action;
    return nullptr;
}

// Twenty groups, busiest first, two of them with members.
std::vector<GroupSample> many()
{
    std::vector<GroupSample> groups;
    for (int i = 0; i < 20; ++i) {
        std::vector<int32_t> pids;
        if (i == 1)
            pids = {101, 102, 103};
        else if (i == 2)
            pids = {201};
        groups.push_back(group(QStringLiteral("G%1").arg(i), 1000.0 / std::pow(2, i), pids));
    }
    return groups;
}

} // namespace

class ProcessListTest : public ViewTest {
protected:
    void SetUp() override
    {
        ViewTest::SetUp();
        // The pointer rests away from every window unless a test moves it.
        QCursor::setPos(-500, -500);
    }
    void open(std::vector<GroupSample> groups, QSize size = {800, 280})
    {
        monitor = make();
        ingest(*monitor, snapshotOf(std::move(groups)));
        list = std::make_unique<ProcessList>(*monitor);
        showOffscreen(*list, size);
        runPending();
        runPending();
        settle();
        // The restore's own scroll pulse lets go.
        advance(1);
    }
    void feed(std::vector<GroupSample> groups)
    {
        ingest(*monitor, snapshotOf(std::move(groups)));
        runPending();
    }
    QString selection() const { return monitor->selection().value_or(QString()); }

    std::unique_ptr<Monitor> monitor;
    std::unique_ptr<ProcessList> list;
};

TEST_F(ProcessListTest, ArrowKeysMoveTheSelectionAndHold)
{
    open(many());
    ASSERT_TRUE(list->restored());
    // Scrolled by two rows: down picks the first visible row.
    QWheelEvent wheel(QPointF(100, 100), QPointF(100, 100), QPoint(0, -56), QPoint(0, 0),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(list->viewport(), &wheel);
    EXPECT_DOUBLE_EQ(list->scrollTarget(), 56);
    EXPECT_TRUE(monitor->listKeyHandler("down"));
    EXPECT_EQ(selection(), "G2");

    monitor->setSelection(QStringLiteral("G0"));
    advance(5);
    ASSERT_FALSE(monitor->listHold().active());
    EXPECT_TRUE(list->key("up"));
    EXPECT_EQ(selection(), "G0");
    EXPECT_TRUE(monitor->listHold().holdsReason(InteractionHold::Reason::keyboard));

    // Ctrl+Down goes past the list.
    QTest::keyClick(list.get(), Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(selection(), "G0");
    QTest::keyClick(list.get(), Qt::Key_Down);
    EXPECT_EQ(selection(), "G1");

    monitor->setBlocking(true);
    EXPECT_FALSE(list->key("down"));
    EXPECT_EQ(selection(), "G1");
}

TEST_F(ProcessListTest, LeftRightAndEscape)
{
    open(many());
    monitor->setSelection(QStringLiteral("G1"));
    EXPECT_TRUE(list->key("right"));
    runPending();
    EXPECT_TRUE(monitor->tableState.expanded.contains("G1"));
    EXPECT_TRUE(list->key("down"));
    EXPECT_EQ(monitor->focusPid(), 101);
    // Left on a member selects its group without collapsing it; again collapses.
    EXPECT_TRUE(list->key("left"));
    EXPECT_EQ(selection(), "G1");
    EXPECT_EQ(monitor->focusPid(), std::nullopt);
    EXPECT_TRUE(monitor->tableState.expanded.contains("G1"));
    EXPECT_TRUE(list->key("left"));
    EXPECT_FALSE(monitor->tableState.expanded.contains("G1"));
    // A one-member group consumes the keys and changes nothing.
    monitor->setSelection(QStringLiteral("G2"));
    EXPECT_TRUE(list->key("return"));
    EXPECT_FALSE(monitor->tableState.expanded.contains("G2"));

    monitor->setFilter(QStringLiteral("G"));
    runPending();
    EXPECT_TRUE(list->emptyText().isEmpty());
    EXPECT_TRUE(list->key("esc"));
    EXPECT_EQ(selection(), "G2");
    EXPECT_TRUE(list->key("esc"));
    EXPECT_FALSE(list->key("esc"));

    // A filter that leaves no row says so, in either language.
    monitor->setFilter(QStringLiteral("nomatchzzz"));
    runPending();
    EXPECT_EQ(list->emptyText(), QStringLiteral("No apps match “nomatchzzz”"));
    L10n::setChinese(true);
    EXPECT_EQ(list->emptyText(), QStringLiteral("没有与「nomatchzzz」匹配的 App"));
}

TEST_F(ProcessListTest, ChevronClickTogglesWithoutSelecting)
{
    open(many());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(10, 28 + 14));
    EXPECT_TRUE(monitor->tableState.expanded.contains("G1"));
    EXPECT_FALSE(monitor->selection());
    EXPECT_EQ(list->items().size(), 23u);
    // The same place on a one-member group selects it; a second click clears.
    const int g2 = 5;
    ASSERT_EQ(list->items()[g2].id, "g:G2");
    list->clicked(g2, 10);
    EXPECT_EQ(selection(), "G2");
    list->clicked(g2, 10);
    EXPECT_FALSE(monitor->selection());
    // A member click focuses it.
    list->clicked(2, 200);
    EXPECT_EQ(selection(), "G1");
    EXPECT_EQ(monitor->focusPid(), list->items()[2].member.pid);
}

TEST_F(ProcessListTest, RestoredScrollIsClampedAndOnlyTheUsersScrollHolds)
{
    monitor = make();
    monitor->tableState.scrollY = 10000;
    ingest(*monitor, snapshotOf(many()));
    list = std::make_unique<ProcessList>(*monitor);
    showOffscreen(*list, {800, 280});
    runPending();
    runPending();
    EXPECT_DOUBLE_EQ(list->scrollTarget(), 20 * 28 - 280);
    advance(3);
    ASSERT_FALSE(monitor->listHold().active());

    // The selected row moves far: a re-anchor that does not hold.
    monitor->setSelection(QStringLiteral("G19"));
    auto groups = many();
    std::rotate(groups.rbegin(), groups.rbegin() + 1, groups.rend());
    groups[0].cpu = 5000;
    const double before = list->scrollTarget();
    feed(groups);
    EXPECT_NE(list->scrollTarget(), before);
    EXPECT_FALSE(monitor->listHold().holdsReason(InteractionHold::Reason::scroll));

    advance(1);
    QWheelEvent wheel(QPointF(100, 100), QPointF(100, 100), QPoint(), QPoint(0, -120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(list->viewport(), &wheel);
    EXPECT_TRUE(monitor->listHold().holdsReason(InteractionHold::Reason::scroll));
}

TEST_F(ProcessListTest, AnchorsFollowRowsMidAnimationAndSelectionKeepsItsHeight)
{
    auto groups = many();
    open(groups);
    monitor->setSelection(QStringLiteral("G3"));
    runPending();
    settle();
    const double oldY = monitor->rowAnchorSource()->points.value("G5").y();
    const double selectedTop = *list->drawnTop("g:G3") - list->scrollOffset();

    // G5 becomes the busiest: it slides from row 5 to row 0, and the
    // selected G3 moves down a row but stays at its height on screen, so
    // the list scrolls by a row in the same motion.
    groups[5].cpu = 5000;
    feed(groups);
    const double newY = oldY - 6 * 28;
    advance(0.05);
    const double midY = monitor->rowAnchorSource()->points.value("G5").y();
    EXPECT_LT(midY, oldY - 1);
    EXPECT_GT(midY, newY + 1);
    settle();
    EXPECT_NEAR(monitor->rowAnchorSource()->points.value("G5").y(), newY, 0.5);
    // At rest nothing ticks.
    EXPECT_FALSE(FrameClock::shared().subscribed(list.get()));
    EXPECT_EQ(list->items()[4].id, "g:G3");
    EXPECT_NEAR(*list->drawnTop("g:G3") - list->scrollOffset(), selectedTop, 0.5);
}

TEST_F(ProcessListTest, GhostsHaveNoMenuAndGroupMenusNameTheirPids)
{
    open(many());
    // The pointer holds the list while G0 leaves: its row stays as a ghost.
    monitor->listHold().set(InteractionHold::Reason::pointer, true);
    auto groups = many();
    groups.erase(groups.begin());
    feed(groups);
    ASSERT_EQ(list->items()[0].id, "g:G0");
    EXPECT_TRUE(list->items()[0].ghost);
    EXPECT_EQ(list->menu(0), nullptr);

    std::unique_ptr<QMenu> none(ProcessMenu::menu(group("E", 0), std::nullopt, *monitor));
    EXPECT_EQ(titles(none.get()),
              (QStringList{"Show in Inspector", "-", "Copy Name", "Copy PID", "-", "Mute Alerts",
                           "-", "Quit…", "Force Quit…"}));
    GroupSample one = group("O", 0, {7});
    one.members[0].path = "/usr/bin/o";
    std::unique_ptr<QMenu> single(ProcessMenu::menu(one, std::nullopt, *monitor));
    EXPECT_EQ(titles(single.get()),
              (QStringList{"Show in Inspector", "-", "Copy Name", "Copy PID", "Copy Path",
                           "Show in File Manager", "-", "Mute Alerts", "-", "Quit…",
                           "Force Quit…"}));
    std::unique_ptr<QMenu> three(ProcessMenu::menu(group("T", 0, {1, 2, 3}), std::nullopt, *monitor));
    EXPECT_EQ(titles(three.get())[3], "Copy All PIDs");
    find(three.get(), "Copy All PIDs")->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "1 2 3");

    // Muting is by group name; unmuting removes every copy.
    find(three.get(), "Mute Alerts")->trigger();
    Preferences prefs = monitor->prefs();
    prefs.ignored.append("T");
    monitor->setPrefs(prefs);
    std::unique_ptr<QMenu> muted(ProcessMenu::menu(group("T", 0, {1}), group("T", 0, {1}).members[0],
                                                   *monitor));
    find(muted.get(), "Unmute Alerts")->trigger();
    EXPECT_FALSE(monitor->prefs().ignored.contains("T"));

    const auto q = ProcessMenu::question("T", 3, false);
    EXPECT_EQ(q.message, "Quit “T”?");
    EXPECT_EQ(q.informative, "This asks these 3 processes to quit. Unsaved changes may be lost.");
    L10n::setChinese(true);
    EXPECT_EQ(ProcessMenu::question("T", 3, true).informative, "将立即终止这 3 个进程，未保存的内容会丢失。");
    EXPECT_EQ(ProcessMenu::question("T", 1, false).message, "结束「T」？");
    // A right-to-left name is isolated, so the question mark stays at the end.
    EXPECT_EQ(ProcessMenu::question("עברית", 1, false).message, "结束「\u2068עברית\u2069」？");
    std::unique_ptr<QMenu> chinese(ProcessMenu::menu(one, std::nullopt, *monitor));
    EXPECT_EQ(titles(chinese.get())[5], "在文件管理器中显示");
    L10n::setChinese(false);
}

TEST_F(ProcessListTest, QuitEndsARealChildAndForceQuitSparesAReplacedPid)
{
    monitor = make();
    QProcess child;
    child.start("sleep", {"30"});
    ASSERT_TRUE(child.waitForStarted());
    const auto pid = int32_t(child.processId());
    GroupSample g = group("sleep", 0, {pid});
    std::vector<QString> asked;
    ProcessMenu::ScopedConfirm yes([&](const ProcessMenu::Question& q) {
        asked.push_back(q.message);
        return true;
    });
    std::unique_ptr<QMenu> quit(ProcessMenu::menu(g, g.members[0], *monitor));
    find(quit.get(), "Quit…")->trigger();
    EXPECT_TRUE(child.waitForFinished(60000));
    EXPECT_EQ(asked, std::vector<QString>{"Quit “sleep-proc”?"});

    // The pid captured when the menu opened no longer names that process.
    QProcess second;
    second.start("sleep", {"30"});
    ASSERT_TRUE(second.waitForStarted());
    GroupSample g2 = group("sleep", 0, {int32_t(second.processId())});
    std::unique_ptr<QMenu> force(ProcessMenu::menu(g2, std::nullopt, *monitor));
    second.kill();
    second.waitForFinished();
    std::vector<int32_t> sent;
    ProcessSignals::ScopedSender record([&](int32_t p, int) {
        sent.push_back(p);
        return 0;
    });
    find(force.get(), "Force Quit…")->trigger();
    EXPECT_TRUE(sent.empty());
}

TEST_F(ProcessListTest, PointerHoldIsWorkedOutAgainOnEveryUpdate)
{
    open(many());
    using Reason = InteractionHold::Reason;
    InteractionHold& hold = monitor->listHold();
    // The pointer comes to rest over the list.
    const QPoint inside(200, 100);
    QCursor::setPos(list->viewport()->mapToGlobal(inside));
    QEnterEvent enter(inside, inside, list->viewport()->mapToGlobal(inside));
    QApplication::sendEvent(list->viewport(), &enter);
    feed(many());
    ASSERT_TRUE(list->containsPointer());
    EXPECT_TRUE(hold.holdsReason(Reason::pointer));

    // Another mode takes the window while the list stays shown under it and
    // the pointer does not move: no Leave comes, yet the hold lets go.
    monitor->switchMode(Monitor::Mode::ports);
    runPending();
    EXPECT_FALSE(hold.holdsReason(Reason::pointer));
    advance(2);
    EXPECT_FALSE(hold.active());

    // Back on the list it holds again.
    monitor->switchMode(Monitor::Mode::table);
    runPending();
    EXPECT_TRUE(hold.holdsReason(Reason::pointer));
}

TEST_F(ProcessListTest, FiguresUseTheLimitsTheRulesApply)
{
    // Limits of 0 never reach the rules, which take the defaults instead;
    // the list colours its counts by the same limits.
    open(many(), {800, 280});
    Preferences prefs = monitor->prefs();
    prefs.thresholds.threads = 0;
    prefs.thresholds.fds = -5;
    monitor->setPrefs(prefs);
    runPending();
    ASSERT_EQ(list->items()[1].id, "g:G1");
    QImage image(list->viewport()->size(), QImage::Format_RGB32);
    list->viewport()->render(&image);
    // The threads and handles of G1's row: grey figures, nothing in the
    // warning colour.
    const QColor warn = Theme::warn();
    int warned = 0;
    for (int y = 28; y < 56; ++y)
        for (int x = 800 - 256; x < 800 - 152; ++x) {
            const QColor c = image.pixelColor(x, y);
            warned += std::abs(c.red() - warn.red()) + std::abs(c.green() - warn.green())
                    + std::abs(c.blue() - warn.blue()) < 90;
        }
    EXPECT_EQ(warned, 0);
}

TEST_F(ProcessListTest, ClaimsToCoverItsGroundOnlyWhileItsModeIsShown)
{
    // Faded out under another mode it draws nothing, so the window must
    // paint beneath it, or what it drew while sliding away stays on screen.
    open(many());
    QWidget* ground = list->viewport();
    EXPECT_TRUE(ground->testAttribute(Qt::WA_OpaquePaintEvent));
    monitor->switchMode(Monitor::Mode::field);
    EXPECT_FALSE(ground->testAttribute(Qt::WA_OpaquePaintEvent));
    advance(1);
    monitor->switchMode(Monitor::Mode::table);
    EXPECT_TRUE(ground->testAttribute(Qt::WA_OpaquePaintEvent));
}
