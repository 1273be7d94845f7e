// The incident store against whatever a user (or an accident) leaves at its
// path: nothing may hang start-up, eat memory, or be lost.

#include "engine/detector.h"
#include "engine/incident_store.h"
#include "platform/proc_files.h"
#include "platform/proc_parse.h"

#include "detector_samples.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace detector_test;

namespace {

uint64_t peakResident()
{
    std::string status;
    if (!ProcFiles::read("/proc/self/status", status))
        return 0;
    return ProcParse::kbField(status, "VmHWM").value_or(0);
}

struct SpecialStore : ::testing::Test {
    QTemporaryDir dir;
    QString path() const { return dir.filePath("Tavrin/incidents.json"); }
    QString aside() const { return path() + ".unreadable"; }

    void SetUp() override { ASSERT_TRUE(QDir().mkpath(dir.filePath("Tavrin"))); }

    // Loads the store, then opens one incident so that it is written.
    void loadThenWrite()
    {
        Detector d(path(), /*demo*/ false);
        d.prefs = prefs();
        d.prefs.thresholds.memoryGrowthGB = 1000;
        EXPECT_TRUE(d.incidents.empty());
        ProcSample p = proc(1, "big");
        p.mem = uint64_t(9 * GiB);
        const Snapshot s = snapshot({group("exe:big", "Big", {p})});
        d.evaluate(s, 100);
        ASSERT_EQ(d.evaluate(s, 105).size(), 1u);
        // The new store is a regular file with the one incident.
        const QFileInfo info(path());
        EXPECT_TRUE(info.isFile() && !info.isSymLink());
        QFile f(path());
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const auto list = IncidentStore::decode(f.readAll());
        ASSERT_TRUE(list);
        EXPECT_EQ(list->size(), 1u);
    }
};

} // namespace

TEST_F(SpecialStore, AFifoIsMovedAsideUnread)
{
    ASSERT_EQ(::mkfifo(QFile::encodeName(path()).constData(), 0600), 0);
    loadThenWrite(); // would block forever reading a FIFO without a writer
    EXPECT_TRUE(QFileInfo(aside()).exists());
    struct stat st{};
    ASSERT_EQ(::lstat(QFile::encodeName(aside()).constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST_F(SpecialStore, ALinkToAnEndlessDeviceIsMovedAsideUnread)
{
    ASSERT_TRUE(QFile::link("/dev/zero", path()));
    const uint64_t before = peakResident();
    loadThenWrite();
    EXPECT_LT(peakResident(), before + (64u << 20));
    // The link itself is kept; its target is no business of ours.
    EXPECT_EQ(QFileInfo(aside()).symLinkTarget(), "/dev/zero");
}

TEST_F(SpecialStore, AnOversizedFileIsRefusedWithoutReadingIt)
{
    {
        QFile f(path());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[");
        ASSERT_TRUE(f.resize(50 << 20)); // sparse: costs no disk and no memory to make
    }
    const uint64_t before = peakResident();
    loadThenWrite();
    EXPECT_LT(peakResident(), before + (32u << 20));
    EXPECT_EQ(QFileInfo(aside()).size(), qint64(50) << 20);
}

TEST_F(SpecialStore, AFileJustUnderTheCapIsStillRead)
{
    // Old stores may hold long names; the cap must not refuse a real one.
    std::vector<Incident> list(400);
    for (Incident& i : list) {
        i.subject = QString(255, u'n');
        i.contributors = {QString(260, u'c'), QString(260, u'c'), QString(260, u'c')};
    }
    const QByteArray data = IncidentStore::encode(list);
    ASSERT_LT(uint64_t(data.size()), IncidentStore::maxBytes / 4);
    QFile f(path());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
    f.close();
    IncidentStore store(path());
    EXPECT_EQ(store.load().size(), 400u);
}

TEST_F(SpecialStore, ADirectoryInTheWayIsMovedAside)
{
    ASSERT_TRUE(QDir().mkpath(path()));
    loadThenWrite();
    EXPECT_TRUE(QFileInfo(aside()).isDir());
}
