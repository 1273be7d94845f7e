// The domains list: build() over a full log, and one refresh of the rows
// that fill a window, painted.

#include "core/l10n.h"
#include "network/domain_rows.h"
#include "network/domains_model.h"
#include "platform/defaults.h"
#include "ui/interaction_hold.h"
#include "model/monitor.h"
#include "platform/notifications.h"

#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

const Date launched = Date::fromUnix(1'700'000'000);
const Date now = launched + 400;

// `count` hosts over count / 3 sites, with apps, rates and six minutes of
// buckets each.
QHash<QString, DomainRecord> log(int count)
{
    QHash<QString, DomainRecord> records;
    const int64_t cell = DomainsModel::cell(now);
    for (int i = 0; i < count; ++i) {
        DomainRecord r;
        r.site = QStringLiteral("site%1.example").arg(i / 3);
        r.host = QStringLiteral("h%1.").arg(i) + r.site;
        r.source = DomainRecord::Source(i % 3);
        r.firstSeen = launched + double(i % 300);
        r.lastSeen = now + -double(i % 200);
        r.bytesIn = 1000.0 * (i % 97);
        r.bytesOut = 300.0 * (i % 13);
        r.rateIn = i % 4 == 0 ? 2048 : 0;
        r.live = i % 5;
        for (int a = 0; a < 1 + i % 6; ++a)
            r.apps.push_back({QStringLiteral("exe:app%1").arg(a), QStringLiteral("App %1").arg(a), std::nullopt});
        for (int64_t c = cell - 35; c <= cell; c += 1 + i % 4)
            r.buckets[c] = double((i * 37 + c) % 200'000);
        records.insert(r.host, std::move(r));
    }
    return records;
}

struct Fixture {
    Fixture()
    {
        Defaults::useFile(dir.filePath(QStringLiteral("Tavrin.conf")));
        L10n::setChinese(false);
    }
    QTemporaryDir dir;
};

} // namespace

// Every record copied afresh: the first build, or one after every record
// changed.
static void DomainsBuildCold(benchmark::State& bench)
{
    Fixture fixture;
    InteractionHold hold(QStringLiteral("domains"));
    const auto records = log(1500);
    DomainsModel::State state;
    state.expanded.insert(QStringLiteral("site3.example"));
    for (auto _ : bench)
        benchmark::DoNotOptimize(DomainsModel::build(records, QString(), state, hold));
}
BENCHMARK(DomainsBuildCold)->Unit(benchmark::kMicrosecond);

// A sample's build as the view runs it: a tenth of the hosts moved data
// since the last one, the rest are as they were.
static void DomainsBuild(benchmark::State& bench)
{
    Fixture fixture;
    InteractionHold hold(QStringLiteral("domains"));
    auto records = log(1500);
    const QStringList hosts = records.keys();
    DomainsModel::State state;
    state.expanded.insert(QStringLiteral("site3.example"));
    DomainsModel::SiteCopies copies;
    const int64_t cell = DomainsModel::cell(now);
    std::size_t next = 0;
    for (auto _ : bench) {
        for (int k = 0; k < 150; ++k) {
            DomainRecord& r = records[hosts[qsizetype(next++ % std::size_t(hosts.size()))]];
            r.rateIn += 1;
            r.buckets[cell] += 100;
        }
        benchmark::DoNotOptimize(DomainsModel::build(records, QString(), state, hold, &copies));
    }
}
BENCHMARK(DomainsBuild)->Unit(benchmark::kMicrosecond);

// A new sample's rows built and handed to a list 900 pixels tall, which
// paints what changed.
static void DomainsRefreshVisible(benchmark::State& bench)
{
    Fixture fixture;
    Sampler::Options options;
    options.demo = true;
    options.storePath = fixture.dir.filePath(QStringLiteral("incidents.json"));
    Monitor monitor(options, nullptr);
    InteractionHold hold(QStringLiteral("domains"));
    const auto records = log(1500);
    DomainsModel::State state;
    const auto sites = DomainsModel::build(records, QString(), state, hold);
    const auto entries = DomainsModel::entries(sites, state, hold);
    DomainRows rows(monitor, nullptr);
    rows.resize(1000, 900);
    rows.setContent(sites, entries, now, launched);
    QImage image(1000, 900, QImage::Format_RGB32);
    int i = 0;
    for (auto _ : bench) {
        rows.setContent(sites, DomainsModel::entries(sites, state, hold), now + 10.0 * (i++ % 2), launched);
        QPainter p(&image);
        rows.viewport()->render(&p);
    }
    bench.counters["built"] = double(rows.builtRows());
}
BENCHMARK(DomainsRefreshVisible)->Unit(benchmark::kMicrosecond);
