#pragma once
// The domains list without widgets: the view state, the grouping of the
// domain log into sites, the three site orders and the host order, the hold
// that keeps them still, the rule that marks a host as new, the counts of
// the header, the site summary, and everything a row shows (texts, colours,
// sizes, badges, menu entries), so the painting only places them.

#ifndef Q_MOC_RUN
#include "core/date.h"
#include "core/records.h"
#include "engine/domain_log.h"
#endif
#include "ui/interaction_hold.h"

#include <QColor>
#include <QSet>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

namespace DomainsModel {

enum class Order { recent, traffic, newest };
inline constexpr std::array allOrders{Order::recent, Order::traffic, Order::newest};
QString orderText(Order order);
std::optional<Order> orderFromText(const QString& text);
// The chip's title in the current language.
QString orderTitle(Order order);

// What the view keeps between refreshes.
struct State {
    Order order = Order::recent;
    bool liveOnly = false;
    // Ids of the open sites; never pruned, so a site that comes back with
    // several hosts opens at once.
    QSet<QString> expanded;
};

// One registrable site and the hosts under it.
// Its hosts are shared and never changed once built, so the hold and the
// rows copy a site for the price of a pointer.
struct Site {
    QString id;

    Site() = default;
    Site(QString id, std::vector<DomainRecord> hosts);
    Site(QString id, std::shared_ptr<const std::vector<DomainRecord>> hosts);
    const std::vector<DomainRecord>& hosts() const;

    // The latest lastSeen and the earliest firstSeen of the hosts; the
    // distant past for a site without hosts.
    Date lastSeen() const;
    Date firstSeen() const;
    // Bytes received and sent by all hosts.
    double traffic() const;

    bool operator==(const Site& other) const { return id == other.id && hosts() == other.hosts(); }

private:
    std::shared_ptr<const std::vector<DomainRecord>> hosts_;
};

// The ten-second cell of a date: seconds since 1970 over 10, the fraction
// dropped toward zero.
int64_t cell(Date date);

// Whether `a` comes before `b` inside a site: busier first, then later
// lastSeen, then the greater name.
bool hostBefore(const DomainRecord& a, const DomainRecord& b);
// Whether site `a` comes before `b` in `order`; total for distinct ids.
bool siteBefore(const Site& a, const Site& b, Order order);

// The hosts of each site as the last build copied them: a site whose records
// have not changed since is not copied again. Kept by the view between
// builds; sites not built again are forgotten.
class SiteCopies {
public:
    using Hosts = std::shared_ptr<const std::vector<DomainRecord>>;
    // The copied hosts of `site`, in the order of `members`.
    Hosts hosts(const QString& site, const std::vector<const DomainRecord*>& members);
    // Forgets the sites not asked for since the last sweep.
    void sweep();
    std::size_t size() const { return kept_.size(); }

private:
    struct Kept {
        Hosts hosts;
        std::uint64_t used = 0;
    };
    std::unordered_map<QString, Kept, HoldDetail::Hash> kept_;
    std::uint64_t generation_ = 0;
};

// What changes the wanted order: the order, "Live only" and the filter.
QString revision(const State& state, const QString& filter);

// The sites to show, in display order, each with its hosts in order. The
// hold keeps the order still while it is active; the hosts of open sites go
// through it too, one slot per site.
std::vector<Site> build(const QHash<QString, DomainRecord>& records, const QString& filter,
                        const State& state, InteractionHold& hold, SiteCopies* copies = nullptr);

// First seen more than 20 s after launch and less than 90 s before `now`.
bool isNew(const DomainRecord& record, Date launched, Date now);
int newCount(const QHash<QString, DomainRecord>& records, Date launched, Date now);

// The text at the header's right end.
struct Counts {
    QString text;
    bool warn = false;
    bool operator==(const Counts&) const = default;
};
Counts counts(std::size_t records, std::size_t sites, int fresh);

// The columns shared by the headings and the rows, left to right, for a
// list `width` wide: the name takes what the others leave. The name keeps
// room for a readable host (about sixteen letters beside its badge) before
// anything else gives way: first the strip narrows to two pixels a cell,
// then it goes, then the two totals go, then the apps. The connections and
// the last-seen time always stay.
struct Columns {
    static constexpr double padding = 14;
    static constexpr double stripWidth = 150, stripHeight = 10;
    static constexpr double stripNarrowest = 72;
    static constexpr double appsWidth = 84, appsLead = 12;
    static constexpr double connsWidth = 46, bytesWidth = 62, seenWidth = 62;
    // The name cell's 20-point indent, the dot, sixteen letters and a badge.
    static constexpr double nameReadable = 180;
    double name = 0, nameWidth = 0;
    double strip = 0, stripSpan = 0; // no strip when its span is 0
    double apps = 0, conns = 0, received = 0, sent = 0, seen = 0;
    bool appsShown = true, totalsShown = true;
    bool operator==(const Columns&) const = default;
};
Columns columns(double width);

// The empty state's text: with a filter, that nothing matches it; else by
// whether names are looked up and by the open connections: when every one
// of them stays on this machine, the list is empty because loopback never
// enters it, and the text says so.
QString emptyText(bool resolveHosts, const std::vector<Connection>& connections = {},
                  const QString& filter = {});

// A record standing for a whole site: sums, the union of the apps, and the
// buckets added cell by cell.
DomainRecord summary(const Site& site);

// One of the heat strip's 36 cells (0 oldest, 35 the current cell) lit at
// level 0, 1 or 2 by the bytes of its cell.
inline constexpr int stripCells = int(DomainLog::windowCells);
int level(double bytes);
std::vector<int> indices(const std::map<int64_t, double>& buckets, int64_t now, int level);

// What a row shows. Texts are final, in the current language; colours are
// the theme's with their alpha.
struct Badge {
    QString text;
    QString help;
    bool operator==(const Badge&) const = default;
};
struct App {
    QString key;
    QString name;
    QString letter;
    std::optional<QString> bundlePath;
    bool operator==(const App&) const = default;
};
struct Row {
    enum class Kind { single, site, host };
    Kind kind = Kind::single;
    // "s:" + site id for the site's first row, "h:" + site id + " " + host
    // for the host rows of an open site.
    QString id;
    QString site;
    QString title;
    double indent = 0;
    int children = 0;
    bool open = false;
    bool departed = false;
    double extent = 30;
    double height() const { return extent; }
    bool shaded = false; // the darker ground of an open site's hosts

    QColor dot;
    QString dotHelp;
    bool mono = false; // the host rows' monospaced title
    QColor titleColor;
    QString hostCount;
    std::optional<Badge> fresh;
    std::optional<Badge> source;
    QString rate;
    std::vector<App> apps; // the first four
    QString moreApps;      // "+2" beyond the fourth, else empty
    int64_t cellNow = 0;
    std::array<int8_t, stripCells> strip{}; // -1 unlit, else the level
    QString conns;
    QColor connsColor;
    QString received, sent;
    QString seen;
    QColor seenColor;

    bool operator==(const Row&) const = default;
};

Row row(const DomainRecord& record, const QString& title, Date now, Date launched, double indent,
        int children, bool open);

// A row's place in the list, known before anything of it is drawn: the list
// lays out every entry and builds the rows only of those on screen.
struct Entry {
    QString id; // as Row::id
    Row::Kind kind = Row::Kind::single;
    int site = 0;  // index into the sites
    int host = -1; // index into the site's hosts, for host rows
    bool open = false;
    bool departed = false;
    double extent = 30;
    double height() const { return extent; }
    bool operator==(const Entry&) const = default;
};
// Every entry of the list, site after site; host entries only for open
// sites. Departed sites come from the hold's record of the site slot.
std::vector<Entry> entries(const std::vector<Site>& sites, const State& state,
                           const InteractionHold& hold);
// The row of one entry.
Row rowOf(const Entry& entry, const std::vector<Site>& sites, Date now, Date launched);
// Every row at once (the entries' rows in order).
std::vector<Row> rows(const std::vector<Site>& sites, const State& state, Date now, Date launched,
                      const InteractionHold& hold);

// The row menu: copy the title, and show the first app when there is one.
struct MenuEntry {
    enum class Kind { copy, show };
    Kind kind = Kind::copy;
    QString title; // outside text unescaped; the menu escapes it
    QString value; // the copied text, or the app's group key
    bool operator==(const MenuEntry&) const = default;
};
std::vector<MenuEntry> menu(const Row& row);

} // namespace DomainsModel
