#pragma once
// CPU and memory of the processes we may not read ourselves, from the
// process-status listing every two seconds on a thread of its own.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

class PsProducer;
class SerialQueue;

class RestrictedProbe {
public:
    using Usage = std::unordered_map<int32_t, std::pair<double, uint64_t>>;

    // One parsed output line.
    struct Line {
        int32_t pid = 0;
        double seconds = 0;
        uint64_t rssKiB = 0;
    };

    // The listing runs in-process over `root`'s /proc ("/" on the live
    // system), which spares a tool's start every two seconds; tavrin-ps
    // prints the same text.
    explicit RestrictedProbe(const std::string& root = "/");
    ~RestrictedProbe();
    RestrictedProbe(const RestrictedProbe&) = delete;
    RestrictedProbe& operator=(const RestrictedProbe&) = delete;

    // Starts the "tavrin.ps" thread: one poll at once, then every 2 s.
    void start();

    // Turns one listing taken at `now` (uptime seconds) into the next
    // `latest`. Called by the thread; tests call it directly.
    void update(std::string_view output, double now);

    // "pid time rss" with runs of blanks; nothing for a malformed line.
    static std::optional<Line> parseLine(std::string_view line);
    // "1:02.50", "12:03:04" or procps' "[DD-]HH:MM:SS" in seconds.
    static double parseTime(std::string_view text);

    std::mutex lock;
    Usage latest;

private:
    void poll();

    std::unique_ptr<PsProducer> producer_;
    std::unordered_map<int32_t, double> prevSeconds;
    double prevTime = 0;

    // Declared last: stopped first, before what its polls use goes away.
    std::unique_ptr<SerialQueue> queue_;
};
