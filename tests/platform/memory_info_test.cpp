#include "platform/memory_info.h"
#include "platform/proc_parse.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

void write(const QString& path, const QByteArray& text)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
}

} // namespace

TEST(MemoryInfo, MeminfoFieldsInBytes)
{
    const std::string_view text = "MemTotal:       16318436 kB\nMemFree: 12 kB\nHugePages_Total:       0\n";
    EXPECT_EQ(ProcParse::kbField(text, "MemTotal"), 16318436ull * 1024);
    EXPECT_EQ(ProcParse::kbField(text, "MemFree"), 12u * 1024);
    EXPECT_EQ(ProcParse::kbField(text, "HugePages_Total"), 0u);
    EXPECT_EQ(ProcParse::kbField(text, "Mem"), std::nullopt);
    EXPECT_EQ(ProcParse::kbField(text, "SwapTotal"), std::nullopt);
}

TEST(MemoryInfo, OnlineBlocksWinOverMemTotal)
{
    QTemporaryDir root;
    const QString mem = root.path() + "/sys/devices/system/memory";
    write(mem + "/block_size_bytes", "8000000\n");
    write(mem + "/memory0/online", "1\n");
    write(mem + "/memory1/online", "1\n");
    write(mem + "/memory2/online", "0\n");
    write(root.path() + "/proc/meminfo", "MemTotal: 1000 kB\n");
    EXPECT_EQ(MemoryInfo::installedMemory(root.path()), 2ull * 0x8000000);
}

TEST(MemoryInfo, FallsBackToMemTotalThenZero)
{
    QTemporaryDir root;
    write(root.path() + "/proc/meminfo", "MemTotal: 1000 kB\n");
    EXPECT_EQ(MemoryInfo::installedMemory(root.path()), 1000u * 1024);
    QTemporaryDir empty;
    EXPECT_EQ(MemoryInfo::installedMemory(empty.path()), 0u);
}
