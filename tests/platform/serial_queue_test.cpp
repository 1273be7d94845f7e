#include "platform/serial_queue.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <pthread.h>
#include <vector>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(SerialQueue, AnOverrunTickIsNotMadeUp)
{
    const Clock::time_point t0{};
    // On time: the next deadline is one interval on.
    EXPECT_EQ(SerialQueue::nextDue(t0, t0, 1000ms), t0 + 1000ms);
    EXPECT_EQ(SerialQueue::nextDue(t0, t0 + 20ms, 1000ms), t0 + 1000ms);
    // A tick that started 1.5 s late (its predecessor overran): the missed
    // deadline at 1 s is not repeated; the schedule goes on at 2 s.
    EXPECT_EQ(SerialQueue::nextDue(t0, t0 + 1500ms, 1000ms), t0 + 2000ms);
    EXPECT_EQ(SerialQueue::nextDue(t0, t0 + 3000ms, 1000ms), t0 + 4000ms);
    EXPECT_EQ(SerialQueue::nextDue(t0 + 5s, t0, 1000ms), t0 + 5s);
    EXPECT_EQ(SerialQueue::nextDue(t0, t0 + 7ms, 0ms), t0 + 7ms);
}

TEST(SerialQueue, RunsTasksInOrderOnItsOwnNamedThread)
{
    std::mutex lock;
    std::condition_variable done;
    std::vector<int> order;
    std::string name;
    {
        SerialQueue queue("tavrin.test");
        for (int i = 0; i < 50; ++i)
            queue.async([&, i] {
                std::lock_guard guard(lock);
                order.push_back(i);
                if (i == 0) {
                    char buf[32] = {};
                    pthread_getname_np(pthread_self(), buf, sizeof buf);
                    name = buf;
                }
                done.notify_all();
            });
        std::unique_lock guard(lock);
        ASSERT_TRUE(done.wait_for(guard, 10s, [&] { return order.size() == 50; }));
    }
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(order[i], i);
    EXPECT_EQ(name, "tavrin.test");
}

TEST(SerialQueue, FirstTickAtOnceAndStopsOnDestruction)
{
    std::atomic<int> ticks{0};
    std::mutex lock;
    std::condition_variable ticked;
    {
        SerialQueue queue("tavrin.test");
        queue.startTimer(10s, [&] {
            ++ticks;
            ticked.notify_all();
        });
        std::unique_lock guard(lock);
        ASSERT_TRUE(ticked.wait_for(guard, 5s, [&] { return ticks.load() >= 1; }));
    }
    // Destruction does not wait ten seconds for the next tick.
    EXPECT_EQ(ticks.load(), 1);
}
