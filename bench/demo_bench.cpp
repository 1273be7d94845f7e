#include "engine/demo_source.h"

#include <benchmark/benchmark.h>

// One simulated second, alternating process ticks and system-only ticks
// exactly as the sampler drives it.
static void BM_DemoAdvance(benchmark::State& state)
{
    DemoSource source;
    source.prefill();
    for (auto _ : state)
        benchmark::DoNotOptimize(source.advance(true));
}
BENCHMARK(BM_DemoAdvance);

// A process tick and the system-only tick after it, measured as a pair.
static void BM_DemoAdvancePair(benchmark::State& state)
{
    DemoSource source;
    for (auto _ : state) {
        benchmark::DoNotOptimize(source.advance(true));
        benchmark::DoNotOptimize(source.advance(true));
    }
}
BENCHMARK(BM_DemoAdvancePair);

// What demo start costs before the first live frame.
static void BM_DemoBuildAndPrefill(benchmark::State& state)
{
    for (auto _ : state) {
        DemoSource source;
        benchmark::DoNotOptimize(source.prefill());
    }
}
BENCHMARK(BM_DemoBuildAndPrefill)->Unit(benchmark::kMillisecond);
