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

#include <algorithm>
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

// The widths the name cells of the list ask for, as the painting measures
// them in the rows' own fonts: every name whole with its caption and
// badges, and every name kept to sixteen letters (see readableTitle) with
// them.
struct NameNeed {
    double whole = 0;
    double readable = 0;
    bool operator==(const NameNeed&) const = default;
};

// The columns shared by the headings and the rows, left to right, for a
// list `width` wide: the name takes what the others leave. The strip
// narrows, down to `stripLeast`, to show every name whole. Before a name
// is cut below sixteen letters the others give way, whole and in this
// order: the strip, the apps, the two totals, the last-seen time, the
// connections. What a cell still lacks then, its caption and badges give
// (fitName).
struct Columns {
    static constexpr double padding = 14;
    static constexpr double stripWidth = 150, stripHeight = 10;
    static constexpr double stripNarrowest = 72;
    static constexpr double appsWidth = 84, appsLead = 12;
    static constexpr double connsWidth = 46, bytesWidth = 62, seenWidth = 62;
    double name = 0, nameWidth = 0;
    double strip = 0, stripSpan = 0; // no strip when its span is 0
    double apps = 0, conns = 0, received = 0, sent = 0, seen = 0;
    bool appsShown = true, totalsShown = true, seenShown = true, connsShown = true;
    bool operator==(const Columns&) const = default;
};
Columns columns(double width, const NameNeed& need, double stripLeast = Columns::stripNarrowest);

// A title as it reads at the least width its cell keeps for it: whole up
// to sixteen letters, else its first and last eight around an ellipsis.
QString readableTitle(const QString& title);

// The measured parts of one name cell, left to right: the indent, the dot
// and the gap after it; the title whole and as readableTitle keeps it; the
// hosts caption, the NEW badge and the source badge, each with the gap
// before it (0 when the row has none). A cell ends 4 pixels short of its
// column.
struct NameWidths {
    static constexpr double end = 4;
    double lead = 0;
    double title = 0, readable = 0;
    double caption = 0, fresh = 0, source = 0;
    double whole() const { return lead + title + caption + fresh + source + end; }
    double least() const { return lead + std::min(title, readable) + caption + fresh + source + end; }
};
// The need of a list whose name cells measure `cells`.
NameNeed need(const std::vector<NameWidths>& cells);

// What one name cell shows in a column `width` wide: the title as wide as
// it can be, and of the caption and badges those that leave it its
// readable width. The caption goes first, then the source badge, then NEW;
// below its readable width the title is cut only when all three are gone.
struct NameFit {
    double title = 0;
    bool caption = false, fresh = false, source = false;
    bool operator==(const NameFit&) const = default;
};
NameFit fitName(const NameWidths& cell, double width);

// The texts of an entry's name cell, known without building its row (the
// list measures every entry's to lay out its columns).
struct NameTexts {
    QString title;
    bool mono = false;
    double indent = 20;
    QString caption;
    QString fresh;
    QString source;
    bool operator==(const NameTexts&) const = default;
};

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
// The texts of one entry's name cell, as its row shows them.
NameTexts nameTexts(const Entry& entry, const std::vector<Site>& sites, Date now, Date launched);
NameTexts nameTexts(const Row& row);
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
