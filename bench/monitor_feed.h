#pragma once
// A large synthetic machine for the benchmarks that feed a Monitor, and
// the way in to its intake.

#include "model/monitor.h"

#include <QString>

#include <cstdint>

struct MonitorBench {
    static void ingest(Monitor& monitor, const Sampler::Update& update) { monitor.ingest(update); }
};

// `groups` application groups sharing `procs` processes, figures spread
// over many sort bands, and a network reading with a few dozen flows.
inline Snapshot machine(int groups, int procs, uint64_t seed)
{
    Snapshot s;
    s.netSerial = int64_t(seed);
    s.groups.resize(std::size_t(groups));
    for (int g = 0; g < groups; ++g) {
        s.groups[std::size_t(g)].key = QStringLiteral("exe:app%1").arg(g);
        s.groups[std::size_t(g)].name = QStringLiteral("Application %1").arg(g);
    }
    for (int p = 0; p < procs; ++p) {
        GroupSample& group = s.groups[std::size_t(p % groups)];
        ProcSample proc;
        proc.pid = 1000 + p;
        proc.name = QStringLiteral("process-%1").arg(p);
        proc.groupKey = group.key;
        proc.groupName = group.name;
        proc.cpu = double((p * 7919 + seed * 104729) % 40000) / 100.0;
        proc.mem = uint64_t(p + 1) * 1048576;
        proc.threads = 1 + p % 40;
        proc.fds = 3 + p % 200;
        proc.netIn = p % 3 ? 0 : 1000.0 * p;
        group.add(proc);
    }
    for (int c = 0; c < 40; ++c) {
        Connection conn;
        conn.id = QStringLiteral("%1 %2").arg(1000 + c).arg(c);
        conn.pid = 1000 + c;
        conn.remoteHost = QStringLiteral("192.0.2.%1").arg(c);
        conn.remotePort = 443;
        conn.rateIn = 1000.0 * c;
        s.connections.push_back(conn);
    }
    return s;
}
