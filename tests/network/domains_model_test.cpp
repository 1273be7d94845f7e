#include "network/domains_model.h"
#include "network/heat_strip.h"

#include "core/l10n.h"
#include "ui/hold_fixture.h"
#include "ui/theme.h"

#include "language_guard.h"

#include <gtest/gtest.h>

using namespace DomainsModel;

namespace {

const Date launched = Date::fromUnix(1'700'000'000);

DomainRecord record(const QString& host, const QString& site, double lastSeen = 1'700'000'100,
                    double rate = 0, double bytes = 0)
{
    DomainRecord r;
    r.host = host;
    r.site = site;
    r.firstSeen = Date::fromUnix(1'700'000'005);
    r.lastSeen = Date::fromUnix(lastSeen);
    r.rateIn = rate;
    r.bytesIn = bytes;
    return r;
}

DomainRecord::App app(const QString& name)
{
    return {QStringLiteral("exe:") + name, name, std::nullopt};
}

QHash<QString, DomainRecord> logOf(std::vector<DomainRecord> records)
{
    QHash<QString, DomainRecord> log;
    for (DomainRecord& r : records)
        log.insert(r.host, std::move(r));
    return log;
}

QStringList ids(const std::vector<Site>& sites)
{
    QStringList out;
    for (const Site& s : sites)
        out << s.id;
    return out;
}

QStringList hosts(const Site& site)
{
    QStringList out;
    for (const DomainRecord& r : site.hosts())
        out << r.host;
    return out;
}

class DomainsModelTest : public HoldTest {
protected:
    LanguageGuard english{false};
    InteractionHold hold{QStringLiteral("domains")};
};

} // namespace

TEST_F(DomainsModelTest, FiltersKeepHostsOrAppsAsTyped)
{
    State state;
    EXPECT_TRUE(build({}, QString(), state, hold).empty());

    DomainRecord api = record("api.example.com", "example.com");
    api.apps = {app("Firefox")};
    DomainRecord cdn = record("cdn.example.com", "example.com");
    DomainRecord spaced = record("odd name.test", "odd name.test");
    spaced.live = 1;
    DomainRecord other = record("fox.org", "fox.org");
    const auto log = logOf({api, cdn, spaced, other});

    // The app name matches, the site name is not searched: cdn stays out.
    auto sites = build(log, QStringLiteral("firef"), state, hold);
    ASSERT_EQ(sites.size(), 1u);
    EXPECT_EQ(hosts(sites[0]), QStringList{"api.example.com"});

    // Not trimmed: a single space matches only a name with a space in it.
    EXPECT_EQ(ids(build(log, QStringLiteral(" "), state, hold)), QStringList{"odd name.test"});

    // Live only and the filter both apply.
    state.liveOnly = true;
    EXPECT_TRUE(build(log, QStringLiteral("FOX"), state, hold).empty());
    EXPECT_EQ(ids(build(log, QStringLiteral("odd"), state, hold)), QStringList{"odd name.test"});
}

TEST_F(DomainsModelTest, OrdersHostsAndSitesWithTheirTieBreaks)
{
    State state;
    state.expanded.insert(QStringLiteral("example.com"));
    // Same rate and lastSeen: the greater name first. A later idle host
    // before them, a busy one before all.
    const auto log = logOf({
        record("a.example.com", "example.com", 1'700'000'050),
        record("z.example.com", "example.com", 1'700'000'050),
        record("m.example.com", "example.com", 1'700'000'060),
        record("b.example.com", "example.com", 1'700'000'001, 10),
    });
    auto sites = build(log, QString(), state, hold);
    ASSERT_EQ(sites.size(), 1u);
    EXPECT_EQ(hosts(sites[0]),
              (QStringList{"b.example.com", "m.example.com", "z.example.com", "a.example.com"}));

    // …001 and …009 share a cell and fall through to traffic; …010 leads.
    const auto sitesLog = logOf({
        record("one.test", "one.test", 1'700'000'001, 0, 500),
        record("nine.test", "nine.test", 1'700'000'009, 0, 100),
        record("ten.test", "ten.test", 1'700'000'010, 0, 1),
        record("alpha.test", "alpha.test", 1'700'000'009, 0, 100),
    });
    EXPECT_EQ(ids(build(sitesLog, QString(), State{}, hold)),
              (QStringList{"ten.test", "one.test", "alpha.test", "nine.test"}));
    State traffic;
    traffic.order = Order::traffic;
    EXPECT_EQ(ids(build(sitesLog, QString(), traffic, hold)),
              (QStringList{"one.test", "alpha.test", "nine.test", "ten.test"}));

    EXPECT_EQ(orderFromText(QStringLiteral("newest")), Order::newest);
    EXPECT_FALSE(orderFromText(QStringLiteral("Recent")));
}

TEST_F(DomainsModelTest, HoldKeepsOrderUntilTheChoicesChange)
{
    State state;
    state.order = Order::traffic;
    auto log = logOf({record("big.test", "big.test", 1'700'000'100, 0, 900),
                      record("small.test", "small.test", 1'700'000'100, 0, 100)});
    build(log, QString(), state, hold);
    hold.set(InteractionHold::Reason::pointer, true);

    // small overtakes big, big leaves, a new site arrives: held in place.
    log[QStringLiteral("small.test")].bytesIn = 5000;
    log.remove(QStringLiteral("big.test"));
    log.insert(QStringLiteral("huge.test"), record("huge.test", "huge.test", 1'700'000'100, 0, 1e9));
    auto sites = build(log, QString(), state, hold);
    EXPECT_EQ(ids(sites), (QStringList{"big.test", "small.test", "huge.test"}));
    EXPECT_EQ(sites[1].hosts()[0].bytesIn, 5000);
    const auto shown = rows(sites, state, Date::fromUnix(1'700'000'100), launched, hold);
    EXPECT_TRUE(shown[0].departed);
    EXPECT_FALSE(shown[1].departed);

    // A new order is a new revision: sorted at once, the departed site gone.
    state.order = Order::recent;
    EXPECT_EQ(ids(build(log, QString(), state, hold)), (QStringList{"huge.test", "small.test"}));

    hold.set(InteractionHold::Reason::pointer, false);
    advance(InteractionHold::releaseDelay + 0.1);
    EXPECT_FALSE(hold.departed(QStringLiteral("big.test"), QString()));
}

TEST_F(DomainsModelTest, CopiesFollowEveryWriteOfTheLog)
{
    SiteCopies copies;
    DomainRecord a = record("a.example.com", "example.com");
    a.buckets = {{10, 1}, {11, 2}};
    auto log = logOf({a, record("b.test", "b.test")});
    const auto first = build(log, QString(), State{}, hold, &copies);
    const auto again = build(log, QString(), State{}, hold, &copies);
    ASSERT_EQ(again.size(), 2u);
    // Unchanged sites share their copies.
    EXPECT_EQ(&first[0].hosts(), &again[0].hosts());

    // Each way the log writes a record shows in the next build.
    const auto site = [&] {
        for (const Site& s : build(log, QString(), State{}, hold, &copies))
            if (s.id == QStringLiteral("example.com"))
                return s.hosts().front();
        return DomainRecord{};
    };
    DomainRecord& live = log[QStringLiteral("a.example.com")];
    live.buckets[11] += 5; // the current cell grows
    EXPECT_EQ(site().buckets.at(11), 7);
    live.buckets.erase(10); // the oldest cell goes
    EXPECT_FALSE(site().buckets.contains(10));
    live.apps.push_back(app("curl"));
    EXPECT_EQ(site().apps.size(), 1u);
    live.live = 2;
    EXPECT_EQ(site().live, 2);

    log.remove(QStringLiteral("b.test"));
    build(log, QString(), State{}, hold, &copies);
    EXPECT_EQ(copies.size(), 1u);
}

TEST_F(DomainsModelTest, NewRuleAndCounts)
{
    const auto firstSeenAfter = [](double seconds) {
        DomainRecord r = record("x.test", "x.test");
        r.firstSeen = launched + seconds;
        return r;
    };
    const Date now = launched + 60;
    EXPECT_FALSE(isNew(firstSeenAfter(15), launched, now));
    EXPECT_FALSE(isNew(firstSeenAfter(20), launched, now));
    EXPECT_TRUE(isNew(firstSeenAfter(30), launched, now));
    EXPECT_TRUE(isNew(firstSeenAfter(30), launched, launched + 119.9));
    EXPECT_FALSE(isNew(firstSeenAfter(30), launched, launched + 120));

    EXPECT_EQ(newCount({}, launched, now), 0);
    const Counts empty = counts(0, 0, 0);
    EXPECT_EQ(empty.text, QStringLiteral("0 domains · 0 sites"));
    EXPECT_FALSE(empty.warn);
    const Counts fresh = counts(7, 5, 3);
    EXPECT_EQ(fresh.text, QStringLiteral("7 domains · 5 sites · 3 new"));
    EXPECT_TRUE(fresh.warn);
    EXPECT_EQ(counts(1, 1, 1).text, QStringLiteral("1 domain · 1 site · 1 new"));
    EXPECT_EQ(counts(2, 1, 0).text, QStringLiteral("2 domains · 1 site"));

    L10n::setChinese(true);
    EXPECT_EQ(counts(7, 5, 3).text, QStringLiteral("7 个域名 · 5 个站点 · 3 个新出现"));
    EXPECT_EQ(counts(1, 1, 1).text, QStringLiteral("1 个域名 · 1 个站点 · 1 个新出现"));
}

TEST_F(DomainsModelTest, HeatStripLevelsAndWindow)
{
    const int64_t now = 170'000'000;
    std::map<int64_t, double> buckets{
        {now, 2048}, {now - 1, 102400}, {now - 2, 0}, {now - 3, 2047}, {now - 35, 5}, {now - 36, 1e9}};
    EXPECT_EQ(indices(buckets, now, 0), (std::vector<int>{0, 32}));
    EXPECT_EQ(indices(buckets, now, 1), (std::vector<int>{35}));
    EXPECT_EQ(indices(buckets, now, 2), (std::vector<int>{34}));
    // Six minutes or more old: nothing lit.
    EXPECT_TRUE(indices({{now - 36, 1e9}}, now, 2).empty());

    DomainRecord r = record("x.test", "x.test");
    r.buckets = buckets;
    const Row shown = row(r, r.host, Date::fromUnix(double(now) * 10 + 3), launched, 20, 0, false);
    EXPECT_EQ(shown.strip[35], 1);
    EXPECT_EQ(shown.strip[33], -1);
    EXPECT_EQ(shown.strip[0], 0);

    // 150 pixels: each cell a 36th of it, drawn a pixel narrower.
    const QRectF last = HeatStrip::cellRect(QRectF(10, 0, 150, 10), 35);
    EXPECT_DOUBLE_EQ(last.left(), 10 + 150.0 / 36 * 35);
    EXPECT_DOUBLE_EQ(last.width(), 150.0 / 36 - 1);
    EXPECT_TRUE(HeatStrip::cells(QRectF(0, 0, 150, 10), {}).isEmpty());
}

TEST_F(DomainsModelTest, SiteSummarySumsAndJoinsApps)
{
    DomainRecord a = record("a.example.com", "example.com", 1'700'000'050, 1000);
    a.apps = {app("Firefox"), app("curl")};
    a.buckets = {{1, 10}, {2, 20}};
    a.live = 2;
    a.source = DomainRecord::Source::reverse;
    DomainRecord b = record("b.example.com", "example.com", 1'700'000'090);
    b.firstSeen = Date::fromUnix(1'700'000'001);
    b.apps = {app("curl"), app("wget")};
    b.buckets = {{2, 5}, {3, 1}};
    const Site site(QStringLiteral("example.com"), {a, b});

    const DomainRecord s = summary(site);
    EXPECT_EQ(s.apps, (std::vector<DomainRecord::App>{app("Firefox"), app("curl"), app("wget")}));
    EXPECT_EQ(s.buckets, (std::map<int64_t, double>{{1, 10}, {2, 25}, {3, 1}}));
    EXPECT_EQ(s.live, 2);
    EXPECT_EQ(s.rateIn, 1000);
    EXPECT_EQ(s.firstSeen, b.firstSeen);
    EXPECT_EQ(s.lastSeen, b.lastSeen);

    State state;
    auto closed = rows({site}, state, Date::fromUnix(1'700'000'100), launched, hold);
    ASSERT_EQ(closed.size(), 1u);
    EXPECT_EQ(closed[0].hostCount, QStringLiteral("2 hosts"));
    EXPECT_FALSE(closed[0].source);
    EXPECT_EQ(closed[0].dot, Theme::net());
    EXPECT_EQ(closed[0].rate, QStringLiteral("↓1000B/s ↑0B/s"));
    state.expanded.insert(site.id);
    auto open = rows({site}, state, Date::fromUnix(1'700'000'100), launched, hold);
    ASSERT_EQ(open.size(), 3u);
    EXPECT_EQ(open[1].height(), 26);
    EXPECT_TRUE(open[1].shaded && open[1].mono);
    EXPECT_EQ(open[1].source->text, QStringLiteral("PTR"));
}

TEST_F(DomainsModelTest, RowTextsAndMenu)
{
    const Date now = Date::fromUnix(1'700'000'100);
    DomainRecord r = record("a&b.test", "a&b.test", 1'700'000'097);
    r.live = 3;
    r.bytesOut = 2048;
    Row shown = row(r, r.host, now, launched, 20, 0, false);
    EXPECT_EQ(shown.seen, QStringLiteral("now"));
    EXPECT_EQ(shown.conns, QStringLiteral("3"));
    EXPECT_EQ(shown.received, QStringLiteral("·"));
    EXPECT_EQ(shown.sent, QStringLiteral("2K"));
    EXPECT_EQ(shown.source->text, QStringLiteral("IP"));
    EXPECT_EQ(menu(shown), (std::vector<MenuEntry>{{MenuEntry::Kind::copy, "Copy Domain", "a&b.test"}}));

    r.lastSeen = now + 30; // ahead of the sample: still "now"
    EXPECT_EQ(row(r, r.host, now, launched, 20, 0, false).seen, QStringLiteral("now"));
    r.lastSeen = now + -4;
    EXPECT_EQ(row(r, r.host, now, launched, 20, 0, false).seen, QStringLiteral("4s ago"));

    for (const char* name : {"Slack", "curl", "Zoom", "git", "ssh", "Mail"})
        r.apps.push_back(app(QString::fromUtf8(name)));
    shown = row(r, r.host, now, launched, 20, 0, false);
    EXPECT_EQ(shown.apps.size(), 4u);
    EXPECT_EQ(shown.moreApps, QStringLiteral("+2"));
    const auto entries = menu(shown);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1].title, QStringLiteral("Show Slack in Inspector"));
    EXPECT_EQ(entries[1].value, QStringLiteral("exe:Slack"));
    L10n::setChinese(true);
    EXPECT_EQ(menu(shown)[1].title, QStringLiteral("在检查器中查看 Slack"));
    // A right-to-left name keeps to its own place in the sentence.
    r.apps.insert(r.apps.begin(), app(QStringLiteral("עברית 2")));
    shown = row(r, r.host, now, launched, 20, 0, false);
    EXPECT_EQ(menu(shown)[1].title, QStringLiteral("在检查器中查看 \u2068עברית 2\u2069"));
    L10n::setChinese(false);
    EXPECT_EQ(menu(shown)[1].title, QStringLiteral("Show \u2068עברית 2\u2069 in Inspector"));
}

TEST_F(DomainsModelTest, EmptyTextSaysWhenOnlyLoopbackIsOpen)
{
    Connection local, remote;
    local.scope = Connection::Scope::loopback;
    remote.scope = Connection::Scope::lan;
    const QString nothing = emptyText(true);
    EXPECT_TRUE(nothing.startsWith(QStringLiteral("No outbound connections seen yet")));
    EXPECT_EQ(emptyText(true, {remote, local}), nothing);
    EXPECT_TRUE(emptyText(true, {local, local}).startsWith(QStringLiteral("Only loopback connections")));
    EXPECT_TRUE(emptyText(false, {local}).startsWith(QStringLiteral("Only loopback connections")));
    L10n::setChinese(true);
    EXPECT_TRUE(emptyText(true, {local}).startsWith(QStringLiteral("当前只有本机回环连接")));
}

TEST_F(DomainsModelTest, NameCellsDropCaptionThenBadgesBeforeTheTitleIsCut)
{
    // Sixteen letters stay whole; longer titles keep their first and last
    // eight, and no surrogate pair is split.
    EXPECT_EQ(readableTitle(QStringLiteral("cdn1.example.com")), QStringLiteral("cdn1.example.com"));
    EXPECT_EQ(readableTitle(QStringLiteral("registry.containers.example")),
              QStringLiteral("registry….example"));
    const QString emoji = QStringLiteral("abcdefg\U0001F600xyz.example.test.zz");
    const QString cut = readableTitle(emoji);
    EXPECT_TRUE(cut.startsWith(QStringLiteral("abcdefg…")));
    EXPECT_FALSE(cut.at(cut.indexOf(QChar(0x2026)) - 1).isHighSurrogate());

    NameWidths cell;
    cell.lead = 32;
    cell.title = 160;
    cell.readable = 120;
    cell.caption = 40;
    cell.source = 30;
    cell.fresh = 36;
    EXPECT_DOUBLE_EQ(cell.whole(), 32 + 160 + 40 + 30 + 36 + 4);
    EXPECT_DOUBLE_EQ(cell.least(), 32 + 120 + 40 + 30 + 36 + 4);
    // Whole, with everything.
    EXPECT_EQ(fitName(cell, cell.whole()), (NameFit{160, true, true, true}));
    // The title shortens down to its readable width first...
    EXPECT_EQ(fitName(cell, cell.least()), (NameFit{120, true, true, true}));
    // ...then the caption goes, then the source badge, then NEW.
    EXPECT_EQ(fitName(cell, cell.least() - 1), (NameFit{159, false, true, true}));
    EXPECT_EQ(fitName(cell, 32 + 120 + 36 + 30 + 4 - 1), (NameFit{149, false, true, false}));
    EXPECT_EQ(fitName(cell, 32 + 120 + 36 + 4 - 1), (NameFit{155, false, false, false}));
    // Only then is the title cut below its readable width.
    EXPECT_EQ(fitName(cell, 32 + 100 + 4), (NameFit{100, false, false, false}));
    EXPECT_EQ(fitName(cell, 10).title, 0);
    // Whatever the width, the parts shown fit in it.
    for (double w = 36; w <= 320; w += 1) {
        const NameFit fit = fitName(cell, w);
        const double used = cell.lead + fit.title + (fit.caption ? cell.caption : 0)
            + (fit.fresh ? cell.fresh : 0) + (fit.source ? cell.source : 0) + NameWidths::end;
        EXPECT_LE(used, w + 0.001) << w;
        EXPECT_TRUE(fit.title >= cell.readable || !(fit.caption || fit.source || fit.fresh)) << w;
    }

    // The list asks for its widest cell, whole and readable.
    NameWidths small;
    small.lead = 32;
    small.title = small.readable = 60;
    small.source = 30;
    EXPECT_EQ(need({small, cell}), (NameNeed{cell.whole(), cell.least()}));
    EXPECT_EQ(need({}), NameNeed{});
}

TEST_F(DomainsModelTest, NameTextsMatchTheRowsTheyStandFor)
{
    DomainRecord a = record(QStringLiteral("a.example.com"), QStringLiteral("example.com"));
    a.source = DomainRecord::Source::reverse;
    a.firstSeen = launched + 60;
    DomainRecord b = record(QStringLiteral("b.example.com"), QStringLiteral("example.com"));
    b.source = DomainRecord::Source::address;
    b.firstSeen = launched + 50;
    DomainRecord c = record(QStringLiteral("solo.test"), QStringLiteral("solo.test"));
    c.source = DomainRecord::Source::address;
    State state;
    state.expanded.insert(QStringLiteral("example.com"));
    const auto sites = build(logOf({a, b, c}), {}, state, hold);
    const Date now = launched + 100;
    const auto all = entries(sites, state, hold);
    ASSERT_EQ(all.size(), 4u);
    for (bool chinese : {false, true}) {
        L10n::setChinese(chinese);
        for (const Entry& e : all) {
            const Row r = rowOf(e, sites, now, launched);
            EXPECT_EQ(nameTexts(e, sites, now, launched), nameTexts(r)) << r.title.toStdString();
        }
    }
    L10n::setChinese(false);
    // A site is new when its earliest host is; only hosts wear a source
    // badge.
    const Row site = rowOf(all[size_t(std::find_if(all.begin(), all.end(), [](const Entry& e) {
                                        return e.kind == Row::Kind::site;
                                    }) - all.begin())],
                           sites, now, launched);
    EXPECT_EQ(nameTexts(site).caption, QStringLiteral("2 hosts"));
    EXPECT_EQ(nameTexts(site).fresh, QStringLiteral("NEW"));
    EXPECT_TRUE(nameTexts(site).source.isEmpty());
}
