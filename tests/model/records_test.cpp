#include "model/records.h"

#include <gtest/gtest.h>

TEST(Records, DefaultSystemSampleHasUnitLimits)
{
    SystemSample s;
    EXPECT_EQ(s.memTotal, 1u);
    EXPECT_EQ(s.pressure, 1);
    EXPECT_EQ(s.fileMax, 1);
    EXPECT_EQ(s.threadMax, 1);
    EXPECT_EQ(s.procMax, 1);
    EXPECT_EQ(s.cpu, 0);
    EXPECT_EQ(s.memApp, 0u);
    EXPECT_TRUE(s.cores.empty());
    EXPECT_TRUE(s.topCPU.isEmpty());
    EXPECT_EQ(double(s.fileCount) / double(s.fileMax), 0.0);
    EXPECT_NEAR(s.date.unix(), Date::now().unix(), 5);
}

TEST(Records, GroupAddKeepsOrderAndSums)
{
    GroupSample g("exe:a", "a", std::nullopt);
    EXPECT_TRUE(g.members.empty());
    ProcSample p1{.pid = 1, .cpu = 10, .mem = 100, .threads = 2, .fds = 3, .netIn = 1, .netOut = 2, .diskRead = 3, .diskWrite = 4};
    ProcSample p2{.pid = 7, .cpu = 5.5, .mem = 0, .threads = 1, .fds = 1, .netIn = 0.5};
    ProcSample p3{.pid = 3, .cpu = 0.5, .mem = 50, .threads = 4, .fds = 10, .diskWrite = 6};
    g.add(p1);
    g.add(p2);
    EXPECT_EQ(g.mem, 100u); // a process with no memory adds none
    g.add(p3);
    ASSERT_EQ(g.members.size(), 3u);
    EXPECT_EQ(g.members[0].pid, 1);
    EXPECT_EQ(g.members[1].pid, 7);
    EXPECT_EQ(g.members[2].pid, 3);
    EXPECT_DOUBLE_EQ(g.cpu, 16);
    EXPECT_EQ(g.mem, 150u);
    EXPECT_EQ(g.threads, 7);
    EXPECT_EQ(g.fds, 14);
    EXPECT_DOUBLE_EQ(g.netIn, 1.5);
    EXPECT_DOUBLE_EQ(g.netOut, 2);
    EXPECT_DOUBLE_EQ(g.diskRead, 3);
    EXPECT_DOUBLE_EQ(g.diskWrite, 10);
}

TEST(Records, IdentitiesAndEmptySnapshot)
{
    Listener l{.pid = 312, .proto = "TCP", .port = 5000};
    EXPECT_EQ(l.id(), "312.TCP.5000");
    EXPECT_EQ(int(Connection::Scope::internet), 0);
    EXPECT_EQ(int(Connection::Scope::loopback), 2);

    Snapshot s;
    EXPECT_EQ(s.netInterval, 2.0);
    EXPECT_EQ(s.interval, 1.0);
    EXPECT_EQ(s.netSerial, 0);
    EXPECT_TRUE(s.groups.empty() && s.connections.empty() && s.listeners.empty());
}

TEST(Records, DatesConvertBetweenEpochs)
{
    EXPECT_EQ(Date::fromUnix(978307200).sinceReference, 0);
    EXPECT_EQ(Date{10}.unix(), 978307210);
    EXPECT_EQ(Date{5} + 2.5, Date{7.5});
    EXPECT_EQ(Date{9} - Date{4}, 5);
}
