#pragma once
// The text of the process-status tool: one line per process, "pid time rss",
// with the CPU time as minutes:seconds.hundredths and the resident size in
// KiB, from /proc/PID/stat. The restricted probe runs it in-process on its
// own thread; tavrin-ps prints it. Qt-free so the tool stays small.

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class PsProducer {
public:
    enum class Scope {
        // Every process, as the command-line tool prints.
        everyProcess,
        // Only processes whose io counters we may not read: the only ones
        // the restricted reading is used for. A process found readable is
        // not read again while its owner stays the same, but for a check
        // every eighth poll (staggered by pid), so an idle machine's
        // hundreds of readable processes cost one stat call each.
        unreadableOnly,
    };

    // `root` is the tree holding proc/ ("/" on the live system).
    explicit PsProducer(const std::string& root = "/", Scope scope = Scope::everyProcess);
    ~PsProducer();
    PsProducer(const PsProducer&) = delete;
    PsProducer& operator=(const PsProducer&) = delete;

    // Every process in pid order; "" when /proc cannot be read. The text is
    // valid until the next call.
    std::string_view poll();

private:
    // Whether the io counters of pid need the listing; unreadableOnly only.
    bool wanted(int32_t pid);

    struct Known {
        uint32_t uid = 0;
        bool readable = false;
    };

    Scope scope_;
    uint64_t round_ = 0;
    std::unordered_map<int32_t, Known> known_;
    std::string proc_;
    int procFd_ = -1; // kept open from poll to poll
    uint64_t ticksPerSecond_ = 100;
    uint64_t pageKiB_ = 4;
    std::vector<int32_t> pids_;
    std::string path_, text_, out_;
};
