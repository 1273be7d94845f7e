#pragma once
// The sampling engine: one tick a second on its own thread "tavrin.sampler".
// Whole-machine figures every tick; processes, flows, names, grouping and
// the incident rules every second tick. Each tick ends in one Update handed
// to onUpdate on the sampler's thread.

#include "engine/net_top.h"
#include "core/incident.h"
#include "core/preferences.h"
#include "core/records.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

class DemoSource;
class Detector;
class HostResolver;
class ProcessProbe;
class RestrictedProbe;
class SerialQueue;
class SystemProbe;

class Sampler {
public:
    struct Update {
        Snapshot snapshot;
        std::vector<Incident> incidents; // the detector's whole list, newest first
        std::vector<Incident> opened;    // opened by this tick
    };
    using Callback = std::function<void(const Update&)>;

    // What one tick cost the sampler's thread, for the engine's own
    // measurements.
    struct TickCost {
        double wall = 0; // seconds
        double cpu = 0;  // seconds of this thread's CPU
    };

    struct Options {
        bool demo;         // simulated data instead of the probes
        QString storePath; // the incident store; empty for the default place
        // The tree the probes read: "/" on the live machine, a fixture in
        // tests.
        QString root = QStringLiteral("/");
        // Monotonic seconds; uptime() when empty.
        std::function<double()> clock;
        Options();
    };

    Sampler();
    explicit Sampler(Options options);
    ~Sampler();
    Sampler(const Sampler&) = delete;
    Sampler& operator=(const Sampler&) = delete;

    const double interval = 1.0;

    // Replaces the callback; read at the end of every tick.
    void setOnUpdate(Callback callback);
    // Takes effect from the next tick that runs after it.
    void apply(const Preferences& prefs);
    // Called once.
    void start();
    // One tick on the sampler's thread, now, besides the timer's (tests
    // drive a sampler that was never started this way).
    void tickNow();
    // Drops ended incidents on the sampler's thread.
    void clearIncidents();

    // Valid on the sampler's thread, inside the callback.
    TickCost lastTickCost() const { return lastCost_; }

    // Where the incident store, unreadable, was set aside at start-up;
    // empty when it was not.
    QString incidentsKeptAs() const;


    // Counts and top texts of a system sample from the groups.
    static void fillTotals(SystemSample& system, const std::vector<GroupSample>& groups);
    // Groups processes by groupKey in first-seen order.
    static std::vector<GroupSample> group(const std::vector<ProcSample>& procs);

private:
    void tick();
    void startDemo();
    void demoTick(DemoSource& source);
    void deliver(Update update, double tickStart, double cpuStart);

    Options options_;

    std::unique_ptr<SystemProbe> system_;
    std::unique_ptr<ProcessProbe> processes_;
    std::unique_ptr<RestrictedProbe> restricted_;
    std::unique_ptr<NetTop> netTop_;
    std::unique_ptr<HostResolver> resolver_;
    std::unique_ptr<Detector> detector_;

    // Times of the last readings that succeeded: rates span from them.
    double lastTick_ = 0;
    double lastProcTick_ = 0;
    // The figures of the last tick that read the machine, handed on while
    // it cannot be read.
    SystemSample lastSystem_;
    // The rules' clock stands still while nothing is read: a condition is
    // neither held nor dropped over figures nobody saw.
    std::optional<double> unreadSince_;
    double unreadFor_ = 0;
    int64_t tickCount_ = 0;
    std::vector<GroupSample> groups_;
    std::pair<double, uint64_t> selfUsage_{0, 0};
    NetTop::Reading net_;
    const int32_t ownPid_;
    TickCost lastCost_;

    std::mutex callbackLock_;
    Callback onUpdate_;

    // Declared last: destroyed first, so no task outlives what it uses.
    std::unique_ptr<SerialQueue> queue_;
};
