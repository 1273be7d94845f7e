#pragma once
// The simulated machine of demo mode: a busy developer workstation whose
// figures come from one seeded generator, so every run shows the same
// sequence of samples. Only the dates and the once-a-minute beacon flow
// follow the clock.

#include "engine/demo_tables.h"
#include "core/date.h"
#include "core/records.h"

#include <QHash>

#include <cstdint>
#include <functional>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

// The SplitMix64 generator; all arithmetic wraps modulo 2^64.
struct SplitMix64 {
    uint64_t state = 0;

    uint64_t next();
    double uniform(); // [0, 1)
    double gauss();   // roughly normal, mean 0, spread about 1, within ±3.464
};

// A mean-reverting random walk within [-2, 2].
struct Wander {
    double value = 0;
    double speed = 0;

    static Wander start(SplitMix64& rng);
    double step(SplitMix64& rng); // returns the new value
};

class DemoSource {
public:
    struct Proc {
        int32_t pid = 0;
        int32_t ppid = 0;
        QString name;
        QString path;
        QString groupKey;
        QString groupName;
        std::optional<QString> bundlePath; // the desktop entry of an application
        Date start;
        bool restricted = false;
        Role role;
        Wander activity;
        Wander drift;
        double period = 0; // seconds
        double phase = 0;  // radians
    };

    struct Link {
        LinkSpec spec;
        Wander wander;
        int64_t epoch = 0;
        double bytesIn = 0, bytesOut = 0; // cumulative
        int burst = 0;                    // process ticks of burst left
    };

    struct Frame {
        Snapshot snapshot;
        bool procTick = false; // processes and flows were stepped in this frame
        double clock = 0;      // the frame's tick number
    };

    using Clock = std::function<Date()>;

    // Builds the whole simulated machine. The clock gives live dates and the
    // origin; tests pass a fixed one.
    explicit DemoSource(Clock clock = &Date::now);

    // Two minutes of history ending one second before the origin.
    std::vector<Snapshot> prefill();
    // One simulated second.
    Frame advance(bool live);

private:
    using Rates = std::unordered_map<int32_t, std::pair<double, double>>;

    struct Totals {
        double cpu = 0;
        double mem = 0;
        int64_t fds = 0;
        double netIn = 0, netOut = 0;
        double read = 0, write = 0;
    };

    void stepProcesses(int64_t t, Date date);
    SystemSample stepSystem(Date date);
    std::optional<Proc> agent(int64_t t) const;
    ProcSample reading(Proc& proc, double seconds, const Rates& net, const Proc* identity = nullptr);

    Clock clock;
    SplitMix64 rng;
    Date origin;
    int64_t tick = -120;
    std::vector<std::vector<Proc>> procs;
    QHash<QString, int32_t> pidByName;
    Proc agentTemplate;
    int32_t agentBasePid = 0;
    std::vector<Link> links;
    int64_t lastBeaconMinute = 0;
    std::vector<GroupSample> groups;
    std::vector<Connection> connections;
    std::vector<Listener> listeners;
    int64_t netSerial = 0;
    std::pair<double, uint64_t> selfUsage{0, 0};
    Totals totals;
    std::vector<Wander> coreWander;
    double busyCores = 4.0;
    double load = 4.5;
    double memApp = 0;
    Wander gpuWander, memWander, netWander, diskWander;
    std::vector<double> coreBase;

    friend struct DemoSourceInspector; // tests look at the simulated state
};
