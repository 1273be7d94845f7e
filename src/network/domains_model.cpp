#include "network/domains_model.h"

#include "core/fmt.h"
#include "core/l10n.h"
#include "core/outside_text.h"
#include "ui/icons.h"
#include "ui/interaction_hold.h"
#include "ui/theme.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <unordered_map>

namespace DomainsModel {

namespace {

constexpr double distantPast = -std::numeric_limits<double>::max();

// Keys of one site, taken once before sorting.
struct Keyed {
    Site site;
    int64_t recent = 0;
    double traffic = 0;
    Date firstSeen;
};

bool keyedBefore(const Keyed& a, const Keyed& b, Order order)
{
    switch (order) {
    case Order::recent:
        if (a.recent != b.recent)
            return a.recent > b.recent;
        if (a.traffic != b.traffic)
            return a.traffic > b.traffic;
        break;
    case Order::traffic:
        if (a.traffic != b.traffic)
            return a.traffic > b.traffic;
        break;
    case Order::newest:
        if (a.firstSeen != b.firstSeen)
            return a.firstSeen > b.firstSeen;
        break;
    }
    return a.site.id < b.site.id;
}

Keyed keyed(Site site)
{
    Keyed k;
    k.recent = cell(site.lastSeen());
    k.traffic = site.traffic();
    k.firstSeen = site.firstSeen();
    k.site = std::move(site);
    return k;
}

bool matches(const DomainRecord& record, const QString& filter)
{
    if (record.host.contains(filter, Qt::CaseInsensitive))
        return true;
    return std::any_of(record.apps.begin(), record.apps.end(), [&](const DomainRecord::App& app) {
        return app.name.contains(filter, Qt::CaseInsensitive);
    });
}

} // namespace

QString orderText(Order order)
{
    switch (order) {
    case Order::recent: return QStringLiteral("recent");
    case Order::traffic: return QStringLiteral("traffic");
    case Order::newest: return QStringLiteral("newest");
    }
    return {};
}

std::optional<Order> orderFromText(const QString& text)
{
    for (Order order : allOrders)
        if (orderText(order) == text)
            return order;
    return std::nullopt;
}

QString orderTitle(Order order)
{
    switch (order) {
    case Order::recent: return L10n::text("Recent", "最近活跃");
    case Order::traffic: return L10n::text("Traffic", "流量");
    case Order::newest: return L10n::text("Newest", "新出现");
    }
    return {};
}

Site::Site(QString id, std::vector<DomainRecord> hosts)
    : id(std::move(id))
    , hosts_(std::make_shared<const std::vector<DomainRecord>>(std::move(hosts)))
{
}

Site::Site(QString id, std::shared_ptr<const std::vector<DomainRecord>> hosts)
    : id(std::move(id))
    , hosts_(std::move(hosts))
{
}

namespace {

// Whether a copy still shows a record. The log only ever appends apps, adds
// to the current cell and trims the oldest cells, and every write moves a
// figure, a date or an end of the buckets, so those are what is compared:
// walking every cell of every record costs as much as copying it.
bool stillShows(const DomainRecord& live, const DomainRecord& copy)
{
    if (live.host != copy.host || live.site != copy.site || live.source != copy.source
        || live.firstSeen != copy.firstSeen || live.lastSeen != copy.lastSeen
        || live.bytesIn != copy.bytesIn || live.bytesOut != copy.bytesOut || live.rateIn != copy.rateIn
        || live.rateOut != copy.rateOut || live.live != copy.live || live.apps.size() != copy.apps.size()
        || live.buckets.size() != copy.buckets.size())
        return false;
    if (live.buckets.empty())
        return true;
    return live.buckets.begin()->first == copy.buckets.begin()->first
        && *live.buckets.rbegin() == *copy.buckets.rbegin();
}

} // namespace

SiteCopies::Hosts SiteCopies::hosts(const QString& site, const std::vector<const DomainRecord*>& members)
{
    Kept& kept = kept_[site];
    kept.used = generation_;
    const bool same = kept.hosts && kept.hosts->size() == members.size()
        && std::equal(members.begin(), members.end(), kept.hosts->begin(),
                      [](const DomainRecord* live, const DomainRecord& copy) { return stillShows(*live, copy); });
    if (!same) {
        std::vector<DomainRecord> copied;
        copied.reserve(members.size());
        for (const DomainRecord* r : members)
            copied.push_back(*r);
        kept.hosts = std::make_shared<const std::vector<DomainRecord>>(std::move(copied));
    }
    return kept.hosts;
}

void SiteCopies::sweep()
{
    std::erase_if(kept_, [this](const auto& entry) { return entry.second.used != generation_; });
    ++generation_;
}

const std::vector<DomainRecord>& Site::hosts() const
{
    static const std::vector<DomainRecord> none;
    return hosts_ ? *hosts_ : none;
}

Date Site::lastSeen() const
{
    const auto& all = hosts();
    if (all.empty())
        return Date{distantPast};
    Date latest = all.front().lastSeen;
    for (const DomainRecord& h : all)
        latest = std::max(latest, h.lastSeen);
    return latest;
}

Date Site::firstSeen() const
{
    const auto& all = hosts();
    if (all.empty())
        return Date{distantPast};
    Date earliest = all.front().firstSeen;
    for (const DomainRecord& h : all)
        earliest = std::min(earliest, h.firstSeen);
    return earliest;
}

double Site::traffic() const
{
    double sum = 0;
    for (const DomainRecord& h : hosts())
        sum += h.bytesIn + h.bytesOut;
    return sum;
}

int64_t cell(Date date)
{
    const double cells = date.unix() / double(DomainLog::cellSeconds);
    if (!std::isfinite(cells))
        return cells < 0 ? std::numeric_limits<int64_t>::min() : std::numeric_limits<int64_t>::max();
    return int64_t(std::trunc(cells));
}

bool hostBefore(const DomainRecord& a, const DomainRecord& b)
{
    const double ra = a.rateIn + a.rateOut;
    const double rb = b.rateIn + b.rateOut;
    if (ra != rb)
        return ra > rb;
    if (a.lastSeen != b.lastSeen)
        return a.lastSeen > b.lastSeen;
    return a.host > b.host;
}

bool siteBefore(const Site& a, const Site& b, Order order)
{
    return keyedBefore(keyed(a), keyed(b), order);
}

QString revision(const State& state, const QString& filter)
{
    return orderText(state.order) + QLatin1Char('|')
        + (state.liveOnly ? QStringLiteral("true") : QStringLiteral("false")) + QLatin1Char('|')
        + filter;
}

std::vector<Site> build(const QHash<QString, DomainRecord>& records, const QString& filter,
                        const State& state, InteractionHold& hold, SiteCopies* copies)
{
    // Grouped and sorted by reference; each kept record is copied once.
    std::unordered_map<QString, std::size_t, HoldDetail::Hash> index;
    std::vector<std::pair<QString, std::vector<const DomainRecord*>>> grouped;
    for (const DomainRecord& record : records) {
        if (state.liveOnly && record.live == 0)
            continue;
        if (!filter.isEmpty() && !matches(record, filter))
            continue;
        auto [it, added] = index.try_emplace(record.site, grouped.size());
        if (added)
            grouped.emplace_back(record.site, std::vector<const DomainRecord*>{});
        grouped[it->second].second.push_back(&record);
    }

    const QString rev = revision(state, filter);
    std::vector<Keyed> sites;
    sites.reserve(grouped.size());
    for (auto& [id, members] : grouped) {
        std::sort(members.begin(), members.end(),
                  [](const DomainRecord* a, const DomainRecord* b) { return hostBefore(*a, *b); });
        SiteCopies::Hosts hosts;
        if (copies) {
            hosts = copies->hosts(id, members);
        } else {
            std::vector<DomainRecord> copied;
            copied.reserve(members.size());
            for (const DomainRecord* r : members)
                copied.push_back(*r);
            hosts = std::make_shared<const std::vector<DomainRecord>>(std::move(copied));
        }
        if (state.expanded.contains(id))
            hosts = std::make_shared<const std::vector<DomainRecord>>(
                hold.arrange(*hosts, QStringLiteral("hosts:") + id, rev, true, true,
                             [](const DomainRecord& r) { return r.host; }));
        sites.push_back(keyed(Site(id, std::move(hosts))));
    }
    if (copies)
        copies->sweep();
    std::sort(sites.begin(), sites.end(),
              [order = state.order](const Keyed& a, const Keyed& b) { return keyedBefore(a, b, order); });

    std::vector<Site> ordered;
    ordered.reserve(sites.size());
    for (Keyed& k : sites)
        ordered.push_back(std::move(k.site));
    return hold.arrange(ordered, QString(), rev, true, true, [](const Site& s) { return s.id; });
}

namespace {

bool firstSeenIsNew(Date firstSeen, Date launched, Date now)
{
    return firstSeen - launched > 20 && now - firstSeen < 90;
}

} // namespace

bool isNew(const DomainRecord& record, Date launched, Date now)
{
    return firstSeenIsNew(record.firstSeen, launched, now);
}

int newCount(const QHash<QString, DomainRecord>& records, Date launched, Date now)
{
    int count = 0;
    for (const DomainRecord& record : records)
        count += isNew(record, launched, now) ? 1 : 0;
    return count;
}

Counts counts(std::size_t records, std::size_t sites, int fresh)
{
    Counts c;
    c.warn = fresh > 0;
    if (L10n::isChinese()) {
        c.text = QStringLiteral("%1 个域名 · %2 个站点").arg(records).arg(sites);
        if (c.warn)
            c.text += QStringLiteral(" · %1 个新出现").arg(fresh);
        return c;
    }
    c.text = QString::number(records)
        + (records == 1 ? QStringLiteral(" domain · ") : QStringLiteral(" domains · "))
        + QString::number(sites) + (sites == 1 ? QStringLiteral(" site") : QStringLiteral(" sites"));
    if (c.warn)
        c.text += QStringLiteral(" · %1 new").arg(fresh);
    return c;
}

Columns columns(double width, const NameNeed& need, double stripLeast)
{
    Columns c;
    stripLeast = std::clamp(stripLeast, Columns::stripNarrowest, Columns::stripWidth);
    const double apps = Columns::appsLead + Columns::appsWidth;
    const double totals = 2 * Columns::bytesWidth;
    // What the name and the strip share with every column shown.
    double room = width - 2 * Columns::padding - apps - totals - Columns::seenWidth - Columns::connsWidth;
    if (room - stripLeast >= need.readable) {
        // Whole pixels, so the strip's cells stay crisp.
        c.stripSpan = std::floor(std::clamp(room - need.whole, stripLeast, Columns::stripWidth));
    } else {
        // Each goes whole, and only while a name still lacks room.
        auto giveWay = [&](bool& shown, double span) {
            if (room < need.readable) {
                shown = false;
                room += span;
            }
        };
        giveWay(c.appsShown, apps);
        giveWay(c.totalsShown, totals);
        giveWay(c.seenShown, Columns::seenWidth);
        giveWay(c.connsShown, Columns::connsWidth);
    }

    double x = width - Columns::padding;
    auto place = [&x](bool shown, double span) {
        if (shown)
            x -= span;
        return x;
    };
    c.seen = place(c.seenShown, Columns::seenWidth);
    c.sent = place(c.totalsShown, Columns::bytesWidth);
    c.received = place(c.totalsShown, Columns::bytesWidth);
    c.conns = place(c.connsShown, Columns::connsWidth);
    c.apps = place(c.appsShown, Columns::appsWidth);
    if (c.appsShown)
        x -= Columns::appsLead;
    c.strip = place(c.stripSpan > 0, c.stripSpan);
    if (!c.appsShown)
        c.apps = x;
    c.name = Columns::padding;
    c.nameWidth = std::max(0.0, x - c.name);
    return c;
}

QString readableTitle(const QString& title)
{
    constexpr qsizetype kept = 16, half = kept / 2;
    if (title.size() <= kept)
        return title;
    // Never split a surrogate pair.
    qsizetype head = half;
    if (title.at(head - 1).isHighSurrogate())
        --head;
    qsizetype tail = half;
    if (title.at(title.size() - tail).isLowSurrogate())
        --tail;
    return title.left(head) + QChar(0x2026) + title.right(tail);
}

NameNeed need(const std::vector<NameWidths>& cells)
{
    NameNeed n;
    for (const NameWidths& cell : cells) {
        n.whole = std::max(n.whole, cell.whole());
        n.readable = std::max(n.readable, cell.least());
    }
    return n;
}

NameFit fitName(const NameWidths& cell, double width)
{
    NameFit fit;
    const double room = std::max(0.0, width - cell.lead - NameWidths::end);
    const double readable = std::min(cell.title, cell.readable);
    // Badges and the caption are added back in the reverse of the order
    // they give way in, each only while the title keeps its readable width.
    double extras = 0;
    auto keep = [&](bool& shown, double span) {
        if (span > 0 && readable + extras + span <= room) {
            shown = true;
            extras += span;
        }
    };
    keep(fit.fresh, cell.fresh);
    if (fit.fresh || cell.fresh == 0)
        keep(fit.source, cell.source);
    if (fit.source || cell.source == 0)
        keep(fit.caption, cell.caption);
    fit.title = std::min(cell.title, room - extras);
    return fit;
}

QString emptyText(bool resolveHosts, const std::vector<Connection>& connections, const QString& filter)
{
    if (!filter.isEmpty())
        return OutsideText::noMatch("domains", "域名", filter);
    const bool loopbackOnly = !connections.empty()
        && std::all_of(connections.begin(), connections.end(), [](const Connection& c) {
               return c.scope == Connection::Scope::loopback;
           });
    if (loopbackOnly)
        return L10n::text("Only loopback connections are open right now. They stay on this machine, "
                          "so no domain is listed; Flows shows them under Loopback.",
                          "当前只有本机回环连接。它们不离开本机，因此这里没有域名；可在「流向」的「本机回环」中查看。");
    return resolveHosts
        ? L10n::text("No outbound connections seen yet. They appear here as soon as a process connects.",
                     "尚未观察到对外连接。有进程建立连接后将显示在此。")
        : L10n::text("Name lookup is off in Settings, so only IP addresses appear here.",
                     "域名解析已在设置中关闭，此处仅显示 IP 地址。");
}

DomainRecord summary(const Site& site)
{
    DomainRecord s;
    s.host = site.id;
    s.site = site.id;
    if (!site.hosts().empty())
        s.source = site.hosts().front().source;
    s.firstSeen = site.firstSeen();
    s.lastSeen = site.lastSeen();
    for (const DomainRecord& h : site.hosts()) {
        for (const DomainRecord::App& app : h.apps)
            if (std::find(s.apps.begin(), s.apps.end(), app) == s.apps.end())
                s.apps.push_back(app);
        s.bytesIn += h.bytesIn;
        s.bytesOut += h.bytesOut;
        s.rateIn += h.rateIn;
        s.rateOut += h.rateOut;
        s.live += h.live;
        for (const auto& [c, bytes] : h.buckets)
            s.buckets[c] += bytes;
    }
    return s;
}

int level(double bytes)
{
    if (bytes < 2048)
        return 0;
    return bytes < 102400 ? 1 : 2;
}

std::vector<int> indices(const std::map<int64_t, double>& buckets, int64_t now, int wanted)
{
    std::vector<int> found;
    const int64_t oldest = now - (stripCells - 1);
    for (auto it = buckets.lower_bound(oldest); it != buckets.end() && it->first <= now; ++it) {
        if (!(it->second > 0) || level(it->second) != wanted)
            continue;
        found.push_back(int(it->first - oldest));
    }
    return found;
}

namespace {

QString caption(int children)
{
    return children >= 1 ? L10n::text("%1 hosts", "%1 个子域").arg(children) : QString();
}

QString freshText()
{
    return L10n::text("NEW", "新");
}

Badge freshBadge()
{
    return Badge{freshText(), L10n::text("First seen within the last 90 seconds", "最近 90 秒内首次出现的域名")};
}

QString sourceText(DomainRecord::Source source)
{
    switch (source) {
    case DomainRecord::Source::proxyMapped: break;
    case DomainRecord::Source::reverse: return L10n::text("PTR", "反查");
    case DomainRecord::Source::address: return QStringLiteral("IP");
    }
    return {};
}

std::optional<Badge> sourceBadge(DomainRecord::Source source)
{
    switch (source) {
    case DomainRecord::Source::proxyMapped: break;
    case DomainRecord::Source::reverse:
        return Badge{sourceText(source),
                     L10n::text("This name comes from a reverse DNS lookup of the IP. It may be a "
                                "CDN or cloud host name rather than the domain the app requested.",
                                "这是对 IP 做反向 DNS 查询得到的名字，可能是 CDN 或云厂商的主机名，"
                                "不一定等于 App 请求的域名")};
    case DomainRecord::Source::address:
        return Badge{sourceText(source),
                     L10n::text("This address has no reverse DNS record", "这个地址没有反向 DNS 记录")};
    }
    return std::nullopt;
}

} // namespace

Row row(const DomainRecord& record, const QString& title, Date now, Date launched, double indent,
        int children, bool open)
{
    Row r;
    r.title = title;
    r.indent = indent;
    r.children = children;
    r.open = open;
    const bool top = indent == 20;
    r.extent = top || children > 0 ? 30 : 26;
    r.shaded = indent > 20;
    r.kind = children > 0 ? Row::Kind::site : (top ? Row::Kind::single : Row::Kind::host);

    const bool active = record.rateIn + record.rateOut > 0;
    if (active) {
        r.dot = Theme::net();
        r.dotHelp = L10n::text("Transferring data", "正在传输数据");
    } else if (record.live >= 1) {
        r.dot = Theme::dim();
        r.dotHelp = L10n::text("Connections open, no traffic right now", "有打开的连接，当前没有流量");
    } else {
        r.dot = Theme::withAlpha(Theme::faint(), 0.5);
        r.dotHelp = L10n::text("All connections closed; kept as a record", "连接已全部关闭，仅保留记录");
    }
    r.mono = !(children > 0 || top);
    r.titleColor = record.live >= 1 ? Theme::text() : Theme::dim();
    r.hostCount = caption(children);
    if (isNew(record, launched, now))
        r.fresh = freshBadge();
    if (children == 0)
        r.source = sourceBadge(record.source);
    if (active)
        r.rate = QStringLiteral("↓%1/s ↑%2/s").arg(Fmt::bytes(record.rateIn), Fmt::bytes(record.rateOut));

    for (std::size_t i = 0; i < record.apps.size() && i < 4; ++i) {
        const DomainRecord::App& app = record.apps[i];
        r.apps.push_back(App{app.key, app.name, Icons::letter(app.name), app.bundlePath});
    }
    if (record.apps.size() > 4)
        r.moreApps = QStringLiteral("+%1").arg(record.apps.size() - 4);

    r.cellNow = cell(now);
    r.strip.fill(-1);
    const int64_t oldest = r.cellNow - (stripCells - 1);
    for (auto it = record.buckets.lower_bound(oldest); it != record.buckets.end() && it->first <= r.cellNow;
         ++it)
        if (it->second > 0)
            r.strip[std::size_t(it->first - oldest)] = int8_t(level(it->second));

    const QString none = QStringLiteral("·");
    if (record.live >= 1) {
        r.conns = QString::number(record.live);
        r.connsColor = Theme::text();
    } else {
        r.conns = none;
        r.connsColor = Theme::faint();
    }
    r.received = record.bytesIn > 0 ? Fmt::bytes(record.bytesIn) : none;
    r.sent = record.bytesOut > 0 ? Fmt::bytes(record.bytesOut) : none;
    const double age = now - record.lastSeen;
    if (age < 4) {
        r.seen = L10n::text("now", "现在");
        r.seenColor = Theme::net();
    } else {
        r.seen = Fmt::ago(age);
        r.seenColor = Theme::faint();
    }
    return r;
}

std::vector<Entry> entries(const std::vector<Site>& sites, const State& state,
                           const InteractionHold& hold)
{
    std::vector<Entry> result;
    result.reserve(sites.size());
    for (std::size_t i = 0; i < sites.size(); ++i) {
        const Site& site = sites[i];
        const auto& hosts = site.hosts();
        if (hosts.empty())
            continue;
        Entry head;
        head.id = QStringLiteral("s:") + site.id;
        head.site = int(i);
        head.departed = hold.departed(site.id, QString());
        if (hosts.size() == 1) {
            result.push_back(std::move(head));
            continue;
        }
        head.kind = Row::Kind::site;
        head.open = state.expanded.contains(site.id);
        result.push_back(head);
        if (!head.open)
            continue;
        for (std::size_t h = 0; h < hosts.size(); ++h) {
            Entry e;
            e.id = QStringLiteral("h:") + site.id + QLatin1Char(' ') + hosts[h].host;
            e.kind = Row::Kind::host;
            e.site = int(i);
            e.host = int(h);
            e.departed = head.departed;
            e.extent = 26;
            result.push_back(std::move(e));
        }
    }
    return result;
}

NameTexts nameTexts(const Row& row)
{
    NameTexts t;
    t.title = row.title;
    t.mono = row.mono;
    t.indent = row.indent;
    t.caption = row.hostCount;
    if (row.fresh)
        t.fresh = row.fresh->text;
    if (row.source)
        t.source = row.source->text;
    return t;
}

NameTexts nameTexts(const Entry& entry, const std::vector<Site>& sites, Date now, Date launched)
{
    const Site& site = sites[std::size_t(entry.site)];
    const auto& hosts = site.hosts();
    NameTexts t;
    const DomainRecord* record = nullptr;
    switch (entry.kind) {
    case Row::Kind::single:
        record = &hosts.front();
        t.title = record->host;
        break;
    case Row::Kind::site:
        t.title = site.id;
        t.caption = caption(int(hosts.size()));
        // The summary's firstSeen, without summing the rest of it.
        if (firstSeenIsNew(site.firstSeen(), launched, now))
            t.fresh = freshText();
        return t;
    case Row::Kind::host:
        record = &hosts[std::size_t(entry.host)];
        t.title = record->host;
        t.mono = true;
        t.indent = 38;
        break;
    }
    if (isNew(*record, launched, now))
        t.fresh = freshText();
    t.source = sourceText(record->source);
    return t;
}

Row rowOf(const Entry& entry, const std::vector<Site>& sites, Date now, Date launched)
{
    const Site& site = sites[std::size_t(entry.site)];
    const auto& hosts = site.hosts();
    Row r;
    switch (entry.kind) {
    case Row::Kind::single: r = row(hosts.front(), hosts.front().host, now, launched, 20, 0, false); break;
    case Row::Kind::site:
        r = row(summary(site), site.id, now, launched, 20, int(hosts.size()), entry.open);
        break;
    case Row::Kind::host: {
        const DomainRecord& host = hosts[std::size_t(entry.host)];
        r = row(host, host.host, now, launched, 38, 0, false);
        break;
    }
    }
    r.id = entry.id;
    r.site = site.id;
    r.departed = entry.departed;
    return r;
}

std::vector<Row> rows(const std::vector<Site>& sites, const State& state, Date now, Date launched,
                      const InteractionHold& hold)
{
    std::vector<Row> result;
    for (const Entry& e : entries(sites, state, hold))
        result.push_back(rowOf(e, sites, now, launched));
    return result;
}

std::vector<MenuEntry> menu(const Row& row)
{
    std::vector<MenuEntry> entries;
    entries.push_back({MenuEntry::Kind::copy, L10n::text("Copy Domain", "复制域名"), row.title});
    if (!row.apps.empty()) {
        const App& first = row.apps.front();
        entries.push_back({MenuEntry::Kind::show,
                           L10n::text("Show %1 in Inspector", "在检查器中查看 %1").arg(OutsideText::isolate(first.name)), first.key});
    }
    return entries;
}

} // namespace DomainsModel
