// Verifying an update: a 50 MB bundle of 200 files, sealed and attested
// with keys made here, zipped without compression (as release archives of
// already-compressed binaries mostly are). The whole verification (size,
// digest, expansion, seal, attestation, version) must stay under 0.5 s.

#include "bundle_kit.h"
#include "update/bundle_swap.h"
#include "update/update_verify.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <random>

namespace {

struct Fixture {
    QTemporaryDir dir;
    TestKeys keys;
    QString zip;
    QString bundle;
    Release release;
    Release::Download download;

    Fixture()
    {
        bundle = dir.path() + "/src/Tavrin.app";
        makeBundle(bundle, "2.0.0");
        std::mt19937_64 random(7);
        QByteArray chunk(250 * 1024, '\0');
        for (int i = 0; i < 197; ++i) {
            auto* words = reinterpret_cast<uint64_t*>(chunk.data());
            for (size_t w = 0; w < size_t(chunk.size()) / 8; ++w)
                words[w] = random();
            writeFile(bundle + QString("/Contents/share/part%1/file%2.bin").arg(i % 10).arg(i), chunk);
        }
        sealAndAttest(bundle, keys);
        zip = dir.path() + "/Tavrin.zip";
        ZipArchive::write(bundle, zip, true);
        const QByteArray bytes = readFile(zip);
        release.version = "2.0.0";
        download = {"file://" + zip, Seal::sha256(bytes), bytes.size()};
    }
};

Fixture& fixture()
{
    static Fixture f;
    return f;
}

void BM_VerifyArchive(benchmark::State& state)
{
    Fixture& f = fixture();
    const QString work = f.dir.path() + "/work";
    for (auto _ : state) {
        state.PauseTiming();
        BundleSwap::removeTree(work);
        QDir().mkpath(work);
        state.ResumeTiming();
        auto outcome = UpdateVerify::verify(f.zip, work, f.release, f.download, AppVersion{{1}}, f.keys.trust());
        if (outcome.error)
            state.SkipWithError(UpdateErrors::name(*outcome.error));
    }
    state.counters["MB"] = double(f.download.size) / 1e6;
}
BENCHMARK(BM_VerifyArchive)->Unit(benchmark::kMillisecond)->MinTime(2);

// The check repeated on the staged copy just before the swap.
void BM_CheckSeal(benchmark::State& state)
{
    Fixture& f = fixture();
    for (auto _ : state)
        if (Seal::check(f.bundle, f.keys.trust()) != Seal::Verdict::ok)
            state.SkipWithError("seal");
}
BENCHMARK(BM_CheckSeal)->Unit(benchmark::kMillisecond)->MinTime(1);

} // namespace
