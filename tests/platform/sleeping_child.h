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

    // Waits (bounded) until the kernel reports the state; the last one seen.
    char waitForState(char wanted) const
    {
        char state = '?';
        for (int i = 0; i < 400; ++i) {
            const auto now = ProcessSignals::readState(pid_);
            state = now ? now->state : '?';
            if (state == wanted)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return state;
    }

    // Whether the child ended within a generous bound (it is reaped here).
    bool ended(int tries = 400)
    {
        for (int i = 0; i < tries; ++i) {
            if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
                reaped_ = true;
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }

private:
    pid_t pid_ = 0;
    bool reaped_ = false;
};
