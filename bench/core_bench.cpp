#include "core/fmt.h"
#include "core/incident.h"
#include "core/preferences.h"

#include <QJsonDocument>

#include <benchmark/benchmark.h>

static void BM_FmtBytes(benchmark::State& state)
{
    double v = 1;
    for (auto _ : state) {
        benchmark::DoNotOptimize(Fmt::bytes(v));
        v = v * 1.7 + 3;
        if (v > 1e13)
            v = 1;
    }
}
BENCHMARK(BM_FmtBytes);

static void BM_IncidentRoundTrip(benchmark::State& state)
{
    Incident i;
    i.subject = "node";
    i.pid = 42;
    i.groupKey = "exe:node";
    i.peakText = "180%";
    i.contributors = {"a", "b"};
    for (auto _ : state) {
        const QByteArray text = QJsonDocument(i.toJson()).toJson(QJsonDocument::Compact);
        benchmark::DoNotOptimize(Incident::fromJson(QJsonDocument::fromJson(text).object()));
    }
}
BENCHMARK(BM_IncidentRoundTrip);

static void BM_PreferencesDecode(benchmark::State& state)
{
    const QByteArray data = *Preferences{}.encode();
    for (auto _ : state)
        benchmark::DoNotOptimize(Preferences::decode(data));
}
BENCHMARK(BM_PreferencesDecode);
