#pragma once
// The text of the process-status tool: one line per process, "pid time rss",
// with the CPU time as minutes:seconds.hundredths and the resident size in
// KiB, from /proc/PID/stat. The restricted probe runs it in-process on its
// own thread; tavrin-ps prints it. Qt-free so the tool stays small.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class PsProducer {
public:
    // `root` is the tree holding proc/ ("/" on the live system).
    explicit PsProducer(const std::string& root = "/");
    ~PsProducer();
    PsProducer(const PsProducer&) = delete;
    PsProducer& operator=(const PsProducer&) = delete;

    // Every process in pid order; "" when /proc cannot be read. The text is
    // valid until the next call.
    std::string_view poll();

private:
    std::string proc_;
    int procFd_ = -1; // kept open from poll to poll
    uint64_t ticksPerSecond_ = 100;
    uint64_t pageKiB_ = 4;
    std::vector<int32_t> pids_;
    std::string path_, text_, out_;
};
