#pragma once
// Whole-machine figures of one tick, read from /proc and /sys.

#include "core/records.h"

#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class SystemProbe {
public:
    // `root` is "/" on the live machine; tests pass a fixture tree.
    explicit SystemProbe(const QString& root = QStringLiteral("/"));

    // The figures over the `dt` seconds since the previous call (0: no rates).
    // The first call, and the first after the number of cores changed, only
    // stores counters.
    SystemSample sample(double dt);
    // Why the latest sample could not read the machine (errno's value: its
    // CPU or memory figures were unreadable), 0 when it could.
    int fault() const { return fault_; }

    // The machine's description, read once at start-up.
    static HostInfo hostInfo();
    static HostInfo hostInfo(const QString& root);

private:
    void readCPU(SystemSample& s);
    void readMemory(SystemSample& s);
    void readNetBytes(SystemSample& s, double dt);
    void readDiskBytes(SystemSample& s, double dt);
    void readLimits(SystemSample& s);

    std::string root_;
    uint64_t installed_ = 0;
    // Per core: user, system, idle, nice.
    std::vector<std::array<uint64_t, 4>> prevTicks;
    std::vector<int> prevIds_;
    std::optional<std::pair<uint64_t, uint64_t>> prevNet;
    std::vector<std::string> prevInterfaces;
    std::optional<std::pair<uint64_t, uint64_t>> prevDisk;
    std::string buf_;
    int fault_ = 0;
};
