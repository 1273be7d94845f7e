#include "engine/restricted_probe.h"
#include "platform/desktop_entries.h"
#include "platform/proc_parse.h"

#include <gtest/gtest.h>

using namespace ProcParse;

TEST(ProcParse, PidStatNameRunsToTheLastParenthesis)
{
    const auto s = pidStat("42 (a) (b c)) R 7 1 1 0 -1 2097216 0 0 0 0 150 50 0 0 20 0 3 0 9000 100 25 0 0\n");
    ASSERT_TRUE(s);
    EXPECT_EQ(s->pid, 42);
    EXPECT_EQ(s->comm, "a) (b c)");
    EXPECT_EQ(s->state, 'R');
    EXPECT_EQ(s->ppid, 7);
    EXPECT_TRUE(s->flags & kernelThreadFlag);
    EXPECT_EQ(s->utime, 150u);
    EXPECT_EQ(s->stime, 50u);
    EXPECT_EQ(s->threads, 3);
    EXPECT_EQ(s->startTime, 9000u);
    EXPECT_EQ(s->rssPages, 25u);

    EXPECT_FALSE(pidStat("42 (x) R 7 1"));           // cut short
    EXPECT_FALSE(pidStat("42 x) R 7"));              // no opening parenthesis
    EXPECT_FALSE(pidStat(""));
}

TEST(ProcParse, StatFoldsCountersAndSkipsTheTotalLine)
{
    const auto s = stat("cpu  9 9 9 9 9 9 9 9 0 0\n"
                        "cpu0 10 1 5 100 20 2 3 4 0 0\n"
                        "cpu3 1 2 3 4\n"              // an old kernel's four columns
                        "intr 1 2\nbtime 1700000000\n");
    ASSERT_EQ(s.cores.size(), 2u);
    EXPECT_EQ(s.cores[0].id, 0);
    EXPECT_EQ(s.cores[0].user, 10u);
    EXPECT_EQ(s.cores[0].nice, 1u);
    EXPECT_EQ(s.cores[0].system, 5u + 2 + 3 + 4);
    EXPECT_EQ(s.cores[0].idle, 120u);
    EXPECT_EQ(s.cores[1].id, 3);
    EXPECT_EQ(s.cores[1].idle, 4u);
    EXPECT_EQ(s.bootTime, 1700000000u);
}

TEST(ProcParse, FieldsOfMeminfoStatusAndIo)
{
    const std::string_view status = "Name:\tx\nRssAnon:\t    1234 kB\nRssAnonX: 1 kB\nThreads:\t4\n";
    EXPECT_EQ(kbField(status, "RssAnon"), 1234u * 1024);
    EXPECT_EQ(kbField(status, "Threads"), 4u);
    EXPECT_EQ(kbField(status, "Rss"), std::nullopt);
    const auto i = io("rchar: 1\nread_bytes: 4096\nwrite_bytes: 8192\ncancelled_write_bytes: 1\n");
    ASSERT_TRUE(i);
    EXPECT_EQ(i->readBytes, 4096u);
    EXPECT_EQ(i->writeBytes, 8192u);
    EXPECT_FALSE(io("rchar: 1\n"));
    EXPECT_EQ(textField("model name\t: Some CPU @ 3GHz  \n", "model name"), "Some CPU @ 3GHz");
    EXPECT_EQ(statm("5000 1200 300 10 0 900 0\n"), (std::pair<uint64_t, uint64_t>{1200, 300}));
    EXPECT_EQ(statm("5000 1200\n"), std::nullopt);
    EXPECT_EQ(statm("5000 x 300\n"), std::nullopt);
}

TEST(ProcParse, NetDevPressureBlockAndCpuLists)
{
    const auto dev = netDev("Inter-|   Receive |  Transmit\n face |bytes packets\n"
                            "    lo: 100 1 0 0 0 0 0 0 200 2 0 0 0 0 0 0\n"
                            "  eth0: 5000 9 0 0 0 0 0 0 7000 9 0 0 0 0 0 0\n");
    ASSERT_EQ(dev.size(), 2u);
    EXPECT_EQ(dev[1].name, "eth0");
    EXPECT_EQ(dev[1].received, 5000u);
    EXPECT_EQ(dev[1].sent, 7000u);

    const auto p = pressure("some avg10=12.50 avg60=0 avg300=0 total=1\nfull avg10=3.00 avg60=0\n");
    EXPECT_EQ(p.some, 12.5);
    EXPECT_EQ(p.full, 3.0);

    const auto b = blockStat("  100 0 800 0 50 0 1600 0 0 0 0\n");
    ASSERT_TRUE(b);
    EXPECT_EQ(b->sectorsRead, 800u);
    EXPECT_EQ(b->sectorsWritten, 1600u);

    EXPECT_EQ(cpuList("0-2,8,10-11\n"), (std::vector<int>{0, 1, 2, 8, 10, 11}));
    EXPECT_EQ(cpuList("3-1,x,-4"), std::vector<int>{});
}

TEST(ProcParse, PsTimeIsMinutesSecondsHundredths)
{
    EXPECT_EQ(psTime(6250, 100), "1:02.50");
    EXPECT_EQ(psTime(0, 100), "0:00.00");
    EXPECT_EQ(psTime(100 * 3600 * 2 + 5, 100), "120:00.05"); // minutes do not roll into hours
    EXPECT_EQ(psTime(1000, 1000), "0:01.00");
}

TEST(RestrictedProbe, LineGrammar)
{
    const auto l = RestrictedProbe::parseLine("   123    1:02.50   2048");
    ASSERT_TRUE(l);
    EXPECT_EQ(l->pid, 123);
    EXPECT_DOUBLE_EQ(l->seconds, 62.5);
    EXPECT_EQ(l->rssKiB, 2048u);
    EXPECT_FALSE(RestrictedProbe::parseLine("123 1:02.50"));
    EXPECT_FALSE(RestrictedProbe::parseLine("abc 0:01.00 10"));
    EXPECT_FALSE(RestrictedProbe::parseLine("1 0:01.00 10 extra"));
    EXPECT_FALSE(RestrictedProbe::parseLine("1 0:01.00 -10"));

    EXPECT_DOUBLE_EQ(RestrictedProbe::parseTime("12:03:04"), 43384);
    EXPECT_DOUBLE_EQ(RestrictedProbe::parseTime("2-01:00:00"), 2 * 86400 + 3600);
    EXPECT_DOUBLE_EQ(RestrictedProbe::parseTime("1::x:5"), 3605); // junk adds 0, empty pieces drop
}

TEST(RestrictedProbe, PollsTurnTimesIntoPercentages)
{
    RestrictedProbe probe("/nonexistent");
    probe.update("10 0:10.00 4\n20 0:05.00 8\n", 100.0);
    EXPECT_EQ(probe.latest.at(10), (std::pair<double, uint64_t>{0, 4096})); // first poll: no rate

    probe.update("10 0:11.00 4\n\n20 0:04.00 8\n30 0:01.00 1\n", 102.0);
    EXPECT_DOUBLE_EQ(probe.latest.at(10).first, 50);
    EXPECT_DOUBLE_EQ(probe.latest.at(20).first, 0);   // time fell: a reused pid
    EXPECT_DOUBLE_EQ(probe.latest.at(30).first, 0);   // new this poll

    probe.update("30 0:02.00 1\n", 104.0);            // replaced whole
    EXPECT_EQ(probe.latest.size(), 1u);
    EXPECT_DOUBLE_EQ(probe.latest.at(30).first, 50);

    probe.update("", 106.0);                          // tool failed
    EXPECT_TRUE(probe.latest.empty());
    probe.update("30 0:03.00 1\n", 108.0);
    EXPECT_DOUBLE_EQ(probe.latest.at(30).first, 0);
}

TEST(DesktopEntries, ParseAndProgramWord)
{
    const auto e = DesktopEntries::parse("# c\n[Desktop Entry]\nType=Application\nName=Editor\n"
                                         "Exec=env GDK_BACKEND=x11 \"/opt/My Editor/editor\" %F\n"
                                         "[Desktop Action new]\nName=Other\n");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->name, "Editor");
    EXPECT_EQ(e->exec, "/opt/My Editor/editor");
    EXPECT_FALSE(DesktopEntries::parse("[Desktop Entry]\nType=Link\nName=x\nExec=y\n"));
    EXPECT_FALSE(DesktopEntries::parse("[Desktop Entry]\nType=Application\nName=x\nExec=y\nHidden=true\n"));
    EXPECT_EQ(DesktopEntries::programOf("my\\ prog --x"), "my prog");
}
