#include "platform/proc_files.h"
#include "platform/ps_producer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>
#include <cerrno>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

void write(const QTemporaryDir& root, const QString& rel, const QByteArray& text)
{
    const QString full = root.filePath(rel);
    QDir().mkpath(full.left(full.lastIndexOf(u'/')));
    QFile f(full);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
}

// A /proc/PID/stat line with the given CPU ticks and resident pages.
QByteArray stat(int pid, const QByteArray& comm, long utime, long stime, long rssPages)
{
    return QByteArray::number(pid) + " (" + comm + ") S 1 1 1 0 -1 0 0 0 0 0 " + QByteArray::number(utime)
        + ' ' + QByteArray::number(stime) + " 0 0 20 0 3 0 500 1000000 " + QByteArray::number(rssPages)
        + " 18446744073709551615\n";
}

} // namespace

TEST(PsProducer, OneLinePerReadableProcessInPidOrder)
{
    const long tck = ::sysconf(_SC_CLK_TCK);
    const long pageKiB = ::sysconf(_SC_PAGESIZE) / 1024;
    QTemporaryDir root;
    // 62.5 s of CPU split between user and system time.
    write(root, "proc/20/stat", stat(20, "a (b) c", 60 * tck, 5 * tck / 2, 3));
    write(root, "proc/3/stat", stat(3, "init", 0, tck / 4, 0));
    write(root, "proc/7/stat", "7 (broken");     // cut short: skipped
    QDir().mkpath(root.filePath("proc/8"));      // ended since the listing
    write(root, "proc/self/stat", stat(99, "self", 0, 0, 0));
    write(root, "proc/meminfo", "MemTotal: 1 kB\n");

    PsProducer producer(root.path().toStdString() + "/");
    const std::string expected = "3 0:00.25 0\n20 1:02.50 " + std::to_string(3 * pageKiB) + "\n";
    EXPECT_EQ(producer.poll(), expected);

    // The directory stays open between polls and sees the tree as it is now.
    QDir(root.filePath("proc/3")).removeRecursively();
    write(root, "proc/21/stat", stat(21, "new", 0, 0, 1));
    EXPECT_EQ(producer.poll(), "20 1:02.50 " + std::to_string(3 * pageKiB) + "\n21 0:00.00 "
                                   + std::to_string(pageKiB) + "\n");
}

TEST(PsProducer, NoProcGivesNothingUntilOneAppears)
{
    QTemporaryDir root;
    PsProducer producer(root.path().toStdString());
    EXPECT_EQ(producer.poll(), "");
    write(root, "proc/5/stat", stat(5, "late", 0, 0, 0));
    EXPECT_EQ(producer.poll(), "5 0:00.00 0\n");
}

namespace {

// The restricted listing as a reader that root is not sees it; empty when it
// holds, else what went wrong. Closed is an io file refused to the reader.
std::string unreadableOnlyListing()
{
    QTemporaryDir root;
    if (!root.isValid())
        return "no temporary folder";
    const auto io = [&](int pid) { return QStringLiteral("proc/%1/io").arg(pid); };
    for (int pid : {3, 4, 5})
        write(root, QStringLiteral("proc/%1/stat").arg(pid), stat(pid, "p", 0, 0, 0));
    for (int pid : {3, 4, 5})
        write(root, io(pid), "read_bytes: 1\nwrite_bytes: 2\n");
    QFile::setPermissions(root.filePath(io(4)), {});
    // The reader's own process with no io file at all, as on a kernel that
    // keeps no I/O accounting, is read in full by the sampler.
    write(root, "proc/6/stat", stat(6, "p", 0, 0, 0));
    PsProducer producer(root.path().toStdString(), PsProducer::Scope::unreadableOnly);
    if (const std::string first(producer.poll()); first != "4 0:00.00 0\n")
        return "first listing: " + first;

    // A process that turns unreadable is listed within eight polls, and one
    // that turns readable drops out as soon.
    QFile::setPermissions(root.filePath(io(5)), {});
    QFile::setPermissions(root.filePath(io(4)), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    std::string last;
    for (int i = 0; i < 8; ++i)
        last = std::string(producer.poll());
    if (last != "5 0:00.00 0\n")
        return "after the change: " + last;

    // The full listing is unaffected.
    PsProducer every(root.path().toStdString());
    if (const std::string all(every.poll()); all != "3 0:00.00 0\n4 0:00.00 0\n5 0:00.00 0\n6 0:00.00 0\n")
        return "full listing: " + all;
    return {};
}

} // namespace

TEST(PsProducer, UnreadableOnlyListsProcessesWhoseIoIsClosed)
{
    if (::geteuid() != 0) {
        EXPECT_EQ(unreadableOnlyListing(), "");
        return;
    }
    // Root reads every file: a child dropped to nobody makes and reads its
    // own tree, and reports through its exit status.
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0)
            ::_exit(2);
        ::_exit(unreadableOnlyListing().empty() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 2)
        GTEST_SKIP() << "cannot drop privileges here";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the listing as nobody differs";
}

TEST(ProcFiles, RecordReadsStopAtAShortReadButNotBefore)
{
    QTemporaryDir root;
    // Longer than one read's chunk: the full chunks are not taken as the end.
    const QByteArray big(10000, 'x');
    write(root, "big", big + "end");
    write(root, "small", "one record\n");
    const int dir = ::open(QFile::encodeName(root.path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(dir, 0);
    std::string out;
    ASSERT_TRUE(ProcFiles::readRecordAt(dir, "big", out));
    EXPECT_EQ(out.size(), size_t(big.size() + 3));
    ASSERT_TRUE(ProcFiles::readRecordAt(dir, "small", out));
    EXPECT_EQ(out, "one record\n");
    int error = 0;
    EXPECT_FALSE(ProcFiles::readRecordAt(dir, "missing", out, &error));
    EXPECT_EQ(error, ENOENT);

    // The kernel's own records, which are written out whole at the first read.
    ASSERT_TRUE(ProcFiles::readRecordAt(AT_FDCWD, "/proc/self/stat", out));
    EXPECT_EQ(out.back(), '\n');
    ::close(dir);
}
