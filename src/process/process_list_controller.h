#pragma once
// The process list's rows and order, kept free of widgets: the natural order
// of the Monitor's groups, the frozen order that keeps rows in place while
// the list hold is active (rows of vanished items stay as ghosts). The kit's
// row list (ui/row_list.h) moves the shown rows to new ones.

#include "core/incident.h"
#include "core/records.h"
#include "model/monitor.h"
#include "ui/row_list.h"

#include <QHash>
#include <QSet>
#include <QString>

#include <optional>
#include <vector>

// One row: an application group, or one member process listed under it.
struct RowItem {
    enum class Kind { group, member };
    Kind kind = Kind::group;
    GroupSample group;     // group rows
    ProcSample member;     // member rows
    QString groupKey;      // the group a member row is listed under
    bool ghost = false;
    QString id;            // "g:" + key, or "m:" + pid

    static RowItem groupRow(const GroupSample& group, bool ghost);
    static RowItem memberRow(const ProcSample& member, const QString& groupKey, bool ghost);

    bool isGroup() const { return kind == Kind::group; }
    bool isMember() const { return kind == Kind::member; }
    // Group rows are 28 pixels high, member rows 24.
    double height() const { return isMember() ? 24 : 28; }
};

class ProcessListController {
public:
    static constexpr double groupHeight = 28;
    static constexpr double memberHeight = 24;
    // A start-up expansion waits this long after launch.
    static constexpr double expandDelay = 6.0;

    // The groups last handed in, in the Monitor's order.
    std::vector<GroupSample> groups;
    // The rows shown, in display order.
    std::vector<RowItem> items;
    QSet<QString> expanded;
    QString arrangement;

    static QString arrangementKey(Monitor::SortKey sort, bool ascending, const QString& filter);

    std::vector<RowItem> natural() const;
    std::vector<RowItem> frozen() const;

    struct Order {
        std::vector<RowItem> rows;
        bool frozen = false;
        // The frozen rows differ from the natural ones.
        bool stale = false;
        // The natural rows' ids, kept when frozen.
        std::vector<QString> liveIds;
    };
    // Chooses the order: frozen while the hold is active, the arrangement is
    // unchanged and rows are shown; records the arrangement either way.
    Order order(bool holdActive, const QString& arrangementKey);

    // Expands the first group named `pending` with more than one member once
    // the launch is older than expandDelay; true when it did (the caller
    // clears the pending name and stores the set).
    bool expandPending(const QString& pending, double sinceLaunch);

    // Opens a closed group or closes an open one.
    void toggle(const QString& key);

    // The worst open incident of each group; incidents without a group flag
    // nothing.
    static QHash<QString, Severity> flags(const std::vector<Incident>& open);

    // Members by CPU, busiest first; equal ones (and NaN, ranked lowest)
    // keep their order.
    static std::vector<ProcSample> memberOrder(const std::vector<ProcSample>& members);

private:
    void appendNatural(std::vector<RowItem>& rows, const GroupSample& group) const;
};
