#include "app/tray.h"

#include "app/menu_panel.h"
#include "model/monitor.h"
#include "shell_fixture.h"

#include <QAction>
#include <QMenu>
#include <QPointer>
#include <QSystemTrayIcon>

namespace {

Snapshot withCores(std::vector<double> cores, double cpu)
{
    Snapshot s = snapshotOf({});
    s.system.cores = std::move(cores);
    s.system.cpu = cpu;
    return s;
}

Incident open(Severity severity)
{
    Incident i;
    i.severity = severity;
    return i;
}

} // namespace

// The icon itself needs a tray host; these run on the headless screen and
// check what the icon would show.
class TrayTest : public ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        m = make();
        tray = std::make_unique<Tray>(*m, [this] { ++opened; });
    }
    void TearDown() override
    {
        tray.reset();
        m.reset();
        ShellTest::TearDown();
    }

    std::unique_ptr<Monitor> m;
    std::unique_ptr<Tray> tray;
    int opened = 0;
};

TEST_F(TrayTest, ToolTipNamesTheAppAndCarriesThePercentWhenAsked)
{
    ingest(*m, withCores({0.5, 0.25}, 0.374));
    runPending();
    EXPECT_EQ(tray->model().toolTip, QStringLiteral("Tavrin · 37%"));
    EXPECT_EQ(tray->trayIcon().toolTip(), QStringLiteral("Tavrin · 37%"));
    EXPECT_EQ(tray->model().cores, (std::vector<double>{0.5, 0.25}));

    Preferences prefs = m->prefs();
    prefs.menuBarPercent = false;
    m->setPrefs(prefs);
    runPending();
    EXPECT_EQ(tray->trayIcon().toolTip(), QStringLiteral("Tavrin"));
}

TEST_F(TrayTest, RendersOncePerChangeAndNotWhenNothingChanged)
{
    ingest(*m, withCores({0.5}, 0.5));
    runPending();
    const int first = tray->renders();
    ingest(*m, withCores({0.5}, 0.5));
    ingest(*m, withCores({0.5}, 0.5));
    runPending();
    EXPECT_EQ(tray->renders(), first) << "the same bars, nothing drawn";
    ingest(*m, withCores({0.6}, 0.6));
    ingest(*m, withCores({0.7}, 0.7));
    runPending();
    EXPECT_EQ(tray->renders(), first + 1) << "one intake turn, one render";
}

TEST_F(TrayTest, WhileFrozenTheBarsStandButTheColourFollows)
{
    ingest(*m, withCores({0.5}, 0.5));
    runPending();
    m->setFrozen(true);
    ingest(*m, withCores({0.9}, 0.9), {open(Severity::warn)});
    runPending();
    EXPECT_EQ(tray->model().cores, (std::vector<double>{0.5}));
    EXPECT_EQ(tray->model().alert, Severity::warn);
    ingest(*m, withCores({0.9}, 0.9), {open(Severity::warn), open(Severity::critical)});
    runPending();
    EXPECT_EQ(tray->model().alert, Severity::critical);
}

TEST_F(TrayTest, MenuOpensAndLanguageRebuildsThePanel)
{
    EXPECT_EQ(tray->openAction()->text(), QStringLiteral("Open Tavrin"));
    EXPECT_EQ(tray->quitAction()->text(), QStringLiteral("Quit"));
    tray->openAction()->trigger();
    EXPECT_EQ(opened, 1);

    QPointer<MenuPanel> before = tray->panel();
    ASSERT_NE(before, nullptr);
    before->hold().set(InteractionHold::Reason::pointer, true);
    setLanguage(*m, AppLanguage::zh);
    runPending();
    EXPECT_EQ(tray->openAction()->text(), QStringLiteral("打开 Tavrin"));
    EXPECT_EQ(tray->quitAction()->text(), QStringLiteral("退出"));
    EXPECT_TRUE(before.isNull()) << "the old panel is gone";
    ASSERT_NE(tray->panel(), nullptr);
    EXPECT_FALSE(tray->panel()->hold().active()) << "a fresh hold";
    EXPECT_EQ(tray->panel()->model().openText, QStringLiteral("打开 Tavrin"));
}

TEST_F(TrayTest, AClickJustAfterThePanelClosedOnItsOwnKeepsItClosed)
{
    MenuPanel* panel = tray->panel();
    tray->togglePanel();
    ASSERT_TRUE(panel->isVisible());
    tray->togglePanel();
    EXPECT_FALSE(panel->isVisible()) << "a click on an open panel closes it";
    tray->togglePanel();
    ASSERT_TRUE(panel->isVisible());
    // The press on the icon closes the popup first; the click follows.
    advance(1);
    panel->hide();
    advance(0.1);
    tray->togglePanel();
    EXPECT_FALSE(panel->isVisible()) << "the click meant to close it";

    // Later clicks open it again.
    advance(Tray::reopenGuard);
    tray->togglePanel();
    EXPECT_TRUE(panel->isVisible());
    panel->hide();
    EXPECT_EQ(Tray::clickAction(false, 6, 5), Tray::Click::open) << "a clock that went back";
}
