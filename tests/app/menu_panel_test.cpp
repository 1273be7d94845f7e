#include "app/menu_panel.h"
#include "app/tray.h"

#include "model/monitor.h"
#include "shell_fixture.h"
#include "ui/press_button.h"
#include "ui/theme.h"

#include <QPointer>
#include <QTest>

#include <limits>

namespace {

Incident openIncident(Severity severity = Severity::warn)
{
    Incident i;
    i.kind = Incident::Kind::processCPU;
    i.severity = severity;
    i.subject = QStringLiteral("app");
    i.peakText = QStringLiteral("90%");
    return i;
}

std::vector<QString> keys(const MenuPanel::GroupList& list)
{
    std::vector<QString> result;
    for (const auto& row : list.rows)
        result.push_back(row.key);
    return result;
}

} // namespace

class MenuPanelTest : public ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        m = make();
        panel = std::make_unique<MenuPanel>(*m, [this] { ++opened; });
        panel->show();
    }
    void TearDown() override
    {
        panel.reset();
        m.reset();
        ShellTest::TearDown();
    }

    void feed(std::vector<GroupSample> groups, std::vector<Incident> incidents = {})
    {
        ingest(*m, snapshotOf(std::move(groups)), std::move(incidents));
        runPending();
    }

    std::unique_ptr<Monitor> m;
    std::unique_ptr<MenuPanel> panel;
    int opened = 0;
};

TEST_F(MenuPanelTest, IssuesSectionShowsAtMostFourAndOnlyWhenAny)
{
    feed({});
    EXPECT_TRUE(panel->model().issues.empty());
    const int bare = panel->sizeHint().height();

    std::vector<Incident> six;
    for (int i = 0; i < 6; ++i)
        six.push_back(openIncident(i == 0 ? Severity::critical : Severity::warn));
    six[1].kind = Incident::Kind::systemCPU;
    feed({}, six);
    ASSERT_EQ(panel->model().issues.size(), 4u);
    EXPECT_EQ(panel->model().issues[0].tint, Theme::crit());
    EXPECT_TRUE(panel->model().issues[1].text.startsWith(QStringLiteral("System ")));
    EXPECT_TRUE(panel->model().issues[2].text.startsWith(QStringLiteral("app ")));
    EXPECT_GT(panel->sizeHint().height(), bare);
}

TEST_F(MenuPanelTest, ListsShowWhatThereIs)
{
    feed({});
    EXPECT_TRUE(panel->model().cpu.rows.empty());
    EXPECT_EQ(panel->model().cpu.title, QStringLiteral("Top CPU"));
    EXPECT_TRUE(panel->rowViews().empty());

    GroupSample a = group("a", 5), b = group("b", 50), c = group("c", 20);
    a.mem = 300;
    b.mem = 100;
    c.mem = 200;
    feed({a, b, c});
    EXPECT_EQ(keys(panel->model().cpu), (std::vector<QString>{"b", "c", "a"}));
    EXPECT_EQ(keys(panel->model().mem), (std::vector<QString>{"a", "c", "b"}));
    EXPECT_EQ(panel->rowViews().size(), 6u);

    std::vector<GroupSample> many;
    for (int i = 0; i < 8; ++i)
        many.push_back(group(QString::number(i), i));
    feed(many);
    EXPECT_EQ(keys(panel->model().cpu), (std::vector<QString>{"7", "6", "5", "4", "3"}));
}

TEST_F(MenuPanelTest, SortIsStableAndPutsNoNumberLast)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const auto sorted = MenuPanel::byCpu({group("x", 10), group("n", nan), group("y", 30),
                                          group("z", 10), group("m", nan), group("w", 10)});
    std::vector<QString> order;
    for (const auto& g : sorted)
        order.push_back(g.key);
    EXPECT_EQ(order, (std::vector<QString>{"y", "x", "z", "w", "n", "m"}));
}

TEST_F(MenuPanelTest, FigureTexts)
{
    EXPECT_EQ(MenuPanel::groupCpuText(12.34), QStringLiteral("12.3%"));
    EXPECT_EQ(MenuPanel::groupCpuText(250.4), QStringLiteral("250%"));
    EXPECT_EQ(MenuPanel::groupCpuText(99.96), QStringLiteral("100.0%"));
    EXPECT_EQ(MenuPanel::groupCpuText(std::numeric_limits<double>::quiet_NaN()), QStringLiteral("—"));

    Snapshot s = snapshotOf({});
    s.system.cpu = 0.999;
    ingest(*m, s);
    runPending();
    EXPECT_EQ(panel->model().chips[0].value, QStringLiteral("100%"));
    EXPECT_TRUE(panel->model().chips[2].value.endsWith(QStringLiteral("/s")));
}

TEST_F(MenuPanelTest, HeldListKeepsAnExitedGroupUntilRelease)
{
    feed({group("a", 50), group("b", 40), group("c", 30)});
    panel->hold().set(InteractionHold::Reason::pointer, true);
    feed({group("a", 50), group("c", 30), group("d", 90)});
    const auto& rows = panel->model().cpu.rows;
    ASSERT_EQ(keys(panel->model().cpu), (std::vector<QString>{"a", "b", "c", "d"}));
    EXPECT_TRUE(rows[1].departed);
    EXPECT_EQ(rows[1].value, QStringLiteral("Exited"));
    EXPECT_FALSE(rows[0].departed);

    panel->hold().set(InteractionHold::Reason::pointer, false);
    advance(InteractionHold::releaseDelay);
    runPending();
    EXPECT_EQ(keys(panel->model().cpu), (std::vector<QString>{"d", "a", "c"}));
}

TEST_F(MenuPanelTest, RowClickSelectsClearsFocusAndOpensTheWindow)
{
    feed({group("a", 50, {7})});
    m->setFocusPid(7);
    QTest::mouseClick(panel->rowViews().at(0), Qt::LeftButton);
    EXPECT_EQ(m->selection(), QStringLiteral("a"));
    EXPECT_EQ(m->focusPid(), std::nullopt);
    EXPECT_EQ(opened, 1);

    panel->show();
    m->setSelection(std::nullopt);
    panel->openButton()->click();
    EXPECT_EQ(opened, 2);
    EXPECT_EQ(m->selection(), std::nullopt) << "opening changes no selection";
}

TEST_F(MenuPanelTest, TextsFollowTheLanguage)
{
    L10n::setChinese(true);
    feed({group("a", 1)});
    EXPECT_EQ(panel->model().cpu.title, QStringLiteral("CPU 最高"));
    EXPECT_EQ(panel->model().openText, QStringLiteral("打开 Tavrin"));
}

TEST(MenuPanelPlacement, OpensAwayFromTheNearEdgeAndStaysInside)
{
    const QRect screen(0, 0, 1600, 1000);
    const QRect available(0, 30, 1600, 970); // a top bar of 30
    const QSize size(300, 400);
    // A top-bar icon: downward, centred under it.
    EXPECT_EQ(MenuPanel::placement(QRect(800, 4, 22, 22), size, available), QPoint(660, 30));
    // A bottom-panel icon: upward, its bottom at the icon's top.
    EXPECT_EQ(MenuPanel::placement(QRect(800, 970, 22, 22), size, screen), QPoint(660, 570));
    // Near the right edge: clamped to it.
    EXPECT_EQ(MenuPanel::placement(QRect(1590, 970, 10, 30), size, screen), QPoint(1300, 570));
    // The pointer at the left, upper half.
    EXPECT_EQ(MenuPanel::placement(QRect(3, 100, 1, 1), size, available), QPoint(0, 101));
    // Taller than the area: kept to its top.
    EXPECT_EQ(MenuPanel::placement(QRect(800, 900, 1, 1), QSize(300, 2000), available).y(), 30);
}

// A setting that resolves to the language already shown still starts a
// fresh panel; other settings keep it.
TEST_F(ShellTest, PanelIsBuiltAnewForEachLanguageSetting)
{
    auto m = make();
    Tray tray(*m, [] {});
    QPointer<MenuPanel> first = tray.panel();
    Preferences prefs = m->prefs();
    prefs.notify = !prefs.notify;
    m->setPrefs(prefs);
    runPending();
    EXPECT_EQ(tray.panel(), first.data());
    const bool chinese = L10n::isChinese();
    prefs.language = chinese ? AppLanguage::zh : AppLanguage::en;
    m->setPrefs(prefs);
    runPending();
    ASSERT_EQ(L10n::isChinese(), chinese);
    EXPECT_FALSE(first);
    EXPECT_NE(tray.panel(), nullptr);
}
