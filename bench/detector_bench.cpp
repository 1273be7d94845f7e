// The rule pass and tracking over a busy machine: 600 processes in 150
// groups, evaluated every two seconds as the sampler does.

#include "engine/detector.h"

#include <benchmark/benchmark.h>

namespace {

Snapshot busyMachine(int hot)
{
    Snapshot s;
    s.system.cpu = 0.4;
    s.system.fileCount = 20000;
    s.system.fileMax = 1000000;
    int32_t pid = 100;
    for (int g = 0; g < 150; ++g) {
        GroupSample group(QStringLiteral("exe:app%1").arg(g), QStringLiteral("App %1").arg(g),
                          std::nullopt);
        for (int m = 0; m < 4; ++m) {
            ProcSample p;
            p.pid = pid++;
            p.name = QStringLiteral("proc%1").arg(p.pid);
            p.groupKey = group.key;
            p.groupName = group.name;
            p.cpu = (p.pid % 7) * 3.5;
            p.mem = uint64_t(p.pid) * 4096 * 256;
            p.threads = 8 + p.pid % 30;
            p.fds = 20 + p.pid % 90;
            p.netIn = 1000;
            if (g * 4 + m < hot)
                p.cpu = 300; // over the per-process CPU threshold
            group.add(p);
        }
        s.groups.push_back(std::move(group));
    }
    return s;
}

void evaluate(benchmark::State& state)
{
    const Snapshot s = busyMachine(int(state.range(0)));
    Detector d(QString(), /*demo*/ true);
    double now = 1000;
    for (auto _ : state) {
        benchmark::DoNotOptimize(d.evaluate(s, now));
        now += 2;
    }
    state.counters["incidents"] = double(d.incidents.size());
}

} // namespace

// Argument: how many processes breach the CPU rule on every pass.
BENCHMARK(evaluate)->Arg(0)->Arg(20)->Unit(benchmark::kMicrosecond);
