// The trash leftovers of the updater go to: the home trash for what lies on
// its filesystem, the top of its own filesystem's trash for the rest, and
// no trash at all that is a link or open to others.

#include "platform/trash.h"

#include "own_tmpfs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray enc(const QString& path) { return QFile::encodeName(path); }

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

int modeOf(const QString& path)
{
    struct stat st {};
    return ::lstat(enc(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

// A copy of the app set aside in a hidden folder under `apps`; returns the
// folder.
QString setAside(const QString& apps, const QString& copy = QStringLiteral("Tavrin (previous).app"))
{
    const QString hidden = apps + QStringLiteral("/.Tavrin-update-Ab12Cd");
    QDir().mkpath(hidden + u'/' + copy + QStringLiteral("/Contents"));
    QFile f(hidden + u'/' + copy + QStringLiteral("/Contents/Info.json"));
    f.open(QIODevice::WriteOnly);
    f.write("{}");
    return hidden;
}

Trash::Moved put(const QString& folder, const QString& name)
{
    const int fd = ::open(enc(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const Trash::Moved moved = Trash::put(fd, enc(name));
    ::close(fd);
    return moved;
}

// The Path= line of an info file, decoded.
QString infoPath(const QString& infoFile)
{
    for (const QByteArray& line : readAll(infoFile).split('\n'))
        if (line.startsWith("Path="))
            return QFile::decodeName(QByteArray::fromPercentEncoding(line.mid(5)));
    return QStringLiteral("(none)");
}

struct HomeTrash {
    QTemporaryDir dir;
    QString share = dir.path() + "/share";
    QString trash = share + "/Trash";
    HomeTrash() { qputenv("XDG_DATA_HOME", enc(share)); }
    ~HomeTrash() { qunsetenv("XDG_DATA_HOME"); }
};

} // namespace

TEST(Trash, TheHomeTrashTakesWhatLiesOnItsFilesystem)
{
    HomeTrash home;
    const QString apps = home.dir.path() + "/Applications";
    QString hidden = setAside(apps);
    Trash::Moved moved = put(hidden, "Tavrin (previous).app");
    ASSERT_TRUE(moved.ok) << moved.error;
    EXPECT_EQ(moved.where, home.trash + "/files/Tavrin (previous).app");
    EXPECT_TRUE(QFileInfo(moved.where + "/Contents/Info.json").isFile());
    EXPECT_FALSE(QFileInfo::exists(hidden + "/Tavrin (previous).app"));
    EXPECT_EQ(modeOf(home.trash), 0700);
    const QByteArray info = readAll(home.trash + "/info/Tavrin (previous).app.trashinfo");
    EXPECT_TRUE(info.startsWith("[Trash Info]\nPath=" + enc(hidden).toPercentEncoding("/")
                                + "/Tavrin%20%28previous%29.app\nDeletionDate="))
        << info.constData();
    EXPECT_EQ(infoPath(home.trash + "/info/Tavrin (previous).app.trashinfo"), hidden + "/Tavrin (previous).app");

    // A second copy of the name gets a name of its own; a home trash that
    // only others could read is closed and used.
    ::chmod(enc(home.trash).constData(), 0755);
    hidden = setAside(apps);
    moved = put(hidden, "Tavrin (previous).app");
    ASSERT_TRUE(moved.ok);
    EXPECT_EQ(moved.where, home.trash + "/files/Tavrin (previous) 2.app");
    EXPECT_TRUE(QFileInfo(home.trash + "/info/Tavrin (previous) 2.app.trashinfo").isFile());
    EXPECT_EQ(modeOf(home.trash), 0700);
}

TEST(Trash, ATrashThatIsALinkOrOpenToOthersTakesNothing)
{
    HomeTrash home;
    const QString apps = home.dir.path() + "/Applications";
    const QString hidden = setAside(apps);
    const QString elsewhere = home.dir.path() + "/elsewhere";
    QDir().mkpath(elsewhere + "/files");
    QDir().mkpath(elsewhere + "/info");
    ::chmod(enc(elsewhere).constData(), 0700);
    QDir().mkpath(home.share);

    const auto refused = [&](const char* what) {
        const Trash::Moved moved = put(hidden, "Tavrin (previous).app");
        EXPECT_FALSE(moved.ok) << what << ": " << qPrintable(moved.where);
        EXPECT_TRUE(QFileInfo(hidden + "/Tavrin (previous).app/Contents/Info.json").isFile()) << what;
        EXPECT_TRUE(QDir(elsewhere + "/files").isEmpty()) << what;
    };
    ASSERT_EQ(::symlink(enc(elsewhere).constData(), enc(home.trash).constData()), 0);
    refused("the trash a link");
    ::unlink(enc(home.trash).constData());

    QDir().mkpath(home.trash);
    ::chmod(enc(home.trash).constData(), 0777);
    refused("others may write in the trash");
    ::chmod(enc(home.trash).constData(), 0700);

    ASSERT_EQ(::symlink(enc(elsewhere + "/files").constData(), enc(home.trash + "/files").constData()), 0);
    refused("its files folder a link");
    ::unlink(enc(home.trash + "/files").constData());

    // No home trash can be made: there is no falling back to a folder of
    // the trash's own choosing.
    QFile(home.dir.path() + "/not-a-folder").open(QIODevice::WriteOnly);
    qputenv("XDG_DATA_HOME", enc(home.dir.path() + "/not-a-folder/share"));
    refused("no home trash");
    EXPECT_EQ(QDir(apps).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{".Tavrin-update-Ab12Cd"});

    qputenv("XDG_DATA_HOME", enc(home.share));
    EXPECT_TRUE(put(hidden, "Tavrin (previous).app").ok);
}

TEST(Trash, AnotherFilesystemHasItsOwnTrashAtItsTop)
{
    if (ownTmpfs().isEmpty()) {
        QTemporaryDir dir;
        const QString top = dir.path() + "/disk";
        QDir().mkpath(top);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_DATA_HOME", dir.path() + "/share");
        const TmpfsRun run = rerunOnOwnTmpfs(top, env);
        if (run.unavailable())
            GTEST_SKIP() << "no user and mount namespace here: " << qPrintable(run.out);
        EXPECT_EQ(run.code, 0) << qPrintable(run.out);
        EXPECT_FALSE(QFileInfo::exists(dir.path() + "/share/Trash/files/Tavrin (previous).app"));
        return;
    }
    // Inside: the folder is a tmpfs of its own; the home trash lies on
    // another filesystem.
    const QString top = ownTmpfs();
    const QString apps = top + "/Applications";
    const QString own = top + "/.Trash-" + QString::number(::getuid());
    QDir().mkpath(apps + "/deeper");
    EXPECT_EQ(Trash::topDirectory(apps + "/deeper"), top);
    EXPECT_EQ(Trash::topDirectory(top), top);

    QString hidden = setAside(apps);
    Trash::Moved moved = put(hidden, "Tavrin (previous).app");
    ASSERT_TRUE(moved.ok) << moved.error;
    EXPECT_EQ(moved.where, own + "/files/Tavrin (previous).app");
    EXPECT_EQ(modeOf(own), 0700);
    // The path is relative to the top, as for every trash but the home one.
    const QString info = own + "/info/Tavrin (previous).app.trashinfo";
    EXPECT_TRUE(readAll(info).contains("\nPath=Applications/.Tavrin-update-Ab12Cd/Tavrin%20%28previous%29.app\n"))
        << readAll(info).constData();
    EXPECT_EQ(infoPath(info), "Applications/.Tavrin-update-Ab12Cd/Tavrin (previous).app");

    // A trash there that is a link, or open to others, takes nothing.
    const QString elsewhere = top + "/elsewhere";
    QDir().mkpath(elsewhere);
    ASSERT_TRUE(QDir().rename(own, top + "/was-trash"));
    ASSERT_EQ(::symlink(enc(elsewhere).constData(), enc(own).constData()), 0);
    hidden = setAside(apps);
    EXPECT_FALSE(put(hidden, "Tavrin (previous).app").ok);
    EXPECT_TRUE(QDir(elsewhere).isEmpty());
    ::unlink(enc(own).constData());
    QDir().mkpath(own);
    ::chmod(enc(own).constData(), 0777);
    EXPECT_FALSE(put(hidden, "Tavrin (previous).app").ok);
    EXPECT_TRUE(QDir(own).isEmpty());
    EXPECT_TRUE(QFileInfo(hidden + "/Tavrin (previous).app/Contents/Info.json").isFile());

    // An administrator's sticky .Trash holds a folder of this user's; one
    // that is not sticky is passed over for .Trash-$uid.
    ::chmod(enc(own).constData(), 0700);
    QDir().mkpath(top + "/.Trash");
    ::chmod(enc(top + "/.Trash").constData(), 0777);
    moved = put(hidden, "Tavrin (previous).app");
    EXPECT_EQ(moved.where, own + "/files/Tavrin (previous).app");
    ::chmod(enc(top + "/.Trash").constData(), 01777);
    hidden = setAside(apps, "Tavrin.app");
    moved = put(hidden, "Tavrin.app");
    const QString shared = top + "/.Trash/" + QString::number(::getuid());
    EXPECT_EQ(moved.where, shared + "/files/Tavrin.app");
    EXPECT_EQ(modeOf(shared), 0700);
    EXPECT_EQ(infoPath(shared + "/info/Tavrin.app.trashinfo"), "Applications/.Tavrin-update-Ab12Cd/Tavrin.app");
}

TEST(Trash, EntriesRestoreWhereAskedAndAFailedMoveLeavesNoInfoFile)
{
    HomeTrash home;
    const QString apps = home.dir.path() + "/Applications";
    // Set aside under one name, restored beside the app under another.
    const QString hidden = setAside(apps, "Tavrin.app");
    Trash::Moved moved = [&] {
        const int fd = ::open(enc(hidden).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const Trash::Moved m = Trash::put(fd, "Tavrin.app", apps + "/Tavrin (previous).app");
        ::close(fd);
        return m;
    }();
    ASSERT_TRUE(moved.ok) << moved.error;
    EXPECT_EQ(moved.where, home.trash + "/files/Tavrin (previous).app");
    EXPECT_EQ(infoPath(home.trash + "/info/Tavrin (previous).app.trashinfo"), apps + "/Tavrin (previous).app");

    // A folder cannot go into a trash inside itself: the move fails once
    // the info file is written, and the info file goes again.
    const QString copy = home.dir.path() + "/Tavrin 2.app";
    QDir().mkpath(copy + "/share");
    qputenv("XDG_DATA_HOME", enc(copy + "/share"));
    moved = put(home.dir.path(), "Tavrin 2.app");
    EXPECT_FALSE(moved.ok);
    EXPECT_TRUE(QFileInfo(copy + "/share").isDir());
    EXPECT_TRUE(QDir(copy + "/share/Trash/info").isEmpty());
}

TEST(Trash, AHomeTrashUnderAFolderOthersMayChangeTakesNothing)
{
    // Whoever may rename $XDG_DATA_HOME, or anything in a folder above it,
    // could put a trash of their own in its place, and with it what the
    // user restores. The copy stays where it is, and no orphan info file
    // there is judged.
    HomeTrash home;
    const QString apps = home.dir.path() + "/Applications";
    const QString hidden = setAside(apps);
    const QString team = home.dir.path() + "/team";
    const QString share = team + "/share";
    QDir().mkpath(share + "/Trash/files");
    QDir().mkpath(share + "/Trash/info");
    ::chmod(enc(share + "/Trash").constData(), 0700);
    const QString orphan = share + "/Trash/info/Tavrin (previous) 77.app.trashinfo";
    QFile f(orphan);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[Trash Info]\nPath=/a/Tavrin%20%28previous%29.app\nDeletionDate=2026-12-01T10:00:00\n");
    f.close();
    qputenv("XDG_DATA_HOME", enc(share));
    const int appsFd = ::open(enc(apps).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const auto anyInfo = [](const QByteArray& name, const QByteArray&) {
        return name == "Tavrin (previous) 77.app.trashinfo";
    };

    const auto refused = [&](const char* what) {
        const Trash::Moved moved = put(hidden, "Tavrin (previous).app");
        EXPECT_FALSE(moved.ok) << what << ": " << qPrintable(moved.where);
        EXPECT_TRUE(QFileInfo(hidden + "/Tavrin (previous).app/Contents/Info.json").isFile()) << what;
        EXPECT_TRUE(QDir(share + "/Trash/files").isEmpty()) << what;
        EXPECT_EQ(Trash::dropOrphans(appsFd, anyInfo), 0) << what;
        EXPECT_TRUE(QFileInfo(orphan).isFile()) << what;
    };
    ::chmod(enc(share).constData(), 0777);
    refused("others may write in XDG_DATA_HOME");
    ::chmod(enc(share).constData(), 0700);
    ::chmod(enc(team).constData(), 0777);
    refused("others may write in a folder above it");
    ::chmod(enc(team).constData(), 02775);
    refused("a group may write in a folder above it");
    if (::getuid() == 0) {
        ::chmod(enc(team).constData(), 0755);
        ASSERT_EQ(::chown(enc(team).constData(), 65534, 65534), 0);
        refused("a folder above it of another user");
        ASSERT_EQ(::chown(enc(team).constData(), 0, 0), 0);
    }

    // Sticky, as /tmp is, over the user's own folder: the trash is used.
    ::chmod(enc(team).constData(), 01777);
    EXPECT_EQ(Trash::dropOrphans(appsFd, anyInfo), 1);
    const Trash::Moved moved = put(hidden, "Tavrin (previous).app");
    EXPECT_TRUE(moved.ok) << moved.error;
    EXPECT_EQ(moved.where, share + "/Trash/files/Tavrin (previous).app");
    ::close(appsFd);
}
