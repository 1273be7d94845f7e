#include "process/inspector_model.h"

#include "app/view_fixture.h"
#include "ui/theme.h"

#include <gtest/gtest.h>

namespace {

ProcSample proc(int32_t pid, double cpu, const QString& name = QString())
{
    ProcSample p;
    p.pid = pid;
    p.cpu = cpu;
    p.name = name.isEmpty() ? QStringLiteral("p%1").arg(pid) : name;
    return p;
}

GroupSample groupOf(const QString& key, std::vector<ProcSample> members)
{
    GroupSample g(key, key, std::nullopt);
    for (const ProcSample& p : members)
        g.add(p);
    return g;
}

Connection conn(int32_t pid, int n, double rate = 0, double bytes = 0)
{
    Connection c;
    c.id = QStringLiteral("%1 flow%2").arg(pid).arg(n);
    c.pid = pid;
    c.remoteHost = QStringLiteral("10.0.0.%1").arg(n);
    c.remotePort = 443;
    c.rateIn = rate;
    c.bytesIn = bytes;
    return c;
}

class InspectorModelTest : public ViewTest {
protected:
    InteractionHold hold{QStringLiteral("inspector")};
};

} // namespace

TEST_F(InspectorModelTest, ResolvesTheGroupTheProcessAndThePids)
{
    const QHash<QString, Monitor::Series> series;
    // One member is the process whatever the focus says.
    auto one = resolveInspection(groupOf("a", {proc(10, 1)}), 99, series, {});
    ASSERT_TRUE(one.process);
    EXPECT_EQ(one.process->pid, 10);
    EXPECT_EQ(one.pids, (std::vector<int32_t>{10}));

    const auto three = groupOf("b", {proc(1, 0), proc(2, 0), proc(3, 0)});
    auto focused = resolveInspection(three, 2, series, {});
    ASSERT_TRUE(focused.process);
    EXPECT_EQ(focused.pids, (std::vector<int32_t>{2}));

    // A focus outside the group inspects the whole group.
    auto stray = resolveInspection(three, 77, series, {});
    EXPECT_FALSE(stray.process);
    EXPECT_EQ(stray.pids, (std::vector<int32_t>{1, 2, 3}));
    EXPECT_TRUE(stray.series.cpu.empty());

    auto empty = resolveInspection(groupOf("c", {}), std::nullopt, series, {});
    EXPECT_TRUE(empty.pids.empty());
    EXPECT_FALSE(empty.paused);
    EXPECT_EQ(subtitleCount(0), QStringLiteral("0 processes"));
    L10n::setChinese(true);
    EXPECT_EQ(subtitleCount(3), QStringLiteral("3 个进程"));

    EXPECT_FALSE(resolveInspection(std::nullopt, 1, series, {}).group);
}

TEST_F(InspectorModelTest, PausedWhenEveryPidIsStoppedByUsOrByTheKernel)
{
    const QHash<QString, Monitor::Series> series;
    auto a = proc(5, 0), b = proc(6, 0);
    EXPECT_FALSE(resolveInspection(groupOf("g", {a, b}), std::nullopt, series, {5}).paused);
    EXPECT_TRUE(resolveInspection(groupOf("g", {a, b}), std::nullopt, series, {5, 6}).paused);
    // A fresh inspector knows nothing, yet the sample says the kernel stopped
    // them.
    b.state = 'T';
    EXPECT_FALSE(resolveInspection(groupOf("g", {a, b}), std::nullopt, series, {}).paused);
    EXPECT_TRUE(resolveInspection(groupOf("g", {a, b}), 6, series, {}).paused);
    a.state = 'T';
    EXPECT_TRUE(resolveInspection(groupOf("g", {a, b}), std::nullopt, series, {}).paused);
    // Resumed here, while the sample is older than the resume.
    EXPECT_FALSE(resolveInspection(groupOf("g", {a, b}), std::nullopt, series, {}, {6}).paused);
}

TEST_F(InspectorModelTest, TileTextsAndColours)
{
    EXPECT_EQ(cpuText(99.9), QStringLiteral("99.9%"));
    EXPECT_EQ(cpuText(99.96), QStringLiteral("100.0%"));
    EXPECT_EQ(cpuText(100), QStringLiteral("100%"));
    EXPECT_EQ(cpuText(250), QStringLiteral("250%"));

    auto a = proc(1, 60);
    auto b = proc(2, 70);
    a.threads = 400;
    b.threads = 10;
    const auto g = groupOf("g", {a, b});
    Monitor::Series series;
    series.cpu = {1, 2, 3};
    Thresholds thresholds;
    thresholds.threads = 400;
    thresholds.fds = 1024;

    const auto whole = tileModels(g, std::nullopt, series, thresholds);
    EXPECT_EQ(whole[0].value, QStringLiteral("130%"));
    EXPECT_EQ(whole[2].value, QStringLiteral("410"));
    EXPECT_EQ(whole[2].color, Theme::warn());
    EXPECT_EQ(whole[4].value.right(2), QStringLiteral("/s"));
    EXPECT_EQ(whole[4].floor, 1024);

    const auto first = tileModels(g, a, series, thresholds);
    EXPECT_EQ(first[0].value, QStringLiteral("60.0%"));
    EXPECT_EQ(first[0].values, series.cpu); // the group's history still
    EXPECT_EQ(first[2].color, Theme::warn());
    const auto second = tileModels(g, b, series, thresholds);
    EXPECT_NE(second[2].color, Theme::warn());
    EXPECT_NEAR(second[2].color.alphaF(), Theme::text().alphaF() * 0.8, 0.01);

    L10n::setChinese(true);
    const auto zh = tileModels(g, std::nullopt, series, thresholds);
    EXPECT_EQ(zh[0].title, QStringLiteral("CPU"));
    EXPECT_EQ(zh[1].title, QStringLiteral("内存"));
}

TEST_F(InspectorModelTest, RestrictedFiguresReadAsDashOnlyWhenEveryMemberIsRestricted)
{
    auto a = proc(1, 0);
    auto b = proc(2, 0);
    a.restricted = true;
    const Thresholds thresholds;
    const auto mixed = tileModels(groupOf("g", {a, b}), std::nullopt, {}, thresholds);
    EXPECT_NE(mixed[2].value, QStringLiteral("\u2014"));
    b.restricted = true;
    const auto all = tileModels(groupOf("g", {a, b}), std::nullopt, {}, thresholds);
    EXPECT_EQ(all[2].value, QStringLiteral("\u2014"));
    EXPECT_EQ(all[3].value, QStringLiteral("\u2014"));
}

TEST_F(InspectorModelTest, MembersAreSortedCappedAndHeldAsExited)
{
    std::vector<ProcSample> members;
    for (int i = 0; i < 12; ++i)
        members.push_back(proc(100 + i, i == 3 ? 150 : 37.5));
    auto g = groupOf("g", members);
    auto list = memberRows(g, 104, hold);
    auto rows = list.rows;
    ASSERT_EQ(rows.size(), 10u);
    // The twelve members beyond the ten rows are counted, as the
    // connections are.
    EXPECT_EQ(list.more, QStringLiteral("2 more"));
    EXPECT_EQ(rows[0].pid, 103);
    EXPECT_EQ(rows[0].cpu, QStringLiteral("150%"));
    EXPECT_EQ(rows[1].pid, 100); // equal CPU keeps member order
    EXPECT_EQ(rows[1].cpu, QStringLiteral("37.5%"));
    EXPECT_TRUE(rows[4].focused);
    EXPECT_FALSE(rows[3].focused);

    hold.set(InteractionHold::Reason::pointer, true);
    memberRows(g, std::nullopt, hold);
    g.members.erase(g.members.begin()); // pid 100 exits
    rows = memberRows(g, std::nullopt, hold).rows;
    EXPECT_EQ(rows[1].pid, 100);
    EXPECT_TRUE(rows[1].departed);
    EXPECT_EQ(rows[1].cpu, QStringLiteral("Exited"));
    hold.set(InteractionHold::Reason::pointer, false);
    advance(0.6);
    list = memberRows(g, std::nullopt, hold);
    EXPECT_NE(list.rows[1].pid, 100);
    EXPECT_EQ(list.more, QStringLiteral("1 more"));
    g.members.resize(10);
    EXPECT_FALSE(memberRows(g, std::nullopt, hold).more);
}

TEST_F(InspectorModelTest, ConnectionsAreOrderedCappedAndCounted)
{
    Snapshot s;
    for (int i = 0; i < 31; ++i)
        s.connections.push_back(conn(7, i, 0, i));
    s.connections.push_back(conn(8, 99, 50)); // another process
    s.connections[5].rateIn = 10;
    auto model = networkModel(s, {7}, hold);
    EXPECT_EQ(model.count, QStringLiteral("31 open"));
    ASSERT_EQ(model.rows.size(), 30u);
    EXPECT_EQ(model.rows[0].id, QStringLiteral("7 flow5"));
    EXPECT_TRUE(model.rows[0].active);
    EXPECT_EQ(model.rows[1].id, QStringLiteral("7 flow30")); // then by bytes
    EXPECT_EQ(model.more, QStringLiteral("1 more"));
    L10n::setChinese(true);
    EXPECT_EQ(networkModel(s, {7}, hold).more, QStringLiteral("另有 1 条"));
    L10n::setChinese(false);

    s.connections.resize(30);
    EXPECT_FALSE(networkModel(s, {7}, hold).more);
    const auto none = networkModel(s, {9}, hold);
    EXPECT_TRUE(none.empty);
    EXPECT_EQ(none.count, QStringLiteral("0 open"));
}

// A host name that turns right to left would carry the port with it
// ("00164:elpmaxe.paypal"): the row shows the override as a mark and sets a
// right-to-left name apart, and what it copies holds no such marks.
TEST_F(InspectorModelTest, AConnectionsHostCannotTurnItsPort)
{
    Snapshot s;
    s.connections = {conn(7, 1, 10), conn(7, 2, 5)};
    s.connections[0].host = QStringLiteral("\u202Elapyap.example");
    s.connections[0].remotePort = 46100;
    s.connections[1].host = QStringLiteral("\u05D0\u05D1.example");
    s.connections[1].remotePort = 443;
    const auto model = networkModel(s, {7}, hold);
    ASSERT_EQ(model.rows.size(), 2u);
    const QString mark(QChar::ReplacementCharacter);
    EXPECT_EQ(model.rows[0].display, QChar(0x2068) + mark + QStringLiteral("lapyap.example\u2069:46100"));
    EXPECT_EQ(model.rows[0].copied, mark + QStringLiteral("lapyap.example:46100"));
    EXPECT_EQ(model.rows[1].display, QStringLiteral("\u2068\u05D0\u05D1.example\u2069:443"));
    EXPECT_EQ(model.rows[1].copied, QStringLiteral("\u05D0\u05D1.example:443"));
}

TEST_F(InspectorModelTest, ListenersCarryTheLanSuffixUnlessLoopbackOnly)
{
    Snapshot s;
    s.listeners = {{7, "tcp", 8080, false}, {7, "tcp", 53, true}, {8, "tcp", 22, false}};
    const auto model = networkModel(s, {7}, hold);
    EXPECT_EQ(model.listening, QStringLiteral("Listening :53  :8080 (LAN)"));
    EXPECT_EQ(model.ports, (std::vector<int64_t>{53, 8080}));
}

TEST_F(InspectorModelTest, HeldAlertsAreCountedAndShownOnRequest)
{
    auto incident = [](const QString& key) {
        Incident i;
        i.groupKey = key;
        return i;
    };
    std::vector<Incident> open{incident("g"), incident("other")};
    EXPECT_EQ(alertRows(open, "g", 0, hold).size(), 1u);

    hold.set(InteractionHold::Reason::pointer, true);
    alertRows(open, "g", 0, hold);
    open.insert(open.begin(), incident("g"));
    EXPECT_EQ(alertRows(open, "g", 0, hold).size(), 1u);
    runPending();
    EXPECT_EQ(newAlertsText(hold.withheld()), QStringLiteral("1 new alert"));
    open.insert(open.begin(), incident("g"));
    EXPECT_EQ(alertRows(open, "g", 0, hold).size(), 1u);
    runPending();
    EXPECT_EQ(newAlertsText(hold.withheld()), QStringLiteral("2 new alerts"));
    L10n::setChinese(true);
    EXPECT_EQ(newAlertsText(2), QStringLiteral("2 条新告警"));
    // A click on the badge bumps the revision: all three, newest first.
    const auto shown = alertRows(open, "g", 1, hold);
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0].id, open[0].id);
    runPending();
    EXPECT_EQ(hold.withheld(), 0);
}

TEST(InspectorActions, MuteRevealAndHoldLabel)
{
    const QStringList twice{"a", "x", "b", "x"};
    EXPECT_EQ(toggledMute(twice, "x"), (QStringList{"a", "b"}));
    EXPECT_EQ(toggledMute({"a"}, "x"), (QStringList{"a", "x"}));

    GroupSample g("k", "k", QStringLiteral("/usr/share/applications/k.desktop"));
    ProcSample p;
    p.path = "/opt/k/bin/k";
    g.add(p);
    EXPECT_EQ(revealPath(g, std::nullopt), QStringLiteral("/usr/share/applications/k.desktop"));
    EXPECT_EQ(revealPath(g, p), QStringLiteral("/opt/k/bin/k"));
    EXPECT_EQ(revealPath(GroupSample("e", "e", std::nullopt), std::nullopt), QString());

    EXPECT_EQ(holdLabel("Quit", 1), QStringLiteral("Quit"));
    EXPECT_EQ(holdLabel("Quit", 3), QStringLiteral("Quit \u00D73"));
}

TEST_F(InspectorModelTest, GroupActionsCountOnlyWhatTheUserMaySignal)
{
    const QHash<QString, Monitor::Series> series;
    const uint32_t me = 1000;
    ProcSample mine = proc(10, 1), theirs = proc(11, 1), unknown = proc(12, 1), roots = proc(13, 1);
    mine.uid = me;
    theirs.uid = 1001;
    roots.uid = 0;
    const GroupSample g = groupOf("g", {mine, theirs, unknown, roots});

    const Inspection whole = resolveInspection(g, std::nullopt, series, {}, {}, me);
    EXPECT_EQ(whole.pids, (std::vector<int32_t>{10, 11, 12, 13}));
    EXPECT_EQ(whole.signalable, (std::vector<int32_t>{10, 12}));
    EXPECT_TRUE(resolveInspection(g, 11, series, {}, {}, me).signalable.empty());
    EXPECT_EQ(resolveInspection(g, 10, series, {}, {}, me).signalable, std::vector<int32_t>{10});
    // Root may signal every process.
    EXPECT_EQ(resolveInspection(g, std::nullopt, series, {}, {}, 0).signalable, whole.pids);
}

TEST_F(InspectorModelTest, TheRestrictedNoteSaysWhoseProcessItIs)
{
    ProcSample p = proc(10, 1);
    p.restricted = true;
    p.uid = 1001;
    EXPECT_EQ(restrictedNote(p, 1000), "Another user's process: reading threads and handles requires root");
    p.uid = 0;
    EXPECT_EQ(restrictedNote(p, 1000), "System process: reading threads and handles requires root");
    p.uid.reset();
    EXPECT_EQ(restrictedNote(p, 1000), "System process: reading threads and handles requires root");
    L10n::setChinese(true);
    p.uid = 1001;
    EXPECT_EQ(restrictedNote(p, 1000), "其他用户的进程：读取线程与句柄需要 root 权限");
    p.uid = 0;
    EXPECT_EQ(restrictedNote(p, 1000), "系统进程：读取线程与句柄需要 root 权限");
    L10n::setChinese(false);
}

TEST_F(InspectorModelTest, ARefusedSignalIsSaidForWhatItWentTo)
{
    using Action = ProcessSignals::Action;
    EXPECT_EQ(refusedText(Action::quit, "kernel (bob)", 1, 1), "The system refused to quit “kernel (bob)”.");
    // A name's own "%2" stays as it is.
    EXPECT_EQ(refusedText(Action::pause, "a%2b", 2, 3), "The system refused to pause 2 of the 3 processes of “a%2b”.");
    L10n::setChinese(true);
    EXPECT_EQ(refusedText(Action::forceQuit, "x", 1, 1), "系统拒绝强制结束「x」。");
    EXPECT_EQ(refusedText(Action::resume, "x", 2, 3), "系统拒绝继续运行「x」的 3 个进程中的 2 个。");
    L10n::setChinese(false);
}

TEST(InspectorActions, CommandLinesShowHiddenCharactersAsEscapes)
{
    const QString plain = QStringLiteral("/usr/bin/python3 -m http.server --dir C:\\dir 名前");
    EXPECT_EQ(visibleCommandLine(plain), plain);
    // Nothing that breaks the line, colours it, reorders it or hides in it.
    EXPECT_EQ(visibleCommandLine(QStringLiteral("a\tb\x1b[31m evil\u202Efdp.exe\u2028x\u200B")),
              QStringLiteral("a\\tb\\x1b[31m evil\\u202efdp.exe\\u2028x\\u200b"));
    // A name of Hangul fillers shows what it is, not a blank.
    EXPECT_EQ(visibleCommandLine(QStringLiteral("/tmp/\u3164\u3164 --x\u00AD")),
              QStringLiteral("/tmp/\\u3164\\u3164 --x\\u00ad"));
}
