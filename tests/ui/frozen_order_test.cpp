#include "hold_fixture.h"

#include "core/records.h"

#include <vector>

using Reason = InteractionHold::Reason;

namespace {

struct Row {
    QString id;
    int value = 0;
    bool operator==(const Row&) const = default;
};

std::vector<Row> rows(std::initializer_list<std::pair<const char*, int>> items)
{
    std::vector<Row> out;
    for (auto [id, value] : items)
        out.push_back({QString::fromLatin1(id), value});
    return out;
}

QString ids(const std::vector<Row>& list)
{
    QString out;
    for (const Row& row : list)
        out += row.id;
    return out;
}

const QString Slot = QStringLiteral("slot");

} // namespace

class FrozenOrder : public HoldTest {
protected:
    std::vector<Row> arrange(const std::vector<Row>& live, int revision = 0, bool keepMissing = true,
                             bool appendNew = true, const QString& slot = Slot)
    {
        return hold.arrange(live, slot, revision, keepMissing, appendNew,
                            [](const Row& r) { return r.id; });
    }
    bool departed(const char* id, const QString& slot = Slot) const
    {
        return hold.departed(QString::fromLatin1(id), slot);
    }

    InteractionHold hold{QStringLiteral("domains")};
};

TEST_F(FrozenOrder, InactiveHoldPassesLiveRowsAndRecordsThem)
{
    auto live = rows({{"B", 1}, {"A", 2}});
    EXPECT_EQ(arrange(live), live);
    EXPECT_EQ(arrange(rows({{"C", 1}, {"A", 2}})), rows({{"C", 1}, {"A", 2}}));
    EXPECT_FALSE(departed("B"));
    advance(0);
    EXPECT_FALSE(hold.stale());
    EXPECT_EQ(hold.withheld(), 0);
}

TEST_F(FrozenOrder, ActiveHoldKeepsOrderWithFreshValuesAndPublishesLater)
{
    arrange(rows({{"A", 1}, {"B", 2}, {"C", 3}}));
    hold.set(Reason::pointer, true);
    auto shown = arrange(rows({{"B", 20}, {"A", 10}, {"C", 30}}));
    EXPECT_EQ(shown, rows({{"A", 10}, {"B", 20}, {"C", 30}}));
    EXPECT_FALSE(hold.stale());
    advance(0);
    EXPECT_TRUE(hold.stale());

    // Back in the frozen order: no longer stale.
    arrange(rows({{"A", 1}, {"B", 2}, {"C", 3}}));
    advance(0);
    EXPECT_FALSE(hold.stale());
}

TEST_F(FrozenOrder, ChangedRevisionTakesTheLiveOrderAtOnce)
{
    arrange(rows({{"A", 1}, {"B", 2}}), 1);
    hold.set(Reason::pointer, true);
    EXPECT_EQ(ids(arrange(rows({{"B", 1}, {"A", 2}}), 2)), "BA");
    EXPECT_EQ(ids(arrange(rows({{"A", 1}, {"B", 2}}), 2)), "BA");
    // Revisions of another type never match.
    EXPECT_EQ(ids(hold.arrange(rows({{"A", 1}, {"B", 2}}), Slot, QStringLiteral("2"), true, true,
                               [](const Row& r) { return r.id; })),
              "AB");
}

TEST_F(FrozenOrder, KeptRowsStayAsDepartedAndReturnLive)
{
    arrange(rows({{"A", 1}, {"B", 2}, {"C", 3}}));
    hold.set(Reason::pointer, true);
    arrange(rows({{"A", 1}, {"B", 5}, {"C", 3}}));

    EXPECT_EQ(arrange(rows({{"C", 4}, {"A", 2}})), rows({{"A", 2}, {"B", 5}, {"C", 4}}));
    EXPECT_TRUE(departed("B"));
    EXPECT_FALSE(departed("A"));
    EXPECT_FALSE(departed("B", QStringLiteral("other")));

    EXPECT_EQ(arrange(rows({{"B", 9}, {"C", 4}, {"A", 2}})), rows({{"A", 2}, {"B", 9}, {"C", 4}}));
    EXPECT_FALSE(departed("B"));

    // Everything gone: every row comes back from its last values.
    EXPECT_EQ(arrange({}), rows({{"A", 2}, {"B", 9}, {"C", 4}}));
    EXPECT_TRUE(departed("A") && departed("B") && departed("C"));
    advance(0);
    EXPECT_TRUE(hold.stale());
}

TEST_F(FrozenOrder, WithoutKeepMissingRowsLeaveAndNewOnesAreWithheld)
{
    arrange(rows({{"A", 1}, {"B", 2}, {"C", 3}}), 0, false, false);
    hold.set(Reason::pointer, true);
    EXPECT_EQ(ids(arrange(rows({{"D", 0}, {"C", 3}, {"A", 1}}), 0, false, false)), "AC");
    EXPECT_FALSE(departed("B"));
    advance(0);
    EXPECT_EQ(hold.withheld(), 1);
    EXPECT_TRUE(hold.stale());

    // B coming back after it was dropped counts as new.
    EXPECT_EQ(ids(arrange(rows({{"B", 2}, {"E", 0}, {"D", 0}, {"A", 1}}), 0, false, false)), "A");
    advance(0);
    EXPECT_EQ(hold.withheld(), 3);
    arrange(rows({{"A", 1}, {"E", 0}}), 0, false, false);
    advance(0);
    EXPECT_EQ(hold.withheld(), 1);
}

TEST_F(FrozenOrder, AppendedRowsKeepTheirPlaceAtTheEnd)
{
    arrange(rows({{"A", 1}, {"B", 2}}));
    hold.set(Reason::pointer, true);
    EXPECT_EQ(ids(arrange(rows({{"D", 1}, {"B", 2}, {"C", 3}, {"A", 4}}))), "ABDC");
    EXPECT_EQ(ids(arrange(rows({{"C", 1}, {"D", 2}, {"A", 3}, {"B", 4}}))), "ABDC");
    // A new row that leaves again is kept from its last values.
    EXPECT_EQ(arrange(rows({{"A", 1}, {"B", 2}, {"C", 3}})),
              rows({{"A", 1}, {"B", 2}, {"D", 2}, {"C", 3}}));
    EXPECT_TRUE(departed("D"));
}

TEST_F(FrozenOrder, SlotsAddUpAndReleaseStartsOver)
{
    const QString other = QStringLiteral("other");
    arrange(rows({{"A", 1}}), 0, true, false);
    arrange(rows({{"X", 1}}), 0, true, false, other);
    hold.set(Reason::pointer, true);
    arrange(rows({{"A", 1}, {"B", 1}}), 0, true, false);
    arrange(rows({{"Y", 1}, {"X", 1}, {"Z", 1}}), 0, true, false, other);
    advance(0);
    EXPECT_EQ(hold.withheld(), 3);

    hold.set(Reason::pointer, false);
    advance(0.5);
    EXPECT_EQ(hold.withheld(), 0);
    EXPECT_FALSE(hold.stale());

    // Inactive: a stale arrangement publishes nothing.
    arrange(rows({{"B", 1}, {"A", 1}}));
    advance(0);
    EXPECT_FALSE(hold.stale());

    // The next freeze holds the order recorded after the release.
    hold.set(Reason::pointer, true);
    EXPECT_EQ(ids(arrange(rows({{"A", 1}, {"B", 1}}))), "BA");
}

TEST_F(FrozenOrder, PublicationIsDroppedWhenTheHoldReleasesFirst)
{
    arrange(rows({{"A", 1}, {"B", 2}}));
    hold.set(Reason::pointer, true);
    // Arranged in the same turn as the release, published just after it.
    clock.scheduler.after(0.5, nullptr, [&] { arrange(rows({{"B", 1}, {"A", 2}})); });
    hold.set(Reason::pointer, false);
    advance(0.5);
    EXPECT_FALSE(hold.active());
    EXPECT_FALSE(hold.stale());
}

TEST_F(FrozenOrder, DuplicateIdentitiesShowTheFirstRow)
{
    arrange(rows({{"A", 1}, {"B", 2}}));
    hold.set(Reason::pointer, true);
    EXPECT_EQ(arrange(rows({{"B", 7}, {"A", 1}, {"B", 8}})), rows({{"A", 1}, {"B", 7}}));
}

TEST_F(FrozenOrder, ProcessIdentitiesAreTheirOwnType)
{
    std::vector<ProcSample> procs(3);
    procs[0].pid = 30;
    procs[1].pid = 10;
    procs[2].pid = 20;
    auto pid = [](const ProcSample& p) { return p.pid; };
    const QString members = QStringLiteral("members");
    hold.arrange(procs, members, 0, true, true, pid);
    hold.set(Reason::pointer, true);

    std::vector<ProcSample> now{procs[2], procs[0]};
    auto shown = hold.arrange(now, members, 0, true, true, pid);
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[1].pid, 10);
    EXPECT_TRUE(hold.departed(int32_t(10), members));
    EXPECT_FALSE(hold.departed(QStringLiteral("10"), members));
}
