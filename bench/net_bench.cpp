// The cost of one network reading, with 500 TCP connections open on loopback
// and 500 idle processes beside the usual ones: one poll of the in-process
// producer once it knows the machine, one from scratch, one run of the
// one-shot tavrin-nettop (its CPU, read from the children's usage), and one
// parse of the text by the reader.

#include "engine/net_top.h"
#include "platform/nettop_producer.h"
#include "platform/run_command.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <vector>

#include <benchmark/benchmark.h>

namespace {

constexpr int connectionCount = 500;
constexpr int idleCount = 500;

// Idle children for the whole run, killed at exit.
struct IdleProcesses {
    std::vector<pid_t> pids;
    IdleProcesses()
    {
        for (int i = 0; i < idleCount; ++i) {
            const pid_t pid = ::fork();
            if (pid == 0) {
                ::prctl(PR_SET_PDEATHSIG, SIGKILL);
                ::pause();
                ::_exit(0);
            }
            if (pid > 0)
                pids.push_back(pid);
        }
    }
    ~IdleProcesses()
    {
        for (pid_t pid : pids)
            ::kill(pid, SIGKILL);
        for (pid_t pid : pids)
            ::waitpid(pid, nullptr, 0);
    }
};

void startIdleProcesses()
{
    static IdleProcesses idle;
}

// Opened once for the whole run; the sockets stay open until exit. The idle
// processes come first, so they hold none of them.
bool openConnections()
{
    static const bool ok = [] {
        startIdleProcesses();
        rlimit lim{};
        getrlimit(RLIMIT_NOFILE, &lim);
        lim.rlim_cur = lim.rlim_max;
        setrlimit(RLIMIT_NOFILE, &lim);

        const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(server, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(server, 1024) != 0)
            return false;
        socklen_t len = sizeof a;
        ::getsockname(server, reinterpret_cast<sockaddr*>(&a), &len);
        for (int i = 0; i < connectionCount; ++i) {
            const int c = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            if (c < 0 || ::connect(c, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
                return false;
            const int peer = ::accept4(server, nullptr, nullptr, SOCK_CLOEXEC);
            if (peer < 0)
                return false;
            const char byte = 'x';
            (void)::send(c, &byte, 1, 0);
        }
        return true;
    }();
    return ok;
}

double childrenCpu()
{
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void BM_ProducerPoll(benchmark::State& state)
{
    if (!openConnections()) {
        state.SkipWithError("could not open the loopback connections");
        return;
    }
    nettop::Producer producer;
    producer.poll();
    size_t reads = 0, bytes = 0;
    for (auto _ : state) {
        bytes = producer.poll().size();
        reads += producer.lastReads();
    }
    state.counters["reads_per_poll"] = double(reads) / double(state.iterations());
    state.counters["output_chars"] = double(bytes);
}
BENCHMARK(BM_ProducerPoll)->Unit(benchmark::kMillisecond);

void BM_ProducerFirstPoll(benchmark::State& state)
{
    if (!openConnections()) {
        state.SkipWithError("could not open the loopback connections");
        return;
    }
    size_t reads = 0;
    for (auto _ : state) {
        nettop::Producer producer;
        benchmark::DoNotOptimize(producer.poll());
        reads = producer.lastReads();
    }
    state.counters["processes_read"] = double(reads);
}
BENCHMARK(BM_ProducerFirstPoll)->Unit(benchmark::kMillisecond);

void BM_NettopRun(benchmark::State& state)
{
    if (!openConnections()) {
        state.SkipWithError("could not open the loopback connections");
        return;
    }
    const QString tool = toolPath("tavrin-nettop");
    size_t bytes = 0;
    for (auto _ : state) {
        const double before = childrenCpu();
        const QString out = runCommand(tool, NetTop::arguments);
        state.SetIterationTime(childrenCpu() - before);
        bytes = static_cast<size_t>(out.size());
    }
    state.counters["output_chars"] = double(bytes);
}
BENCHMARK(BM_NettopRun)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(200);

void BM_ReaderParse(benchmark::State& state)
{
    if (!openConnections()) {
        state.SkipWithError("could not open the loopback connections");
        return;
    }
    const QString out = runCommand(toolPath("tavrin-nettop"), NetTop::arguments);
    NetTop reader("/nonexistent");
    double now = 100;
    for (auto _ : state) {
        reader.ingest(out, now);
        now += 2;
    }
    std::lock_guard guard(reader.lock);
    state.counters["connections"] = double(reader.latest.connections.size());
}
BENCHMARK(BM_ReaderParse)->Unit(benchmark::kMillisecond);

} // namespace
