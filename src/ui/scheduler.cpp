#include "ui/scheduler.h"

#include "platform/uptime.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>

namespace {

Scheduler* installed = nullptr;
std::uint64_t installCount = 0;

// Slack for deadlines reached through sums of decimal steps (0.1 + 0.2).
constexpr double deadlineSlack = 1e-9;

// Not a number and anything below zero mean "as soon as possible"; an
// infinite delay never comes due.
double delayOf(double seconds)
{
    return seconds > 0 ? seconds : 0;
}

} // namespace

Scheduler& Scheduler::current()
{
    static MainScheduler main;
    return installed ? *installed : main;
}

void Scheduler::install(Scheduler* scheduler)
{
    installed = scheduler;
    ++installCount;
}

std::uint64_t Scheduler::installs()
{
    return installCount;
}

double MainScheduler::now() const
{
    return uptime();
}

void MainScheduler::after(double seconds, QObject* context, std::function<void()> action)
{
    const double delay = delayOf(seconds);
    if (std::isinf(delay))
        return;
    // An unguarded action still needs a receiver on the main thread.
    QObject* receiver = context ? context : QCoreApplication::instance();
    // Rounded up so that an action never runs before its deadline.
    const double ms = std::ceil(delay * 1000);
    if (ms <= INT_MAX) {
        QTimer::singleShot(static_cast<int>(ms), Qt::PreciseTimer, receiver, std::move(action));
        return;
    }
    // Longer than one timer can wait (about 24 days): wait in turns. The
    // receiver guards each turn, so the context is alive when it re-arms.
    const double rest = delay - INT_MAX / 1000.0;
    QTimer::singleShot(INT_MAX, Qt::PreciseTimer, receiver,
                       [this, rest, context, action = std::move(action)]() mutable {
                           after(rest, context, std::move(action));
                       });
}

void ManualScheduler::after(double seconds, QObject* context, std::function<void()> action)
{
    queue_.push_back(Entry{now_ + delayOf(seconds), nextOrder_++, context != nullptr,
                           QPointer<QObject>(context), std::move(action)});
}

void ManualScheduler::advance(double seconds)
{
    const double target = now_ + delayOf(seconds);
    for (;;) {
        auto next = queue_.end();
        for (auto it = queue_.begin(); it != queue_.end(); ++it) {
            if (it->deadline > target + deadlineSlack)
                continue;
            if (next == queue_.end() || it->deadline < next->deadline
                || (it->deadline == next->deadline && it->order < next->order))
                next = it;
        }
        if (next == queue_.end())
            break;
        Entry entry = std::move(*next);
        queue_.erase(next);
        now_ = std::max(now_, entry.deadline);
        if (!entry.guarded || entry.context)
            entry.action();
    }
    now_ = std::max(now_, target);
}
