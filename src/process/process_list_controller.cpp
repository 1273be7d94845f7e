#include "process/process_list_controller.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>
#include <unordered_set>

RowItem RowItem::groupRow(const GroupSample& group, bool ghost)
{
    RowItem row;
    row.kind = Kind::group;
    row.group = group;
    row.groupKey = group.key;
    row.ghost = ghost;
    row.id = QStringLiteral("g:") + group.key;
    return row;
}

RowItem RowItem::memberRow(const ProcSample& member, const QString& groupKey, bool ghost)
{
    RowItem row;
    row.kind = Kind::member;
    row.member = member;
    row.groupKey = groupKey;
    row.ghost = ghost;
    row.id = QStringLiteral("m:") + QString::number(member.pid);
    return row;
}

QString ProcessListController::arrangementKey(Monitor::SortKey sort, bool ascending,
                                              const QString& filter)
{
    return Monitor::sortKeyText(sort) + QLatin1Char('|')
        + (ascending ? QStringLiteral("true") : QStringLiteral("false")) + QLatin1Char('|')
        + filter;
}

std::vector<ProcSample> ProcessListController::memberOrder(const std::vector<ProcSample>& members)
{
    // NaN ranks lowest so that the comparison stays a strict weak order.
    auto rank = [](double cpu) { return std::isnan(cpu) ? -INFINITY : cpu; };
    std::vector<ProcSample> sorted = members;
    std::stable_sort(sorted.begin(), sorted.end(), [&](const ProcSample& a, const ProcSample& b) {
        return rank(a.cpu) > rank(b.cpu);
    });
    return sorted;
}

QHash<QString, Severity> ProcessListController::flags(const std::vector<Incident>& open)
{
    QHash<QString, Severity> result;
    for (const Incident& incident : open) {
        if (!incident.groupKey)
            continue;
        auto it = result.find(*incident.groupKey);
        if (it == result.end())
            result.insert(*incident.groupKey, incident.severity);
        else if (*it < incident.severity)
            *it = incident.severity;
    }
    return result;
}

void ProcessListController::appendNatural(std::vector<RowItem>& rows, const GroupSample& group) const
{
    rows.push_back(RowItem::groupRow(group, false));
    if (!expanded.contains(group.key))
        return;
    for (const ProcSample& member : memberOrder(group.members))
        rows.push_back(RowItem::memberRow(member, group.key, false));
}

std::vector<RowItem> ProcessListController::natural() const
{
    std::vector<RowItem> rows;
    rows.reserve(groups.size() + 8);
    for (const GroupSample& group : groups)
        appendNatural(rows, group);
    return rows;
}

std::vector<RowItem> ProcessListController::frozen() const
{
    std::unordered_map<QString, const GroupSample*, HoldDetail::Hash> byKey;
    byKey.reserve(groups.size());
    for (const GroupSample& group : groups)
        byKey.emplace(group.key, &group);

    std::vector<const GroupSample*> previousGroups;
    std::unordered_map<QString, std::vector<const ProcSample*>, HoldDetail::Hash> previousMembers;
    for (const RowItem& row : items) {
        if (row.isGroup())
            previousGroups.push_back(&row.group);
        else
            previousMembers[row.groupKey].push_back(&row.member);
    }

    std::vector<RowItem> rows;
    rows.reserve(items.size() + 8);
    std::unordered_set<QString, HoldDetail::Hash> seen;
    for (const GroupSample* previous : previousGroups) {
        seen.insert(previous->key);
        auto live = byKey.find(previous->key);
        const bool ghost = live == byKey.end();
        const GroupSample& shown = ghost ? *previous : *live->second;
        rows.push_back(RowItem::groupRow(shown, ghost));
        if (!expanded.contains(shown.key))
            continue;
        auto kept = previousMembers.find(shown.key);
        if (kept == previousMembers.end()) {
            // Expanded during the hold: all members, in natural order.
            for (const ProcSample& member : memberOrder(shown.members))
                rows.push_back(RowItem::memberRow(member, shown.key, false));
            continue;
        }
        std::unordered_map<int32_t, const ProcSample*> current;
        for (const ProcSample& member : shown.members)
            current.emplace(member.pid, &member);
        // Members that started during the hold wait for the release.
        for (const ProcSample* member : kept->second) {
            auto now = current.find(member->pid);
            if (now != current.end())
                rows.push_back(RowItem::memberRow(*now->second, shown.key, false));
            else
                rows.push_back(RowItem::memberRow(*member, shown.key, true));
        }
    }
    for (const GroupSample& group : groups)
        if (!seen.contains(group.key)) {
            seen.insert(group.key);
            appendNatural(rows, group);
        }
    return rows;
}

ProcessListController::Order ProcessListController::order(bool holdActive, const QString& key)
{
    Order result;
    result.frozen = holdActive && key == arrangement && !items.empty();
    arrangement = key;
    std::vector<RowItem> live = natural();
    if (!result.frozen) {
        result.rows = std::move(live);
        return result;
    }
    result.rows = frozen();
    result.liveIds = rowIds(live);
    result.stale = rowIds(result.rows) != result.liveIds;
    return result;
}

bool ProcessListController::expandPending(const QString& pending, double sinceLaunch)
{
    if (sinceLaunch <= expandDelay)
        return false;
    for (const GroupSample& group : groups)
        if (group.name == pending && group.members.size() > 1) {
            expanded.insert(group.key);
            return true;
        }
    return false;
}

void ProcessListController::toggle(const QString& key)
{
    if (expanded.contains(key))
        expanded.remove(key);
    else
        expanded.insert(key);
}
