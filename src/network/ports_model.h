#pragma once
// The ports list without widgets: the well-known service names, which
// listeners a filter keeps and in what order, the rows as the hold arranges
// them, their texts in the current language and their context menu.

#include "core/owner.h"
#include "core/records.h"
#include "ui/menu_plan.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <unordered_map>
#include <vector>

class InteractionHold;
class Monitor;

namespace Ports {

// The well-known ports and their service names in the current language;
// read afresh each time, so the names follow a language switch.
std::map<int64_t, QString> names();
// The service name of `port`, or none for a port outside the table.
std::optional<QString> service(int64_t port);

} // namespace Ports

// One row of the list.
struct PortRow {
    Listener listener;
    std::optional<Owner> owner;
    // Shown only because the hold keeps it: the listener has gone.
    bool closed = false;
    QString id; // Listener::id()

    static constexpr double rowHeight = 30;
    double height() const { return rowHeight; }
    bool operator==(const PortRow&) const = default;
};

namespace PortsModel {

using Owners = std::unordered_map<int32_t, Owner>;

// The filter exactly as typed: a port whose decimal text begins with it, or
// an owner whose group or process name contains it in any letter case.
// Nothing else is searched; an empty filter keeps everything.
bool matches(const Listener& listener, const QString& filter, const Owners& owners);
// The kept listeners by port, then protocol, then process id.
std::vector<Listener> ordered(const std::vector<Listener>& listeners, const QString& filter,
                              const Owners& owners);
// The rows shown: the ordered listeners passed through `hold` (slot "",
// revision the filter), departed ones marked closed and keeping the owner
// they were last seen with.
std::vector<PortRow> rows(const std::vector<Listener>& listeners, const QString& filter,
                          const Owners& owners, InteractionHold& hold);

// Cell texts, in the current language.
QString portText(const PortRow& row);        // ":8080"
QString serviceText(const PortRow& row);     // the name, or "—"
QString ownerText(const PortRow& row);       // the group name, or "Unknown"
QString processText(const PortRow& row);     // "name  pid", "?  pid" without an owner
// The process cell's text for `room` pixels as `width` measures it: the
// name and pid while both fit; else the name is cut in the middle ("…") to
// what fits beside the pid, which always stays.
QString processText(const PortRow& row, double room, const std::function<double(const QString&)>& width);
QString visibilityText(const PortRow& row);  // "Closed", "Local only" or "Visible on LAN"
QString visibilityHelp(const PortRow& row);  // by the loopback flag alone
// Reachable from other machines and still open: the warning colour.
bool exposed(const PortRow& row);
// The text shown when no row is, for the filter.
QString emptyText(const QString& filter);
// The six column titles.
std::vector<QString> headings();

// The row's context menu: copy the port, the pid or the local address, and
// with an owner a divider and "Show in Inspector".
MenuPlan menu(const PortRow& row, Monitor& monitor);
// What a click on a row with an owner (and "Show in Inspector") does.
void showInInspector(const PortRow& row, Monitor& monitor);

} // namespace PortsModel

// The cells' places across a row of `width`: 14 px in from each side, then
// port 86, protocol 54, service 96, the owner taking what is left, process
// 150 and visibility 110. The owner keeps room for its icon and about
// sixteen letters before the others give way: the process column, the port
// and the service narrow, then the process, the service and the protocol
// go (width 0). Last, the visibility column keeps only its dot.
//
// A cell's text keeps a gap before the next shown cell that starts at its
// left edge, so that no name or figure runs into its neighbour; the
// protocol is centred in its cell and keeps its own.
struct PortsColumns {
    static constexpr double padding = 14;
    static constexpr double port = 86, proto = 54, service = 96, process = 150, visibility = 110;
    static constexpr double gap = 10;
    static constexpr double ownerReadable = 150;
    // The visibility column at its narrowest: the coloured dot alone, its
    // words in the tooltip.
    static constexpr double visibilityDot = 16;

    double x[6] = {};
    double width[6] = {};
    // What the cell's content may take, from its left edge.
    double room[6] = {};

    static PortsColumns across(double width);
    // The visibility column shows its dot without its words.
    bool visibilityDotOnly() const { return width[5] <= visibilityDot; }
};
