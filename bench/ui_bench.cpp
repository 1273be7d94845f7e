#include "ui/interaction_hold.h"
#include "ui/scheduler.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

struct Row {
    QString key;
    double cpu = 0;
    double mem = 0;
};

std::vector<Row> makeRows(int count)
{
    std::vector<Row> rows;
    rows.reserve(count);
    for (int i = 0; i < count; ++i)
        rows.push_back({QStringLiteral("/usr/share/applications/app-%1.desktop").arg(i), i * 0.1, i * 1e6});
    return rows;
}

auto key = [](const Row& r) -> const QString& { return r.key; };

// A list of 600 rows arranged once per second while the pointer rests on it:
// the live order reshuffles and a few rows come and go.
void frozenArrange(benchmark::State& state)
{
    ScopedManualScheduler clock;
    InteractionHold hold(QStringLiteral("bench"));
    const int count = static_cast<int>(state.range(0));
    auto rows = makeRows(count);
    hold.arrange(rows, QString(), 0, true, true, key);
    hold.set(InteractionHold::Reason::pointer, true);

    std::mt19937 random(7);
    std::vector<std::vector<Row>> variants;
    for (int v = 0; v < 8; ++v) {
        auto live = makeRows(count + count / 20);
        std::shuffle(live.begin(), live.end(), random);
        live.resize(count);
        variants.push_back(std::move(live));
    }
    std::size_t next = 0;
    for (auto _ : state) {
        auto shown = hold.arrange(variants[next++ % variants.size()], QString(), 0, true, true, key);
        benchmark::DoNotOptimize(shown.data());
        clock.scheduler.runPending();
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(frozenArrange)->Arg(600);

void freshArrange(benchmark::State& state)
{
    ScopedManualScheduler clock;
    InteractionHold hold(QStringLiteral("bench"));
    const int count = static_cast<int>(state.range(0));
    auto rows = makeRows(count);
    for (auto _ : state) {
        auto shown = hold.arrange(rows, QString(), 0, true, true, key);
        benchmark::DoNotOptimize(shown.data());
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(freshArrange)->Arg(600);

} // namespace
