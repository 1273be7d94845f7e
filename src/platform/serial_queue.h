#pragma once
// A serial queue: one named thread that runs posted tasks in order, and at
// most one repeating timer whose ticks run on the same thread between them.
// Ticks keep to a fixed schedule; deadlines missed while a tick overran are
// coalesced into one late tick, never made up one by one.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

class SerialQueue {
public:
    explicit SerialQueue(std::string name);
    // Runs nothing more: waits for the task in progress, drops the rest.
    ~SerialQueue();
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    void async(std::function<void()> task);
    // First tick at once, then every `interval`. Replaces an earlier timer.
    void startTimer(std::chrono::milliseconds interval, std::function<void()> tick);

    // The deadline after a tick that starts at `now` for deadline `due`:
    // the first point of the schedule after `now`.
    static std::chrono::steady_clock::time_point nextDue(std::chrono::steady_clock::time_point due,
                                                         std::chrono::steady_clock::time_point now,
                                                         std::chrono::milliseconds interval);

    // True on the queue's own thread.
    bool isCurrent() const { return std::this_thread::get_id() == thread_.get_id(); }

private:
    void run();

    const std::string name_;
    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> tasks_;
    std::function<void()> tick_;
    std::chrono::milliseconds interval_{0};
    std::chrono::steady_clock::time_point due_;
    bool stopping_ = false;
    std::thread thread_;
};
