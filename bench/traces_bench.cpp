#include "field/capacity_bars.h"
#include "field/trace_stack.h"

#include <QPixmap>

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

namespace {

std::vector<SystemSample> busyHistory(int n, Date end)
{
    std::vector<SystemSample> out(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        auto& s = out[std::size_t(i)];
        s.date = end + double(i - (n - 1));
        s.cpu = 0.5 + 0.4 * std::sin(i * 0.3);
        s.memTotal = 16ull << 30;
        s.memApp = (6ull << 30) + uint64_t(i) * 4096;
        s.netIn = 40000 + 30000 * std::sin(i * 0.2);
        s.netOut = 9000 + 8000 * std::cos(i * 0.25);
        s.diskRead = 200000 * (1 + std::sin(i * 0.1));
        s.diskWrite = 50000 * (1 + std::cos(i * 0.17));
        s.topCPU = QStringLiteral("Compiler");
    }
    return out;
}

Snapshot snapshotOf(const std::vector<SystemSample>& h)
{
    Snapshot s;
    s.system = h.back();
    return s;
}

void BM_TraceModelBuild(benchmark::State& state)
{
    auto history = busyHistory(240, Date{100000});
    const Snapshot snapshot = snapshotOf(history);
    for (auto _ : state) {
        auto model = TraceStack::build(snapshot, history, history.back().date);
        auto bars = CapacityBars::build(snapshot.system);
        benchmark::DoNotOptimize(model);
        benchmark::DoNotOptimize(bars);
    }
}
BENCHMARK(BM_TraceModelBuild)->Unit(benchmark::kMicrosecond);

struct FourTraces {
    std::vector<std::unique_ptr<TraceLayerView>> views;
    TraceStack::Model model;
    QPixmap target{250, 60};

    FourTraces()
    {
        auto history = busyHistory(240, Date{100000});
        model = TraceStack::build(snapshotOf(history), history, history.back().date);
        for (int i = 0; i < TraceStack::rowCount; ++i) {
            auto view = std::make_unique<TraceLayerView>(TraceStack::colors(i));
            view->resize(250, 60);
            view->apply(model.rows[std::size_t(i)].layer);
            view->render(&target);
            views.push_back(std::move(view));
        }
    }
};

// A glide frame: each trace blits its cached drawing one pixel further.
void BM_FourTracesGlideFrame(benchmark::State& state)
{
    FourTraces traces;
    for (auto _ : state) {
        for (auto& view : traces.views)
            view->render(&traces.target);
    }
}
BENCHMARK(BM_FourTracesGlideFrame)->Unit(benchmark::kMicrosecond);

// A new sample: the history moves one step and each trace draws its
// newest points into its cached strip (and the whole strip once it runs
// out of room), then paints.
void BM_FourTracesNewSample(benchmark::State& state)
{
    FourTraces traces;
    double stamp = 200000;
    std::vector<TraceLayerView::Model> layers;
    for (const auto& row : traces.model.rows)
        layers.push_back(row.layer);
    for (auto _ : state) {
        stamp += 1;
        for (std::size_t i = 0; i < layers.size(); ++i) {
            auto& layer = layers[i];
            for (auto& values : layer.series) {
                values.erase(values.begin());
                values.push_back(0.3 + 0.2 * std::sin(stamp * 0.37 + double(i)));
            }
            // Half-minute ticks move with the samples.
            std::vector<int> ticks;
            for (int t : layer.ticks)
                if (t > 0)
                    ticks.push_back(t - 1);
            if (int(stamp) % 30 == 0 && !layer.series.empty())
                ticks.push_back(int(layer.series.front().size()) - 1);
            layer.ticks = std::move(ticks);
            layer.stamp = Date{stamp};
            traces.views[i]->apply(layer);
            traces.views[i]->render(&traces.target);
        }
    }
}
BENCHMARK(BM_FourTracesNewSample)->Unit(benchmark::kMicrosecond);

// The whole strip drawn afresh, as a change of scale or size does.
void BM_FourTracesRedrawn(benchmark::State& state)
{
    FourTraces traces;
    double stamp = 200000;
    for (auto _ : state) {
        stamp += 1;
        for (int i = 0; i < TraceStack::rowCount; ++i) {
            auto layer = traces.model.rows[std::size_t(i)].layer;
            layer.stamp = Date{stamp};
            traces.views[std::size_t(i)]->apply(layer);
            traces.views[std::size_t(i)]->render(&traces.target);
        }
    }
}
BENCHMARK(BM_FourTracesRedrawn)->Unit(benchmark::kMicrosecond);

} // namespace
