#pragma once
// Runs this process out of descriptors for the life of a scope: the soft
// limit drops to the lowest free descriptor number, so every open, socket
// or accept fails with EMFILE until it is restored.

#include <cerrno>
#include <sys/resource.h>
#include <unistd.h>

class NoDescriptorsLeft {
public:
    NoDescriptorsLeft()
    {
        ::getrlimit(RLIMIT_NOFILE, &saved_);
        const int next = ::dup(0);
        if (next < 0)
            return;
        ::close(next);
        rlimit lowered = saved_;
        lowered.rlim_cur = rlim_t(next);
        ok_ = ::setrlimit(RLIMIT_NOFILE, &lowered) == 0 && ::dup(0) < 0 && errno == EMFILE;
    }
    ~NoDescriptorsLeft() { restore(); }
    NoDescriptorsLeft(const NoDescriptorsLeft&) = delete;
    NoDescriptorsLeft& operator=(const NoDescriptorsLeft&) = delete;

    // False where the limit could not be lowered.
    bool ok() const { return ok_; }
    void restore() const { ::setrlimit(RLIMIT_NOFILE, &saved_); }

private:
    rlimit saved_{};
    bool ok_ = false;
};
