// The reactor gauge on a 16-core machine (4 efficiency, 12 performance) at
// the column's size (QT_SCALE_FACTOR=2 for a 2× screen): a full paint, one pulse frame (its
// square only) and the model the column builds from each sample.

#include "field/memory_legend.h"
#include "field/reactor_view.h"

#include "monitor_feed.h"

#include "model/monitor.h"
#include "platform/defaults.h"
#include "platform/notifications.h"

#include <QImage>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

ReactorLayerView::Model model(int seed)
{
    ReactorLayerView::Model m;
    for (int i = 0; i < 16; ++i) {
        m.kinds.push_back(i < 4 ? CoreKind::efficiency : CoreKind::performance);
        m.cores.push_back(double((i * 37 + seed * 11) % 100) / 100);
    }
    m.mem = {0.42, 0.11, 0.07, 0.2};
    m.cpu = 0.35;
    m.stamp = Date{double(seed)};
    return m;
}

QImage canvas(QSize size, double ratio)
{
    QImage image((QSizeF(size) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::black);
    return image;
}

void BM_ReactorFullPaint(benchmark::State& state)
{
    ReactorLayerView view;
    view.resize(368, 330);
    // Shown, so the pulse draws.
    view.show();
    view.apply(model(1));
    QImage image = canvas(view.size(), view.devicePixelRatioF());
    view.render(&image, QPoint(), QRegion(), QWidget::DrawChildren); // the static images, once
    int seed = 2;
    for (auto _ : state) {
        view.apply(model(seed++));
        view.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ReactorFullPaint)->Unit(benchmark::kMicrosecond);

void BM_ReactorPulseFrame(benchmark::State& state)
{
    ReactorLayerView view;
    view.resize(368, 330);
    // Shown, so the pulse draws.
    view.show();
    view.apply(model(1));
    QImage image = canvas(view.size(), view.devicePixelRatioF());
    view.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    const QRegion square(view.pulseBox().toAlignedRect().adjusted(-1, -1, 1, 1));
    for (auto _ : state) {
        view.frame(1.0 / 30);
        view.render(&image, QPoint(), square, QWidget::DrawChildren);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ReactorPulseFrame)->Unit(benchmark::kMicrosecond);

void BM_ReactorModelBuild(benchmark::State& state)
{
    QTemporaryDir dir;
    Defaults::useFile(dir.filePath(QStringLiteral("Tavrin.conf")));
    Sampler::Options options;
    options.storePath = dir.filePath(QStringLiteral("incidents.json"));
    Monitor monitor(options, nullptr);
    Snapshot s = machine(150, 600, 1);
    s.system.cores.assign(16, 0.4);
    s.system.memTotal = 32ull << 30;
    s.system.memApp = 9ull << 30;
    MonitorBench::ingest(monitor, {s, {}, {}});
    for (auto _ : state) {
        benchmark::DoNotOptimize(ReactorView::build(monitor));
        benchmark::DoNotOptimize(MemoryLegend::build(monitor));
    }
}
BENCHMARK(BM_ReactorModelBuild)->Unit(benchmark::kMicrosecond);

} // namespace
