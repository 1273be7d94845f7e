#include "process/process_list_controller.h"

#include "model/monitor_fixture.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using Ids = std::vector<QString>;

GroupSample withCpu(GroupSample g, std::vector<double> cpus)
{
    for (std::size_t i = 0; i < cpus.size(); ++i)
        g.members[i].cpu = cpus[i];
    return g;
}

Ids ghosts(const std::vector<RowItem>& rows)
{
    Ids ids;
    for (const RowItem& row : rows)
        if (row.ghost)
            ids.push_back(row.id);
    return ids;
}

// Shows `groups` naturally, then freezes with `next`.
struct Frozen {
    ProcessListController c;
    ProcessListController::Order order;
};

Frozen freeze(std::vector<GroupSample> groups, std::vector<GroupSample> next,
              QSet<QString> expanded = {})
{
    Frozen f;
    f.c.expanded = expanded;
    f.c.groups = std::move(groups);
    f.c.items = f.c.order(false, QStringLiteral("cpu|false|")).rows;
    f.c.groups = std::move(next);
    f.order = f.c.order(true, QStringLiteral("cpu|false|"));
    return f;
}

} // namespace

TEST(ProcessListController, NaturalListsMembersBusiestFirstKeepingTies)
{
    ProcessListController c;
    c.groups = {group("A", 1), withCpu(group("B", 45, {1, 2, 3}), {5, 20, 20}), group("C", 0)};
    c.expanded = {QStringLiteral("B")};
    EXPECT_EQ(rowIds(c.natural()), (Ids{"g:A", "g:B", "m:2", "m:3", "m:1", "g:C"}));

    // NaN ranks lowest instead of breaking the order.
    c.groups = {withCpu(group("B", 0, {1, 2, 3, 4}), {NAN, 3, NAN, 7})};
    EXPECT_EQ(rowIds(c.natural()), (Ids{"g:B", "m:4", "m:2", "m:1", "m:3"}));
}

TEST(ProcessListController, ArrangementKeyNamesSortDirectionAndFilter)
{
    EXPECT_EQ(ProcessListController::arrangementKey(Monitor::SortKey::cpu, false, ""), "cpu|false|");
    EXPECT_EQ(ProcessListController::arrangementKey(Monitor::SortKey::netIn, true, "sa"),
              "netIn|true|sa");
}

TEST(ProcessListController, FrozenKeepsVanishedGroupAsGhostInPlace)
{
    const auto f = freeze({group("A", 3), group("B", 2), group("C", 1)},
                          {group("C", 9), group("A", 3)});
    EXPECT_TRUE(f.order.frozen);
    EXPECT_EQ(rowIds(f.order.rows), (Ids{"g:A", "g:B", "g:C"}));
    EXPECT_EQ(ghosts(f.order.rows), (Ids{"g:B"}));
    EXPECT_TRUE(f.order.stale);
    // Values stay live.
    EXPECT_EQ(f.order.rows[2].group.cpu, 9);
}

TEST(ProcessListController, FrozenAppendsNewGroupsInTheMonitorsOrder)
{
    const auto f = freeze({group("A", 3), group("B", 2)},
                          {group("E", 50), group("D", 40), group("A", 3), group("B", 2)});
    EXPECT_EQ(rowIds(f.order.rows), (Ids{"g:A", "g:B", "g:E", "g:D"}));
    EXPECT_TRUE(ghosts(f.order.rows).empty());
}

TEST(ProcessListController, FrozenWithholdsNewMembersAndGhostsExitedOnes)
{
    const QSet<QString> open{QStringLiteral("B")};
    auto f = freeze({group("A", 3), group("B", 2, {10, 11})},
                    {group("A", 3), group("B", 2, {10, 11, 12})}, open);
    EXPECT_EQ(rowIds(f.order.rows), (Ids{"g:A", "g:B", "m:10", "m:11"}));
    EXPECT_TRUE(f.order.stale);
    EXPECT_EQ(f.order.liveIds, (Ids{"g:A", "g:B", "m:10", "m:11", "m:12"}));

    f = freeze({group("B", 2, {10, 11})}, {group("B", 2, {11})}, open);
    EXPECT_EQ(rowIds(f.order.rows), (Ids{"g:B", "m:10", "m:11"}));
    EXPECT_EQ(ghosts(f.order.rows), (Ids{"m:10"}));
}

TEST(ProcessListController, VanishedExpandedGroupKeepsLiveLookingMembers)
{
    const auto f = freeze({group("A", 3), group("B", 2, {10, 11})}, {group("A", 3)},
                          {QStringLiteral("B")});
    EXPECT_EQ(rowIds(f.order.rows), (Ids{"g:A", "g:B", "m:10", "m:11"}));
    EXPECT_EQ(ghosts(f.order.rows), (Ids{"g:B"}));
}

TEST(ProcessListController, ArrangementChangeOrEmptyListGivesNaturalOrder)
{
    ProcessListController c;
    c.groups = {group("A", 3), group("B", 2)};
    c.items = c.order(false, "cpu|false|").rows;
    c.groups = {group("B", 9), group("A", 3)};
    auto order = c.order(true, "cpu|false|x");
    EXPECT_FALSE(order.frozen);
    EXPECT_EQ(rowIds(order.rows), (Ids{"g:B", "g:A"}));

    ProcessListController empty;
    empty.groups = {group("A", 3)};
    empty.arrangement = "cpu|false|";
    EXPECT_FALSE(empty.order(true, "cpu|false|").frozen);
}

TEST(ProcessListController, CollapseAndExpandDuringHold)
{
    ProcessListController c;
    c.expanded = {QStringLiteral("B")};
    c.groups = {withCpu(group("B", 2, {10, 11}), {1, 2})};
    c.items = c.order(false, "k").rows;

    c.toggle("B");
    c.items = c.order(true, "k").rows;
    EXPECT_EQ(rowIds(c.items), (Ids{"g:B"}));

    // Expanded again mid-hold: all members, new ones too, in natural order.
    c.groups = {withCpu(group("B", 2, {10, 11, 12}), {1, 2, 3})};
    c.toggle("B");
    c.items = c.order(true, "k").rows;
    EXPECT_EQ(rowIds(c.items), (Ids{"g:B", "m:12", "m:11", "m:10"}));
}

TEST(ProcessListController, PendingExpandWaitsForLaunchAndSeveralMembers)
{
    ProcessListController c;
    c.groups = {group("k1", 1, {1}, "Web"), group("k2", 1, {2, 3}, "Web"), group("Web", 1, {4, 5})};
    EXPECT_FALSE(c.expandPending("Web", 6.0));
    EXPECT_TRUE(c.expanded.isEmpty());
    EXPECT_TRUE(c.expandPending("Web", 6.1));
    // Matched by display name, stored by key; one-member groups are passed.
    EXPECT_EQ(c.expanded, QSet<QString>{"k2"});

    ProcessListController single;
    single.groups = {group("k1", 1, {1}, "Solo")};
    EXPECT_FALSE(single.expandPending("Solo", 60));
}

TEST(PlanReconcile, SmallChangesAnimateAndJumpsOrLargeChangesReload)
{
    auto ids = [](int from, int to) {
        Ids list;
        for (int i = from; i < to; ++i)
            list.push_back(QStringLiteral("g:%1").arg(i));
        return list;
    };
    // The anchored row moves from 10 to 14: animated.
    Ids before = ids(0, 20);
    Ids after = before;
    after.erase(after.begin() + 10);
    after.insert(after.begin() + 14, "g:10");
    ReconcilePlan::Anchor anchor{"g:10", 40};
    auto plan = planReconcile(before, after, anchor, true);
    EXPECT_TRUE(plan.changed);
    EXPECT_FALSE(plan.reload);
    EXPECT_FALSE(plan.jumped);

    // From 10 to 15: a jump, reloaded.
    after = before;
    after.erase(after.begin() + 10);
    after.insert(after.begin() + 15, "g:10");
    plan = planReconcile(before, after, anchor, true);
    EXPECT_TRUE(plan.jumped);
    EXPECT_TRUE(plan.reload);

    // 150 removed and 60 inserted: reloaded without a jump.
    plan = planReconcile(ids(0, 160), [&] {
        Ids l = ids(0, 10);
        Ids n = ids(1000, 1060);
        l.insert(l.end(), n.begin(), n.end());
        return l;
    }(), std::nullopt, true);
    EXPECT_EQ(plan.removed.size(), 150u);
    EXPECT_EQ(plan.inserted, 60);
    EXPECT_TRUE(plan.reload);
    EXPECT_FALSE(plan.jumped);

    // A first fill and a change off the list mode reload; equal lists do nothing.
    EXPECT_TRUE(planReconcile({}, ids(0, 3), std::nullopt, true).reload);
    EXPECT_TRUE(planReconcile(ids(0, 3), ids(1, 3), std::nullopt, false).reload);
    EXPECT_FALSE(planReconcile(ids(0, 3), ids(0, 3), anchor, true).changed);
}

TEST(PlanReconcile, AnchoredOriginClampsToRealContentHeight)
{
    ProcessListController c;
    c.expanded = {QStringLiteral("B")};
    c.groups = {group("A", 1), group("B", 1, {1, 2, 3, 4, 5, 6, 7, 8}), group("C", 1)};
    const auto rows = c.natural(); // 3 × 28 + 8 × 24 = 276 pixels
    // C sits at 28 + 28 + 192 = 248; keeping it at 10 asks for 238, but
    // the content ends at 276, so a 100-pixel view stops at 176.
    auto offset = anchoredOrigin(ReconcilePlan::Anchor{"g:C", 10}, rows, 100, 0);
    ASSERT_TRUE(offset);
    EXPECT_DOUBLE_EQ(*offset, 176);
    EXPECT_DOUBLE_EQ(*anchoredOrigin(ReconcilePlan::Anchor{"m:3", 20}, rows, 100, 0), 84);
    // Within half a pixel: no scroll. Unknown ids: none.
    EXPECT_FALSE(anchoredOrigin(ReconcilePlan::Anchor{"g:C", 72.2}, rows, 100, 176));
    EXPECT_FALSE(anchoredOrigin(ReconcilePlan::Anchor{"g:Z", 0}, rows, 100, 0));
    EXPECT_FALSE(anchoredOrigin(std::nullopt, rows, 100, 0));
}

TEST(ProcessListController, FlagsKeepTheWorstSeverityPerGroup)
{
    auto incident = [](std::optional<QString> key, Severity severity) {
        Incident i;
        i.groupKey = std::move(key);
        i.severity = severity;
        return i;
    };
    const auto flags = ProcessListController::flags(
        {incident("A", Severity::warn), incident("A", Severity::critical),
         incident("A", Severity::warn), incident(std::nullopt, Severity::critical),
         incident("B", Severity::warn)});
    EXPECT_EQ(flags.size(), 2);
    EXPECT_EQ(flags.value("A"), Severity::critical);
    EXPECT_EQ(flags.value("B"), Severity::warn);
}
