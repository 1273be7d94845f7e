#include "platform/serial_queue.h"

#include <pthread.h>

SerialQueue::SerialQueue(std::string name)
    : name_(std::move(name))
    , thread_([this] { run(); })
{
}

SerialQueue::~SerialQueue()
{
    {
        std::lock_guard guard(lock_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void SerialQueue::async(std::function<void()> task)
{
    {
        std::lock_guard guard(lock_);
        tasks_.push_back(std::move(task));
    }
    wake_.notify_all();
}

void SerialQueue::startTimer(std::chrono::milliseconds interval, std::function<void()> tick)
{
    {
        std::lock_guard guard(lock_);
        tick_ = std::move(tick);
        interval_ = interval;
        due_ = std::chrono::steady_clock::now();
    }
    wake_.notify_all();
}

std::chrono::steady_clock::time_point SerialQueue::nextDue(std::chrono::steady_clock::time_point due,
                                                           std::chrono::steady_clock::time_point now,
                                                           std::chrono::milliseconds interval)
{
    if (interval.count() <= 0)
        return now;
    if (due > now)
        return due;
    const auto missed = (now - due) / interval; // whole intervals already past
    return due + (missed + 1) * interval;
}

void SerialQueue::run()
{
    // Thread names are limited to 15 characters.
    pthread_setname_np(pthread_self(), name_.substr(0, 15).c_str());
    std::unique_lock guard(lock_);
    for (;;) {
        if (stopping_)
            return;
        if (!tasks_.empty()) {
            auto task = std::move(tasks_.front());
            tasks_.pop_front();
            guard.unlock();
            task();
            guard.lock();
            continue;
        }
        if (tick_) {
            const auto now = std::chrono::steady_clock::now();
            if (now >= due_) {
                due_ = nextDue(due_, now, interval_);
                auto tick = tick_;
                guard.unlock();
                tick();
                guard.lock();
                continue;
            }
            wake_.wait_until(guard, due_);
        } else {
            wake_.wait(guard);
        }
    }
}
