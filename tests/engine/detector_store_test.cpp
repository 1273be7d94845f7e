#include "engine/detector.h"
#include "engine/incident_store.h"

#include "detector_samples.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

using namespace detector_test;

namespace {

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(data);
}

Snapshot big(int32_t pid)
{
    ProcSample p = proc(pid, "big");
    p.mem = uint64_t(9 * GiB);
    return snapshot({group("exe:big", "Big", {p})});
}

// Opens one memory incident for pid (hold 5 s) starting at now.
void openOne(Detector& d, int32_t pid, double now)
{
    d.evaluate(big(pid), now);
    ASSERT_EQ(d.evaluate(big(pid), now + 5).size(), 1u);
}

struct Store : ::testing::Test {
    QTemporaryDir dir;
    QString path() const { return dir.filePath("Tavrin/incidents.json"); }

    Detector make()
    {
        Detector d(path(), /*demo*/ false);
        d.prefs = prefs();
        d.prefs.thresholds.memoryGrowthGB = 1000; // footprints jump here
        return d;
    }
};

} // namespace

TEST_F(Store, ChangesAreWrittenAndOpenOnesComeBackClosed)
{
    {
        Detector d = make();
        EXPECT_TRUE(d.incidents.empty());
        openOne(d, 1, 100);
        d.evaluate(snapshot(), 116); // closes it
        openOne(d, 2, 120);
        const auto onDisk = IncidentStore::decode(readFile(path()));
        ASSERT_TRUE(onDisk);
        EXPECT_EQ(*onDisk, d.incidents);
    }
    Detector again = make();
    ASSERT_EQ(again.incidents.size(), 2u);
    EXPECT_EQ(again.incidents[0].pid, 2); // stored order, newest first
    ASSERT_TRUE(again.incidents[0].end);
    EXPECT_EQ(*again.incidents[0].end, again.incidents[0].start);
    EXPECT_NE(*again.incidents[1].end, again.incidents[1].start);
}

TEST_F(Store, PeakRisesAloneAreNotWritten)
{
    Detector d = make();
    openOne(d, 1, 100);
    const QByteArray before = readFile(path());
    ProcSample p = proc(1, "big");
    p.mem = uint64_t(30 * GiB);
    d.evaluate(snapshot({group("exe:big", "Big", {p})}), 107);
    EXPECT_EQ(readFile(path()), before);
}

TEST_F(Store, UndecodableFilesStartEmptyAndAreKeptAside)
{
    const QByteArray valid = IncidentStore::encode({Incident{}});
    const QList<QByteArray> bad = {
        valid.left(valid.size() / 2),                         // truncated
        QByteArray("\x00\xff\x13\x37" "binary", 10),           // binary
        QByteArray("{\"not\":\"a list\"}"),
        QByteArray("[{\"id\":\"x\",\"kind\":\"cpu\"}]"),      // a record that does not decode
    };
    writeFile(path() + ".unreadable", "an older one");
    int copies = 1;
    for (const QByteArray& content : bad) {
        writeFile(path(), content);
        Detector d = make();
        EXPECT_TRUE(d.incidents.empty());
        EXPECT_EQ(readFile(path()), content); // nothing written at start

        // Each copy has a name of its own; none replaces an older one.
        openOne(d, 1, 100);
        const QString kept = path() + ".unreadable-" + QString::number(++copies);
        EXPECT_EQ(readFile(kept), content);
        EXPECT_EQ(readFile(path() + ".unreadable"), "an older one");
        const auto onDisk = IncidentStore::decode(readFile(path()));
        ASSERT_TRUE(onDisk);
        EXPECT_EQ(onDisk->size(), 1u);

        // Set aside once only: later writes leave the copy alone.
        d.evaluate(snapshot(), 120);
        EXPECT_EQ(readFile(kept), content);
        EXPECT_FALSE(QFile::exists(path() + ".unreadable-" + QString::number(copies + 1)));
    }
}

TEST_F(Store, AnUnreadableStoreIsSetAsideOnStartAndNamedOnce)
{
    // Kept at once, so the user can be told where, and still in place for
    // the first write to replace.
    const QByteArray bad = "[{\"id\":";
    writeFile(path(), bad);
    {
        Detector d = make();
        EXPECT_EQ(d.storeKeptAs(), path() + ".unreadable");
        EXPECT_EQ(readFile(path() + ".unreadable"), bad);
        EXPECT_EQ(readFile(path()), bad);
    }
    // A run that wrote nothing finds the same file, kept already: nothing
    // new to tell, and no second copy.
    {
        Detector d = make();
        EXPECT_TRUE(d.storeKeptAs().isEmpty());
        EXPECT_FALSE(QFile::exists(path() + ".unreadable-2"));
        openOne(d, 1, 100);
    }
    EXPECT_TRUE(make().storeKeptAs().isEmpty());

    // A link at the copy's name, to a file with the same bytes, is never
    // taken for the copy, and what it leads to is left alone.
    writeFile(path(), bad);
    const QString other = dir.filePath("other.json");
    writeFile(other, bad);
    QFile::remove(path() + ".unreadable");
    ASSERT_TRUE(QFile::link(other, path() + ".unreadable"));
    EXPECT_EQ(make().storeKeptAs(), path() + ".unreadable-2");
    EXPECT_EQ(readFile(path() + ".unreadable-2"), bad);
    EXPECT_EQ(QFileInfo(path() + ".unreadable").symLinkTarget(), other);
    EXPECT_EQ(readFile(other), bad);

    // What cannot be read at all is moved away at start, unread.
    QFile::remove(path());
    ASSERT_TRUE(QDir().mkpath(path()));
    EXPECT_EQ(make().storeKeptAs(), path() + ".unreadable-3");
    EXPECT_TRUE(QFileInfo(path() + ".unreadable-3").isDir());
    EXPECT_FALSE(QFileInfo::exists(path()));
    EXPECT_TRUE(make().storeKeptAs().isEmpty());
}

TEST_F(Store, AnEmptyFileIsSimplyReplaced)
{
    writeFile(path(), "");
    Detector d = make();
    EXPECT_TRUE(d.incidents.empty());
    openOne(d, 1, 100);
    EXPECT_FALSE(QFile::exists(path() + ".unreadable"));
    EXPECT_TRUE(IncidentStore::decode(readFile(path())));
}

TEST_F(Store, ClearWritesEvenWhenNothingWasRemoved)
{
    Detector d = make();
    d.clear();
    EXPECT_EQ(readFile(path()), "[]");
    openOne(d, 1, 100);
    QFile::remove(path());
    d.clear();
    const auto onDisk = IncidentStore::decode(readFile(path()));
    ASSERT_TRUE(onDisk);
    EXPECT_EQ(onDisk->size(), 1u);
}

TEST_F(Store, DemoModeNeverTouchesTheFile)
{
    const QByteArray stored = IncidentStore::encode({Incident{}});
    writeFile(path(), stored);
    Detector d(path(), /*demo*/ true);
    d.prefs = prefs();
    EXPECT_TRUE(d.incidents.empty());
    EXPECT_TRUE(d.storePath().isEmpty());
    openOne(d, 1, 100);
    d.clear();
    EXPECT_EQ(readFile(path()), stored);
}

TEST_F(Store, AFailedWriteChangesNothingAndTheNextChangeRetries)
{
    Detector d = make();
    openOne(d, 1, 100);
    const QByteArray before = readFile(path());
    ASSERT_FALSE(before.isEmpty());

    // A full disk: no file may grow past a few bytes.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit tiny = saved;
    tiny.rlim_cur = 16;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tiny), 0);
    openOne(d, 2, 110);
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_EQ(readFile(path()), before);
    EXPECT_EQ(QDir(dir.filePath("Tavrin")).entryList(QDir::Files), QStringList({"incidents.json"}));
    EXPECT_EQ(d.incidents.size(), 2u);

    // The next change writes the whole list.
    d.evaluate(snapshot(), 130);
    const auto onDisk = IncidentStore::decode(readFile(path()));
    ASSERT_TRUE(onDisk);
    EXPECT_EQ(*onDisk, d.incidents);
}

TEST_F(Store, AnUnwritableFolderIsNoFailureOfTheDetector)
{
    // A plain file where the folder should be: no folder, no write.
    writeFile(dir.filePath("blocked"), "x");
    Detector d(dir.filePath("blocked/incidents.json"), false);
    d.prefs = prefs();
    openOne(d, 1, 100);
    EXPECT_EQ(d.incidents.size(), 1u);
    EXPECT_EQ(readFile(dir.filePath("blocked")), "x");

    QFile::remove(dir.filePath("blocked"));
    d.clear();
    EXPECT_TRUE(IncidentStore::decode(readFile(dir.filePath("blocked/incidents.json"))));
}

TEST(IncidentStorePath, FollowsXdgDataHome)
{
    const QByteArray saved = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", "/srv/data");
    EXPECT_EQ(IncidentStore::defaultPath(), "/srv/data/Tavrin/incidents.json");
    qputenv("XDG_DATA_HOME", "relative/data"); // invalid, so ignored
    EXPECT_EQ(IncidentStore::defaultPath(), QDir::homePath() + "/.local/share/Tavrin/incidents.json");
    qunsetenv("XDG_DATA_HOME");
    EXPECT_EQ(IncidentStore::defaultPath(), QDir::homePath() + "/.local/share/Tavrin/incidents.json");
    if (!saved.isNull())
        qputenv("XDG_DATA_HOME", saved);
}
