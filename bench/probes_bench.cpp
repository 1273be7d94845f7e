// Cost of one reading of each probe on the live machine, with 500 extra
// idle processes so that the process table resembles a busy desktop.
//
// The figures that matter are CPU time: "CPU" for the probes and for a
// restricted poll (they run on the calling thread) and, for a run of the
// tavrin-ps front, "CPU" (launch and reading) plus the "child_cpu_ms"
// counter (the tool itself), to compare with the in-process poll.

#include "engine/process_probe.h"
#include "engine/restricted_probe.h"
#include "engine/system_probe.h"
#include "platform/desktop_entries.h"
#include "platform/ps_producer.h"
#include "platform/run_command.h"

#include <benchmark/benchmark.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct IdleProcesses {
    std::vector<pid_t> pids;
    IdleProcesses()
    {
        for (int i = 0; i < 500; ++i) {
            const pid_t p = ::fork();
            if (p == 0) {
                ::pause();
                ::_exit(0);
            }
            if (p > 0)
                pids.push_back(p);
        }
    }
    ~IdleProcesses()
    {
        for (pid_t p : pids)
            ::kill(p, SIGKILL);
        for (pid_t p : pids)
            ::waitpid(p, nullptr, 0);
    }
};

void ensureIdle()
{
    static IdleProcesses idle;
}

double childCpuMs()
{
    rusage u{};
    ::getrusage(RUSAGE_CHILDREN, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

void BM_ProcessProbeSample(benchmark::State& state)
{
    ensureIdle();
    ProcessProbe probe(QStringLiteral("/"), DesktopEntries::loadDefault());
    probe.sample(0, {}, {});
    size_t count = 0;
    for (auto _ : state) {
        auto v = probe.sample(2, {}, {});
        count = v.size();
        benchmark::DoNotOptimize(v);
    }
    state.counters["processes"] = double(count);
}
BENCHMARK(BM_ProcessProbeSample)->Unit(benchmark::kMillisecond);

void BM_SystemProbeSample(benchmark::State& state)
{
    ensureIdle();
    SystemProbe probe;
    probe.sample(0);
    for (auto _ : state) {
        auto s = probe.sample(1);
        benchmark::DoNotOptimize(s);
    }
}
BENCHMARK(BM_SystemProbeSample)->Unit(benchmark::kMillisecond);

void BM_RestrictedPoll(benchmark::State& state)
{
    ensureIdle();
    PsProducer producer;
    RestrictedProbe probe;
    double now = 1;
    size_t bytes = 0;
    for (auto _ : state) {
        const std::string_view out = producer.poll();
        bytes = out.size();
        probe.update(out, now += 2);
    }
    state.counters["chars"] = double(bytes);
}
BENCHMARK(BM_RestrictedPoll)->Unit(benchmark::kMillisecond);

void BM_PsToolRun(benchmark::State& state)
{
    ensureIdle();
    const QString tool = toolPath(QStringLiteral("tavrin-ps"));
    double child = 0;
    for (auto _ : state) {
        const double before = childCpuMs();
        const QString out = runCommand(tool, {QStringLiteral("-axo"), QStringLiteral("pid=,time=,rss=")});
        child += childCpuMs() - before;
        benchmark::DoNotOptimize(out);
    }
    state.counters["child_cpu_ms"] = benchmark::Counter(child, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_PsToolRun)->Unit(benchmark::kMillisecond);

void BM_DesktopIndexLoad(benchmark::State& state)
{
    size_t n = 0;
    for (auto _ : state)
        n = DesktopEntries::loadDefault().size();
    state.counters["apps"] = double(n);
}
BENCHMARK(BM_DesktopIndexLoad)->Unit(benchmark::kMillisecond);

} // namespace
