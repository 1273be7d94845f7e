// The cost of one network reading: one tavrin-nettop run (its CPU, read from
// the children's usage) and one parse of its output by the reader, with 500
// TCP connections open on loopback.

#include "engine/net_top.h"
#include "platform/run_command.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

#include <benchmark/benchmark.h>

namespace {

constexpr int connectionCount = 500;

// Opened once for the whole run; the sockets stay open until exit.
bool openConnections()
{
    static const bool ok = [] {
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
