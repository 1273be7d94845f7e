#pragma once
// Parsers of the kernel's /proc text. Pure functions of the text; Qt-free so
// the stand-in tools share them.

#include <cstdint>
#include <optional>
#include <utility>
#include <string>
#include <string_view>
#include <vector>

namespace ProcParse {

// Kernel threads carry this bit in the flags field of /proc/PID/stat.
constexpr uint32_t kernelThreadFlag = 0x00200000;

// The fields of /proc/PID/stat that we use.
struct PidStat {
    int32_t pid = 0;
    std::string comm;
    char state = '?';
    int32_t ppid = 0;
    uint32_t flags = 0;
    uint64_t minFaults = 0, majFaults = 0;
    uint64_t utime = 0, stime = 0; // clock ticks
    int64_t threads = 0;
    uint64_t startTime = 0;        // clock ticks after boot
    uint64_t rssPages = 0;
};

// The name may hold spaces and parentheses; it runs to the last ')'.
std::optional<PidStat> pidStat(std::string_view text);

// One processor's counters from /proc/stat, folded into four: user, nice,
// system (system + irq + softirq + steal) and idle (idle + iowait).
struct CpuTicks {
    int id = 0;
    uint64_t user = 0, nice = 0, system = 0, idle = 0;
};

struct Stat {
    std::vector<CpuTicks> cores; // "cpuN" lines in file order; offline cores are absent
    std::optional<uint64_t> bootTime; // btime, seconds since 1970
};

Stat stat(std::string_view text);

// /proc/PID/statm: (resident, shared) in pages.
std::optional<std::pair<uint64_t, uint64_t>> statm(std::string_view text);

// "Name:   1234 kB" style fields (meminfo, status); kB becomes bytes.
std::optional<uint64_t> kbField(std::string_view text, std::string_view field);

// A "name: value" or "name value" decimal field (io, status, cpuinfo).
std::optional<uint64_t> numberField(std::string_view text, std::string_view field);

// The text after "name<blanks>:" on the first line that starts with name.
std::optional<std::string_view> textField(std::string_view text, std::string_view field);

// /proc/PID/io.
struct Io {
    uint64_t readBytes = 0, writeBytes = 0;
};
std::optional<Io> io(std::string_view text);

// /proc/net/dev, one entry per interface.
struct NetDev {
    std::string name;
    uint64_t received = 0, sent = 0;
};
std::vector<NetDev> netDev(std::string_view text);

// /proc/pressure/memory: the avg10 figures of the "some" and "full" lines.
struct Pressure {
    std::optional<double> some, full;
};
Pressure pressure(std::string_view text);

// /sys/block/X/stat: sectors read and written.
struct BlockStat {
    uint64_t sectorsRead = 0, sectorsWritten = 0;
};
std::optional<BlockStat> blockStat(std::string_view text);

// A kernel CPU list such as "0-3,8,10-11".
std::vector<int> cpuList(std::string_view text);

// The first field of a whitespace-separated line as an unsigned number
// (file-nr, file-max, loadavg's first field as a double).
std::optional<uint64_t> firstNumber(std::string_view text);
std::optional<double> firstDouble(std::string_view text);

// A decimal field; the whole text must be the number.
template <typename T>
std::optional<T> number(std::string_view text);

// CPU time as minutes:seconds.hundredths ("1:02.50").
std::string psTime(uint64_t ticks, uint64_t ticksPerSecond);

} // namespace ProcParse
