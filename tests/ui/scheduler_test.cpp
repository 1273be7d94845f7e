#include "ui/scheduler.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

TEST(ManualScheduler, RunsDueActionsInDeadlineOrderFirstInFirstOut)
{
    ManualScheduler s;
    std::vector<int> ran;
    s.after(0.3, nullptr, [&] { ran.push_back(3); });
    s.after(0.1, nullptr, [&] { ran.push_back(1); });
    s.after(0.1, nullptr, [&] { ran.push_back(2); });
    s.after(0.5, nullptr, [&] { ran.push_back(5); });

    s.advance(0.3);
    EXPECT_EQ(ran, (std::vector<int>{1, 2, 3}));
    EXPECT_DOUBLE_EQ(s.now(), 0.3);
    EXPECT_EQ(s.pending(), 1u);

    // Sums of decimal steps still reach decimal deadlines.
    s.advance(0.1);
    s.advance(0.1);
    EXPECT_EQ(ran.back(), 5);
}

TEST(ManualScheduler, ActionsScheduledWhileAdvancingRunWhenTheyFallDue)
{
    ManualScheduler s;
    std::vector<std::pair<int, double>> ran;
    s.after(0.2, nullptr, [&] {
        ran.emplace_back(1, s.now());
        s.after(0, nullptr, [&] { ran.emplace_back(2, s.now()); });
        s.after(0.2, nullptr, [&] { ran.emplace_back(3, s.now()); });
        s.after(1.0, nullptr, [&] { ran.emplace_back(4, s.now()); });
    });
    s.after(0.3, nullptr, [&] { ran.emplace_back(5, s.now()); });

    s.advance(0.5);
    ASSERT_EQ(ran.size(), 4u);
    EXPECT_EQ(ran[0], std::make_pair(1, 0.2));
    EXPECT_EQ(ran[1], std::make_pair(2, 0.2));
    EXPECT_EQ(ran[2].first, 5);
    EXPECT_EQ(ran[3].first, 3);
    EXPECT_DOUBLE_EQ(ran[3].second, 0.4);
    EXPECT_EQ(s.pending(), 1u);

    // No delay, a negative one or not a number: the next turn, never earlier.
    int soon = 0;
    s.after(-1, nullptr, [&] { ++soon; });
    s.after(std::nan(""), nullptr, [&] { ++soon; });
    EXPECT_EQ(soon, 0);
    s.runPending();
    EXPECT_EQ(soon, 2);
}

TEST(ManualScheduler, DropsActionsWhoseContextIsGone)
{
    ManualScheduler s;
    int ran = 0;
    auto context = std::make_unique<QObject>();
    QObject kept;
    s.after(0.1, context.get(), [&] { ++ran; });
    s.after(0.1, &kept, [&] { ran += 10; });
    context.reset();
    s.advance(1);
    EXPECT_EQ(ran, 10);
    EXPECT_EQ(s.pending(), 0u);
}

TEST(MainScheduler, RunsOnTheEventLoopAndHonoursTheContext)
{
    int argc = 1;
    char name[] = "test_ui";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);

    MainScheduler s;
    const double start = s.now();
    std::vector<int> ran;
    auto gone = std::make_unique<QObject>();
    QEventLoop loop;
    s.after(0, nullptr, [&] { ran.push_back(0); });
    s.after(0.01, gone.get(), [&] { ran.push_back(1); });
    s.after(0.02, &loop, [&] {
        ran.push_back(2);
        loop.quit();
    });
    gone.reset();
    // Only a safety net against a hang; the action above ends the loop.
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    loop.exec();

    EXPECT_EQ(ran, (std::vector<int>{0, 2}));
    EXPECT_GE(s.now() - start, 0.02);
}
