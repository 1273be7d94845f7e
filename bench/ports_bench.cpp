// The ports list on a busy machine: 500 listening sockets owned by 600
// processes, a few of them opening and closing between samples.

#include "network/ports_model.h"
#include "network/ports_view.h"

#include "monitor_feed.h"

#include "model/monitor.h"
#include "platform/defaults.h"
#include "platform/notifications.h"

#include <QImage>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

// 500 listeners; `seed` moves a tenth of them to other ports.
Snapshot listening(uint64_t seed)
{
    Snapshot s = machine(150, 600, seed);
    s.listeners.reserve(500);
    for (int i = 0; i < 500; ++i) {
        Listener l;
        l.pid = 1000 + (i * 7) % 650; // some pids have no owner
        l.proto = i % 5 ? QStringLiteral("TCP") : QStringLiteral("UDP");
        l.port = 1024 + i * 97 % 60000 + (i % 10 == 0 ? int64_t(seed % 2) : 0);
        l.localOnly = i % 3 != 0;
        s.listeners.push_back(l);
    }
    return s;
}

struct Fixture {
    Fixture()
    {
        Defaults::useFile(dir.filePath(QStringLiteral("Tavrin.conf")));
        Sampler::Options options;
        options.storePath = dir.filePath(QStringLiteral("incidents.json"));
        monitor = std::make_unique<Monitor>(options, nullptr);
        MonitorBench::ingest(*monitor, {listening(1), {}, {}});
        view = std::make_unique<PortsView>(*monitor);
        view->resize(1100, 40 * 30);
        view->show();
        view->refresh();
    }
    QTemporaryDir dir;
    std::unique_ptr<Monitor> monitor;
    std::unique_ptr<PortsView> view;
};

// Samples alternating between two sets of sockets, each followed by the
// view's refresh, which alone is timed.
void refreshEachSample(benchmark::State& state, Fixture& f)
{
    const Sampler::Update a{listening(1), {}, {}};
    const Sampler::Update b{listening(2), {}, {}};
    bool flip = false;
    for (auto _ : state) {
        state.PauseTiming();
        MonitorBench::ingest(*f.monitor, flip ? a : b);
        flip = !flip;
        state.ResumeTiming();
        f.view->refresh();
    }
}

// Filter, sort, the hold's arrangement and the list's reconcile, as on
// every sample; the target is at most 1 ms.
void refresh(benchmark::State& state)
{
    Fixture f;
    refreshEachSample(state, f);
    state.counters["rows"] = double(f.view->list()->rows().size());
}
BENCHMARK(refresh)->Unit(benchmark::kMicrosecond);

// The same while the pointer holds the order.
void refreshHeld(benchmark::State& state)
{
    Fixture f;
    f.monitor->portsHold().set(InteractionHold::Reason::pointer, true);
    refreshEachSample(state, f);
}
BENCHMARK(refreshHeld)->Unit(benchmark::kMicrosecond);

// A full viewport of 40 rows painted on the raster engine.
void paintViewport(benchmark::State& state)
{
    Fixture f;
    QWidget* viewport = f.view->list()->viewport();
    QImage image(viewport->size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        image.fill(Qt::black);
        viewport->render(&image);
    }
}
BENCHMARK(paintViewport)->Unit(benchmark::kMicrosecond);

} // namespace
