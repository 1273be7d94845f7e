#include "core/records.h"

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
    auto proc = [](int32_t pid, double cpu, uint64_t mem, int64_t threads, int64_t fds) {
        ProcSample p;
        p.pid = pid;
        p.cpu = cpu;
        p.mem = mem;
        p.threads = threads;
        p.fds = fds;
        return p;
    };
    ProcSample p1 = proc(1, 10, 100, 2, 3);
    p1.netIn = 1;
    p1.netOut = 2;
    p1.diskRead = 3;
    p1.diskWrite = 4;
    ProcSample p2 = proc(7, 5.5, 0, 1, 1);
    p2.netIn = 0.5;
    ProcSample p3 = proc(3, 0.5, 50, 4, 10);
    p3.diskWrite = 6;
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
    Listener l;
    l.pid = 312;
    l.proto = "TCP";
    l.port = 5000;
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

TEST(Records, CleanNameCapsBytesOnACharacterBoundaryAndBlanksControls)
{
    EXPECT_EQ(ProcSample::cleanName(u"plain"), "plain");
    EXPECT_EQ(ProcSample::cleanName(QString::fromUtf8("a\nb\tc\x1b\x7f" "d\xc2\x85" "e")), "a b c  d e");

    // 254 ASCII bytes leave room for one byte only: a two-byte letter is
    // dropped whole rather than cut in half.
    const QString ascii(254, u'x');
    EXPECT_EQ(ProcSample::cleanName(ascii + QString::fromUtf8("é")), ascii);
    EXPECT_EQ(ProcSample::cleanName(ascii + QStringLiteral("ab")), ascii + QChar(u'a'));

    // Four-byte characters (surrogate pairs) are never split.
    QString emoji;
    for (int i = 0; i < 100; ++i)
        emoji += QString::fromUtf8("\xF0\x9F\x98\x80");
    const QString cut = ProcSample::cleanName(emoji);
    EXPECT_EQ(cut.toUtf8().size(), 252);
    EXPECT_FALSE(cut.back().isHighSurrogate());

    // A lone surrogate has no UTF-8 form; it becomes the replacement mark.
    const QChar lone[] = {QChar(0xD800), u'z'};
    EXPECT_EQ(ProcSample::cleanName(QStringView(lone, 2)), QString(QChar::ReplacementCharacter) + u'z');
    EXPECT_LE(ProcSample::cleanName(QString(100000, u'\n')).toUtf8().size(), 255);
}

TEST(Records, CleanNameNeutralisesDirectionControlsAndDropsInvisibleMarks)
{
    const QString mark(QChar::ReplacementCharacter);
    EXPECT_EQ(ProcSample::cleanName(u"evil\u202Efdp.exe"), "evil" + mark + "fdp.exe");
    for (char16_t c : {0x202A, 0x202B, 0x202C, 0x202D, 0x202E, 0x2066, 0x2067, 0x2068, 0x2069})
        EXPECT_EQ(ProcSample::cleanName(QStringLiteral("a") + QChar(c) + u'b'), "a" + mark + "b") << int(c);
    EXPECT_EQ(ProcSample::cleanName(u"\uFEFFp\u200Bay\u200Epa\u200Fl\u2060"), "paypal");
    // Letters of right-to-left scripts stay; a joiner outside an emoji
    // sequence goes like any other invisible mark.
    const QString hebrew = QStringLiteral("\u05E9\u05DC\u05D5\u05DD");
    EXPECT_EQ(ProcSample::cleanName(hebrew), hebrew);
    EXPECT_EQ(ProcSample::cleanName(QStringLiteral("\u05E9\u05DC\u200D\u05D5\u05DD")), hebrew);
    // Dropped marks take no room: 255 bytes of name survive behind them.
    const QString full(255, u'x');
    EXPECT_EQ(ProcSample::cleanName(QString(40, QChar(0x200B)) + full), full);
}

// A name that would show nothing is named by its executable's file name,
// else by its pid; a name that shows anything is its own.
TEST(Records, ShownNameStandsInForAnInvisibleName)
{
    const QString filler = QStringLiteral("\u3164\u3164");
    EXPECT_EQ(ProcSample::shownName(filler, u"/opt/tools/agent", 42), QStringLiteral("agent"));
    EXPECT_EQ(ProcSample::shownName(filler, u"/opt/tools/\u3164", 42), QStringLiteral("pid 42"));
    EXPECT_EQ(ProcSample::shownName(QStringLiteral("\u2800 \u200B"), u"", 7), QStringLiteral("pid 7"));
    EXPECT_EQ(ProcSample::shownName(filler, u"", std::nullopt), QStringLiteral("?"));
    EXPECT_EQ(ProcSample::shownName(QStringLiteral("ok\u2028name"), u"/bin/x", 1), QStringLiteral("ok name"));
}
