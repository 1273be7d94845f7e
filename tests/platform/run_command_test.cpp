#include "platform/run_command.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cerrno>
#include <chrono>
#include <csignal>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

TEST(RunCommand, ReturnsStandardOutputOnly)
{
    EXPECT_EQ(runCommand("/bin/sh", {"-c", "echo out; echo err >&2"}), "out\n");
    EXPECT_EQ(runCommand("/bin/sh", {"-c", "printf 'a b'; exit 3"}), "a b");
    // Larger than a pipe's buffer.
    EXPECT_EQ(runCommand("/bin/sh", {"-c", "head -c 300000 /dev/zero"}).size(), 300000);
}

TEST(RunCommand, ToolsThatCannotStartGiveNothing)
{
    EXPECT_EQ(runCommand("/nonexistent/tool", {}), "");
    EXPECT_EQ(runCommand("", {}), "");
}

TEST(RunCommand, AHangingToolIsKilledAndGivesNothing)
{
    // The tool leaves its pid behind; once the call returns, that process is
    // gone: killed at the deadline and reaped, long before its own end.
    QTemporaryDir dir;
    const QString pidFile = dir.filePath(QStringLiteral("pid"));
    auto gone = [&] {
        QFile f(pidFile);
        const pid_t pid = f.open(QIODevice::ReadOnly) ? f.readAll().trimmed().toInt() : 0;
        return pid > 0 && ::kill(pid, 0) < 0 && errno == ESRCH;
    };
    EXPECT_EQ(runCommand("/bin/sh", {"-c", "echo $$ > \"$0\"; echo partial; exec sleep 300", pidFile}, 200ms), "");
    EXPECT_TRUE(gone());
    // Closing stdout early does not let it linger past the deadline either.
    EXPECT_EQ(runCommand("/bin/sh", {"-c", "echo $$ > \"$0\"; exec >&-; exec sleep 300", pidFile}, 200ms), "");
    EXPECT_TRUE(gone());
}

TEST(RunCommand, ToolPathIsBesideTheExecutable)
{
    EXPECT_EQ(QFileInfo(toolPath("tavrin-ps")).absolutePath(),
              QFileInfo(QString(TAVRIN_BIN_DIR)).absoluteFilePath());
}
