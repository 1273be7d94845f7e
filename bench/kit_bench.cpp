// The kit's hot paths: a symbol drawn from its cache (each repaint of a
// toolbar, row or button does it), the same symbol drawn as a path (under
// rotation), a frame of animated values, and fitting a figure to its label.

#include "ui/animation.h"
#include "ui/fonts.h"
#include "ui/frame_clock.h"
#include "ui/symbols.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <vector>

namespace {

void symbolFromCache(benchmark::State& state)
{
    const qreal dpr = state.range(0);
    QImage image(int(64 * dpr), int(64 * dpr), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(dpr);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    const QColor colour(0x8B, 0x95, 0xA1);
    Symbols::draw(painter, QRectF(8, 8, 11, 11), u"gearshape", colour, QFont::Medium);
    for (auto _ : state)
        Symbols::draw(painter, QRectF(8, 8, 11, 11), u"gearshape", colour, QFont::Medium);
}
BENCHMARK(symbolFromCache)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

void symbolAsPath(benchmark::State& state)
{
    QImage image(64, 64, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.translate(16, 16);
    painter.rotate(-90);
    for (auto _ : state)
        Symbols::draw(painter, QRectF(-4, -4, 8, 8), u"chevron.down", Qt::white, QFont::Bold);
}
BENCHMARK(symbolAsPath)->Unit(benchmark::kMicrosecond);

// One frame of a view with `n` rows, each with a springing rectangle and a
// fading opacity, driven through the shared frame clock's subscription.
void animationFrame(benchmark::State& state)
{
    const auto rows = static_cast<std::size_t>(state.range(0));
    std::vector<AnimatedRect> rects(rows, AnimatedRect(QRectF(0, 0, 100, 20)));
    std::vector<AnimatedValue> fades(rows, AnimatedValue(0));
    for (std::size_t i = 0; i < rows; ++i) {
        rects[i].setTarget(QRectF(0, double(i) * 22, 400, 20), Animation::spring(1e6));
        fades[i].setTarget(1, Animation::ease(1e6));
    }
    for (auto _ : state) {
        bool moving = false;
        for (std::size_t i = 0; i < rows; ++i)
            moving |= stepAll(1.0 / 60, rects[i], fades[i]);
        benchmark::DoNotOptimize(moving);
    }
}
BENCHMARK(animationFrame)->Arg(1)->Arg(200)->Unit(benchmark::kMicrosecond);

void shrinkFigure(benchmark::State& state)
{
    const QFont font = Fonts::mono(16, QFont::Medium);
    const QString text = QStringLiteral("1.23 GB/s");
    for (auto _ : state)
        benchmark::DoNotOptimize(Fonts::shrinkToFit(text, font, 50, 0.7));
}
BENCHMARK(shrinkFigure)->Unit(benchmark::kMicrosecond);

} // namespace
