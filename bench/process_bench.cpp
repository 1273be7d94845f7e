// The process list on a large machine: 150 groups sharing 600 processes,
// twenty groups expanded, figures that reorder the list between samples.

#include "process/process_cell.h"
#include "process/process_list.h"
#include "process/process_list_controller.h"

#include "monitor_feed.h"

#include "model/monitor.h"
#include "platform/defaults.h"
#include "platform/notifications.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QWheelEvent>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

struct Fixture {
    Fixture()
    {
        Defaults::useFile(dir.filePath(QStringLiteral("Tavrin.conf")));
        Sampler::Options options;
        options.storePath = dir.filePath(QStringLiteral("incidents.json"));
        monitor = std::make_unique<Monitor>(options, nullptr);
        for (int g = 0; g < 150; g += 8)
            monitor->tableState.expanded.insert(QStringLiteral("exe:app%1").arg(g));
        // Series for the sparklines: 60 samples.
        for (int i = 0; i < 60; ++i)
            MonitorBench::ingest(*monitor, {machine(150, 600, uint64_t(i)), {}, {}});
        list = std::make_unique<ProcessList>(*monitor);
        list->resize(1000, 40 * 28);
        list->refresh();
    }
    QTemporaryDir dir;
    std::unique_ptr<Monitor> monitor;
    std::unique_ptr<ProcessList> list;
};

// Rows, the reconcile plan and the rows' visual state, as on every sample.
void refresh(benchmark::State& state)
{
    Fixture f;
    const Sampler::Update a{machine(150, 600, 1), {}, {}};
    const Sampler::Update b{machine(150, 600, 2), {}, {}};
    bool flip = false;
    for (auto _ : state) {
        state.PauseTiming();
        MonitorBench::ingest(*f.monitor, flip ? a : b);
        flip = !flip;
        state.ResumeTiming();
        f.list->refresh();
    }
    state.counters["rows"] = double(f.list->items().size());
}
BENCHMARK(refresh)->Unit(benchmark::kMicrosecond);

// The pure part alone: both orders and the plan.
void controllerOrder(benchmark::State& state)
{
    ProcessListController c;
    for (int g = 0; g < 150; g += 8)
        c.expanded.insert(QStringLiteral("exe:app%1").arg(g));
    const auto a = machine(150, 600, 1).groups;
    const auto b = machine(150, 600, 2).groups;
    c.groups = a;
    c.items = c.order(false, "cpu|false|").rows;
    bool flip = false;
    for (auto _ : state) {
        c.groups = flip ? a : b;
        flip = !flip;
        auto order = c.order(true, "cpu|false|");
        auto plan = planReconcile(rowIds(c.items), rowIds(order.rows), std::nullopt, true);
        benchmark::DoNotOptimize(plan);
        c.items = std::move(order.rows);
    }
}
BENCHMARK(controllerOrder)->Unit(benchmark::kMicrosecond);

// A full viewport of 40 rows painted on the raster engine.
void paintViewport(benchmark::State& state)
{
    Fixture f;
    QImage image(f.list->viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        image.fill(Qt::black);
        f.list->viewport()->render(&image);
    }
}
BENCHMARK(paintViewport)->Unit(benchmark::kMicrosecond);

// The same after a new sample: every visible row is drawn afresh.
void paintViewportNewSample(benchmark::State& state)
{
    Fixture f;
    QImage image(f.list->viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    const Sampler::Update a{machine(150, 600, 1), {}, {}};
    const Sampler::Update b{machine(150, 600, 2), {}, {}};
    bool flip = false;
    for (auto _ : state) {
        state.PauseTiming();
        MonitorBench::ingest(*f.monitor, flip ? a : b);
        flip = !flip;
        f.list->refresh();
        image.fill(Qt::black);
        state.ResumeTiming();
        f.list->viewport()->render(&image);
    }
}
BENCHMARK(paintViewportNewSample)->Unit(benchmark::kMicrosecond);

// One frame of a slide after a reorder: rows placed as pictures.
void slideFrame(benchmark::State& state)
{
    Fixture f;
    MonitorBench::ingest(*f.monitor, {machine(150, 600, 7), {}, {}});
    f.list->refresh();
    QImage image(f.list->viewport()->size(), QImage::Format_RGB32);
    for (auto _ : state)
        f.list->viewport()->render(&image);
    state.counters["moving"] = f.list->moving() ? 1 : 0;
}
BENCHMARK(slideFrame)->Unit(benchmark::kMicrosecond);

// One frame of scrolling: a touchpad step and the repaint it causes.
void scrollFrame(benchmark::State& state)
{
    Fixture f;
    f.list->show();
    QImage image(f.list->viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    double direction = -1;
    for (auto _ : state) {
        if (f.list->scrollTarget() <= 0)
            direction = -1;
        else if (f.list->scrollTarget() >= 2000)
            direction = 1;
        QWheelEvent wheel(QPointF(100, 100), QPointF(100, 100), QPoint(0, int(12 * direction)),
                          QPoint(0, 0), Qt::NoButton, Qt::NoModifier, Qt::ScrollUpdate, false);
        QApplication::sendEvent(f.list->viewport(), &wheel);
        f.list->viewport()->render(&image);
    }
}
BENCHMARK(scrollFrame)->Unit(benchmark::kMicrosecond);

} // namespace
