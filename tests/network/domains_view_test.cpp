#include "network/chip.h"
#include "network/domain_rows.h"
#include "network/domains_view.h"

#include "app/view_fixture.h"

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
    for (double w = 240; w <= 1600; w += 1) {
        SCOPED_TRACE(w);
        const Columns c = DomainsModel::columns(w);
        // Left to right without overlap, inside the padding.
        double x = c.name + c.nameWidth;
        for (auto [left, span] : {std::pair{c.strip, c.stripSpan},
                                  std::pair{c.apps - Columns::appsLead,
                                            c.appsShown ? Columns::appsLead + Columns::appsWidth : 0},
                                  std::pair{c.conns, Columns::connsWidth},
                                  std::pair{c.received, c.totalsShown ? Columns::bytesWidth : 0},
                                  std::pair{c.sent, c.totalsShown ? Columns::bytesWidth : 0},
                                  std::pair{c.seen, Columns::seenWidth}}) {
            if (span == 0)
                continue;
            EXPECT_GE(left, x - 0.001);
            x = left + span;
        }
        EXPECT_LE(x, w - Columns::padding + 0.001);
        if (w >= 2 * Columns::padding + Columns::nameReadable + Columns::connsWidth + Columns::seenWidth) {
            EXPECT_GE(c.nameWidth, Columns::nameReadable - 0.001);
        }
        EXPECT_TRUE(c.stripSpan == 0 || c.stripSpan >= Columns::stripNarrowest);
    }
    // The strip narrows first, then goes; then the totals, then the apps.
    EXPECT_EQ(DomainsModel::columns(1200).stripSpan, Columns::stripWidth);
    const Columns beside = DomainsModel::columns(624); // a 1024-wide window beside the instruments
    EXPECT_GT(beside.stripSpan, Columns::stripNarrowest);
    EXPECT_LT(beside.stripSpan, Columns::stripWidth);
    EXPECT_TRUE(beside.appsShown && beside.totalsShown);
    const Columns smaller = DomainsModel::columns(520);
    EXPECT_EQ(smaller.stripSpan, 0);
    EXPECT_TRUE(smaller.appsShown);
    EXPECT_FALSE(smaller.totalsShown);
    EXPECT_FALSE(DomainsModel::columns(400).appsShown);

    // A sixteen-letter host with its badge reads whole at that width, in
    // the row's own fonts.
    DomainRows rows(*monitor, [](const QString&) {});
    DomainRecord r;
    r.host = r.site = QStringLiteral("cdn1.example.com");
    r.source = DomainRecord::Source::reverse;
    r.live = 1;
    r.rateIn = 1500;
    r.firstSeen = r.lastSeen = Date::fromUnix(1'700'000'000);
    const DomainsModel::Row row = DomainsModel::row(r, r.host, r.lastSeen, r.firstSeen, 20, 0, false);
    const DomainRows::Layout l = rows.layout(row, QRectF(0, 0, 624, 30));
    EXPECT_EQ(l.titleText, r.host);
    EXPECT_LE(l.source.right(), l.strip.left());
    EXPECT_GE(l.strip.width(), Columns::stripNarrowest);
}
