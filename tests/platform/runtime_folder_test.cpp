// The runtime folder the copies meet in: only the user's own will do, and
// sockets in it are reached through the folder held open.

#include "platform/runtime_folder.h"
#include "platform/user_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// A user other than the one running the tests: nobody, or root for a run
// as nobody (where handing a file to root fails, and the case is left out).
const uid_t otherUid = ::geteuid() == 65534 ? 0 : 65534;

std::string native(const QString& path) { return QFile::encodeName(path).toStdString(); }

bool makeFolder(const QString& path, mode_t mode)
{
    return QDir().mkpath(path) && ::chmod(QFile::encodeName(path).constData(), mode) == 0;
}

// A socket bound at `path` that nobody listens at, as a killed copy leaves.
bool leaveSocket(const std::string& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.data(), path.size());
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return bound;
}

} // namespace

TEST(RuntimeFolder, OnlyAFolderOfTheUsersOwnWithMode0700)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString own = dir.filePath("own");
    ASSERT_TRUE(makeFolder(own, 0700));
    EXPECT_TRUE(RuntimeFolder(native(own)).usable());
    EXPECT_TRUE(RuntimeFolder(native(own + "/")).usable());

    auto refusal = [](const QString& path) { return RuntimeFolder(native(path)).refusal(); };
    for (const mode_t mode : {01777, 0777, 0755, 0750, 0711, 0500}) {
        const QString folder = dir.filePath("mode" + QString::number(mode, 8));
        ASSERT_TRUE(makeFolder(folder, mode));
        EXPECT_FALSE(RuntimeFolder(native(folder)).usable()) << std::oct << mode;
    }
    EXPECT_NE(refusal(dir.filePath("mode1777")).find("1777"), std::string::npos);

    // A link to the user's own folder is still a link, with or without a
    // trailing slash.
    const QString link = dir.filePath("link");
    ASSERT_EQ(::symlink(QFile::encodeName(own).constData(), QFile::encodeName(link).constData()), 0);
    EXPECT_EQ(refusal(link), "is a link");
    EXPECT_EQ(refusal(link + "//"), "is a link");

    QFile file(dir.filePath("file"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_FALSE(RuntimeFolder(native(file.fileName())).usable());
    EXPECT_FALSE(RuntimeFolder(native(dir.filePath("missing"))).usable());
    EXPECT_EQ(RuntimeFolder("").refusal(), "is not set");
    EXPECT_EQ(RuntimeFolder("run/user/1000").refusal(), "is not an absolute path");

    // Another user's folder, as one made first by someone else.
    const QString theirs = dir.filePath("theirs");
    ASSERT_TRUE(makeFolder(theirs, 0700));
    if (::chown(QFile::encodeName(theirs).constData(), otherUid, otherUid) == 0) {
        EXPECT_FALSE(RuntimeFolder(native(theirs)).usable());
    }
}

TEST(RuntimeFolder, SocketsAreReachedThroughTheFolderHeldOpen)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // Far longer than a socket address holds.
    const QString path = dir.filePath(QString(200, u'x'));
    ASSERT_TRUE(makeFolder(path, 0700));
    const RuntimeFolder folder(native(path));
    ASSERT_TRUE(folder.usable());

    errno = 0;
    EXPECT_LT(folder.connect("meet", 100), 0);
    EXPECT_EQ(errno, ENOENT);
    const int listener = folder.listen("meet", 4);
    ASSERT_GE(listener, 0);
    struct stat st {};
    ASSERT_EQ(::lstat(QFile::encodeName(path + "/meet").constData(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    const int client = folder.connect("meet", 100);
    ASSERT_GE(client, 0);
    EXPECT_EQ(RuntimeFolder::peerUid(client), ::geteuid());
    const int served = ::accept(listener, nullptr, nullptr);
    ASSERT_GE(served, 0);
    EXPECT_EQ(RuntimeFolder::peerUid(served), ::geteuid());
    ::close(served);
    ::close(client);

    // The folder moved and another put in its place: the one held is
    // the one reached.
    ASSERT_EQ(::rename(QFile::encodeName(path).constData(), QFile::encodeName(path + "-moved").constData()), 0);
    ASSERT_TRUE(makeFolder(path, 0700));
    const int again = folder.connect("meet", 100);
    EXPECT_GE(again, 0);
    if (again >= 0)
        ::close(again);
    ::close(listener);

    // Nobody listens now: the socket is left, and refused.
    errno = 0;
    EXPECT_LT(folder.connect("meet", 100), 0);
    EXPECT_EQ(errno, ECONNREFUSED);
}

TEST(RuntimeFolder, OnlyTheUsersOwnSocketsAreRemoved)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(makeFolder(dir.path(), 0700));
    const RuntimeFolder folder(native(dir.path()));
    ASSERT_TRUE(folder.usable());

    ASSERT_TRUE(leaveSocket(native(dir.filePath("stale"))));
    EXPECT_TRUE(folder.removeSocket("stale"));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("stale")));
    EXPECT_TRUE(folder.removeSocket("stale"));

    // What is not a socket stays, a link too (not what it leads to).
    QFile file(dir.filePath("file"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_FALSE(folder.removeSocket("file"));
    EXPECT_TRUE(file.exists());
    ASSERT_TRUE(leaveSocket(native(dir.filePath("target"))));
    ASSERT_EQ(::symlink("target", QFile::encodeName(dir.filePath("link")).constData()), 0);
    EXPECT_FALSE(folder.removeSocket("link"));
    EXPECT_TRUE(QFileInfo(dir.filePath("link")).isSymLink());
    EXPECT_FALSE(folder.removeSocket("../x"));

    // Another user's socket stays.
    ASSERT_TRUE(leaveSocket(native(dir.filePath("theirs"))));
    if (::lchown(QFile::encodeName(dir.filePath("theirs")).constData(), otherUid, otherUid) == 0) {
        EXPECT_FALSE(folder.removeSocket("theirs"));
        EXPECT_TRUE(QFileInfo::exists(dir.filePath("theirs")));
    }
}

TEST(UserFile, ALockFileOfAnotherUserIsNotTaken)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const int folder = ::open(QFile::encodeName(dir.path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(folder, 0);
    {
        const UserFile::Lock first(folder, "own.lock", 1);
        EXPECT_TRUE(first.held());
        const UserFile::Lock second(folder, "own.lock", 1);
        EXPECT_FALSE(second.held());
    }
    const UserFile::Lock again(folder, "own.lock", 1);
    EXPECT_TRUE(again.held());

    QFile theirs(dir.filePath("theirs.lock"));
    ASSERT_TRUE(theirs.open(QIODevice::WriteOnly));
    theirs.close();
    if (::chown(QFile::encodeName(theirs.fileName()).constData(), otherUid, otherUid) == 0) {
        const UserFile::Lock lock(folder, "theirs.lock", 1);
        EXPECT_FALSE(lock.held());
    }
    ::close(folder);
}
