#include "core/fmt.h"
#include "core/incident.h"
#include "core/outside_text.h"
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

// The names of one process tick: mostly plain ones, which come back shared,
// and a few that need cleaning.
static QStringList tickNames()
{
    QStringList names;
    for (int i = 0; i < 400; ++i)
        names << QStringLiteral("worker-%1").arg(i) << QStringLiteral("浏览器 %1").arg(i);
    names << QStringLiteral("zzz\u2028\u2028firefox 99.9%") << QStringLiteral("\u3164\u3164")
          << QStringLiteral("a") + QString(50, QChar(0x0301)) << QStringLiteral("\U0001F469\u200D\U0001F467 app")
          << QStringLiteral("\u202Elapyap\u200B");
    return names;
}

static void BM_OutsideTextPlainTick(benchmark::State& state)
{
    const QStringList names = tickNames();
    for (auto _ : state)
        for (const QString& name : names)
            benchmark::DoNotOptimize(OutsideText::plain(name));
    state.SetItemsProcessed(state.iterations() * names.size());
}
BENCHMARK(BM_OutsideTextPlainTick);
