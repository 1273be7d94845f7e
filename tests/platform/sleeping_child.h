#pragma once
// A real child process, `sleep 30`, for the tests that signal processes:
// killed and reaped when the test ends, whatever it did to it.

#include "platform/process_signals.h"

#include <chrono>
#include <csignal>
#include <cstdint>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

class SleepingChild {
public:
    SleepingChild()
    {
        char sleep[] = "sleep";
        char seconds[] = "30";
        char* argv[] = {sleep, seconds, nullptr};
        if (::posix_spawnp(&pid_, "sleep", nullptr, nullptr, argv, environ) != 0)
            pid_ = 0;
    }
    ~SleepingChild()
    {
        if (pid_ > 0 && !reaped_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    SleepingChild(const SleepingChild&) = delete;
    SleepingChild& operator=(const SleepingChild&) = delete;

    int32_t pid() const { return pid_; }

    // Waits until the kernel reports the state; the last one seen. The
    // bound only stops a hang: a busy machine may take its time.
    char waitForState(char wanted) const
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        char state = '?';
        for (;;) {
            const auto now = ProcessSignals::readState(pid_);
            state = now ? now->state : '?';
            if (state == wanted || std::chrono::steady_clock::now() > until)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return state;
    }

    // Whether the child ended within the given time (it is reaped here).
    bool ended(std::chrono::milliseconds within = std::chrono::seconds(60))
    {
        const auto until = std::chrono::steady_clock::now() + within;
        for (;;) {
            if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
                reaped_ = true;
                return true;
            }
            if (std::chrono::steady_clock::now() > until)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

private:
    pid_t pid_ = 0;
    bool reaped_ = false;
};
