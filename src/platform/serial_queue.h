#pragma once
// A serial queue: one named thread that runs posted tasks in order, and at
// most one repeating timer whose ticks run on the same thread between them.
// A tick that overruns its interval is not made up: the next one is due one
// interval after the missed deadline, or at once, whichever is later.

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
