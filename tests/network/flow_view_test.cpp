#include "network/flow_view.h"

#include "model/monitor_fixture.h"
#include "network/flow_ribbons_view.h"
#include "ui/frame_clock.h"
#include "ui/press_button.h"

#include <QLabel>

#include <gtest/gtest.h>

using Scope = Connection::Scope;

namespace {

struct FlowViewTest : MonitorTest {
    static Connection link(int32_t pid, const QString& remote, double in, double out,
                           Scope scope = Scope::internet)
    {
        Connection c;
        c.id = QStringLiteral("%1 %2").arg(pid).arg(remote);
        c.pid = pid;
        c.remoteHost = remote;
        c.remotePort = 443;
        c.scope = scope;
        c.rateIn = in;
        c.rateOut = out;
        return c;
    }

    static Snapshot sample(std::vector<Connection> connections)
    {
        Snapshot s = snapshotOf({group("browser", 1, {10}), group("mail", 1, {20}),
                                 group("sync", 1, {30})});
        s.connections = std::move(connections);
        return s;
    }

    // Lets the queued refresh run.
    void settle() { advance(0); }
};

} // namespace

TEST_F(FlowViewTest, DashesRunOnlyWhileTrafficFlowsAndTheViewShows)
{
    auto monitor = make();
    monitor->switchMode(Monitor::Mode::flow);
    ingest(*monitor, sample({link(10, "203.0.113.1", 2048, 0), link(20, "203.0.113.1", 0, 0)}));
    FlowView view(*monitor, 36, 230);
    view.resize(900, 500);
    view.show();
    settle();
    FlowRibbonsView* ribbons = view.ribbonsView();
    ASSERT_EQ(ribbons->ribbons().size(), 2u);
    EXPECT_TRUE(ribbons->ticking());
    const int draws = ribbons->baseDraws();

    // The dash moves on with the frames, and the same graph again keeps it.
    ribbons->advance(0.35);
    const QString id = QStringLiteral("g:browser|h:203.0.113.1");
    EXPECT_NEAR(ribbons->phase(id), 6.5, 1e-9);
    ingest(*monitor, sample({link(10, "203.0.113.1", 2048, 0), link(20, "203.0.113.1", 0, 0)}));
    settle();
    EXPECT_EQ(ribbons->baseDraws(), draws);
    // More traffic the same way redraws the base but keeps the phase.
    ingest(*monitor, sample({link(10, "203.0.113.1", 4096, 0), link(20, "203.0.113.1", 0, 0)}));
    settle();
    EXPECT_NEAR(ribbons->phase(id), 6.5, 1e-9);

    view.hide();
    EXPECT_FALSE(ribbons->ticking());
    view.show();
    EXPECT_TRUE(ribbons->ticking());
    monitor->switchMode(Monitor::Mode::ports);
    settle();
    EXPECT_FALSE(ribbons->ticking());
    monitor->switchMode(Monitor::Mode::flow);
    settle();
    EXPECT_TRUE(ribbons->ticking());

    // Quiet links leave the clock alone.
    ingest(*monitor, sample({link(10, "203.0.113.1", 0, 0)}));
    settle();
    EXPECT_FALSE(ribbons->ticking());
    EXPECT_FALSE(FrameClock::shared().subscribed(ribbons));
}

TEST_F(FlowViewTest, ChipsFocusAndTexts)
{
    L10n::setChinese(false);
    auto monitor = make();
    monitor->switchMode(Monitor::Mode::flow);
    ingest(*monitor, sample({link(10, "203.0.113.1", 100, 0), link(20, "203.0.113.1", 100, 0),
                             link(30, "203.0.113.2", 50, 0), link(30, "127.0.0.1", 10, 10, Scope::loopback)}));
    FlowView view(*monitor, 36, 230);
    view.resize(900, 500);
    view.show();
    settle();
    EXPECT_EQ(view.graph().apps.size(), 3u);
    EXPECT_TRUE(view.hiddenLabel()->isHidden());

    // Pointing at the shared host keeps its two applications bright.
    view.setFocusNode(QStringLiteral("h:203.0.113.1"));
    EXPECT_DOUBLE_EQ(view.row("g:browser")->targetOpacity(), 1);
    EXPECT_DOUBLE_EQ(view.row("g:mail")->targetOpacity(), 1);
    EXPECT_DOUBLE_EQ(view.row("g:sync")->targetOpacity(), 0.3);
    EXPECT_DOUBLE_EQ(view.row("h:203.0.113.2")->targetOpacity(), 0.3);
    const auto& ribbons = view.ribbonsView()->ribbons();
    EXPECT_EQ(std::count_if(ribbons.begin(), ribbons.end(), [](const auto& r) { return r.dimmed; }), 1);
    // Leaving an older row does not clear the newer focus.
    view.setFocusNode(QStringLiteral("g:sync"));
    view.leaveNode(QStringLiteral("h:203.0.113.1"));
    EXPECT_EQ(view.focus(), "g:sync");
    view.leaveNode(QStringLiteral("g:sync"));
    EXPECT_FALSE(view.focus());

    // The loopback chip brings in the local transfer as a ribbon.
    view.chip(Scope::loopback)->click();
    EXPECT_TRUE(view.row("h:127.0.0.1"));
    // With every chip off the empty text shows.
    for (Scope s : {Scope::internet, Scope::lan, Scope::loopback})
        view.chip(s)->click();
    EXPECT_TRUE(view.graph().apps.empty());
    EXPECT_TRUE(view.emptyLabel()->isVisibleTo(&view));
    EXPECT_FALSE(view.graphArea()->isVisibleTo(&view));
    view.chip(Scope::internet)->click();
    EXPECT_FALSE(view.emptyLabel()->isVisibleTo(&view));
    // Emptied by the filter, it says so.
    monitor->setFilter(QStringLiteral("nomatchzzz"));
    settle();
    EXPECT_TRUE(view.emptyLabel()->isVisibleTo(&view));
    EXPECT_EQ(view.emptyLabel()->text(), QStringLiteral("No connections match “nomatchzzz”"));
    L10n::setChinese(true);
    view.refresh();
    EXPECT_EQ(view.emptyLabel()->text(), QStringLiteral("没有与「nomatchzzz」匹配的连接"));
    L10n::setChinese(false);
    monitor->setFilter(QString());
    settle();

    // Too little height: three rows, and the rest is counted.
    view.resize(900, 100);
    ingest(*monitor, sample({link(10, "192.0.2.1", 5, 0), link(10, "192.0.2.2", 4, 0),
                             link(10, "192.0.2.3", 3, 0), link(10, "192.0.2.4", 2, 0)}));
    settle();
    EXPECT_EQ(view.graph().hosts.size(), 3u);
    EXPECT_EQ(view.hiddenLabel()->text(), "1 lower-traffic nodes not shown");
    EXPECT_EQ(view.hiddenLabel()->textFormat(), Qt::PlainText);

    const MenuPlan menu = FlowView::menu(view.graph().apps[0], false, *monitor);
    EXPECT_EQ(menu.titles(), (QStringList{"Copy Name", "Show in Inspector"}));
    EXPECT_TRUE(menu.trigger("Show in Inspector"));
    EXPECT_EQ(monitor->selection(), "browser");
    EXPECT_EQ(FlowView::menu(view.graph().hosts[0], true, *monitor).titles(), QStringList{"Copy Domain"});
}
