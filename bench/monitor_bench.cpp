// The Monitor's per-second intake of a large machine, and the row order
// that several views compute on each redraw.

#include "monitor_feed.h"

#include "model/monitor.h"
#include "platform/defaults.h"
#include "platform/notifications.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

struct Fixture {
    Fixture()
    {
        Defaults::useFile(dir.filePath(QStringLiteral("Tavrin.conf")));
        Sampler::Options options;
        options.demo = false;
        options.storePath = dir.filePath(QStringLiteral("incidents.json"));
        monitor = std::make_unique<Monitor>(options, nullptr);
    }
    QTemporaryDir dir;
    std::unique_ptr<Monitor> monitor;
};

void BM_Ingest600(benchmark::State& state)
{
    Fixture f;
    // Alternating readings so that the domain log acts on every update.
    const Sampler::Update a{machine(150, 600, 1), {}, {}};
    const Sampler::Update b{machine(150, 600, 2), {}, {}};
    bool flip = false;
    for (auto _ : state) {
        MonitorBench::ingest(*f.monitor, flip ? a : b);
        flip = !flip;
    }
}
BENCHMARK(BM_Ingest600)->Unit(benchmark::kMicrosecond);

void BM_RowsByCPU(benchmark::State& state)
{
    Fixture f;
    MonitorBench::ingest(*f.monitor, {machine(150, 600, 1), {}, {}});
    for (auto _ : state)
        benchmark::DoNotOptimize(f.monitor->rows());
}
BENCHMARK(BM_RowsByCPU)->Unit(benchmark::kMicrosecond);

void BM_RowsByNameFiltered(benchmark::State& state)
{
    Fixture f;
    MonitorBench::ingest(*f.monitor, {machine(150, 600, 1), {}, {}});
    f.monitor->toggleSort(Monitor::SortKey::name);
    f.monitor->setFilter(QStringLiteral("1"));
    for (auto _ : state)
        benchmark::DoNotOptimize(f.monitor->rows());
}
BENCHMARK(BM_RowsByNameFiltered)->Unit(benchmark::kMicrosecond);

} // namespace
