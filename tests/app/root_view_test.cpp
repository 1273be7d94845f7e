#include "app/main_window.h"
#include "app/root_view.h"
#include "app/stage.h"
#include "app/toolbar.h"
#include "app/view_menu.h"
#include "app/header_bar.h"
#include "app/instruments_column.h"
#include "field/capacity_bars.h"
#include "field/memory_legend.h"
#include "field/reactor_view.h"
#include "field/trace_stack.h"
#include "settings/settings_view.h"
#include "ui/press_button.h"
#include "ui/theme.h"
#include "update/update_panel.h"

#include "shell_fixture.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include <cmath>

using Mode = Monitor::Mode;

namespace {

QAction* filterItem(MainWindow& window) { return window.viewMenu()->items()[5]; }

} // namespace

TEST_F(ShellTest, PlaceholderFadesHalfASecondAfterReady)
{
    auto m = make();
    RootView root(*m, updater());
    root.resize(1400, 880);
    root.show();
    // Due when the window opens: simply there.
    EXPECT_EQ(root.placeholderOpacity(), 1);
    EXPECT_EQ(RootView::placeholderText(), QStringLiteral("Reading system state…"));

    makeReady(*m);
    clock.scheduler.runPending();
    settle(0.45);
    EXPECT_EQ(root.placeholderOpacity(), 1);
    settle(0.5 + Motion::standard());
    EXPECT_EQ(root.placeholderOpacity(), 0);
    EXPECT_FALSE(FrameClock::shared().subscribed(&root));

    L10n::setChinese(true);
    EXPECT_EQ(RootView::placeholderText(), QStringLiteral("正在读取系统状态…"));
}

TEST_F(ShellTest, EscapeClearsFilterThenSelectionThenNothing)
{
    auto m = make();
    RootView root(*m, updater());
    QAction* escape = root.escapeAction();
    EXPECT_FALSE(escape->isEnabled());

    m->setFilter(QStringLiteral("zsh"));
    m->setSelection(QStringLiteral("g"));
    clock.scheduler.runPending();
    ASSERT_TRUE(escape->isEnabled());
    escape->trigger();
    EXPECT_TRUE(m->filter().isEmpty());
    EXPECT_EQ(m->selection(), QStringLiteral("g"));
    clock.scheduler.runPending();
    escape->trigger();
    EXPECT_FALSE(m->selection());
    clock.scheduler.runPending();
    EXPECT_FALSE(escape->isEnabled());

    // Inert while an overlay blocks, even fired by hand.
    m->setFilter(QStringLiteral("zsh"));
    m->setBlocking(true);
    clock.scheduler.runPending();
    EXPECT_TRUE(m->blocking()); // the view leaves a blocking it did not decide alone
    EXPECT_FALSE(escape->isEnabled());
    EXPECT_FALSE(root.frame()->isEnabled());
    emit escape->triggered();
    EXPECT_EQ(m->filter(), QStringLiteral("zsh"));
}

TEST_F(ShellTest, EscapeKeyReachesTheMonitorFromTheWindow)
{
    auto m = make();
    MainWindow window(*m, updater());
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    m->setFilter(QStringLiteral("x"));
    m->setSelection(QStringLiteral("g"));
    clock.scheduler.runPending();
    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_TRUE(m->filter().isEmpty());
    clock.scheduler.runPending();
    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_FALSE(m->selection());
}

TEST_F(ShellTest, FilterCommandFocusesTheFieldEachTime)
{
    auto m = make();
    MainWindow window(*m, updater());
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QLineEdit* edit = window.root()->toolbar()->filterField()->edit();
    // The window opens with the field unfocused.
    EXPECT_FALSE(edit->hasFocus());

    filterItem(window)->trigger();
    EXPECT_EQ(m->focusSearch(), 1);
    EXPECT_TRUE(edit->hasFocus());

    // Lost since, asked again: focused again. Asked while focused: stays.
    window.root()->setFocus();
    ASSERT_FALSE(edit->hasFocus());
    filterItem(window)->trigger();
    EXPECT_TRUE(edit->hasFocus());
    filterItem(window)->trigger();
    EXPECT_TRUE(edit->hasFocus());
    EXPECT_EQ(m->focusSearch(), 3);

    // Escape in the field: clears the text and keeps the focus, then gives it up.
    QTest::keyClicks(edit, QStringLiteral("ab"));
    EXPECT_EQ(m->filter(), QStringLiteral("ab"));
    QTest::keyClick(edit, Qt::Key_Escape);
    EXPECT_TRUE(m->filter().isEmpty());
    EXPECT_TRUE(edit->hasFocus());
    clock.scheduler.runPending();
    QTest::keyClick(edit, Qt::Key_Escape);
    EXPECT_FALSE(edit->hasFocus());
}

TEST_F(ShellTest, LanguageChangeRebuildsAndKeepsTheMonitorState)
{
    auto m = make();
    MainWindow window(*m, updater());
    window.show();
    m->switchMode(Mode::ports);
    advance(1);
    m->setFilter(QStringLiteral("ssh"));
    m->setSelection(QStringLiteral("g"));
    settle();

    // A hook that a view inside installed, reaching into that view.
    QPointer<QWidget> inside = window.root()->stage()->view(Mode::ports);
    ASSERT_TRUE(inside);
    m->listKeyHandler = [inside](const QString&) { return inside->isVisible(); };
    m->rowIconHider = [inside](const QSet<QString>&) { inside->update(); };

    QPointer<RootView> before = window.root();
    setLanguage(*m, AppLanguage::zh);
    EXPECT_EQ(window.builds(), 2);
    EXPECT_FALSE(before);
    EXPECT_FALSE(inside);
    EXPECT_FALSE(m->listKeyHandler);
    EXPECT_FALSE(m->rowIconHider);

    EXPECT_EQ(m->mode(), Mode::ports);
    EXPECT_EQ(m->filter(), QStringLiteral("ssh"));
    EXPECT_EQ(m->selection(), QStringLiteral("g"));
    EXPECT_NE(window.root()->stage()->view(Mode::ports), nullptr);
    EXPECT_EQ(window.root()->toolbar()->filterField()->edit()->text(), QStringLiteral("ssh"));
    EXPECT_EQ(window.root()->toolbar()->model().placeholder, QStringLiteral("端口号或进程名"));
    EXPECT_EQ(window.viewMenu()->title(), QStringLiteral("视图"));
    EXPECT_EQ(window.helpMenu()->title(), QStringLiteral("帮助"));
    EXPECT_EQ(window.settingsAction()->text(), QStringLiteral("设置…"));
    EXPECT_EQ(window.updatesAction()->text(), QStringLiteral("检查更新…"));
    EXPECT_NE(window.root()->inspector(), nullptr);

    // A preferences change that keeps the language rebuilds nothing.
    Preferences prefs = m->prefs();
    prefs.notify = !prefs.notify;
    m->setPrefs(prefs);
    clock.scheduler.runPending();
    EXPECT_EQ(window.builds(), 2);
}

TEST_F(ShellTest, WindowSizesAndMenus)
{
    auto m = make();
    MainWindow window(*m, updater());
    EXPECT_EQ(window.size(), QSize(1400, 880));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Tavrin"));
    EXPECT_EQ(window.root()->minimumSize(), QSize(1120, 760));
    window.show();
    window.resize(600, 400);
    QCoreApplication::processEvents();
    EXPECT_GE(window.root()->width(), 1120);
    EXPECT_GE(window.root()->height(), 760);

    EXPECT_EQ(window.appMenu()->title(), QStringLiteral("Tavrin"));
    EXPECT_EQ(window.settingsAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Comma));
    EXPECT_EQ(window.quitAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    EXPECT_EQ(window.updatesAction()->text(), QStringLiteral("Check for Updates…"));
}

TEST_F(ShellTest, ColumnsAndInspectorFollowTheMonitor)
{
    auto m = make();
    RootView root(*m, updater());
    root.resize(1400, 880);
    root.show();
    settle();
    EXPECT_EQ(root.instruments()->width(), 400);
    EXPECT_EQ(root.inspector(), nullptr);
    const int centre = root.centre()->width();

    m->setSelection(QStringLiteral("g"));
    clock.scheduler.runPending();
    ASSERT_NE(root.inspector(), nullptr);
    settle(0.05);
    EXPECT_GT(root.inspectorShown(), 0);
    EXPECT_LT(root.inspectorShown(), 1);
    settle();
    EXPECT_EQ(root.inspector()->width(), 331);
    EXPECT_EQ(root.centre()->width(), centre - 331);
    EXPECT_EQ(root.inspector()->geometry().right(), root.width() - 1);

    m->setSelection(std::nullopt);
    settle();
    EXPECT_EQ(root.inspector(), nullptr);
    EXPECT_EQ(root.centre()->width(), centre);
    EXPECT_EQ(root.instruments()->width(), 400);
}

TEST_F(ShellTest, InstrumentsColumnKeepsItsPartsApartOnShortWindows)
{
    auto m = make();
    RootView root(*m, updater());
    root.setMinimumSize(0, 0); // as the window lowers it on a small screen
    root.resize(1400, 880);
    root.show();
    settle();
    auto* column = qobject_cast<InstrumentsColumn*>(root.instruments());
    ASSERT_NE(column, nullptr);
    const auto parts = [&] {
        return InstrumentsColumn::Parts{column->reactor()->geometry(), column->legend()->geometry(),
                                        column->traces()->geometry(), column->bars()->geometry()};
    };
    // The legend's box is its line of text, 10 under the gauge and 16 over
    // the traces.
    InstrumentsColumn::Parts p = parts();
    EXPECT_EQ(p.reactor.height(), 330);
    EXPECT_EQ(p.legend.height(), column->legend()->sizeHint().height());
    EXPECT_LT(p.legend.height(), 20);
    EXPECT_EQ(p.legend.top() - p.reactor.bottom() - 1, 10);
    EXPECT_EQ(p.traces.top() - p.legend.bottom() - 1, 16);
    const int fullTraces = p.traces.height();

    // Shorter and shorter, down to 1024 x 600 under a panel and below: the
    // gauge gives way first, then the traces, and no part ever meets
    // another or leaves the column.
    int lastReactor = p.reactor.height(), lastTraces = fullTraces;
    for (int height : {760, 685, 600, 544, 517, 490, 460}) {
        root.resize(1024, height);
        QCoreApplication::processEvents();
        p = parts();
        SCOPED_TRACE(height);
        EXPECT_GE(p.legend.top() - p.reactor.bottom() - 1, 10);
        EXPECT_GE(p.traces.top() - p.legend.bottom() - 1, 16);
        EXPECT_GE(p.bars.top() - p.traces.bottom() - 1, 12);
        EXPECT_LE(p.bars.bottom(), column->height() - 1 - 14);
        EXPECT_GE(p.traces.height(), column->traces()->minimumSizeHint().height());
        EXPECT_LE(p.reactor.height(), lastReactor);
        EXPECT_LE(p.traces.height(), lastTraces);
        if (p.traces.height() < fullTraces) {
            EXPECT_LE(p.reactor.height(), InstrumentsColumn::reactorFloor);
        }
        lastReactor = p.reactor.height();
        lastTraces = p.traces.height();
    }
    EXPECT_LT(lastTraces, fullTraces);
}

TEST_F(ShellTest, WelcomeTourBlocksTheWindowUntilItEnds)
{
    defaults().set(QStringLiteral("showWelcome"), true);
    auto m = make();
    ASSERT_TRUE(m->welcome());
    MainWindow window(*m, updater());
    window.show();
    clock.scheduler.runPending();
    EXPECT_TRUE(m->blocking());
    ASSERT_NE(window.root()->welcomeView(), nullptr);
    EXPECT_EQ(window.root()->placeholderOpacity(), 0); // no placeholder under the tour
    for (QAction* action : window.viewMenu()->items())
        EXPECT_FALSE(action->isEnabled());
    filterItem(window)->trigger();
    EXPECT_EQ(m->focusSearch(), 0);

    m->finishWelcome();
    settle();
    EXPECT_FALSE(m->blocking());
    EXPECT_EQ(window.root()->welcomeView(), nullptr);
    EXPECT_TRUE(window.root()->frame()->isEnabled());
    for (QAction* action : window.viewMenu()->items())
        EXPECT_TRUE(action->isEnabled());
}

// Shown again while the last tour fades out: a fresh tour from its first
// step that answers every key and button, not the ended one faded back in.
TEST_F(ShellTest, TourShownAgainDuringItsFadeOutIsAFreshTourThatAnswers)
{
    defaults().set(QStringLiteral("showWelcome"), true);
    auto m = make();
    RootView root(*m, updater());
    root.resize(1400, 880);
    root.show();
    settle(1);
    QPointer<WelcomeView> ended = root.welcomeView();
    QTest::keyClick(ended, Qt::Key_Right);
    QTest::keyClick(ended, Qt::Key_Escape);
    ASSERT_FALSE(m->welcome());
    runPending();
    advance(0.2);
    ASSERT_GT(root.welcomeOpacity(), 0.05) << "still fading out";

    m->setWelcome(true);
    runPending();
    WelcomeView* tour = root.welcomeView();
    ASSERT_NE(tour, nullptr);
    EXPECT_FALSE(ended);
    EXPECT_EQ(tour->step(), 0);
    EXPECT_TRUE(tour->isVisible());
    EXPECT_EQ(root.focusWidget(), tour);
    QTest::keyClick(tour, Qt::Key_Right);
    EXPECT_EQ(tour->step(), 1);
    QTest::keyClick(tour, Qt::Key_Left);
    EXPECT_EQ(tour->step(), 0);
    tour->continueButton()->click();
    EXPECT_EQ(tour->step(), 1);
    tour->skipButton()->click();
    EXPECT_FALSE(m->welcome());

    // Esc ends the next fresh one too.
    runPending();
    advance(0.1);
    m->setWelcome(true);
    runPending();
    ASSERT_EQ(root.welcomeView()->step(), 0);
    QTest::keyClick(root.welcomeView(), Qt::Key_Escape);
    EXPECT_FALSE(m->welcome());
    settle();
    EXPECT_EQ(root.welcomeView(), nullptr);
}

// A language change during the tour: the rebuilt window shows the tour on
// the same page, already faded in, in place the moment it is built, so the
// window never paints an empty frame in between.
TEST_F(ShellTest, LanguageChangeKeepsTheTourOnItsPageWithNoEmptyFrame)
{
    defaults().set(QStringLiteral("showWelcome"), true);
    auto m = make();
    MainWindow window(*m, updater());
    window.show();
    runPending();
    settle(1);
    QTest::keyClick(window.root()->welcomeView(), Qt::Key_Right);
    QTest::keyClick(window.root()->welcomeView(), Qt::Key_Right);
    settle(1);

    setLanguage(*m, AppLanguage::zh);
    ASSERT_EQ(window.builds(), 2);
    RootView* root = window.root();
    EXPECT_TRUE(root->isVisible());
    EXPECT_EQ(root->geometry(), window.centralWidget()->geometry());
    WelcomeView* tour = root->welcomeView();
    ASSERT_NE(tour, nullptr);
    EXPECT_EQ(tour->step(), 2);
    EXPECT_TRUE(tour->appeared());
    EXPECT_EQ(tour->continueButton()->text(), QStringLiteral("继续"));
    // What the window would paint now: the footer's Continue fill.
    const QImage shot = window.grab().toImage();
    const QPoint fill = tour->continueButton()->mapTo(&window, QPoint(5, 15));
    EXPECT_EQ(shot.pixelColor(fill * shot.devicePixelRatio()).rgb(), Theme::cpu().rgb());

    QTest::keyClick(tour, Qt::Key_Right);
    EXPECT_EQ(tour->step(), 3);
}

TEST_F(ShellTest, ShortcutsWorkFromTheWindowUnlessBlocked)
{
    auto m = make();
    MainWindow window(*m, updater());
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    QTest::keyClick(&window, Qt::Key_3, Qt::ControlModifier);
    EXPECT_EQ(m->mode(), Mode::flow);
    QTest::keyClick(&window, Qt::Key_P, Qt::ControlModifier);
    EXPECT_TRUE(m->frozen());

    m->setBlocking(true);
    clock.scheduler.runPending();
    QTest::keyClick(&window, Qt::Key_5, Qt::ControlModifier);
    QTest::keyClick(&window, Qt::Key_P, Qt::ControlModifier);
    QTest::keyClick(&window, Qt::Key_F, Qt::ControlModifier);
    EXPECT_EQ(m->mode(), Mode::flow);
    EXPECT_TRUE(m->frozen());
    EXPECT_EQ(m->focusSearch(), 0);
}

TEST_F(ShellTest, LanguageChangedFromInsideTheWindowRebuildsAfterTheHandler)
{
    auto m = make();
    MainWindow window(*m, updater());
    // A control inside that switches the language, then goes on working.
    QPointer<QPushButton> control = new QPushButton(window.root());
    QObject::connect(control, &QPushButton::clicked, control, [&] {
        Preferences prefs = m->prefs();
        for (AppLanguage language : {AppLanguage::zh, AppLanguage::en, AppLanguage::zh}) {
            prefs.language = language;
            m->setPrefs(prefs);
        }
        ASSERT_TRUE(control);
        control->setText(QStringLiteral("done"));
    });
    control->click();
    EXPECT_EQ(window.builds(), 1);
    runPending();
    EXPECT_EQ(window.builds(), 2) << "once, after the handler";
    EXPECT_FALSE(control);
    EXPECT_EQ(window.viewMenu()->title(), QStringLiteral("视图"));
}

TEST_F(ShellTest, UnderReduceMotionTheBodyRowStillSpringsAndOnlyTheInspectorFades)
{
    DesktopSettings::instance().setReduceMotionOverride(true);
    auto m = make();
    RootView root(*m, updater());
    root.resize(1400, 880);
    root.show();
    settle();
    m->setSelection(QStringLiteral("g"));
    runPending();
    // The spring and the fade, stepped alongside.
    AnimatedValue spring(0), fade(0);
    spring.setTarget(1, Animation::spring(Motion::standard()));
    fade.setTarget(1, Animation::timing(Motion::ease(), Motion::standard()));
    for (int frame = 0; frame < 6; ++frame) {
        advance(FrameClock::interval);
        stepAll(FrameClock::interval, spring, fade);
    }
    ASSERT_GT(fade.value() - spring.value(), 0.1);
    EXPECT_NEAR(root.inspectorShown(), spring.value(), 0.02);
    EXPECT_NEAR(root.inspectorFade(), fade.value(), 0.02);
    // The inspector waits at the trailing edge while it fades in.
    EXPECT_EQ(root.inspector()->geometry().right(), root.width() - 1);
}

TEST(MainWindowPlacement, OpensWithinTheScreenAndLowersTheMinimumOnlyWhereItMust)
{
    const QMargins titleBar(0, 32, 0, 0);
    const auto place = [&](QRect available) { return MainWindow::place(available, titleBar, 24); };
    EXPECT_EQ(place({0, 0, 1920, 1080}).geometry, QRect(260, 116, 1400, 880));
    EXPECT_EQ(place({0, 0, 1920, 1080}).minimum, QSize(1120, 760));
    // 1366 x 768 under a 27-pixel panel, on a second screen: only the height is short.
    const auto laptop = place({1920, 27, 1366, 741});
    EXPECT_EQ(laptop.geometry, QRect(1920, 59, 1366, 709));
    EXPECT_EQ(laptop.minimum, QSize(1120, 709 - 24));
    EXPECT_EQ(place({0, 0, 1024, 600}).minimum, QSize(1024, 600 - 32 - 24));
    EXPECT_EQ(place({}).minimum, QSize(1120, 760)) << "no screen known";

    // The settings window keeps its size where it fits, and on a 1024 x 600
    // screen under a panel fits it with its title bar.
    EXPECT_EQ(SettingsView::windowSize({0, 0, 1920, 1080}), QSize(820, 600));
    const QRect small(0, 27, 1024, 573);
    const QSize settings = SettingsView::windowSize(small);
    EXPECT_EQ(settings.width(), 820);
    EXPECT_LE(settings.height() + SettingsView::titleBarAllowance, small.height());
    EXPECT_GE(settings.height(), 500);
}

TEST_F(ShellTest, UpdatePanelOverItsScrimBlocksTheWindowAndSwallowsClicks)
{
    auto m = make();
    makeReady(*m);
    RootView root(*m, updater());
    root.resize(1400, 880);
    root.show();
    settle();
    EXPECT_EQ(root.updateLayer(), nullptr);
    EXPECT_FALSE(root.header()->updatePill()->isVisible()); // nothing pending: no room taken

    updater().setPanel(Updater::Panel{Updater::Panel::Kind::update, {}});
    settle();
    ASSERT_NE(root.updateLayer(), nullptr);
    EXPECT_TRUE(root.updateLayer()->isVisible());
    EXPECT_TRUE(m->blocking());
    EXPECT_FALSE(root.frame()->isEnabled());
    EXPECT_EQ(root.updatePanel()->kickerText(), "SOFTWARE UPDATE");
    // Centred, above the frame.
    EXPECT_EQ(root.updatePanel()->geometry().center().x(), root.rect().center().x());

    // A click on the scrim neither closes the panel nor reaches the window.
    QTest::mouseClick(root.updateLayer(), Qt::LeftButton, {}, QPoint(20, 20));
    settle();
    EXPECT_TRUE(updater().panel().has_value());
    EXPECT_EQ(m->selection(), std::nullopt);

    // Closing it gives the window back; the updater's work goes on.
    ASSERT_NE(root.updatePanel()->primaryButton(), nullptr); // "OK" while idle
    QTest::mouseClick(root.updatePanel()->primaryButton(), Qt::LeftButton);
    EXPECT_FALSE(updater().panel().has_value());
    settle();
    EXPECT_EQ(root.updateLayer(), nullptr);
    EXPECT_FALSE(m->blocking());
    EXPECT_TRUE(root.frame()->isEnabled());
}

TEST_F(ShellTest, UpdatePanelIsOutOfReachWhileTheWelcomeTourShows)
{
    defaults().set(QStringLiteral("showWelcome"), true);
    auto m = make();
    updater().setPanel(Updater::Panel{Updater::Panel::Kind::update, {}});
    RootView root(*m, updater());
    root.resize(1400, 880);
    root.show();
    settle();
    ASSERT_NE(root.updateLayer(), nullptr);
    EXPECT_FALSE(root.updateLayer()->isEnabled());
    // The tour lies above the panel.
    const QWidgetList stack = root.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    EXPECT_GT(stack.indexOf(root.welcomeView()), stack.indexOf(root.updateLayer()));

    m->finishWelcome();
    settle();
    EXPECT_TRUE(root.updateLayer()->isEnabled());
    EXPECT_TRUE(m->blocking()); // the panel still holds the window
}

// On a narrow window the inspector never squeezes the centre to a sliver:
// the column folds to its strip beside it, and where that is not enough the
// inspector lies over the centre, opaque, so nothing of the centre shows
// through it.
TEST_F(ShellTest, NarrowWindowsFoldTheColumnThenLayTheInspectorOver)
{
    auto m = make();
    RootView root(*m, updater());
    root.setMinimumSize(0, 0); // as the window lowers it on a small screen
    root.resize(800, 560);
    root.show();
    settle();
    auto* column = qobject_cast<InstrumentsColumn*>(root.instruments());
    ASSERT_NE(column, nullptr);
    EXPECT_FALSE(column->folded());
    EXPECT_EQ(column->width(), 400);
    EXPECT_TRUE(column->traces()->isVisible());
    EXPECT_FALSE(column->strip()->isVisible());

    m->setSelection(QStringLiteral("g"));
    settle();
    ASSERT_NE(root.inspector(), nullptr);
    EXPECT_TRUE(column->folded());
    EXPECT_EQ(column->width(), BodyLayout::stripWidth);
    EXPECT_TRUE(column->strip()->isVisible());
    EXPECT_FALSE(column->traces()->isVisible());
    EXPECT_FALSE(column->reactor()->isVisible());
    EXPECT_GE(root.centre()->width(), BodyLayout::centreMinimum);
    EXPECT_EQ(root.centre()->geometry().right() + 1, root.inspector()->x());

    root.resize(640, 440);
    QCoreApplication::processEvents();
    EXPECT_TRUE(column->folded());
    EXPECT_EQ(root.centre()->geometry().right(), root.width() - 1);
    EXPECT_EQ(root.inspector()->geometry().right(), root.width() - 1);
    EXPECT_GT(root.inspector()->x(), root.centre()->x());
    EXPECT_TRUE(root.inspector()->autoFillBackground());

    // Closed again, the inspector leaves over the centre and the strip
    // stays folded on a window this narrow.
    m->setSelection(std::nullopt);
    settle();
    EXPECT_EQ(root.inspector(), nullptr);
    EXPECT_TRUE(column->folded());
    EXPECT_EQ(root.centre()->geometry().right(), root.width() - 1);

    // Wide again, the column is whole.
    root.resize(1024, 560);
    QCoreApplication::processEvents();
    EXPECT_FALSE(column->folded());
    EXPECT_EQ(column->width(), 400);
    EXPECT_TRUE(column->traces()->isVisible());
}

// The strip reads short: a figure each, its bar on the row's scale, and
// readings that do not fit the height leave whole.
TEST_F(ShellTest, InstrumentsStripReadsShort)
{
    SystemSample s;
    s.cpu = 0.437;
    s.memApp = 3'000'000'000;
    s.memWired = 1'000'000'000;
    s.memCompressed = 0;
    s.netIn = 1'500'000;
    s.diskRead = 0;
    const InstrumentsColumn::Readings r = InstrumentsColumn::readings(s, {0.437, 0.5, 2.0, std::nan("")});
    EXPECT_EQ(r[0].value, QStringLiteral("44%"));
    EXPECT_EQ(r[0].title, QStringLiteral("CPU"));
    EXPECT_FALSE(r[1].value.contains(QLatin1Char('/')));
    EXPECT_TRUE(r[2].value.startsWith(QStringLiteral("↓")));
    EXPECT_DOUBLE_EQ(r[0].fraction, 0.437);
    EXPECT_DOUBLE_EQ(r[2].fraction, 1);
    EXPECT_DOUBLE_EQ(r[3].fraction, 0);

    // 14 px margins at each end, rows of 40 with gaps of 16.
    EXPECT_EQ(InstrumentsColumn::fittingReadings(28 + 4 * 40 + 3 * 16, 4, 40, 16), 4);
    EXPECT_EQ(InstrumentsColumn::fittingReadings(28 + 4 * 40 + 3 * 16 - 1, 4, 40, 16), 3);
    EXPECT_EQ(InstrumentsColumn::fittingReadings(28 + 39, 4, 40, 16), 0);
    EXPECT_EQ(InstrumentsColumn::fittingReadings(2000, 4, 40, 16), 4);
}
