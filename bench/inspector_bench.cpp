// The inspector on a 40-member group with 30 connections, figures changing
// between samples; and the descriptor breakdown of a process with 10,000
// open descriptors (this one).

#include "process/inspector_view.h"

#include "monitor_feed.h"

#include "engine/process_inspect.h"
#include "model/monitor.h"
#include "platform/defaults.h"
#include "platform/notifications.h"

#include <QApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <memory>
#include <vector>

namespace {

// Pids above the kernel's limit, so nothing here reads a real process.
constexpr int32_t firstPid = 5'000'000;

Snapshot sample(uint64_t seed)
{
    Snapshot s;
    s.netSerial = int64_t(seed);
    GroupSample g(QStringLiteral("exe:big"), QStringLiteral("Big"), std::nullopt);
    for (int i = 0; i < 40; ++i) {
        ProcSample p;
        p.pid = firstPid + i;
        p.name = QStringLiteral("worker-%1").arg(i);
        p.groupKey = g.key;
        p.groupName = g.name;
        p.cpu = double((i * 7919 + seed * 104729) % 20000) / 100.0;
        p.mem = uint64_t(i + 1) * 1048576 * (1 + seed % 3);
        p.threads = 1 + i % 12;
        p.fds = 3 + i % 90;
        g.add(p);
    }
    s.groups.push_back(g);
    for (int i = 0; i < 30; ++i) {
        Connection c;
        c.pid = firstPid + i % 40;
        c.id = QStringLiteral("%1 tcp %2").arg(c.pid).arg(i);
        c.remoteHost = QStringLiteral("10.0.%1.%2").arg(i / 10).arg(i);
        c.remotePort = 443;
        c.rateIn = double((i + seed) % 5) * 1000;
        c.bytesIn = double(i) * 1e6;
        s.connections.push_back(c);
    }
    s.listeners.push_back({firstPid, QStringLiteral("tcp"), 8080, false});
    return s;
}

void inspectorRefresh(benchmark::State& state)
{
    QTemporaryDir dir;
    Defaults::useFile(dir.filePath(QStringLiteral("Tavrin.conf")));
    Sampler::Options options;
    options.storePath = dir.filePath(QStringLiteral("incidents.json"));
    Monitor monitor(options, nullptr);
    const Snapshot a = sample(1), b = sample(2);
    MonitorBench::ingest(monitor, {a, {}, {}});
    monitor.setSelection(QStringLiteral("exe:big"));
    InspectorView view(monitor);
    view.resize(InspectorView::width, 900);
    view.show();
    bool flip = false;
    for (auto _ : state) {
        state.PauseTiming();
        MonitorBench::ingest(monitor, {flip ? a : b, {}, {}});
        flip = !flip;
        state.ResumeTiming();
        view.refresh();
    }
}
BENCHMARK(inspectorRefresh)->Unit(benchmark::kMicrosecond);

void descriptorBreakdown(benchmark::State& state)
{
    const int wanted = int(state.range(0));
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    if (limit.rlim_cur < rlim_t(wanted + 64)) {
        limit.rlim_cur = std::min<rlim_t>(limit.rlim_max, rlim_t(wanted + 64));
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
    std::vector<int> fds;
    for (int i = 0; i < wanted; ++i) {
        const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            break;
        fds.push_back(fd);
    }
    if (int(fds.size()) < wanted)
        state.SkipWithError("could not open enough descriptors");
    for (auto _ : state)
        benchmark::DoNotOptimize(ProcessInspect::fdBreakdown(int32_t(::getpid())));
    state.counters["descriptors"] = double(fds.size());
    for (int fd : fds)
        ::close(fd);
}
BENCHMARK(descriptorBreakdown)->Arg(100)->Arg(10000)->Unit(benchmark::kMicrosecond);

} // namespace
