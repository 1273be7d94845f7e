// tavrin-engine: runs the real sampler without a window for a number of
// seconds and prints what each tick cost the sampler's thread, then what the
// whole engine (this process and the tools it ran) cost.
//
//   tavrin-engine --seconds N [--json FILE] [-demo YES]

#include "engine/sampler.h"
#include "core/fmt.h"
#include "platform/defaults.h"
#include "platform/proc_files.h"
#include "platform/proc_parse.h"
#include "snapshot_json.h"

#include <QFile>
#include <QJsonDocument>
#include <QStringList>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <mutex>
#include <optional>
#include <sys/resource.h>
#include <thread>

namespace {

double seconds(const timeval& tv) { return double(tv.tv_sec) + double(tv.tv_usec) * 1e-6; }

int usage(const char* argv0)
{
    std::fprintf(stderr, "usage: %s --seconds N [--json FILE] [-demo YES]\n", argv0);
    return 2;
}

} // namespace

int main(int argc, char* argv[])
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    Defaults::setArguments(args);

    double runFor = 0;
    QString jsonPath;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == "--seconds" && i + 1 < args.size()) {
            auto n = Defaults::parseDouble(args[++i]);
            if (!n || !(*n > 0) || *n > 86400)
                return usage(argv[0]);
            runFor = *n;
        } else if (args[i] == "--json" && i + 1 < args.size()) {
            jsonPath = args[++i];
        }
    }
    if (runFor <= 0)
        return usage(argv[0]);

    // Incidents go to a scratch store, never to the user's own.
    QTemporaryDir scratch;
    Sampler::Options options;
    options.storePath = scratch.filePath("incidents.json");

    std::mutex lock;
    std::optional<Snapshot> last;
    int ticks = 0;
    Sampler sampler(options);
    sampler.setOnUpdate([&](const Sampler::Update& update) {
        const Sampler::TickCost cost = sampler.lastTickCost();
        std::lock_guard guard(lock);
        std::printf("tick %d wall %.2f ms cpu %.2f ms groups %zu flows %zu\n", ticks++,
                    cost.wall * 1e3, cost.cpu * 1e3, update.snapshot.groups.size(),
                    update.snapshot.connections.size());
        std::fflush(stdout);
        last = update.snapshot;
    });
    sampler.apply(Preferences::load());
    const auto start = std::chrono::steady_clock::now();
    sampler.start();
    std::this_thread::sleep_for(std::chrono::duration<double>(runFor));
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    rusage self{}, children{};
    getrusage(RUSAGE_SELF, &self);
    getrusage(RUSAGE_CHILDREN, &children);
    const double selfCPU = seconds(self.ru_utime) + seconds(self.ru_stime);
    const double childCPU = seconds(children.ru_utime) + seconds(children.ru_stime);
    std::printf("elapsed %.1f s\n", elapsed);
    std::printf("process cpu %.3f s (%.2f%% of one core)\n", selfCPU, 100 * selfCPU / elapsed);
    std::printf("tools cpu %.3f s (%.2f%% of one core)\n", childCPU, 100 * childCPU / elapsed);
    std::printf("engine cpu %.2f%% of one core\n", 100 * (selfCPU + childCPU) / elapsed);
    // ru_maxrss survives exec, so a parent's peak would show as ours; the
    // kernel's high-water mark of this process image does not.
    std::string status;
    std::optional<uint64_t> peak;
    if (ProcFiles::read("/proc/self/status", status))
        peak = ProcParse::kbField(status, "VmHWM");
    std::printf("peak memory %s\n", peak ? qPrintable(Fmt::bytes(double(*peak))) : "unknown");

    if (!jsonPath.isEmpty()) {
        std::lock_guard guard(lock);
        QFile file(jsonPath);
        if (!last || !file.open(QIODevice::WriteOnly)
            || file.write(QJsonDocument(snapshotJson(*last)).toJson()) < 0) {
            std::fprintf(stderr, "could not write %s\n", qPrintable(jsonPath));
            return 1;
        }
    }
    return 0;
}
