#include "platform/process_signals.h"
#include "sleeping_child.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>

#include <chrono>
#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

using namespace ProcessSignals;

namespace {

void writeStat(const QTemporaryDir& root, int pid, char state, unsigned long long start)
{
    const QString dir = root.filePath(QStringLiteral("proc/%1").arg(pid));
    QDir().mkpath(dir);
    QFile f(dir + QStringLiteral("/stat"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    // Field 22 is the start time; the name holds a space and a parenthesis.
    f.write(QByteArray::number(pid) + " (we ird) sh) " + state + " 1 1 1 0 -1 0 0 0 0 0 5 6 0 0 20 0 1 0 "
            + QByteArray::number(start) + " 1000 10 18446744073709551615\n");
}

struct Recorder {
    std::vector<std::pair<int32_t, int>> sent;
    ScopedSender scope{[this](int32_t pid, int signal) {
        sent.emplace_back(pid, signal);
        return 0;
    }};
};

} // namespace

TEST(ProcessSignals, ActionsMapToTheNamedSignals)
{
    EXPECT_EQ(signalFor(Action::pause), SIGSTOP);
    EXPECT_EQ(signalFor(Action::resume), SIGCONT);
    EXPECT_EQ(signalFor(Action::quit), SIGTERM);
    EXPECT_EQ(signalFor(Action::forceQuit), SIGKILL);
}

TEST(ProcessSignals, CapturesStartTimesAndSkipsWhatChangedOrVanished)
{
    QTemporaryDir root;
    writeStat(root, 100, 'S', 5000);
    writeStat(root, 200, 'R', 6000);
    writeStat(root, 300, 'S', 7000);
    const std::string r = root.path().toStdString();

    const auto targets = capture({100, 200, 300, 400}, r);
    ASSERT_EQ(targets, (std::vector<Target>{{100, 5000}, {200, 6000}, {300, 7000}}));

    // 200 is now another process; 300 has gone.
    writeStat(root, 200, 'S', 6100);
    QDir(root.filePath(QStringLiteral("proc/300"))).removeRecursively();

    Recorder recorder;
    EXPECT_EQ(send(targets, Action::forceQuit, {r, 999}), (std::vector<int32_t>{100}));
    EXPECT_EQ(recorder.sent, (std::vector<std::pair<int32_t, int>>{{100, SIGKILL}}));
}

TEST(ProcessSignals, ReportsOnlyTheSignalsTheSystemAccepted)
{
    QTemporaryDir root;
    writeStat(root, 60, 'S', 1);
    writeStat(root, 61, 'S', 1);
    writeStat(root, 62, 'S', 1);
    ScopedSender refusing([](int32_t pid, int) { return pid == 60 ? EPERM : pid == 62 ? ESRCH : 0; });
    std::vector<int32_t> refused;
    EXPECT_EQ(send({{60, 1}, {61, 1}, {62, 1}}, Action::pause, {root.path().toStdString(), 999}, &refused),
              (std::vector<int32_t>{61}));
    // A process that ended meanwhile was not refused.
    EXPECT_EQ(refused, std::vector<int32_t>{60});
}

TEST(ProcessSignals, NeverSignalsInitLowPidsOrItself)
{
    QTemporaryDir root;
    for (int pid : {1, 42, 43})
        writeStat(root, pid, 'S', 10);
    const std::string r = root.path().toStdString();
    Recorder recorder;
    const std::vector<Target> targets{{0, 10}, {1, 10}, {-5, 10}, {42, 10}, {43, 10}};
    EXPECT_EQ(send(targets, Action::quit, {r, 42}), (std::vector<int32_t>{43}));
    EXPECT_EQ(recorder.sent, (std::vector<std::pair<int32_t, int>>{{43, SIGTERM}}));
}

TEST(ProcessSignals, QuitResumesAStoppedProcessSoTheTermTakesEffect)
{
    QTemporaryDir root;
    writeStat(root, 50, 'T', 1);
    writeStat(root, 51, 'S', 1);
    const std::string r = root.path().toStdString();
    EXPECT_TRUE(isStopped(50, r));
    EXPECT_FALSE(isStopped(51, r));
    EXPECT_FALSE(isStopped(52, r));

    Recorder recorder;
    send({{50, 1}, {51, 1}}, Action::quit, {r, 999});
    send({{50, 1}}, Action::forceQuit, {r, 999});
    EXPECT_EQ(recorder.sent, (std::vector<std::pair<int32_t, int>>{
                                 {50, SIGTERM}, {50, SIGCONT}, {51, SIGTERM}, {50, SIGKILL}}));
}

namespace {

using Child = SleepingChild;

} // namespace

TEST(ProcessSignalsLive, PauseResumeAndQuitARealChild)
{
    Child child;
    ASSERT_GT(child.pid(), 0);
    const auto targets = capture({child.pid()});
    ASSERT_EQ(targets.size(), 1u);

    send(targets, Action::pause);
    EXPECT_EQ(child.waitForState('T'), 'T');
    EXPECT_TRUE(isStopped(child.pid()));
    send(targets, Action::resume);
    EXPECT_EQ(child.waitForState('S'), 'S');

    // A quit reaches a paused child too.
    send(targets, Action::pause);
    ASSERT_EQ(child.waitForState('T'), 'T');
    send(targets, Action::quit);
    EXPECT_TRUE(child.ended());
}

TEST(ProcessSignalsLive, AStaleStartTimeSendsNothing)
{
    Child child;
    ASSERT_GT(child.pid(), 0);
    auto targets = capture({child.pid()});
    ASSERT_EQ(targets.size(), 1u);
    targets[0].startTime += 1;
    EXPECT_TRUE(send(targets, Action::forceQuit).empty());
    EXPECT_FALSE(child.ended(std::chrono::milliseconds(200)));
}
