// The Monitor's per-second intake of a large machine, and the row order
// that several views compute on each redraw.

#include "model/monitor.h"
#include "platform/defaults.h"
#include "platform/notifications.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

struct MonitorBench {
    static void ingest(Monitor& monitor, const Sampler::Update& update) { monitor.ingest(update); }
};

namespace {

// `groups` application groups sharing `procs` processes, figures spread
// over many sort bands, and a network reading with a few dozen flows.
Snapshot machine(int groups, int procs, uint64_t seed)
{
    Snapshot s;
    s.netSerial = int64_t(seed);
    s.groups.resize(std::size_t(groups));
    for (int g = 0; g < groups; ++g) {
        s.groups[std::size_t(g)].key = QStringLiteral("exe:app%1").arg(g);
        s.groups[std::size_t(g)].name = QStringLiteral("App %1").arg(g);
    }
    for (int p = 0; p < procs; ++p) {
        GroupSample& group = s.groups[std::size_t(p % groups)];
        ProcSample proc;
        proc.pid = 1000 + p;
        proc.name = QStringLiteral("proc%1").arg(p);
        proc.groupKey = group.key;
        proc.groupName = group.name;
        proc.cpu = double((p * 7919 + seed * 104729) % 40000) / 100.0;
        proc.mem = uint64_t(p + 1) * 1048576;
        proc.threads = 1 + p % 40;
        proc.fds = 3 + p % 200;
        group.add(proc);
    }
    for (int c = 0; c < 40; ++c) {
        Connection conn;
        conn.id = QStringLiteral("%1 %2").arg(1000 + c).arg(c);
        conn.pid = 1000 + c;
        conn.remoteHost = QStringLiteral("192.0.2.%1").arg(c);
        conn.remotePort = 443;
        conn.rateIn = 1000.0 * c;
        s.connections.push_back(conn);
    }
    return s;
}

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
