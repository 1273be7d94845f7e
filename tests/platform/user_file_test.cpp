// The settings file against what a user (or an accident) leaves at its path:
// nothing hangs, and nothing the user wrote is lost to our first write.

#include "platform/defaults.h"
#include "platform/user_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& data)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(data);
}

std::string local(const QString& path) { return QFile::encodeName(path).toStdString(); }

} // namespace

TEST(UserFile, ReadsOnlyRegularFilesWithinTheCap)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("f");
    std::string out = "stale";
    EXPECT_EQ(UserFile::read(local(file), 100, &out), UserFile::State::missing);
    EXPECT_TRUE(out.empty());

    writeFile(file, "hello");
    EXPECT_EQ(UserFile::read(local(file), 5, &out), UserFile::State::regular);
    EXPECT_EQ(out, "hello");
    EXPECT_EQ(UserFile::read(local(file), 4, &out), UserFile::State::refused);
    EXPECT_TRUE(out.empty());

    const QString fifo = dir.filePath("fifo");
    ASSERT_EQ(::mkfifo(local(fifo).c_str(), 0600), 0);
    EXPECT_EQ(UserFile::read(local(fifo), 100, &out), UserFile::State::refused);

    const QString zero = dir.filePath("zero");
    ASSERT_TRUE(QFile::link("/dev/zero", zero));
    EXPECT_EQ(UserFile::read(local(zero), 100, &out), UserFile::State::refused);
    EXPECT_EQ(UserFile::read(local(dir.path()), 1 << 20, &out), UserFile::State::refused);

    // A dangling link is nothing to read and nothing to keep.
    ASSERT_TRUE(QFile::link(dir.filePath("nowhere"), dir.filePath("dangling")));
    EXPECT_EQ(UserFile::read(local(dir.filePath("dangling")), 100), UserFile::State::missing);
}

TEST(UserFile, MoveAsideKeepsOlderCopiesAndMovesLinksNotTargets)
{
    QTemporaryDir dir;
    const QString link = dir.filePath("conf"), aside = dir.filePath("conf.unreadable");
    ASSERT_TRUE(QFile::link("/dev/zero", link));
    writeFile(aside, "older");
    const UserFile::Kept kept = UserFile::moveAside(local(link), local(aside));
    EXPECT_TRUE(kept.ok);
    EXPECT_EQ(kept.path, local(aside) + "-2");
    EXPECT_FALSE(QFileInfo::exists(link));
    EXPECT_EQ(readFile(aside), "older");
    EXPECT_EQ(QFileInfo(aside + "-2").symLinkTarget(), "/dev/zero");

    // A directory in the way of the copy is passed over, never emptied.
    writeFile(link, "x");
    QDir().remove(aside);
    ASSERT_TRUE(QDir().mkdir(aside));
    EXPECT_EQ(UserFile::moveAside(local(link), local(aside)).path, local(aside) + "-3");
    EXPECT_TRUE(QFileInfo(aside).isDir());
    EXPECT_EQ(readFile(aside + "-3"), "x");

    // Nothing at the path: nothing to keep, and nothing fails.
    const UserFile::Kept none = UserFile::moveAside(local(link), local(aside));
    EXPECT_TRUE(none.ok);
    EXPECT_TRUE(none.path.empty());
}

TEST(Defaults, AnUnparseableFileSurvivesByteForByteAfterAWrite)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Tavrin.conf");
    QByteArray random(4096, '\0');
    QRandomGenerator gen(7);
    for (char& c : random)
        c = char(gen.bounded(256));
    const QList<QByteArray> bad = {
        "\"unmatched\n[General]\npreferences=\"{}\"\nmode=field\n",
        random,
    };
    writeFile(path + ".unreadable", "an older copy");
    QStringList kept;
    for (const QByteArray& content : bad) {
        writeFile(path, content);
        {
            Defaults d(path);
            EXPECT_FALSE(d.contains("mode"));
            EXPECT_EQ(readFile(path), content); // reading never writes

            d.set("welcomeSeen", true);
            // Each copy has a name of its own; no older one is replaced.
            ASSERT_FALSE(d.keptAs().isEmpty());
            EXPECT_FALSE(kept.contains(d.keptAs()));
            kept.append(d.keptAs());
            EXPECT_EQ(readFile(d.keptAs()), content);
            EXPECT_TRUE(d.boolValue("welcomeSeen"));
            d.set("mode", "flow");
            EXPECT_EQ(readFile(d.keptAs()), content); // set aside once
        }
        EXPECT_EQ(readFile(path + ".unreadable"), "an older copy");
        // The new file is ours and whole.
        Defaults again(path);
        EXPECT_TRUE(again.boolValue("welcomeSeen"));
        EXPECT_EQ(again.stringValue("mode"), "flow");
        QFile::remove(path);
    }
    EXPECT_EQ(kept, (QStringList{path + ".unreadable-2", path + ".unreadable-3"}));
}

TEST(Defaults, AFileThatIsNotUtf8IsKeptAsideByteForByte)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Tavrin.conf");
    const QList<QByteArray> bad = {
        "[General]\nexpand=caf\xe9\nmode=field\n",             // Latin-1
        "[General]\nselect=\xff\xfe" "a\nmode=field\n",        // stray bytes
        "[General]\nmode=field\nexpand=\xc0\xaf\n",            // an overlong "/"
        "[General]\nmode=field\nexpand=\xed\xa0\x80\n",        // a surrogate
        "[General]\nmode=field\nexpand=\xe2\x82",              // cut at the end
    };
    for (const QByteArray& content : bad) {
        SCOPED_TRACE(content.toHex().toStdString());
        writeFile(path, content);
        Defaults d(path);
        EXPECT_TRUE(d.unreadable());
        EXPECT_FALSE(d.contains("mode"));
        EXPECT_FALSE(d.contains("expand"));
        EXPECT_EQ(readFile(path), content); // reading never writes
        ASSERT_TRUE(d.keepAside());
        const QString kept = d.keptAs();
        EXPECT_EQ(kept, path + ".unreadable");
        EXPECT_EQ(readFile(kept), content);

        // The next change starts a file of its own and leaves the copy be.
        EXPECT_TRUE(d.set("mode", "flow"));
        EXPECT_EQ(readFile(kept), content);
        Defaults again(path);
        EXPECT_FALSE(again.unreadable());
        EXPECT_EQ(again.stringValue("mode"), "flow");
        EXPECT_FALSE(again.contains("expand"));
        QFile::remove(path);
        QFile::remove(kept);
    }

    // Text beyond ASCII is read as it stands when it is UTF-8.
    writeFile(path, "[General]\nexpand=caf\xc3\xa9\nselect=\xe6\x97\xa5\xf0\x9f\x98\x80\n");
    Defaults good(path);
    EXPECT_FALSE(good.unreadable());
    EXPECT_EQ(good.stringValue("expand"), QString::fromUtf8("caf\xc3\xa9"));
    EXPECT_EQ(good.stringValue("select"), QString::fromUtf8("\xe6\x97\xa5\xf0\x9f\x98\x80"));
}

TEST(UserFile, OnlyACopyItMadeIsTakenForAnEarlierCopy)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Tavrin.conf"), aside = path + ".unreadable";
    const QByteArray content = "[General]\npreferences=\"{\\\"a\\\":\"\n";
    writeFile(path, content);
    // Someone's file with the very same bytes, reached through a link at
    // the copy's name and through a second name of it.
    const QString elsewhere = dir.filePath("elsewhere");
    writeFile(elsewhere, content);
    ASSERT_TRUE(QFile::setPermissions(elsewhere, QFile::ReadOwner | QFile::WriteOwner));
    ASSERT_TRUE(QFile::link(elsewhere, aside));
    ASSERT_EQ(::link(local(elsewhere).c_str(), local(aside + "-2").c_str()), 0);
    // And a file of the user's own mode with them.
    writeFile(aside + "-3", content);
    ASSERT_TRUE(QFile::setPermissions(aside + "-3", QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));

    // The settings name a copy of their own, not any of those.
    {
        Defaults d(path);
        d.keepUnread("preferences");
        ASSERT_TRUE(d.keepAside());
        EXPECT_EQ(d.keptAs(), aside + "-4");
    }
    EXPECT_EQ(readFile(aside + "-4"), content);
    EXPECT_EQ(QFileInfo(aside).symLinkTarget(), elsewhere);
    EXPECT_EQ(readFile(elsewhere), content);
    struct stat st{};
    ASSERT_EQ(::stat(local(elsewhere).c_str(), &st), 0);
    EXPECT_EQ(st.st_nlink, 2u);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // The copy it made is the one named again, and it alone says it made it.
    const UserFile::Kept again = UserFile::copyAside(local(path), local(aside), 1 << 20);
    EXPECT_TRUE(again.ok);
    EXPECT_EQ(again.path, local(aside) + "-4");
    EXPECT_FALSE(again.made);
    EXPECT_FALSE(QFileInfo::exists(aside + "-5"));

    // A strict umask does not hide a copy from the next run.
    writeFile(path, "other bytes");
    const mode_t saved = ::umask(0277);
    const UserFile::Kept made = UserFile::copyAside(local(path), local(aside), 1 << 20);
    ::umask(saved);
    EXPECT_TRUE(made.made);
    EXPECT_EQ(made.path, local(aside) + "-5");
    EXPECT_EQ(UserFile::copyAside(local(path), local(aside), 1 << 20).path, local(aside) + "-5");
}

TEST(Defaults, SpecialFilesAreNeverOpenedBySettings)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Tavrin.conf");

    ASSERT_EQ(::mkfifo(local(path).c_str(), 0600), 0);
    {
        Defaults d(path); // QSettings would block here on the FIFO
        EXPECT_FALSE(d.contains("mode"));
        d.set("mode", "ports");
        d.remove("mode");
        d.set("demo", false);
    }
    struct stat st{};
    ASSERT_EQ(::lstat(local(path + ".unreadable").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    Defaults again(path);
    EXPECT_FALSE(again.contains("mode"));
    EXPECT_TRUE(again.contains("demo"));

    QFile::remove(path);
    ASSERT_TRUE(QFile::link("/dev/zero", path));
    Defaults zero(path);
    EXPECT_FALSE(zero.contains("mode"));
    zero.set("mode", "table");
    EXPECT_EQ(zero.keptAs(), path + ".unreadable-2");
    EXPECT_EQ(QFileInfo(zero.keptAs()).symLinkTarget(), "/dev/zero");
    ASSERT_EQ(::lstat(local(path + ".unreadable").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(Defaults(path).stringValue("mode"), "table");
}

namespace {

// In a folder where the reader may not rename: writes stay in memory for
// the run and the user's file is left as it was.
bool pendingWritesHold(const QString& path, std::string& why)
{
    Defaults d(path);
    d.set("mode", "field");
    if (d.stringValue("mode") != "field")
        return why = "a write was lost for this run", false;
    if (readFile(path) != "\"broken\n")
        return why = "the unreadable file was replaced", false;
    // The cause is the copy that could not be made, not the file.
    if (d.lastFailure() != Defaults::Failure::notKept)
        return why = "the failure named the settings file", false;
    if (!d.unreadable() || d.keepAside() || !d.keptAs().isEmpty())
        return why = "a copy was said to be kept", false;
    return true;
}

} // namespace

TEST(Defaults, WritesWaitInMemoryWhileTheFileCannotBeMovedAside)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Tavrin.conf");
    writeFile(path, "\"broken\n");
    const auto readOnly = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther;
    ASSERT_TRUE(QFile::setPermissions(dir.path(), readOnly));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    std::string why;
    if (::geteuid() != 0) {
        EXPECT_TRUE(pendingWritesHold(path, why)) << why;
    } else {
        // Root renames anywhere: an unprivileged child takes the part.
        const pid_t child = ::fork();
        if (child == 0) {
            if (::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0)
                ::_exit(2);
            ::_exit(pendingWritesHold(path, why) ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        if (WEXITSTATUS(status) == 2)
            GTEST_SKIP() << "cannot drop privileges here";
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
    QFile::setPermissions(dir.path(), readOnly | QFile::WriteOwner);
}

TEST(Defaults, EachUnreadableFileIsKeptUnderANameOfItsOwn)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Tavrin.conf");
    const QString first = path + ".unreadable";
    // One run: a value that did not decode, then a write over it.
    const auto run = [&path](const QByteArray& content) {
        writeFile(path, content);
        Defaults d(path);
        d.keepUnread("preferences");
        EXPECT_TRUE(d.unreadable());
        EXPECT_TRUE(d.set("mode", "ports"));
        EXPECT_EQ(d.lastFailure(), Defaults::Failure::none);
        return d.keptAs();
    };
    EXPECT_EQ(run("[General]\npreferences=\"{\\\"a\\\":\"\n"), first);
    const QByteArray firstBytes = readFile(first);

    // A second bad file later: the first copy stays as it was.
    EXPECT_EQ(run("[General]\npreferences=\"{\\\"b\\\":\"\n"), first + "-2");
    EXPECT_EQ(readFile(first), firstBytes);
    EXPECT_TRUE(readFile(first + "-2").contains("\\\"b\\\""));

    // Whatever stands at a name, a folder or a stray file, is passed over.
    ASSERT_TRUE(QDir().mkpath(first + "-3/inside"));
    writeFile(first + "-4", "someone else's");
    EXPECT_EQ(run("[General]\npreferences=\"{\\\"c\\\":\"\n"), first + "-5");
    EXPECT_TRUE(QFileInfo(first + "-3/inside").isDir());
    EXPECT_EQ(readFile(first + "-4"), "someone else's");

    // A run that wrote nothing leaves the same bad file: its copy is the
    // one an earlier run made, not one more.
    const QByteArray again = "[General]\npreferences=\"{\\\"d\\\":\"\n";
    writeFile(path, again);
    {
        Defaults d(path);
        d.keepUnread("preferences");
        EXPECT_TRUE(d.keepAside());
        EXPECT_EQ(d.keptAs(), first + "-6");
    }
    Defaults d(path);
    d.keepUnread("preferences");
    EXPECT_TRUE(d.keepAside());
    EXPECT_EQ(d.keptAs(), first + "-6");
    EXPECT_FALSE(QFileInfo::exists(first + "-7"));
    EXPECT_EQ(readFile(path), again);
}

TEST(Defaults, NoCopyNoWriteAndTheCauseIsNamed)
{
    // A name so long that no copy of it fits beside it: the folder is fine,
    // the settings file could be written, but nothing goes over it uncopied.
    QTemporaryDir dir;
    const QString path = dir.filePath(QString(246, u'T'));
    const QByteArray bad = "[General]\npreferences=\"{\\\"notify\\\":fal\"\n";
    writeFile(path, bad);
    Defaults d(path);
    d.keepUnread("preferences");
    EXPECT_FALSE(d.keepAside());
    EXPECT_FALSE(d.set("mode", "flow"));
    EXPECT_EQ(d.lastFailure(), Defaults::Failure::notKept);
    EXPECT_TRUE(d.unreadable());
    EXPECT_TRUE(d.keptAs().isEmpty());
    EXPECT_EQ(d.stringValue("mode"), "flow"); // held for this run
    EXPECT_EQ(readFile(path), bad);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{QString(246, u'T')});

    // The file itself was fine to write all along.
    Defaults plain(dir.filePath(QString(246, u'P')));
    EXPECT_TRUE(plain.set("mode", "flow"));
}
