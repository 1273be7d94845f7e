#include "platform/run_command.h"

#include <QFileInfo>

#include <chrono>

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
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(runCommand("/bin/sh", {"-c", "echo partial; exec sleep 30"}, 200ms), "");
    // Closing stdout early does not let it linger past the deadline either.
    EXPECT_EQ(runCommand("/bin/sh", {"-c", "exec >&-; exec sleep 30"}, 200ms), "");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
}

TEST(RunCommand, ToolPathIsBesideTheExecutable)
{
    EXPECT_EQ(QFileInfo(toolPath("tavrin-ps")).absolutePath(),
              QFileInfo(QString(TAVRIN_BIN_DIR)).absoluteFilePath());
}
