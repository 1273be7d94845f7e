#include "network/flow_view.h"

#include "engine/demo_source.h"
#include "model/monitor_fixture.h"
#include "network/flow_layout.h"
#include "network/flow_ribbons_view.h"
#include "ui/frame_clock.h"
#include "ui/press_button.h"

#include "language_guard.h"
#include "ui/drawn_texts.h"

#include <QLabel>

#include <algorithm>
#include <set>

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

// The demo machine's links, in a view as narrow as a 1024-wide window
// leaves beside the instruments and the inspector, and wider: no two texts
// meet, every text stays inside its row or the header, and names that do
// not fit end in an ellipsis.
TEST_F(FlowViewTest, TextsKeepApartAtEveryWidth)
{
    auto monitor = make();
    monitor->switchMode(Monitor::Mode::flow);
    DemoSource demo([] { return Date::fromUnix(1'700'000'000); });
    for (const Snapshot& past : demo.prefill())
        ingest(*monitor, past);
    for (int i = 0; i < 4; ++i)
        ingest(*monitor, demo.advance(true).snapshot);
    ASSERT_GT(monitor->snapshot().connections.size(), 4u);

    DrawnTexts recorder;
    FlowView view(*monitor, 36, 230);
    view.show();
    // Loopback too, so its chip and the local links show.
    view.chip(Scope::loopback)->click();
    for (bool chinese : {false, true}) {
        // The language changes under the view, as it does from the settings.
        LanguageGuard language(chinese);
        view.refresh();
        for (QSize size : {QSize(292, 460), QSize(623, 460), QSize(634, 626), QSize(965, 626),
                           QSize(240, 300)}) {
            SCOPED_TRACE(testing::Message() << size.width() << "×" << size.height()
                                            << (chinese ? " zh" : " en"));
            view.resize(size);
            settle();
            ASSERT_FALSE(view.graph().apps.empty());
            ASSERT_FALSE(view.graph().hosts.empty());
            const std::vector<DrawnText> texts = recorder.all(view);
            auto name = [](const DrawnText& t) { return t.text.toStdString(); };

            // Where each text belongs: a row's label or the header.
            std::vector<QRectF> rows;
            std::vector<FlowNode> nodes = view.graph().apps;
            nodes.insert(nodes.end(), view.graph().hosts.begin(), view.graph().hosts.end());
            for (const FlowNode& node : nodes) {
                const FlowNodeRow* row = view.row(node.id);
                ASSERT_TRUE(row);
                const QRect r = row->geometry().translated(view.graphArea()->pos());
                rows.push_back(QRectF(r).adjusted(FlowNodeRow::reach, 0, -FlowNodeRow::reach, 0));
            }
            // Two lines a row at least, and the chips.
            ASSERT_GE(texts.size(), 2 * nodes.size() + 3);
            for (const DrawnText& t : texts) {
                const QRectF in = t.box.adjusted(0.5, 0.5, -0.5, -0.5);
                const auto row = std::find_if(rows.begin(), rows.end(),
                                              [&](const QRectF& r) { return r.contains(in.center()); });
                const QRectF home = row != rows.end()
                    ? *row
                    : QRectF(FlowLayout::padding, 0, size.width() - 2 * FlowLayout::padding,
                             FlowView::headerHeight);
                EXPECT_TRUE(home.contains(in)) << name(t) << " at " << t.box.x() << "," << t.box.y()
                                               << " " << t.box.width();
                for (const DrawnText& other : texts) {
                    if (&other != &t) {
                        EXPECT_FALSE(in.intersects(other.box.adjusted(0.5, 0.5, -0.5, -0.5)))
                            << name(t) << " meets " << name(other);
                    }
                }
            }
            // Titles show whole or elided: the pieces around the ellipses
            // are the title's, in order.
            auto cutFrom = [](const QString& text, const QString& title) {
                if (!text.contains(QChar(0x2026)) || text.size() < 2)
                    return false;
                qsizetype at = 0;
                for (const QString& piece : text.split(QChar(0x2026))) {
                    at = title.indexOf(piece, at);
                    if (at < 0)
                        return false;
                    at += piece.size();
                }
                return true;
            };
            for (const FlowNode& node : nodes) {
                const bool whole = std::any_of(texts.begin(), texts.end(),
                                               [&](const auto& t) { return t.text == node.title; });
                const bool elided = std::any_of(texts.begin(), texts.end(),
                                                [&](const auto& t) { return cutFrom(t.text, node.title); });
                EXPECT_TRUE(whole || elided) << node.title.toStdString();
            }
            // No two titles of a column read the same: a row's upper text
            // is its title.
            std::size_t at = 0;
            for (const std::vector<FlowNode>* column : {&view.graph().apps, &view.graph().hosts}) {
                std::set<QString> shown;
                for (const FlowNode& node : *column) {
                    const QRectF& row = rows[at++];
                    const DrawnText* title = nullptr;
                    for (const DrawnText& t : texts)
                        if (row.contains(t.box.center()) && (!title || t.box.top() < title->box.top()))
                            title = &t;
                    if (title) {
                        EXPECT_TRUE(shown.insert(title->text).second)
                            << node.title.toStdString() << " shown as " << name(*title);
                    }
                }
            }
            // The header's texts keep off the chips' capsules.
            for (const QLabel* label : {view.hiddenLabel(), view.legendLabel()}) {
                if (!label->isVisibleTo(&view))
                    continue;
                for (Scope s : {Scope::internet, Scope::lan, Scope::loopback}) {
                    EXPECT_FALSE(label->geometry().intersects(view.chip(s)->geometry()))
                        << label->text().toStdString();
                }
            }
            // Nodes left out are still counted, if only in brief.
            if (size.width() >= 292 && view.graph().hidden > 0) {
                EXPECT_TRUE(view.hiddenLabel()->isVisibleTo(&view));
            }
        }
        // The widest of them has room for the legend.
        view.resize(965, 626);
        settle();
        EXPECT_TRUE(view.legendLabel()->isVisibleTo(&view));
    }
}
