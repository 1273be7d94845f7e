// The settings window on a busy machine: built, laid out and painted once
// (what opening it costs before its first frame), one frame of a drag on
// the thread slider (the pointer event, the preferences written through the
// Monitor, the pane's refresh, and the slider's own repaint), and one
// unmute in a list of 1,000 muted names, to the window's next frame. The
// unmute's counters split it into the preferences written to disk and what
// the window does with the change.

#include "settings/rules_pane.h"
#include "settings/settings_view.h"

#include "monitor_feed.h"

#include "model/monitor.h"
#include "platform/defaults.h"
#include "platform/notifications.h"
#include "ui/rule_slider.h"

#include <QCoreApplication>
#include <QImage>
#include <QMouseEvent>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>

namespace {

struct Machine {
    QTemporaryDir dir;
    std::unique_ptr<Monitor> monitor;

    Machine()
    {
        Defaults::useFile(dir.filePath(QStringLiteral("Tavrin.conf")));
        Sampler::Options options;
        options.storePath = dir.filePath(QStringLiteral("incidents.json"));
        monitor = std::make_unique<Monitor>(options, nullptr);
        MonitorBench::ingest(*monitor, {machine(150, 600, 1), {}, {}});
    }
};

void BM_SettingsOpenToFirstPaint(benchmark::State& state)
{
    Machine m;
    QImage image(SettingsView::windowWidth, SettingsView::windowHeight, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        SettingsView view(*m.monitor);
        view.setAttribute(Qt::WA_DontShowOnScreen);
        view.show();
        view.render(&image);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_SettingsOpenToFirstPaint)->Unit(benchmark::kMillisecond);

void BM_RuleSliderDragFrame(benchmark::State& state)
{
    Machine m;
    RulesPane pane(*m.monitor);
    pane.setAttribute(Qt::WA_DontShowOnScreen);
    pane.resize(560, 1200);
    pane.show();
    RuleSlider* slider = pane.row(4)->slider();
    const QPointF start(10, 13);
    QMouseEvent press(QEvent::MouseButtonPress, start, slider->mapToGlobal(start), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(slider, &press);
    QImage image(slider->size(), QImage::Format_ARGB32_Premultiplied);
    int step = 0;
    for (auto _ : state) {
        const QPointF at(10 + (step++ % 300), 13);
        QMouseEvent move(QEvent::MouseMove, at, slider->mapToGlobal(at), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QCoreApplication::sendEvent(slider, &move);
        QCoreApplication::processEvents();
        slider->render(&image);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_RuleSliderDragFrame)->Unit(benchmark::kMicrosecond);

void BM_UnmuteInALongMutedList(benchmark::State& state)
{
    Machine m;
    QStringList names;
    for (int i = 0; i < 1000; ++i)
        names.append(QStringLiteral("worker-%1").arg(i));
    Preferences prefs = m.monitor->prefs();
    prefs.ignored = names;
    m.monitor->setPrefs(prefs);
    Defaults::standard().set(QStringLiteral("pane"), QStringLiteral("ignored"));
    SettingsView view(*m.monitor);
    view.setAttribute(Qt::WA_DontShowOnScreen);
    view.show();
    QCoreApplication::processEvents();
    QImage image(SettingsView::windowWidth, SettingsView::windowHeight, QImage::Format_ARGB32_Premultiplied);
    view.render(&image);
    using Clock = std::chrono::steady_clock;
    Clock::duration saving{}, showing{};
    for (auto _ : state) {
        // A row on screen goes, as its Unmute button would take it.
        prefs = m.monitor->prefs();
        prefs.ignored.removeAll(names[3]);
        const Clock::time_point start = Clock::now();
        m.monitor->setPrefs(prefs);
        const Clock::time_point saved = Clock::now();
        QCoreApplication::processEvents();
        view.render(&image);
        benchmark::ClobberMemory();
        saving += saved - start;
        showing += Clock::now() - saved;
        state.PauseTiming();
        prefs.ignored = names;
        m.monitor->setPrefs(prefs);
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    const auto ms = [](Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };
    state.counters["save_ms"] = benchmark::Counter(ms(saving), benchmark::Counter::kAvgIterations);
    state.counters["window_ms"] = benchmark::Counter(ms(showing), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_UnmuteInALongMutedList)->Unit(benchmark::kMillisecond);

} // namespace
