#include "network/flow_graph.h"
#include "network/flow_ribbons.h"

#include "core/fmt.h"
#include "core/l10n.h"
#include "ui/hold_fixture.h"
#include "ui/theme.h"

#include "language_guard.h"

#include <gtest/gtest.h>

#include <cmath>

using Scope = Connection::Scope;

namespace {

Connection conn(int32_t pid, const QString& remote, int64_t port, double in, double out,
                Scope scope = Scope::internet, std::optional<QString> host = std::nullopt)
{
    Connection c;
    c.id = QStringLiteral("%1 %2:%3").arg(pid).arg(remote).arg(port);
    c.pid = pid;
    c.remoteHost = remote;
    c.remotePort = port;
    c.scope = scope;
    c.rateIn = in;
    c.rateOut = out;
    c.bytesIn = in * 10;
    c.bytesOut = out * 10;
    c.host = std::move(host);
    return c;
}

std::optional<QString> service(int64_t port)
{
    if (port == 80)
        return QStringLiteral("HTTP");
    if (port == 443)
        return QStringLiteral("HTTPS");
    if (port == 5228)
        return L10n::text("Google Push", "Google 推送");
    return std::nullopt;
}

struct FlowGraphTest : HoldTest {
    void SetUp() override
    {
        HoldTest::SetUp();
        for (int32_t pid = 1; pid <= 9; ++pid)
            owners[pid] = Owner{QStringLiteral("app%1").arg(pid), QStringLiteral("App %1").arg(pid),
                                std::nullopt, QStringLiteral("proc")};
    }

    FlowGraph build(const QString& filter = {}, int capacity = 10,
                    FlowGraph::Scopes scopes = {Scope::internet, Scope::lan})
    {
        FlowGraph::Input input;
        input.connections = &connections;
        input.owners = &owners;
        input.filter = filter;
        input.scopes = std::move(scopes);
        input.capacity = capacity;
        input.service = service;
        return FlowGraph::build(input, hold);
    }

    const FlowNode* find(const std::vector<FlowNode>& nodes, const QString& id)
    {
        for (const FlowNode& n : nodes)
            if (n.id == id)
                return &n;
        return nullptr;
    }

    InteractionHold hold{QStringLiteral("flow")};
    std::vector<Connection> connections;
    std::unordered_map<int32_t, Owner> owners;
    LanguageGuard english{false};
};

} // namespace

TEST_F(FlowGraphTest, ConnectionsMergeIntoNodesAndOneEdgePerPair)
{
    connections = {
        conn(1, "203.0.113.5", 443, 100, 10),
        conn(1, "203.0.113.5", 80, 50, 5),
        conn(1, "203.0.113.5", 443, 1, 1),
        conn(2, "203.0.113.5", 5228, 0, 0),
        // The same address once resolved is another node.
        conn(2, "203.0.113.9", 9999, 0, 0, Scope::internet, QStringLiteral("example.org")),
        conn(2, "203.0.113.9", 9999, 0, 0),
        // No owner: left out.
        conn(42, "203.0.113.7", 443, 1e6, 0),
    };
    const FlowGraph g = build();
    ASSERT_EQ(g.apps.size(), 2u);
    ASSERT_EQ(g.hosts.size(), 3u);
    EXPECT_EQ(g.hidden, 0);

    const FlowNode& app = g.apps[0];
    EXPECT_EQ(app.id, "g:app1");
    EXPECT_EQ(app.groupKey, "app1");
    EXPECT_DOUBLE_EQ(app.rateIn, 151);
    EXPECT_DOUBLE_EQ(app.rateOut, 16);
    EXPECT_EQ(app.detail, "Total " + Fmt::bytes(1670));

    const FlowNode* busy = find(g.hosts, "h:203.0.113.5");
    ASSERT_TRUE(busy);
    // Two lowest ports of four connections, each port once.
    EXPECT_EQ(busy->detail, "HTTP :80 HTTPS :443 · 4 conns");
    EXPECT_FALSE(busy->groupKey);
    ASSERT_TRUE(find(g.hosts, "h:example.org"));
    EXPECT_EQ(find(g.hosts, "h:example.org")->detail, ":9999 · 1 conns");
    EXPECT_TRUE(find(g.hosts, "h:203.0.113.9"));

    ASSERT_EQ(g.edges.size(), 4u);
    EXPECT_EQ(g.edges[0], (FlowEdge{"g:app1", "h:203.0.113.5", 151, 16}));

    L10n::setChinese(true);
    EXPECT_EQ(find(build().hosts, "h:203.0.113.5")->detail, QString::fromUtf8("HTTP :80 HTTPS :443 · 4 条连接"));
    connections = {conn(2, "203.0.113.5", 5228, 0, 0)};
    EXPECT_EQ(build().hosts[0].detail, QString::fromUtf8("Google 推送 :5228 · 1 条连接"));
}

TEST_F(FlowGraphTest, FilterAndScopesChooseTheConnections)
{
    connections = {
        conn(1, "198.51.100.1", 443, 1, 0),
        conn(2, "198.51.100.2", 4430, 1, 0),
        conn(3, "198.51.100.44", 80, 1, 0),
        conn(4, "10.0.0.2", 22, 1, 0, Scope::lan),
        conn(5, "127.0.0.1", 8080, 1, 0, Scope::loopback),
    };
    // Port 443 exactly, or the three digits inside a name or host text.
    FlowGraph g = build(QStringLiteral("443"));
    ASSERT_EQ(g.apps.size(), 1u);
    EXPECT_EQ(g.apps[0].id, "g:app1");
    // "44" is no port here; it matches the host text of the third only.
    g = build(QStringLiteral("44"));
    ASSERT_EQ(g.apps.size(), 1u);
    EXPECT_EQ(g.apps[0].id, "g:app3");
    // Owner names match whatever the case.
    EXPECT_EQ(build(QStringLiteral("app 4")).apps.size(), 1u);
    // Loopback is off until chosen; no scope means nothing at all.
    EXPECT_EQ(build().apps.size(), 4u);
    EXPECT_EQ(build({}, 10, {Scope::loopback}).apps.size(), 1u);
    g = build({}, 10, {});
    EXPECT_TRUE(g.apps.empty() && g.hosts.empty() && g.edges.empty());
    EXPECT_EQ(g.hidden, 0);

    EXPECT_EQ(FlowGraph::revision({Scope::lan, Scope::internet}, QStringLiteral("x")), "[0, 1]|x");
    EXPECT_EQ(FlowGraph::revision({}, {}), "[]|");
}

TEST_F(FlowGraphTest, CapacityCutsAndCountsWhatIsLeftOut)
{
    EXPECT_EQ(FlowGraph::capacity(100, 36), 3);
    EXPECT_EQ(FlowGraph::capacity(54 + 36 * 10 + 35, 36), 10);
    EXPECT_EQ(FlowGraph::capacity(std::nan(""), 36), 3);

    // Eight applications on eight hosts; equal rates tie on bytes, then id.
    for (int32_t pid = 1; pid <= 8; ++pid)
        connections.push_back(conn(pid, QStringLiteral("192.0.2.%1").arg(pid), 443,
                                   pid <= 2 ? 0 : pid * 100, 0));
    connections[0].bytesIn = connections[1].bytesIn = 0;
    const FlowGraph g = build({}, 5);
    ASSERT_EQ(g.apps.size(), 5u);
    EXPECT_EQ(g.apps[0].id, "g:app8");
    EXPECT_EQ(g.apps[4].id, "g:app4");
    EXPECT_EQ(g.hidden, 6);
    // Only links between shown nodes.
    EXPECT_EQ(g.edges.size(), 5u);

    connections.resize(2);
    const FlowGraph tie = build();
    EXPECT_EQ(tie.apps[0].id, "g:app1");
    EXPECT_EQ(tie.apps[1].id, "g:app2");
}

TEST_F(FlowGraphTest, AHoldKeepsDepartedNodesAndStillCountsHiddenOnes)
{
    for (int32_t pid = 1; pid <= 4; ++pid)
        connections.push_back(conn(pid, QStringLiteral("192.0.2.%1").arg(pid), 443, 1000 - pid, 0));
    build({}, 3);
    hold.set(InteractionHold::Reason::pointer, true);
    ASSERT_TRUE(hold.active());

    // Apps 1 and 2 leave; app 4 was hidden and still is, below the kept rows.
    connections.erase(connections.begin(), connections.begin() + 2);
    FlowGraph g = build({}, 3);
    ASSERT_EQ(g.apps.size(), 3u);
    EXPECT_EQ(g.apps[0].id, "g:app1");
    EXPECT_TRUE(g.apps[0].departed);
    EXPECT_EQ(g.apps[0].detail, "Exited");
    EXPECT_EQ(g.apps[0].rateIn, 0);
    EXPECT_EQ(g.hosts[0].detail, "Closed");
    // Two real nodes have no row, one app and one host: the count says so
    // although the kept rows outnumber the shown live ones.
    EXPECT_EQ(g.hidden, 2);

    L10n::setChinese(true);
    EXPECT_EQ(build({}, 3).hosts[0].detail, QString::fromUtf8("已关闭"));
    L10n::setChinese(false);

    // A new scope re-ranks at once, hold or not.
    g = build({}, 3, {Scope::internet});
    EXPECT_EQ(g.apps[0].id, "g:app3");
    EXPECT_FALSE(g.apps[0].departed);
    EXPECT_EQ(g.hidden, 0);

    hold.set(InteractionHold::Reason::pointer, false);
    advance(InteractionHold::releaseDelay + 0.01);
    EXPECT_FALSE(hold.active());
    EXPECT_EQ(build({}, 3).apps[0].id, "g:app3");
}

TEST(FlowRibbons, StyleFollowsTheRate)
{
    const auto still = ribbonStyle(0, 0);
    EXPECT_DOUBLE_EQ(still.width, 1);
    EXPECT_FALSE(still.flowing);
    EXPECT_EQ(still.base, Theme::withAlpha(Theme::faint(), 0.35));

    const auto kib = ribbonStyle(1024, 0);
    EXPECT_NEAR(kib.width, 1.7, 1e-9);
    EXPECT_DOUBLE_EQ(kib.flowWidth, 1.2);
    EXPECT_EQ(kib.base, Theme::withAlpha(Theme::net(), 0.22));

    const auto mib = ribbonStyle(512 * 1024, 512 * 1024);
    EXPECT_NEAR(mib.width, 8.0, 0.01);
    EXPECT_NEAR(mib.flowWidth, 4.4, 0.01);

    const auto gib = ribbonStyle(0, 1024.0 * 1024 * 1024, true);
    EXPECT_DOUBLE_EQ(gib.width, 9);
    EXPECT_NEAR(gib.flowWidth, 4.95, 1e-9);
    EXPECT_DOUBLE_EQ(gib.opacity, 0.12);
    // Upload dominates: the dashes run toward the hosts.
    EXPECT_LT(gib.target, 0);
    EXPECT_GT(ribbonStyle(5, 5).target, 0);
    // Nonsense rates draw a line at rest.
    EXPECT_FALSE(ribbonStyle(std::nan(""), 0).flowing);
}

TEST(FlowRibbons, DashKeepsItsPhaseUntilTheDirectionChanges)
{
    FlowRibbons::Dash dash;
    EXPECT_TRUE(dash.retarget(ribbonStyle(100, 0)));
    dash.advance(0.35);
    EXPECT_NEAR(dash.phase, 6.5, 1e-9);
    // A new sample in the same direction carries on.
    EXPECT_FALSE(dash.retarget(ribbonStyle(900, 10)));
    dash.advance(0.7);
    EXPECT_NEAR(dash.phase, 6.5, 1e-9);
    // A flip starts over and runs the other way, within one cycle.
    EXPECT_TRUE(dash.retarget(ribbonStyle(0, 10)));
    dash.advance(0.35);
    EXPECT_NEAR(dash.phase, 6.5, 1e-9);
    dash.advance(0.1);
    EXPECT_GE(dash.phase, 0);
    EXPECT_LT(dash.phase, FlowRibbons::cycle);
    // Silence stops it; traffic that resumes starts over.
    EXPECT_FALSE(dash.retarget(ribbonStyle(0, 0)));
    EXPECT_EQ(dash.direction, 0);
    dash.advance(1);
    EXPECT_TRUE(dash.retarget(ribbonStyle(0, 10)));
    EXPECT_EQ(dash.phase, 0);
}

TEST(FlowRibbons, RibbonsJoinShownRowsAndDimAwayFromTheFocus)
{
    auto node = [](const char* id) {
        FlowNode n;
        n.id = QString::fromLatin1(id);
        return n;
    };
    FlowGraph g;
    g.apps = {node("g:a"), node("g:b")};
    g.hosts = {node("h:x"), node("h:y")};
    g.edges = {{"g:a", "h:y", 1, 2}, {"g:b", "h:y", 0, 0}, {"g:b", "h:z", 1, 1}};
    auto ribbons = FlowRibbons::from(g, std::nullopt);
    ASSERT_EQ(ribbons.size(), 2u);
    EXPECT_EQ(ribbons[0], (FlowRibbons::Ribbon{"g:a|h:y", 0, 1, 1, 2, false}));
    ribbons = FlowRibbons::from(g, QStringLiteral("g:a"));
    EXPECT_FALSE(ribbons[0].dimmed);
    EXPECT_TRUE(ribbons[1].dimmed);

    const QPainterPath path = FlowRibbons::path(0, 2, 36, 200);
    EXPECT_EQ(path.elementAt(0).x, 4);
    EXPECT_EQ(path.elementAt(0).y, 18);
    EXPECT_EQ(path.currentPosition(), QPointF(196, 90));
}

TEST(FlowRibbons, PixelsKnowTheirDistanceAndPlaceAlongTheCurve)
{
    const QPolygonF line{QPointF(4, 10), QPointF(104, 10)};
    const auto texels = FlowRibbons::raster(line, 1, QSize(120, 20));
    auto at = [&](int x, int y) -> const FlowRibbons::Texel* {
        for (const auto& t : texels)
            if (t.index == uint32_t(y * 120 + x))
                return &t;
        return nullptr;
    };
    ASSERT_TRUE(at(54, 9));
    EXPECT_FLOAT_EQ(at(54, 9)->distance, 0.5f);
    EXPECT_FLOAT_EQ(at(54, 9)->along, 50.5f);
    // Round ends: beyond the last point the distance is to that point.
    ASSERT_TRUE(at(106, 10));
    EXPECT_NEAR(at(106, 10)->distance, std::hypot(2.5, 0.5), 1e-5);
    EXPECT_FALSE(at(54, 3));
    EXPECT_TRUE(std::is_sorted(texels.begin(), texels.end(),
                               [](const auto& a, const auto& b) { return a.index < b.index; }));
    // Outside the image nothing is found, and nothing breaks.
    EXPECT_TRUE(FlowRibbons::raster(line, 1, QSize(2, 2)).empty());

    EXPECT_DOUBLE_EQ(FlowRibbons::cover(2, 0.5, 1), 1);
    EXPECT_DOUBLE_EQ(FlowRibbons::cover(2, 1.5, 1), 0);
    // Inside a dash, in a gap; a whole cycle later alike.
    EXPECT_DOUBLE_EQ(FlowRibbons::dashCover(2.5, 0, 0, 2, 1), 1);
    EXPECT_DOUBLE_EQ(FlowRibbons::dashCover(9, 0, 0, 2, 1), 0);
    EXPECT_DOUBLE_EQ(FlowRibbons::dashCover(2.5, 13, 0, 2, 1), 1);
    // Dashes end round, as the still line does: on the centre line a dash
    // reaches half its width past its ends, and a corner it would fill
    // when square stays empty.
    EXPECT_DOUBLE_EQ(FlowRibbons::dashCover(6, 0, 0, 4, 1), 1);
    EXPECT_DOUBLE_EQ(FlowRibbons::dashCover(12, 0, 0, 2, 1), 0.5);
    EXPECT_NEAR(FlowRibbons::dashCover(6.2, 0, 1.6, 4, 1), 0.5, 1e-9);
    EXPECT_DOUBLE_EQ(FlowRibbons::dashCover(7, 0, 1.5, 4, 1), 0);
    EXPECT_NEAR(FlowRibbons::dashCover(4.5, 0, 1.6, 4, 1), 0.9, 1e-9);
}
