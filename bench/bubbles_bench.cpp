// The bubble field with 120 groups of mixed sizes, loads, thread counts and
// traffic: one simulation frame, the resting layout, one full paint at
// 1400 × 800 on the raster engine, and one frame of the endless motions
// with the repaint it asks for (on average, and the heaviest). Then a small
// resting field as a quiet desktop shows it, a second at a time.

#include "field/field_layer_view.h"
#include "field/field_sim.h"
#include "field/field_style.h"
#include "field/label_placement.h"

#include "ui/scheduler.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace {

const QSizeF size(1400, 800);

std::vector<GroupSample> groups(int n, bool busy = true)
{
    std::vector<GroupSample> out;
    for (int i = 0; i < n; ++i) {
        GroupSample g(QStringLiteral("g%1").arg(i), QStringLiteral("Application %1").arg(i), std::nullopt);
        g.mem = uint64_t(6e9 / std::pow(1 + (i * 37 % 120), 1.3));
        g.cpu = double(i * 31 % 17) * (busy && i % 5 == 0 ? 12 : 0.8);
        g.threads = (i * 13) % 300;
        g.fds = 40 + i;
        g.netIn = i % 4 == 0 ? 50'000.0 * (i + 1) : 0;
        g.netOut = i % 8 == 0 ? 9'000.0 * (i + 1) : 0;
        out.push_back(g);
    }
    return out;
}

void BM_Advance120(benchmark::State& state)
{
    const auto gs = groups(120);
    FieldSim sim;
    double now = 0;
    for (int i = 0; i < 120; ++i)
        sim.step(gs, size, now += 1.0 / 60);
    for (auto _ : state) {
        sim.step(gs, size, now += 1.0 / 60);
        benchmark::DoNotOptimize(sim.settled);
    }
}
BENCHMARK(BM_Advance120)->Unit(benchmark::kMicrosecond);

void BM_Settle120(benchmark::State& state)
{
    const auto gs = groups(120);
    for (auto _ : state)
        benchmark::DoNotOptimize(FieldSim::settle(gs, size, {}));
}
BENCHMARK(BM_Settle120)->Unit(benchmark::kMillisecond);

// Placing the labels of 120 resting bubbles, as every frame does in which
// some bubble moves: widths measured only for the labels that must shorten,
// and kept.
void BM_PlaceLabels120(benchmark::State& state)
{
    const auto gs = groups(120);
    FieldSim sim;
    sim.enter(gs, size, {}, {}, 0);
    for (int i = 1; i < 600; ++i)
        sim.step(gs, size, i / 60.0);
    const QFont font = QApplication::font();
    const QFontMetricsF metrics(font);
    std::vector<LabelPlacement::Bubble> bubbles;
    for (const auto& [key, body] : sim.bodies) {
        LabelPlacement::Bubble b{body.pos, body.r, 0, {}, {}};
        if (body.r > 26) {
            const QString name = QStringLiteral("Application ") + key;
            const QString value = QStringLiteral("1.2G  12.5%");
            b.name = {name, metrics.horizontalAdvance(name), 1.7 * body.r, -16, 17, 13, false};
            b.value = {value, metrics.horizontalAdvance(value), 1.9 * body.r, 3, 12, 9, true};
        }
        bubbles.push_back(b);
    }
    std::vector<std::size_t> order(bubbles.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), [&](auto a, auto b) { return bubbles[a].radius > bubbles[b].radius; });
    for (std::size_t k = 0; k < order.size(); ++k)
        bubbles[order[k]].rank = int(k);
    // Kept from one placing to the next, as the canvas keeps them.
    std::map<QString, double> known;
    int shortened = 0;
    const auto measure = [&](const LabelPlacement::Line&, const QString& text) {
        auto it = known.find(text);
        if (it == known.end()) {
            ++shortened;
            it = known.emplace(text, metrics.horizontalAdvance(text)).first;
        }
        return it->second;
    };
    for (auto _ : state)
        benchmark::DoNotOptimize(LabelPlacement::place(bubbles, QRectF(QPointF(), size), {}, measure));
    state.counters["widths measured per placing"] = double(shortened) / double(state.iterations());
}
BENCHMARK(BM_PlaceLabels120)->Unit(benchmark::kMicrosecond);

// A canvas that has entered and come to rest, on a manual clock.
struct Canvas {
    ScopedManualScheduler clock;
    FieldLayerView view{nullptr};

    explicit Canvas(bool shown)
    {
        view.resize(size.toSize());
        if (shown)
            view.show();
        // Cool enough to come to rest, so only the endless motions run.
        const auto gs = groups(120, false);
        QHash<QString, Severity> flags{{QStringLiteral("g3"), Severity::warn},
                                       {QStringLiteral("g9"), Severity::critical}};
        view.apply(gs, flags, QStringLiteral("g1"), 400);
        // The window system's resize and expose come with the first events
        // and wake the simulation again: take them before settling.
        QApplication::processEvents();
        for (int i = 0; i < 1800 && (i < 60 || view.ticking() || !shown); ++i) {
            clock.scheduler.advance(1.0 / 60);
            if (!shown)
                view.simFrame();
        }
        QApplication::processEvents();
    }
};

void BM_FullPaint120(benchmark::State& state)
{
    Canvas canvas(false);
    QImage image(size.toSize(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        canvas.view.render(&image);
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_FullPaint120)->Unit(benchmark::kMillisecond);

void BM_MotionFrame120(benchmark::State& state)
{
    Canvas canvas(true);
    const int before = canvas.view.repaints();
    for (auto _ : state) {
        // The shared clock runs the motions' frame; the events paint it.
        canvas.clock.scheduler.advance(1.0 / 60);
        QApplication::processEvents();
    }
    state.counters["settled"] = canvas.view.ticking() ? 0 : 1;
    state.counters["bubbles repainted per frame"] =
        double(canvas.view.repaints() - before) / double(state.iterations());
}
BENCHMARK(BM_MotionFrame120)->Unit(benchmark::kMicrosecond);

// The heaviest single frame of the endless motions: each iteration runs the
// frames in which every bubble's dots move on by a whole pixel, one by
// one, and counts only the slowest of them.
void BM_MotionFramePeak120(benchmark::State& state)
{
    Canvas canvas(true);
    const int frames = int(std::ceil(FieldStyle::flowPeriod / 26 / (1.0 / 60))) + 1;
    for (auto _ : state) {
        double slowest = 0;
        for (int i = 0; i < frames; ++i) {
            const auto start = std::chrono::steady_clock::now();
            canvas.clock.scheduler.advance(1.0 / 60);
            QApplication::processEvents();
            slowest = std::max(slowest, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        }
        state.SetIterationTime(slowest);
    }
}
BENCHMARK(BM_MotionFramePeak120)->UseManualTime()->Unit(benchmark::kMicrosecond);

// The quiet field: no traffic, no selection, no incidents; only the thread
// ticks turn.
void BM_QuietMotionFrame120(benchmark::State& state)
{
    ScopedManualScheduler clock;
    FieldLayerView view(nullptr);
    view.resize(size.toSize());
    view.show();
    auto gs = groups(120, false);
    for (GroupSample& g : gs)
        g.netIn = g.netOut = 0;
    view.apply(gs, {}, std::nullopt, 400);
    for (int i = 0; i < 1800 && (i < 60 || view.ticking()); ++i)
        clock.scheduler.advance(1.0 / 60);
    QApplication::processEvents();
    const int before = view.repaints();
    for (auto _ : state) {
        clock.scheduler.advance(1.0 / 60);
        QApplication::processEvents();
    }
    state.counters["settled"] = view.ticking() ? 0 : 1;
    state.counters["bubbles repainted per frame"] =
        double(view.repaints() - before) / double(state.iterations());
}
BENCHMARK(BM_QuietMotionFrame120)->Unit(benchmark::kMicrosecond);

// A small resting field as a quiet desktop shows it: a handful of
// applications, one of them a large bubble with a full ring of 72 ticks.
// Each iteration is one second of frames; the time is what that second of
// turning ticks and one new sample cost.
void BM_QuietSecondFewBubbles(benchmark::State& state)
{
    ScopedManualScheduler clock;
    FieldLayerView view(nullptr);
    view.resize(QSize(860, 600));
    view.show();
    std::vector<GroupSample> gs;
    const struct {
        const char* name;
        double mem, cpu;
        int64_t threads;
    } apps[] = {{"sleep", 51e6, 0, 596}, {"Xvfb", 72e6, 0.5, 3},     {"tavrin", 22e6, 3, 21},
                {"process", 10e6, 1, 9},  {"bash", 3e6, 0, 1},        {"a", 1e5, 0, 1},
                {"b", 1e5, 0, 1}};
    for (const auto& app : apps) {
        GroupSample g(QString::fromLatin1(app.name), QString::fromLatin1(app.name), std::nullopt);
        g.mem = uint64_t(app.mem);
        g.cpu = app.cpu;
        g.threads = app.threads;
        gs.push_back(g);
    }
    view.apply(gs, {}, std::nullopt, 400);
    for (int i = 0; i < 1800 && (i < 60 || view.ticking()); ++i)
        clock.scheduler.advance(1.0 / 60);
    QApplication::processEvents();
    const int before = view.repaints();
    int second = 0;
    for (auto _ : state) {
        // A new sample: the busier applications' figures move a little.
        ++second;
        for (std::size_t i = 1; i < 4; ++i) {
            gs[i].cpu = apps[i].cpu * (1 + 0.1 * ((second * 7 + int(i)) % 5 - 2));
            gs[i].mem = uint64_t(apps[i].mem * (1 + 0.002 * ((second * 3 + int(i)) % 3 - 1)));
        }
        view.apply(gs, {}, std::nullopt, 400);
        for (int i = 0; i < 60; ++i) {
            clock.scheduler.advance(1.0 / 60);
            QApplication::processEvents();
        }
    }
    state.counters["settled"] = view.ticking() ? 0 : 1;
    state.counters["bubble repaints per second"] = double(view.repaints() - before) / double(state.iterations());
}
BENCHMARK(BM_QuietSecondFewBubbles)->Unit(benchmark::kMicrosecond);

} // namespace
