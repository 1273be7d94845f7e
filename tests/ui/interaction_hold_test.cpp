#include "hold_fixture.h"

#include <QCoreApplication>
#include <QEvent>

#include <memory>
#include <tuple>
#include <vector>

using Reason = InteractionHold::Reason;

namespace {

// Every change of `active`, with the time it happened.
struct ActiveLog {
    ActiveLog(InteractionHold& hold, const ManualScheduler& clock)
    {
        QObject::connect(&hold, &InteractionHold::activeChanged,
                         [this, &clock](bool on) { changes.emplace_back(on, clock.now()); });
    }
    std::vector<std::pair<bool, double>> changes;
};

} // namespace

TEST_F(HoldTest, ReasonReturningWithinTheGraceKeepsTheHoldWithoutRelease)
{
    InteractionHold hold(QStringLiteral("flow"));
    ActiveLog log(hold, clock.scheduler);
    int releases = 0;
    hold.onRelease = [&] { ++releases; };

    hold.set(Reason::pointer, true);
    hold.set(Reason::pointer, true);
    advance(1);
    hold.set(Reason::pointer, false);
    advance(0.3);
    hold.set(Reason::pointer, true);
    advance(0.1);
    // The release first scheduled for 1.5 s was cancelled by the return.
    hold.set(Reason::pointer, false);
    const double off = now();
    advance(0.49);
    EXPECT_TRUE(hold.active());
    EXPECT_EQ(releases, 0);
    advance(0.01);
    EXPECT_FALSE(hold.active());
    EXPECT_EQ(releases, 1);

    ASSERT_EQ(log.changes.size(), 2u);
    EXPECT_EQ(log.changes[0], std::make_pair(true, 0.0));
    EXPECT_FALSE(log.changes[1].first);
    EXPECT_DOUBLE_EQ(log.changes[1].second, off + 0.5);
}

TEST_F(HoldTest, AnyOtherReasonKeepsTheHoldAfterThePointerLeaves)
{
    InteractionHold hold(QStringLiteral("list"));
    hold.set(Reason::pointer, true);
    hold.set(Reason::keyboard, true);
    hold.set(Reason::pointer, false);
    advance(5);
    EXPECT_TRUE(hold.active());

    // Turning off a reason that is off changes nothing and schedules nothing.
    hold.set(Reason::scroll, false);
    EXPECT_EQ(clock.scheduler.pending(), 0u);

    hold.set(Reason::keyboard, false);
    advance(0.5);
    EXPECT_FALSE(hold.active());
}

TEST_F(HoldTest, BurstOfPulsesEndsAfterTheLastOne)
{
    InteractionHold hold(QStringLiteral("list"));
    hold.pulse(Reason::scroll, 0.2);
    advance(0.1);
    hold.pulse(Reason::scroll, 0.2);
    advance(0.15);
    // The first pulse's expiry has passed and did nothing.
    EXPECT_TRUE(hold.holdsReason(Reason::scroll));
    advance(0.05);
    EXPECT_FALSE(hold.holdsReason(Reason::scroll));
    EXPECT_TRUE(hold.active());
    advance(0.5);
    EXPECT_FALSE(hold.active());
}

TEST_F(HoldTest, ReasonTurnedOffBeforeItsPulseExpires)
{
    InteractionHold hold(QStringLiteral("list"));
    int releases = 0;
    hold.onRelease = [&] { ++releases; };
    hold.pulse(Reason::keyboard, 2.0);
    advance(0.5);
    hold.set(Reason::keyboard, false);
    EXPECT_FALSE(hold.holdsReason(Reason::keyboard));
    advance(0.5);
    EXPECT_FALSE(hold.active());
    advance(5);
    EXPECT_EQ(releases, 1);

    // A pulse of one reason does not cut short a pulse of another.
    hold.pulse(Reason::transition, 0.4);
    hold.pulse(Reason::keyboard, 0.1);
    advance(0.3);
    EXPECT_TRUE(hold.holdsReason(Reason::transition));
    EXPECT_FALSE(hold.holdsReason(Reason::keyboard));
}

TEST_F(HoldTest, ReleaseClearsFieldsBeforeOnReleaseOncePerRelease)
{
    InteractionHold hold(QStringLiteral("list"));
    std::vector<std::tuple<bool, bool, int>> seen;
    hold.onRelease = [&] { seen.emplace_back(hold.active(), hold.stale(), hold.withheld()); };

    hold.set(Reason::pointer, true);
    std::vector<QString> rows{QStringLiteral("a"), QStringLiteral("b")};
    auto self = [](const QString& s) { return s; };
    hold.arrange(rows, QStringLiteral(""), 0, false, false, self);
    hold.arrange(std::vector<QString>{QStringLiteral("b"), QStringLiteral("c")},
                 QStringLiteral(""), 0, false, false, self);
    advance(0);
    ASSERT_TRUE(hold.stale());
    ASSERT_EQ(hold.withheld(), 1);

    int staleSignals = 0;
    QObject::connect(&hold, &InteractionHold::staleChanged, [&] { ++staleSignals; });
    hold.set(Reason::pointer, false);
    advance(0.5);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], std::make_tuple(false, false, 0));
    EXPECT_EQ(staleSignals, 1);

    hold.pulse(Reason::scroll, 0.2);
    advance(1);
    EXPECT_EQ(seen.size(), 2u);
}

TEST_F(HoldTest, PendingActionsOutliveTheHoldHarmlessly)
{
    auto hold = std::make_unique<InteractionHold>(QStringLiteral("list"));
    int releases = 0;
    hold->onRelease = [&] { ++releases; };
    hold->pulse(Reason::scroll, 0.2);
    hold->set(Reason::pointer, true);
    hold->set(Reason::pointer, false);
    hold.reset();
    advance(2);
    EXPECT_EQ(releases, 0);
}

TEST_F(HoldTest, HoverOverAWatchedObjectHoldsThePointer)
{
    int argc = 1;
    char name[] = "test_ui";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);

    InteractionHold hold(QStringLiteral("ports"));
    QObject rows, header;
    hold.holds(&rows);
    hold.holds(&header);

    QEvent enter(QEvent::Enter), leave(QEvent::Leave);
    QCoreApplication::sendEvent(&rows, &enter);
    EXPECT_TRUE(hold.holdsReason(Reason::pointer));
    QCoreApplication::sendEvent(&rows, &leave);
    EXPECT_TRUE(hold.active());
    advance(0.5);
    EXPECT_FALSE(hold.active());

    QCoreApplication::sendEvent(&header, &enter);
    EXPECT_TRUE(hold.active());
}

TEST_F(HoldTest, SimulatedHoverBlocksOnlyTurningThePointerOn)
{
    InteractionHold hold(QStringLiteral("flow"));
    hold.set(Reason::pointer, true);

    Defaults::setArguments({QStringLiteral("-simulateHoverBubble"), QStringLiteral("1")});
    InteractionHold::resetProcessValues();
    EXPECT_TRUE(InteractionHold::simulating());

    hold.set(Reason::pointer, false);
    advance(0.5);
    EXPECT_FALSE(hold.active());

    hold.set(Reason::pointer, true);
    EXPECT_FALSE(hold.active());
    EXPECT_EQ(clock.scheduler.pending(), 0u);

    // Other reasons are not affected.
    hold.set(Reason::keyboard, true);
    EXPECT_TRUE(hold.active());
}

TEST_F(HoldTest, SimulateHoverNamesHoldsExactly)
{
    Defaults::setArguments({QStringLiteral("-simulateHover"), QStringLiteral("list,flow")});
    EXPECT_TRUE(InteractionHold(QStringLiteral("list")).active());
    EXPECT_TRUE(InteractionHold(QStringLiteral("flow")).active());
    EXPECT_FALSE(InteractionHold(QStringLiteral("ports")).active());

    Defaults::setArguments({QStringLiteral("-simulateHover"), QStringLiteral("list, flow,,Ports")});
    EXPECT_TRUE(InteractionHold(QStringLiteral("list")).active());
    EXPECT_FALSE(InteractionHold(QStringLiteral("flow")).active());
    EXPECT_FALSE(InteractionHold(QStringLiteral("ports")).active());

    // Simulating, the pointer neither adds to nor ends a simulated hold.
    InteractionHold list(QStringLiteral("list"));
    list.set(Reason::pointer, true);
    list.set(Reason::pointer, false);
    advance(60);
    EXPECT_TRUE(list.active());
}

TEST_F(HoldTest, SimulateHoverUntilCountsFromLaunch)
{
    Defaults::setArguments({QStringLiteral("-simulateHover"), QStringLiteral("list,flow"),
                            QStringLiteral("-simulateHoverUntil"), QStringLiteral("30")});
    advance(10);
    InteractionHold list(QStringLiteral("list"));
    EXPECT_DOUBLE_EQ(InteractionHold::launch(), 10);
    advance(5);
    InteractionHold ports(QStringLiteral("ports"));
    EXPECT_EQ(clock.scheduler.pending(), 1u);

    advance(24.9);
    EXPECT_TRUE(list.holdsReason(Reason::simulated));
    advance(0.1);
    EXPECT_FALSE(list.holdsReason(Reason::simulated));
    EXPECT_TRUE(list.active());
    advance(0.5);
    EXPECT_FALSE(list.active());

    // Created after the moment has passed: ends at once, releases 0.5 s on.
    InteractionHold flow(QStringLiteral("flow"));
    EXPECT_TRUE(flow.active());
    advance(0);
    EXPECT_FALSE(flow.holdsReason(Reason::simulated));
    advance(0.5);
    EXPECT_FALSE(flow.active());
}
