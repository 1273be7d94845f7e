// What one frame of the welcome logo costs: its state at a moment of the
// entrance (the sixteen flash schedules included), and the emblem painted
// whole into an image, as the entrance repaints it on every frame.

#include "settings/logo_timeline.h"
#include "settings/welcome_logo.h"

#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

static void BM_LogoState(benchmark::State& state)
{
    const LogoTimeline::Durations durations;
    double t = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(LogoTimeline::stateAt(t, durations, false));
        t = t > 4 ? 0 : t + 1.0 / 60;
    }
}
BENCHMARK(BM_LogoState);

static void BM_LogoPaint(benchmark::State& state)
{
    WelcomeLogoView logo;
    logo.seek(1.4); // mid-sweep: beams, flashes and every tick drawn
    QImage image(logo.size() * 2, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    for (auto _ : state) {
        image.fill(Qt::transparent);
        logo.render(&image);
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_LogoPaint);
