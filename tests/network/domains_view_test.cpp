#include "network/chip.h"
#include "network/domain_rows.h"
#include "network/domains_view.h"

#include "app/view_fixture.h"
#include "ui/drawn_texts.h"

#include "engine/demo_source.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMenu>

#include <memory>

namespace {

Connection flow(int32_t pid, const QString& address, std::optional<QString> host, double rate = 0,
                Connection::Scope scope = Connection::Scope::internet)
{
    Connection c;
    c.id = QStringLiteral("%1 %2").arg(pid).arg(address);
    c.pid = pid;
    c.remoteHost = address;
    c.remotePort = 443;
    c.scope = scope;
    c.rateIn = rate;
    c.host = std::move(host);
    return c;
}

std::vector<DomainsModel::Row> all(const DomainRows& rows)
{
    std::vector<DomainsModel::Row> out;
    for (std::size_t i = 0; i < rows.count(); ++i)
        out.push_back(rows.row(int(i)));
    return out;
}

QStringList titles(const DomainRows& rows)
{
    QStringList out;
    for (const DomainsModel::Row& r : all(rows))
        out << r.title;
    return out;
}

QStringList texts(QMenu* menu)
{
    QStringList out;
    for (QAction* a : menu->actions())
        out << a->text();
    return out;
}

} // namespace

class DomainsViewTest : public ViewTest {
protected:
    void feed(std::vector<Connection> connections)
    {
        Snapshot s = snapshotOf({group(QStringLiteral("exe:AT&T Sync"), 1, {41}, QStringLiteral("AT&T Sync")),
                                 group(QStringLiteral("exe:curl"), 1, {42}, QStringLiteral("curl"))},
                                ++serial);
        s.netInterval = 2;
        s.connections = std::move(connections);
        s.system.date = Date::now();
        ingest(*monitor, s);
        runPending();
    }

    void SetUp() override
    {
        ViewTest::SetUp();
        monitor = make();
    }

    std::unique_ptr<Monitor> monitor;
    int64_t serial = 0;
};

TEST_F(DomainsViewTest, SitesGroupHostsAndOpenOnClick)
{
    DomainsView view(*monitor);
    showOffscreen(view, {1000, 600});
    EXPECT_TRUE(view.model().empty);
    EXPECT_EQ(view.model().counts.text, QStringLiteral("0 domains · 0 sites"));
    EXPECT_EQ(view.model().emptyText, DomainsModel::emptyText(monitor->prefs().resolveHosts));

    feed({flow(41, "192.0.2.1", "a.example.com", 4096), flow(42, "192.0.2.2", "b.example.com"),
          flow(42, "192.0.2.3", std::nullopt), flow(42, "127.0.0.1", "localhost", 0, Connection::Scope::loopback)});
    // Loopback never enters the log.
    EXPECT_EQ(view.model().counts.text, QStringLiteral("3 domains · 2 sites"));
    DomainRows& rows = *view.rows();
    ASSERT_EQ(rows.count(), 2u);
    const int index = titles(rows).indexOf(QStringLiteral("example.com"));
    ASSERT_GE(index, 0);
    EXPECT_EQ(rows.row(index).hostCount, QStringLiteral("2 hosts"));
    EXPECT_EQ(rows.row(index).apps.size(), 2u);

    rows.click(index, QPointF(40, 10));
    // The hosts fade in and the chevron turns on the frame clock.
    EXPECT_TRUE(rows.moving());
    settle();
    EXPECT_FALSE(rows.moving());
    EXPECT_TRUE(view.state().expanded.contains(QStringLiteral("example.com")));
    ASSERT_EQ(rows.count(), 4u);
    // The busy host first, indented, 26 pixels tall.
    const DomainsModel::Row& first = rows.row(index + 1);
    EXPECT_EQ(first.title, QStringLiteral("a.example.com"));
    EXPECT_EQ(first.height(), 26);
    EXPECT_EQ(first.indent, 38);
    EXPECT_EQ(*rows.drawnTop(rows.row(index + 2).id) - *rows.drawnTop(first.id), 26);

    rows.click(index, QPointF(40, 10));
    EXPECT_EQ(rows.leavingCount(), 2u);
    settle();
    EXPECT_EQ(rows.count(), 2u);
    EXPECT_EQ(rows.leavingCount(), 0u);

    // A filter that matches nothing empties the list, not the counts.
    monitor->setFilter(QStringLiteral("nothing-like-it"));
    runPending();
    EXPECT_TRUE(view.model().empty);
    EXPECT_FALSE(rows.isVisible());
    EXPECT_EQ(view.model().counts.text, QStringLiteral("3 domains · 0 sites"));
    // The empty state names the filter, not a lack of connections.
    EXPECT_EQ(view.model().emptyText, QStringLiteral("No domains match “nothing-like-it”"));
    setLanguage(*monitor, AppLanguage::zh);
    EXPECT_EQ(view.model().emptyText, QStringLiteral("没有与「nothing-like-it」匹配的域名"));
}

TEST_F(DomainsViewTest, ChipsReorderAndMenusActAsPlainText)
{
    DomainsView view(*monitor);
    showOffscreen(view, {1000, 600});
    feed({flow(41, "192.0.2.1", "a.example.com", 4096), flow(42, "192.0.2.9", "zz.test")});
    feed({flow(41, "192.0.2.1", "a.example.com", 0), flow(42, "192.0.2.9", "zz.test", 100000)});

    view.liveChip()->click();
    EXPECT_TRUE(view.state().liveOnly);
    EXPECT_TRUE(view.liveChip()->on());
    view.orderChip(DomainsModel::Order::traffic)->click();
    EXPECT_EQ(view.state().order, DomainsModel::Order::traffic);
    EXPECT_TRUE(view.orderChip(DomainsModel::Order::traffic)->on());
    EXPECT_FALSE(view.orderChip(DomainsModel::Order::recent)->on());
    EXPECT_EQ(titles(*view.rows()), (QStringList{"zz.test", "a.example.com"}));

    // The app's name is outside text: its '&' is no mnemonic.
    const int att = titles(*view.rows()).indexOf(QStringLiteral("a.example.com"));
    const MenuPlan plan = view.rows()->menuSpec(att);
    EXPECT_EQ(plan.titles(), (QStringList{"Copy Domain", "Show AT&T Sync in Inspector"}));
    std::unique_ptr<QMenu> menu(buildMenu(plan));
    EXPECT_EQ(texts(menu.get()), (QStringList{"Copy Domain", "Show AT&&T Sync in Inspector"}));
    menu->actions()[0]->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("a.example.com"));
    monitor->setFocusPid(41);
    menu->actions()[1]->trigger();
    EXPECT_EQ(monitor->selection(), QStringLiteral("exe:AT&T Sync"));
    EXPECT_FALSE(monitor->focusPid());

    // An address without a name, and without an owner: copy only.
    feed({flow(77, "192.0.2.50", std::nullopt, 10)});
    const int bare = titles(*view.rows()).indexOf(QStringLiteral("192.0.2.50"));
    ASSERT_GE(bare, 0);
    EXPECT_EQ(view.rows()->row(bare).source->text, QStringLiteral("IP"));
    EXPECT_EQ(view.rows()->menuSpec(bare).titles(), QStringList{"Copy Domain"});
}

TEST_F(DomainsViewTest, ColumnsGiveWayBeforeTheNameStopsReading)
{
    using DomainsModel::Columns;
    using DomainsModel::NameNeed;
    constexpr double stripLeast = 80;
    for (const NameNeed need : {NameNeed{0, 0}, NameNeed{170, 150}, NameNeed{300, 196}}) {
        for (double w = 200; w <= 1600; w += 1) {
            SCOPED_TRACE(testing::Message() << w << " " << need.whole << " " << need.readable);
            const Columns c = DomainsModel::columns(w, need, stripLeast);
            // Left to right without overlap, inside the padding.
            double x = c.name + c.nameWidth;
            for (auto [left, span] : {std::pair{c.strip, c.stripSpan},
                                      std::pair{c.apps - Columns::appsLead,
                                                c.appsShown ? Columns::appsLead + Columns::appsWidth : 0},
                                      std::pair{c.conns, c.connsShown ? Columns::connsWidth : 0},
                                      std::pair{c.received, c.totalsShown ? Columns::bytesWidth : 0},
                                      std::pair{c.sent, c.totalsShown ? Columns::bytesWidth : 0},
                                      std::pair{c.seen, c.seenShown ? Columns::seenWidth : 0}}) {
                if (span == 0)
                    continue;
                EXPECT_GE(left, x - 0.001);
                x = left + span;
            }
            EXPECT_LE(x, w - Columns::padding + 0.001);
            // The name keeps its readable width while the list has it.
            if (w - 2 * Columns::padding >= need.readable) {
                EXPECT_GE(c.nameWidth, need.readable - 0.001);
            }
            // The strip narrows only to show every name whole.
            EXPECT_TRUE(c.stripSpan == 0 || c.stripSpan >= stripLeast);
            if (c.stripSpan > stripLeast && c.stripSpan < Columns::stripWidth) {
                EXPECT_GE(c.nameWidth, need.whole - 0.001);
            }
            // They give way in order: the strip, the apps, the totals, the
            // last-seen time, the connections...
            if (!c.appsShown) {
                EXPECT_EQ(c.stripSpan, 0);
            }
            if (!c.totalsShown) {
                EXPECT_FALSE(c.appsShown);
            }
            if (!c.seenShown) {
                EXPECT_FALSE(c.totalsShown);
            }
            if (!c.connsShown) {
                EXPECT_FALSE(c.seenShown);
            }
            // ...and each only when the name could not read with it.
            const double lastGone = !c.connsShown ? Columns::connsWidth
                : !c.seenShown                    ? Columns::seenWidth
                : !c.totalsShown                  ? 2 * Columns::bytesWidth
                : !c.appsShown                    ? Columns::appsLead + Columns::appsWidth
                : c.stripSpan == 0                ? stripLeast
                                                  : -1;
            if (lastGone > 0) {
                EXPECT_LT(c.nameWidth - lastGone, need.readable);
            }
        }
    }
    // Names that read in little room leave the strip whole.
    EXPECT_EQ(DomainsModel::columns(1200, {200, 150}).stripSpan, Columns::stripWidth);
    // Beside the instruments of a 1024-wide window the strip narrows for
    // whole names...
    const Columns beside = DomainsModel::columns(623, {190, 150});
    EXPECT_EQ(beside.stripSpan, 77);
    EXPECT_EQ(beside.nameWidth, 190);
    EXPECT_TRUE(beside.appsShown && beside.totalsShown && beside.seenShown && beside.connsShown);
    // ...and beside the inspector too, all but the connections go before a
    // name is cut.
    const Columns inspected = DomainsModel::columns(292, {200, 190});
    EXPECT_EQ(inspected.stripSpan, 0);
    EXPECT_FALSE(inspected.appsShown || inspected.totalsShown || inspected.seenShown);
    EXPECT_TRUE(inspected.connsShown);
    EXPECT_GE(inspected.nameWidth, 190);

    // A sixteen-letter host with its badge reads whole beside the
    // instruments of a 1024-wide window, in the row's own fonts.
    DomainRows rows(*monitor, [](const QString&) {});
    DomainRecord r;
    r.host = r.site = QStringLiteral("cdn1.example.com");
    r.source = DomainRecord::Source::reverse;
    r.live = 1;
    r.rateIn = 1500;
    r.firstSeen = r.lastSeen = Date::fromUnix(1'700'000'000);
    std::vector<DomainsModel::Site> sites{DomainsModel::Site(r.site, std::vector<DomainRecord>{r})};
    const DomainsModel::State state;
    rows.resize(623, 300);
    rows.setContent(sites, DomainsModel::entries(sites, state, monitor->domainsHold()), r.lastSeen,
                    r.firstSeen);
    const DomainsModel::Row row = rows.row(0);
    const DomainRows::Layout l = rows.layout(row, QRectF(0, 0, 623, 30));
    EXPECT_EQ(l.titleText, r.host);
    EXPECT_LE(l.source.right(), l.strip.left());
    EXPECT_GE(l.strip.width(), Columns::stripNarrowest);
    EXPECT_LE(l.strip.width(), 150);
}

// The demo machine's domains as the window shows them: beside the
// 400-pixel instruments of a 1024-, 1366- and 1400-wide window (2048 at
// scale 2 is 1024), with and without the 330-pixel inspector, in both
// languages, every site open. Every name of up to sixteen letters is
// painted whole, so is an eighteen-letter one beside the instruments of
// the smallest window, and no two texts share a pixel or run out of the
// view.
TEST_F(DomainsViewTest, DemoNamesArePaintedWholeAndNoTextsOverlap)
{
    DemoSource demo;
    for (int i = 0; i < 12; ++i)
        ingest(*monitor, demo.advance(true).snapshot);
    ASSERT_GT(monitor->domains().records.size(), 20);
    ASSERT_TRUE(monitor->domains().records.contains(QStringLiteral("cdn.stream.example")));

    DrawnTexts recorder;
    for (AppLanguage language : {AppLanguage::en, AppLanguage::zh}) {
        setLanguage(*monitor, language);
        for (int window : {1024, 1366, 1400}) {
            for (bool inspector : {false, true}) {
                const int width = window - 401 - (inspector ? 331 : 0);
                SCOPED_TRACE(testing::Message() << int(language) << " " << width);
                DomainsView view(*monitor);
                // Every site open, and tall enough for every row.
                showOffscreen(view, {width, 1600});
                for (const DomainsModel::Site& site : std::vector(view.sites()))
                    if (site.hosts().size() > 1)
                        view.toggle(site.id);
                settle();
                const auto drawn = recorder.all(view);
                QStringList painted;
                for (const DrawnText& t : drawn)
                    painted << t.text;

                const DomainRows& rows = *view.rows();
                ASSERT_GT(rows.count(), view.sites().size());
                for (std::size_t i = 0; i < rows.count(); ++i) {
                    const QString& title = rows.row(int(i)).title;
                    if (title.size() <= 16 || (width == 623 && title.size() <= 18)) {
                        EXPECT_TRUE(painted.contains(title)) << title.toStdString();
                    }
                }
                if (width == 623) {
                    EXPECT_TRUE(painted.contains(QStringLiteral("cdn.stream.example")));
                }

                for (std::size_t a = 0; a < drawn.size(); ++a) {
                    const QRectF& box = drawn[a].box;
                    EXPECT_GE(box.left(), -0.5) << drawn[a].text.toStdString();
                    EXPECT_LE(box.right(), width + 0.5) << drawn[a].text.toStdString();
                    for (std::size_t b = a + 1; b < drawn.size(); ++b) {
                        const QRectF shared = box.intersected(drawn[b].box);
                        EXPECT_FALSE(shared.width() > 0.5 && shared.height() > 0.5)
                            << drawn[a].text.toStdString() << " / " << drawn[b].text.toStdString();
                    }
                }
            }
        }
    }
}
