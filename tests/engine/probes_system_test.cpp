#include "engine/system_probe.h"

#include "platform/descriptor_limit.h"
#include "probes_fixture.h"

namespace {

QByteArray cpuLine(int id, uint64_t user, uint64_t system, uint64_t idle, uint64_t iowait = 0)
{
    return "cpu" + QByteArray::number(id) + ' ' + QByteArray::number(user) + " 0 " + QByteArray::number(system)
        + ' ' + QByteArray::number(idle) + ' ' + QByteArray::number(iowait) + " 0 0 0 0 0\n";
}

void machine(const FakeRoot& r)
{
    r.write("proc/meminfo", "MemTotal: 1000 kB\nMemFree: 100 kB\nMemAvailable: 500 kB\nBuffers: 10 kB\n"
                            "Cached: 300 kB\nSwapTotal: 200 kB\nSwapFree: 50 kB\nAnonPages: 400 kB\n"
                            "Shmem: 20 kB\nKernelStack: 5 kB\nPageTables: 5 kB\nSReclaimable: 30 kB\n"
                            "SUnreclaim: 40 kB\nZswap: 0 kB\n");
    r.write("sys/devices/system/memory/block_size_bytes", "100000\n"); // 1 MiB blocks
    r.write("sys/devices/system/memory/memory0/online", "1\n");
    r.write("proc/loadavg", "1.50 1.00 0.50 2/300 999\n");
    r.write("proc/sys/fs/file-nr", "1234\t0\t9223372036854775807\n");
    r.write("proc/sys/fs/file-max", "9223372036854775807\n");
    r.write("proc/sys/kernel/threads-max", "0\n");
    r.write("proc/net/dev", "h\nh\n  lo: 1000 0 0 0 0 0 0 0 1000 0\n eth0: 100 0 0 0 0 0 0 0 50 0\n"
                            " veth1: 999 0 0 0 0 0 0 0 999 0\n");
    r.link("sys/class/net/eth0/device", "/x");
    r.write("sys/class/net/veth1/type", "1\n");
    r.link("sys/block/vda/device", "/x");
    r.write("sys/block/vda/stat", "1 0 8 0 1 0 16 0 0 0 0\n");
    r.link("sys/block/loop0/device", "/x");
    r.write("sys/block/loop0/stat", "1 0 800 0 1 0 800 0 0 0 0\n");
}

} // namespace

TEST(SystemProbe, CpuPrimesThenMeasuresAndClampsFallingCounters)
{
    FakeRoot r;
    machine(r);
    r.write("proc/stat", "cpu 0 0 0 0\n" + cpuLine(0, 100, 100, 100) + cpuLine(1, 100, 100, 100));
    SystemProbe probe(r.path());
    auto s = probe.sample(0);
    EXPECT_EQ(s.cores, (std::vector<double>{0, 0}));
    EXPECT_EQ(s.cpu, 0);

    // Core 0: 30 user + 10 system of 80 ticks; core 1 unchanged.
    r.write("proc/stat", cpuLine(0, 130, 110, 140, 0) + cpuLine(1, 100, 100, 100));
    s = probe.sample(1);
    ASSERT_EQ(s.cores.size(), 2u);
    EXPECT_DOUBLE_EQ(s.cores[0], 40.0 / 80.0);
    EXPECT_EQ(s.cores[1], 0);               // no change: no division by zero
    EXPECT_DOUBLE_EQ(s.cpu, 40.0 / 80.0);
    EXPECT_DOUBLE_EQ(s.cpuUser, 30.0 / 80.0);
    EXPECT_DOUBLE_EQ(s.cpuSystem, 10.0 / 80.0);

    // The idle counter (idle + iowait) falls: its difference counts as 0.
    r.write("proc/stat", cpuLine(0, 140, 110, 100, 0) + cpuLine(1, 100, 100, 100));
    s = probe.sample(1);
    EXPECT_DOUBLE_EQ(s.cores[0], 1.0);

    // Core 1 goes offline: the count changed, so this call primes again.
    r.write("proc/stat", cpuLine(0, 150, 110, 100, 0));
    s = probe.sample(1);
    EXPECT_EQ(s.cores, std::vector<double>{0});
    EXPECT_EQ(s.cpu, 0);
    // Core 0 goes offline as core 2 comes online: same count, other core.
    r.write("proc/stat", cpuLine(2, 5, 5, 5, 0));
    s = probe.sample(1);
    EXPECT_EQ(s.cores, std::vector<double>{0});
    r.write("proc/stat", cpuLine(2, 6, 5, 8, 0));
    EXPECT_DOUBLE_EQ(probe.sample(1).cpu, 0.25);
}

TEST(SystemProbe, RatesNeedPreviousCountersTimeAndNoFall)
{
    FakeRoot r;
    machine(r);
    r.write("proc/stat", cpuLine(0, 1, 1, 1));
    SystemProbe probe(r.path());
    auto s = probe.sample(0);
    EXPECT_EQ(s.netIn, 0);
    EXPECT_EQ(s.diskRead, 0);

    r.write("proc/net/dev", "h\nh\n  lo: 9000 0 0 0 0 0 0 0 9000 0\n eth0: 300 0 0 0 0 0 0 0 150 0\n");
    r.write("sys/block/vda/stat", "1 0 16 0 1 0 32 0 0 0 0\n");
    s = probe.sample(0); // dt 0: counters stored, no rates
    EXPECT_EQ(s.netIn, 0);

    r.write("proc/net/dev", "h\nh\n eth0: 500 0 0 0 0 0 0 0 250 0\n");
    r.write("sys/block/vda/stat", "1 0 24 0 1 0 48 0 0 0 0\n");
    s = probe.sample(2);
    EXPECT_DOUBLE_EQ(s.netIn, 100);   // lo and the virtual veth1 are not counted
    EXPECT_DOUBLE_EQ(s.netOut, 50);
    EXPECT_DOUBLE_EQ(s.diskRead, 8 * 512 / 2.0);
    EXPECT_DOUBLE_EQ(s.diskWrite, 16 * 512 / 2.0);

    // An interface or disk goes away: totals fall, that tick has no rates,
    // the next one measures from the lower totals.
    r.write("proc/net/dev", "h\nh\n eth0: 10 0 0 0 0 0 0 0 10 0\n");
    r.remove("sys/block/vda");
    s = probe.sample(1);
    EXPECT_EQ(s.netIn, 0);
    EXPECT_EQ(s.diskRead, 0);
    r.write("proc/net/dev", "h\nh\n eth0: 20 0 0 0 0 0 0 0 10 0\n");
    s = probe.sample(1);
    EXPECT_DOUBLE_EQ(s.netIn, 10);

    // A disk or an interface that appears brings its whole count since boot:
    // that is no second's traffic, so the first tick with it has no rate.
    r.link("sys/block/vdb/device", "/x");
    r.write("sys/block/vdb/stat", "1 0 8000000 0 1 0 16 0 0 0 0\n");
    r.link("sys/class/net/eth1/device", "/x");
    r.write("proc/net/dev", "h\nh\n eth0: 30 0 0 0 0 0 0 0 10 0\n eth1: 9000000 0 0 0 0 0 0 0 5 0\n");
    s = probe.sample(1);
    EXPECT_EQ(s.diskRead, 0);
    EXPECT_EQ(s.netIn, 0);
    r.write("sys/block/vdb/stat", "1 0 8000002 0 1 0 16 0 0 0 0\n");
    r.write("proc/net/dev", "h\nh\n eth0: 40 0 0 0 0 0 0 0 10 0\n eth1: 9000010 0 0 0 0 0 0 0 5 0\n");
    s = probe.sample(1);
    EXPECT_DOUBLE_EQ(s.diskRead, 1024);
    EXPECT_DOUBLE_EQ(s.netIn, 20);
}

TEST(SystemProbe, MemoryLimitsAndPressure)
{
    FakeRoot r;
    machine(r);
    SystemProbe probe(r.path());
    auto s = probe.sample(0);
    EXPECT_EQ(s.memTotal, 1024u * 1024);
    EXPECT_EQ(s.memApp, 420u * 1024);
    EXPECT_EQ(s.memWired, (40u + 5 + 5 + 24) * 1024); // installed − MemTotal is the firmware's share
    EXPECT_EQ(s.memCached, (10u + 300 - 20 + 30) * 1024);
    EXPECT_EQ(s.swapUsed, 150u * 1024);
    EXPECT_LE(s.memApp + s.memWired + s.memCompressed + s.memCached, s.memTotal);
    EXPECT_DOUBLE_EQ(s.load, 1.5);
    EXPECT_EQ(s.fileCount, 1234);
    EXPECT_EQ(s.fileMax, INT64_MAX);
    EXPECT_EQ(s.threadMax, 1); // 0 is raised to 1
    EXPECT_EQ(s.procMax, 1);   // missing
    EXPECT_EQ(s.pressure, 1);  // no PSI: 50 % available

    r.write("proc/meminfo", "MemTotal: 1000 kB\nMemAvailable: 40 kB\nCached: 5 kB\nShmem: 50 kB\n");
    s = probe.sample(0);
    EXPECT_EQ(s.pressure, 4);
    EXPECT_EQ(s.memCached, 0u); // clamped, not wrapped

    r.write("proc/pressure/memory", "some avg10=12.00 avg60=0 avg300=0 total=0\nfull avg10=1.00 avg60=0 avg300=0 total=0\n");
    EXPECT_EQ(probe.sample(0).pressure, 2);
    r.write("proc/pressure/memory", "some avg10=5.00 avg60=0 avg300=0 total=0\nfull avg10=10.00 avg60=0 avg300=0 total=0\n");
    EXPECT_EQ(probe.sample(0).pressure, 4);
}

TEST(SystemProbe, HostInfo)
{
    FakeRoot r;
    r.write("etc/machine-info", "ICON_NAME=computer\nPRETTY_HOSTNAME=\"Lab Box\"\n");
    r.write("proc/sys/kernel/hostname", "labbox\n");
    r.write("proc/cpuinfo", "processor\t: 0\nmodel name\t: Example CPU 9000\n");
    r.write("proc/stat", cpuLine(0, 1, 1, 1) + cpuLine(1, 1, 1, 1) + cpuLine(2, 1, 1, 1) + "btime 1700000000\n");
    r.write("sys/devices/cpu_atom/cpus", "1-2\n");
    auto info = SystemProbe::hostInfo(r.path());
    EXPECT_EQ(info.name, "Lab Box");
    EXPECT_EQ(info.chip, "Example CPU 9000");
    EXPECT_EQ(info.coreKinds, (std::vector<CoreKind>{CoreKind::performance, CoreKind::efficiency,
                                                     CoreKind::efficiency}));
    EXPECT_EQ(info.bootTime, Date::fromUnix(1700000000));

    // No hybrid list: lower capacity means efficiency; no capacities: all performance.
    r.remove("sys/devices/cpu_atom");
    r.remove("etc");
    r.write("sys/devices/system/cpu/cpu0/cpu_capacity", "1024\n");
    r.write("sys/devices/system/cpu/cpu1/cpu_capacity", "512\n");
    r.write("sys/devices/system/cpu/cpu2/cpu_capacity", "1024\n");
    info = SystemProbe::hostInfo(r.path());
    EXPECT_EQ(info.name, "labbox");
    EXPECT_EQ(info.coreKinds[1], CoreKind::efficiency);
    EXPECT_EQ(info.coreKinds[2], CoreKind::performance);
    r.remove("sys/devices/system/cpu");
    info = SystemProbe::hostInfo(r.path());
    EXPECT_EQ(info.coreKinds, std::vector<CoreKind>(3, CoreKind::performance));
}

TEST(SystemProbe, LiveMemoryPartsFitInstalledMemory)
{
    SystemProbe probe;
    probe.sample(0);
    const auto s = probe.sample(1);
    EXPECT_GT(s.memTotal, 1u);
    EXPECT_LE(s.memApp + s.memWired + s.memCompressed + s.memCached, s.memTotal);
    EXPECT_FALSE(s.cores.empty());
    EXPECT_GE(s.procMax, 1);
}

TEST(SystemProbe, AMachineThatCannotBeReadIsAFault)
{
    FakeRoot r;
    machine(r);
    r.write("proc/stat", cpuLine(0, 1, 1, 1));
    SystemProbe probe(r.path());
    probe.sample(0);
    EXPECT_EQ(probe.fault(), 0);
    {
        NoDescriptorsLeft starved;
        if (!starved.ok())
            GTEST_SKIP() << "the descriptor limit cannot be lowered here";
        probe.sample(1);
        EXPECT_EQ(probe.fault(), EMFILE);
    }
    probe.sample(1);
    EXPECT_EQ(probe.fault(), 0);
    r.remove("proc");
    probe.sample(1);
    EXPECT_EQ(probe.fault(), ENOENT);
}
