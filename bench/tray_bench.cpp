// The tray glyph for 16 cores: the bare picture, the square a tray takes,
// and the whole icon at every size the host may ask for.

#include "ui/menu_glyph.h"
#include "app/tray.h"

#include <QGuiApplication>

#include <benchmark/benchmark.h>

#include <vector>

namespace {

std::vector<double> loads(std::size_t count)
{
    std::vector<double> cores;
    for (std::size_t i = 0; i < count; ++i)
        cores.push_back(double((i * 37) % 100) / 100);
    return cores;
}

void glyphImage(benchmark::State& state)
{
    const auto cores = loads(std::size_t(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(MenuGlyph::image(cores, Severity::warn).constBits());
}
BENCHMARK(glyphImage)->Arg(16)->Unit(benchmark::kMicrosecond);

void glyphSquare(benchmark::State& state)
{
    const auto cores = loads(16);
    for (auto _ : state)
        benchmark::DoNotOptimize(MenuGlyph::square(cores, std::nullopt, 22).constBits());
}
BENCHMARK(glyphSquare)->Unit(benchmark::kMicrosecond);

void trayIcon(benchmark::State& state)
{
    const auto cores = loads(16);
    for (auto _ : state) {
        QIcon icon = Tray::icon(cores, Severity::critical);
        benchmark::DoNotOptimize(icon.cacheKey());
    }
}
BENCHMARK(trayIcon)->Unit(benchmark::kMicrosecond);

} // namespace
