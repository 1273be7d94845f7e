#include "model/event_loop_wait.h"
#include "platform/boot_timer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include <gtest/gtest.h>

#include <memory>

// Waits run in deadline order on the loop, a past deadline runs on a later
// turn rather than at once, and a gone context takes its wait with it.
TEST(BootTimer, RunsAtItsDeadlineAndNeverForAGoneContext)
{
    QObject context;
    std::vector<int> order;
    const double start = BootTimer::now();
    // A deadline already past is due from the moment it is asked for, so
    // it is asked for first: on a busy machine the later calls may come
    // after start + 0.04 has passed too.
    BootTimer::at(start - 5, &context, [&] { order.push_back(0); });
    BootTimer::at(start + 0.12, &context, [&] { order.push_back(2); });
    BootTimer::at(start + 0.04, &context, [&] { order.push_back(1); });
    EXPECT_TRUE(order.empty()) << "nothing runs inside the call";
    auto gone = std::make_unique<QObject>();
    bool ranForGone = false;
    BootTimer::at(start + 0.02, gone.get(), [&] { ranForGone = true; });
    gone.reset();

    ASSERT_TRUE(waitFor([&] { return order.size() == 3; }));
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
    EXPECT_GE(BootTimer::now() - start, 0.12);
    EXPECT_FALSE(ranForGone);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(context.findChildren<QObject*>().isEmpty()) << "each wait lets go of its timer";
}
