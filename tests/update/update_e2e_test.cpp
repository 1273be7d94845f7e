// The whole road through the release tools and the harness: a copy
// installed under ~/Applications in a private HOME updates itself from a
// file feed, and every refused update leaves it exactly as it was.

#include "bundle_kit.h"
#include "../platform/own_tmpfs.h"

#include "update/bundle_info.h"
#include "update/bundle_swap.h"

#include <QDeadlineTimer>
#include <QDirIterator>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QScopeGuard>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <thread>
#include <tuple>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct ToolRun {
    int code = -1;
    QString out;
};

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        home = dir.path() + "/home";
        apps = home + "/Applications";
        installed = apps + "/Tavrin.app";
        writeFile(dir.path() + "/keys/dev.pem", keys.dev.privatePem);
        writeFile(dir.path() + "/keys/release.pem", keys.release.privatePem);
        writeFile(dir.path() + "/keys/dev.pub", keys.dev.publicPem);
        writeFile(dir.path() + "/keys/release.pub", keys.release.publicPem);
        makeBundle(installed, "1.0.0");
        ASSERT_TRUE(sealAndAttest(installed, keys));
        before = contents();
    }

    // Every entry's bytes, mode and link target, and the seal's own files.
    QByteArray contents() const
    {
        QByteArray all = Seal::manifest(installed, Seal::architecture()).value_or("unreadable");
        for (const char* name : {"CodeResources", "CodeResources.sig", "Notarization", "Notarization.sig"})
            all += readFile(installed + "/Contents/_CodeSignature/" + name);
        return all;
    }

    // Runs a tool of the build; `wrapper` is a command line that ends by
    // running the program and arguments it is given. `bound` only ends a
    // tool that hangs, so the failure is reported.
    ToolRun tool(const QString& name, const QStringList& args, const QStringList& wrapper = {},
                 const QString& locale = "C.UTF-8", int bound = 120000)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home);
        env.insert("XDG_CACHE_HOME", cacheHome.isEmpty() ? home + "/.cache" : cacheHome);
        env.insert("XDG_DATA_HOME", home + "/.local/share");
        env.insert("XDG_CONFIG_HOME", home + "/.config");
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("LC_ALL", locale);
        env.remove("LANGUAGE");
        p.setProcessEnvironment(env);
        const QString program = QString(TAVRIN_BIN_DIR) + "/" + name;
        if (wrapper.isEmpty())
            p.start(program, args);
        else
            p.start(wrapper[0], wrapper.mid(1) + QStringList{program} + args);
        if (!p.waitForFinished(bound)) {
            p.kill();
            p.waitForFinished();
            return {-1, "still running"};
        }
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError()).trimmed()};
    }

    // Makes, seals (with the release tool) and zips a version, 1.0.1 unless
    // told; returns the archive. `fill` adds to the bundle before it is
    // sealed.
    QString release(const QString& tag, const QString& devKey, std::function<void(const QString&)> fill = {},
                    const QString& version = "1.0.1")
    {
        const QString next = dir.path() + "/" + tag + "/Tavrin.app";
        makeBundle(next, version, 0, "new library");
        if (fill)
            fill(next);
        EXPECT_EQ(tool("tavrin-seal", {"seal", "--dev-key", devKey, next}).code, 0);
        EXPECT_EQ(tool("tavrin-seal", {"attest", "--release-key", dir.path() + "/keys/release.pem", next}).code, 0);
        const QString zip = dir.path() + "/" + tag + ".zip";
        EXPECT_EQ(tool("tavrin-seal", {"zip", next, zip}).code, 0);
        return zip;
    }

    // A release whose archive is over 40 KiB, most of it noise, and expands
    // past 2 MiB.
    QString bigRelease()
    {
        return release("big", dir.path() + "/keys/dev.pem", [](const QString& bundle) {
            writeNoise(bundle + "/Contents/lib/noise", 48 << 10, 7);
            writeFile(bundle + "/Contents/lib/zeros", QByteArray(2 << 20, '\0'));
        });
    }

    // feed-entry's arguments, with the test's public keys.
    QStringList feedEntry(const QString& zip, const QString& url = "https://example.invalid/Tavrin.zip") const
    {
        return {"feed-entry", "--dev-pub", dir.path() + "/keys/dev.pub", "--release-pub",
                dir.path() + "/keys/release.pub", zip, url};
    }

    QStringList runArgs(const QString& feed) const
    {
        return {"run", "--dev-pub", dir.path() + "/keys/dev.pub", "--release-pub", dir.path() + "/keys/release.pub",
                "--bundle", installed, "--feed", feed};
    }

    ToolRun update(const QByteArray& feed, const QStringList& wrapper = {}, const QString& locale = "C.UTF-8")
    {
        writeFile(dir.path() + "/feed.json", feed);
        return tool("tavrin-update-check", runArgs(dir.path() + "/feed.json"), wrapper, locale);
    }

    // What the relaunched copy wrote, once it has written a whole line (or
    // after a minute, when it never does).
    QByteArray relaunched() const
    {
        QDeadlineTimer deadline(60000);
        while (!readFile(home + "/relaunched").endsWith("\n") && !deadline.hasExpired())
            QThread::msleep(50);
        return readFile(home + "/relaunched");
    }

    // A swap on the fallback without an atomic exchange, stopped between
    // its two renames: nothing at the bundle's name, the installed copy in
    // a hidden folder beside it with the new one. Returns the installed
    // copy's path there.
    QString cutBetweenRenames()
    {
        const QString staged = dir.path() + "/staged/Tavrin.app";
        makeBundle(staged, "1.0.1", 0, "new library");
        EXPECT_TRUE(sealAndAttest(staged, keys));
        struct Killed {};
        BundleSwap::ReplaceOptions cut;
        cut.twoRenames = true;
        cut.betweenRenames = [](const QString&) { throw Killed{}; };
        EXPECT_THROW(BundleSwap::replace(installed, staged, keys.trust(), Seal::architecture(), cut), Killed);
        const QStringList hidden = QDir(apps).entryList({".Tavrin-update-*"}, QDir::Dirs | QDir::Hidden);
        return hidden.size() == 1 ? apps + "/" + hidden[0] + "/Tavrin (previous).app" : QString();
    }

    // The same as a process killed there leaves it, made by hand.
    QString killedBetweenRenames()
    {
        const QString hidden = apps + "/.Tavrin-update-Ab12Cd";
        EXPECT_EQ(::mkdir(QFile::encodeName(hidden).constData(), 0700), 0);
        EXPECT_TRUE(QDir().rename(installed, hidden + "/Tavrin (previous).app"));
        makeBundle(hidden + "/Tavrin.app", "1.0.1", 0, "new library");
        return hidden + "/Tavrin (previous).app";
    }

    QStringList trashed() const
    {
        return QDir(home + "/.local/share/Trash/files").entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    }

    void expectCleanAndUntouched(const char* what)
    {
        EXPECT_EQ(contents(), before) << what;
        EXPECT_EQ(QDir(apps).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                  QStringList{"Tavrin.app"}) << what;
        EXPECT_FALSE(QFileInfo::exists(home + "/.cache/com.morvadel.Tavrin.update")) << what;
    }

    // An ordinary user's own namespace (unshare -U) maps no one to root:
    // "/" and /tmp then show as another user's, and the updater rightly
    // refuses to install under them.
    static constexpr const char* onTheWayTakenByNobody = "a folder on the way to Tavrin, belongs to another user";

    QTemporaryDir dir;
    TestKeys keys;
    QString home, apps, installed;
    QString cacheHome;  // XDG_CACHE_HOME when not the home's own
    QByteArray before;
};

} // namespace

TEST_F(EndToEnd, RefusedUpdatesLeaveTheInstalledCopyAsItWas)
{
    const QString good = release("good", dir.path() + "/keys/dev.pem");
    const QString url = QUrl::fromLocalFile(good).toString();
    const QStringList verify{"verify", "--dev-pub", dir.path() + "/keys/dev.pub", "--release-pub",
                             dir.path() + "/keys/release.pub", "--current", "1.0.0"};
    EXPECT_EQ(tool("tavrin-update-check", verify + QStringList{good}).out, "ok");
    EXPECT_EQ(tool("tavrin-update-check", QStringList(verify).replaceInStrings("1.0.0", "1.0.1") + QStringList{good}).out,
              "versionMismatch");

    // A wrong digest in the feed.
    QByteArray feed = feedFor("1.0.1", 0, url, good);
    const QString sha = Seal::sha256(readFile(good));
    ToolRun r = update(QByteArray(feed).replace(sha.toUtf8(), QByteArray(64, 'a')));
    EXPECT_TRUE(r.out.contains("SHA-256")) << qPrintable(r.out);
    expectCleanAndUntouched("checksum");

    // Sealed by someone else.
    writeFile(dir.path() + "/keys/other.pem", KeyPair::make().privatePem);
    const QString foreign = release("foreign", dir.path() + "/keys/other.pem");
    EXPECT_EQ(tool("tavrin-update-check", verify + QStringList{foreign}).out, "signatureInvalid");
    r = update(feedFor("1.0.1", 0, QUrl::fromLocalFile(foreign).toString(), foreign));
    EXPECT_TRUE(r.out.contains("developer signature")) << qPrintable(r.out);
    expectCleanAndUntouched("foreign seal");

    // Nothing newer.
    r = update(feedFor("1.0.0", 0, url, good));
    EXPECT_EQ(r.out, "upToDate");
    expectCleanAndUntouched("up to date");

    // Only a file feed installs by itself: an https one is refused at once
    // rather than waited on for ever.
    r = tool("tavrin-update-check", runArgs("https://127.0.0.1:9/releases.json"));
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.out.contains("run takes a feed file")) << qPrintable(r.out);
    expectCleanAndUntouched("https feed");
}

TEST_F(EndToEnd, AFullCacheSaysThereIsNoRoom)
{
    // An archive larger than 32 KiB that expands past 1 MiB.
    const QString zip = bigRelease();
    ASSERT_GT(QFileInfo(zip).size(), 40 << 10);
    const QByteArray feed = feedFor("1.0.1", 0, QUrl::fromLocalFile(zip).toString(), zip);

    // A small file system of its own over the cache, in a mount namespace
    // of its own (a user namespace gives the right to make one).
    const QString cache = home + "/.cache";
    QDir().mkpath(cache);
    const auto inSpace = [&](const char* size) {
        return QStringList{"unshare", "-Urm", "sh", "-c",
                           "mount -t tmpfs -o size=$0,mode=0700 tmpfs \"$1\" || exit 125; shift; exec \"$@\"", size,
                           cache};
    };
    // Room for neither the archive, nor, in the second, its expansion; the
    // second in the other language.
    const std::vector<std::tuple<const char*, const char*, QString>> cases = {
        {"32k", "C.UTF-8", "There isn\u2019t enough space for the update in " + cache},
        {"1m", "C.UTF-8", "There isn\u2019t enough space for the update in " + cache},
        {"1m", "zh_CN.UTF-8", cache + " 所在的磁盘空间不足"},
    };
    for (const auto& [size, locale, said] : cases) {
        const ToolRun r = update(feed, inSpace(size), locale);
        if (r.code == 125 || r.out.startsWith("unshare:"))
            GTEST_SKIP() << "no mount namespace here: " << qPrintable(r.out);
        if (r.out.contains(onTheWayTakenByNobody))
            GTEST_SKIP() << "in an ordinary user's namespace root's folders show as another user's: "
                         << qPrintable(r.out);
        EXPECT_EQ(r.code, 1) << size;
        EXPECT_TRUE(r.out.contains(said)) << size << " " << locale << ": " << qPrintable(r.out);
        expectCleanAndUntouched(size);
    }
}

TEST_F(EndToEnd, UpdatesItselfAndRelaunches)
{
    const QString zip = release("good", dir.path() + "/keys/dev.pem");
    const ToolRun entry = tool("tavrin-seal", feedEntry(zip, QUrl::fromLocalFile(zip).toString()));
    ASSERT_EQ(entry.code, 0);
    EXPECT_TRUE(entry.out.contains(Seal::sha256(readFile(zip))));

    const ToolRun r = update(feedFor("1.0.1", 0, QUrl::fromLocalFile(zip).toString(), zip));
    EXPECT_EQ(r.out, "installing");
    EXPECT_EQ(r.code, 0);

    // The relaunch waits for the harness to end, then runs the new copy,
    // which writes its version and a newline: the file may be seen empty
    // before the line is in it.
    EXPECT_EQ(relaunched(), "1.0.1\n");
    EXPECT_TRUE(readFile(installed + "/Contents/Info.json").contains("\"1.0.1\""));
    EXPECT_TRUE(QFileInfo(home + "/.local/share/Trash/files/Tavrin (previous).app/Contents/Info.json").isFile());
    EXPECT_EQ(QDir(apps).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"Tavrin.app"});
    EXPECT_FALSE(QFileInfo::exists(home + "/.cache/com.morvadel.Tavrin.update"));
}

TEST_F(EndToEnd, WhereTheKernelRefusesTheExchangeTheTwoRenamesSwap)
{
    // As on overlayfs with the app in its lower layer: the exchange fails
    // with EXDEV, and the swap goes by two renames.
    const QString zip = release("good", dir.path() + "/keys/dev.pem");
    const ToolRun r = update(feedFor("1.0.1", 0, QUrl::fromLocalFile(zip).toString(), zip),
                             {QString(TAVRIN_BIN_DIR) + "/no-exchange"});
    if (r.code == 125)
        GTEST_SKIP() << qPrintable(r.out);
    EXPECT_EQ(r.out, "installing");
    EXPECT_EQ(relaunched(), "1.0.1\n");
    EXPECT_TRUE(QFileInfo(home + "/.local/share/Trash/files/Tavrin (previous).app/Contents/Info.json").isFile());
    EXPECT_EQ(QDir(apps).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"Tavrin.app"});
}

TEST_F(EndToEnd, ReleaseToolsMakeWhatTheVerifierTakes)
{
    // Folders made under umask 002, as an install by a group-writable
    // account makes them; expansion will give them 0755.
    const mode_t mask = ::umask(002);
    const QString next = dir.path() + "/loose/Tavrin.app";
    makeBundle(next, "1.0.1");
    ::umask(mask);
    const QString devKey = dir.path() + "/keys/dev.pem";
    const ToolRun sealed = tool("tavrin-seal", {"seal", "--dev-key", devKey, next});
    EXPECT_EQ(sealed.code, 0);
    EXPECT_TRUE(sealed.out.contains("Contents/lib: mode 775 set to 755")) << qPrintable(sealed.out);
    EXPECT_EQ(tool("tavrin-seal", {"attest", "--release-key", dir.path() + "/keys/release.pem", next}).code, 0);
    const QString zip = dir.path() + "/loose.zip";
    EXPECT_EQ(tool("tavrin-seal", {"zip", next, zip}).code, 0);
    EXPECT_EQ(tool("tavrin-update-check", {"verify", "--dev-pub", dir.path() + "/keys/dev.pub", "--release-pub",
                                           dir.path() + "/keys/release.pub", "--current", "1.0.0", zip}).out,
              "ok");

    // Two links, each inside on paper, that together lead out.
    ::symlink("..", QFile::encodeName(next + "/Contents/lib/up").constData());
    ::symlink("lib/up/../..", QFile::encodeName(next + "/Contents/out").constData());
    const ToolRun refused = tool("tavrin-seal", {"seal", "--dev-key", devKey, next});
    EXPECT_EQ(refused.code, 1);
    EXPECT_TRUE(refused.out.contains("Contents/out")) << qPrintable(refused.out);
}

TEST_F(EndToEnd, ZipsOnlyAFolderNamedTavrinApp)
{
    release("good", dir.path() + "/keys/dev.pem");
    const QString bundle = dir.path() + "/good/Tavrin.app";
    const QString zip = dir.path() + "/slash.zip";
    EXPECT_EQ(tool("tavrin-seal", {"zip", bundle + "/", zip}).code, 0);
    EXPECT_EQ(tool("tavrin-update-check", {"verify", "--dev-pub", dir.path() + "/keys/dev.pub", "--release-pub",
                                           dir.path() + "/keys/release.pub", "--current", "1.0.0", zip}).out,
              "ok");

    ASSERT_TRUE(QDir().rename(bundle, dir.path() + "/good/Other.app"));
    const ToolRun refused = tool("tavrin-seal", {"zip", dir.path() + "/good/Other.app", dir.path() + "/other.zip"});
    EXPECT_EQ(refused.code, 1);
    EXPECT_TRUE(refused.out.contains("named Tavrin.app")) << qPrintable(refused.out);
    EXPECT_FALSE(QFileInfo::exists(dir.path() + "/other.zip"));
}

TEST_F(EndToEnd, SealerRefusesFilesItsOwnerCannotRead)
{
    // Judged by the mode, so root, which reads them all, refuses them too.
    const QString next = dir.path() + "/locked/Tavrin.app";
    makeBundle(next, "1.0.1");
    writeFile(next + "/Contents/lib/none.so", "x", 0);
    writeFile(next + "/Contents/lib/writeonly.so", "x", 0200);
    writeFile(next + "/Contents/share/readme", "x");
    ::chmod(QFile::encodeName(next + "/Contents/share").constData(), 0);
    const QStringList seal{"seal", "--dev-key", dir.path() + "/keys/dev.pem", next};
    QString said;
    for (int refusals = 0; refusals < 2; ++refusals) {
        const ToolRun r = tool("tavrin-seal", seal);
        said += r.out;
        ASSERT_EQ(r.code, 1) << qPrintable(r.out);
        const bool none = r.out.contains("a file its owner cannot read (mode 0): Contents/lib/none.so");
        EXPECT_TRUE(none || r.out.contains("a file its owner cannot read (mode 200): Contents/lib/writeonly.so"))
            << qPrintable(r.out);
        ::chmod(QFile::encodeName(next + (none ? "/Contents/lib/none.so" : "/Contents/lib/writeonly.so")).constData(),
                0644);
    }
    const ToolRun sealed = tool("tavrin-seal", seal);
    EXPECT_EQ(sealed.code, 0) << qPrintable(sealed.out);
    // A folder its owner cannot enter gets the mode expansion gives it.
    EXPECT_TRUE((said + sealed.out).contains("Contents/share: mode 0 set to 700")) << qPrintable(said + sealed.out);

    // A manifest that lists such a file is refused however it was made.
    EXPECT_FALSE(Seal::refusal({{"Contents", {"dir", 0755, 0, {}, {}}}, {"Contents/x", {"file", 0200, 0, {}, {}}}}).isEmpty());
}

TEST_F(EndToEnd, KeyFilesMustBeRegularFiles)
{
    // A FIFO with no writer would hold a blocking open for ever.
    const QString fifo = dir.path() + "/keys/fifo";
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString keyDir = dir.path() + "/keys/";
    const QString next = dir.path() + "/next/Tavrin.app";
    makeBundle(next, "1.0.1");
    const std::vector<std::pair<QString, QStringList>> runs{
        {"tavrin-seal", {"seal", "--dev-key", fifo, next}},
        {"tavrin-seal", {"attest", "--release-key", fifo, next}},
        {"tavrin-update-check", {"verify", "--dev-pub", fifo, "--release-pub", keyDir + "release.pub", "--current",
                                 "1.0.0", keyDir + "none.zip"}},
        {"tavrin-update-check", {"verify", "--dev-pub", keyDir + "dev.pub", "--release-pub", fifo, "--current",
                                 "1.0.0", keyDir + "none.zip"}},
    };
    for (const auto& [name, args] : runs) {
        const ToolRun r = tool(name, args, {}, "C.UTF-8", 30000);
        EXPECT_EQ(r.code, 1) << qPrintable(args.join(' '));
        EXPECT_TRUE(r.out.contains("the key file " + fifo + " is not a regular file")) << qPrintable(r.out);
    }
}

TEST_F(EndToEnd, ThePreviousCopyStaysAsideWhileSomethingElseHasItsName)
{
    const QStringList noFeed = runArgs("/no/such.json");
    const std::vector<std::pair<const char*, std::function<void()>>> impostors = {
        {"dangling link", [&] { ::symlink("/nonexistent", QFile::encodeName(installed).constData()); }},
        {"plain file", [&] { writeFile(installed, "not the app"); }},
        {"empty folder", [&] { QDir().mkpath(installed); }},
    };
    for (const bool cut : {true, false}) {
        for (const auto& [what, plant] : impostors) {
            const QString previous = cut ? cutBetweenRenames() : killedBetweenRenames();
            ASSERT_FALSE(previous.isEmpty());
            plant();
            const QStringList inTrash = trashed();

            // None of these is the app: the previous copy stays, and the run
            // says where it is.
            ToolRun r = tool("tavrin-update-check", noFeed);
            EXPECT_EQ(r.code, 1) << what;
            EXPECT_TRUE(r.out.contains("the previous copy of Tavrin was left at " + previous)) << qPrintable(r.out);
            EXPECT_TRUE(Seal::check(previous, keys.trust()) == Seal::Verdict::ok) << what;
            EXPECT_EQ(trashed(), inTrash) << what;

            // Once the name is free the copy goes back, and the new one left
            // beside it goes to the trash, not away.
            BundleSwap::removeTree(installed);
            r = tool("tavrin-update-check", noFeed);
            EXPECT_EQ(r.out, "failed: Couldn\u2019t read the version information: /no/such.json does not exist.");
            EXPECT_EQ(contents(), before) << what;
            EXPECT_EQ(QDir(apps).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                      QStringList{"Tavrin.app"}) << what;
            EXPECT_EQ(trashed().size(), inTrash.size() + 1) << what;
        }
    }

    // A hidden folder that still holds a previous copy beside the app, as a
    // trash that could not take it leaves it: the copy goes to the trash.
    const QString left = apps + "/.Tavrin-update-Zz9Yy8";
    makeBundle(left + "/Tavrin (previous).app", "0.9.0");
    ::chmod(QFile::encodeName(left).constData(), 0700);
    tool("tavrin-update-check", noFeed);
    EXPECT_FALSE(QFileInfo::exists(left));
    EXPECT_TRUE(trashed().contains("Tavrin (previous).app")) << qPrintable(trashed().join(", "));
    EXPECT_EQ(contents(), before);
}

TEST_F(EndToEnd, AnApplicationsFolderThatCannotBeWrittenSaysSo)
{
    // Tavrin is already in ~/Applications: the message says that folder
    // cannot be written, never to drag Tavrin there. As an ordinary user,
    // for whom the folder's mode counts: as root the fixture becomes
    // nobody's and the run is nobody's.
    const QString zip = release("good", dir.path() + "/keys/dev.pem");
    writeFile(dir.path() + "/feed.json", feedFor("1.0.1", 0, QUrl::fromLocalFile(zip).toString(), zip));
    QStringList asUser;
    if (::getuid() == 0) {
        if (QStandardPaths::findExecutable("setpriv").isEmpty())
            GTEST_SKIP() << "an ordinary user needs setpriv to run as";
        QDirIterator all(dir.path(), QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
        ASSERT_EQ(::lchown(QFile::encodeName(dir.path()).constData(), 65534, 65534), 0);
        while (all.hasNext())
            ASSERT_EQ(::lchown(QFile::encodeName(all.next()).constData(), 65534, 65534), 0);
        asUser = {"setpriv", "--reuid", "65534", "--regid", "65534", "--clear-groups"};
    }
    ASSERT_EQ(::chmod(QFile::encodeName(apps).constData(), 0555), 0);
    const std::pair<const char*, QString> said[] = {
        {"C.UTF-8", "failed: You can\u2019t write to " + apps + ", the folder containing Tavrin, so it can\u2019t "
                    "update itself. Make the folder writable by you (chmod u+w " + apps + "), then try again."},
        {"zh_CN.UTF-8", "failed: 你无法写入 Tavrin 所在的文件夹 " + apps + "，无法自动更新。请让它对你可写（chmod u+w "
                        + apps + "）后重试。"},
    };
    for (const auto& [locale, message] : said) {
        const ToolRun r = tool("tavrin-update-check", runArgs(dir.path() + "/feed.json"), asUser, locale);
        if (r.out.contains("setpriv:"))
            GTEST_SKIP() << "no uid changes here: " << qPrintable(r.out);
        EXPECT_EQ(r.out, message);
        EXPECT_EQ(r.code, 1);
    }
    ASSERT_EQ(::chmod(QFile::encodeName(apps).constData(), 0755), 0);
    EXPECT_EQ(contents(), before);
    EXPECT_FALSE(QFileInfo::exists(home + "/.cache/com.morvadel.Tavrin.update")) << "nothing downloaded";
}

TEST_F(EndToEnd, AHalfSwapIsUndoneBeforeTheVersionIsRead)
{
    // Read before recovery, the half-swapped copy had no version, so an
    // older release would go over it and the same one again.
    const QString devKey = dir.path() + "/keys/dev.pem";
    const std::pair<QString, QString> offers[] = {{"0.5.0", release("older", devKey, {}, "0.5.0")},
                                                  {"1.0.0", release("same", devKey, {}, "1.0.0")}};
    for (const bool cut : {true, false}) {
        for (const auto& [version, zip] : offers) {
            ASSERT_FALSE((cut ? cutBetweenRenames() : killedBetweenRenames()).isEmpty());
            const ToolRun r = update(feedFor(version, 0, QUrl::fromLocalFile(zip).toString(), zip));
            EXPECT_EQ(r.out, "upToDate") << qPrintable(version);
            expectCleanAndUntouched(cut ? "two renames" : "killed");
        }
    }
}

TEST_F(EndToEnd, AFullApplicationsFolderSaysThereIsNoRoom)
{
    // The cache has room for the archive and its expansion; the folder of
    // the app, a small file system of its own, has none for the new copy.
    const QString zip = bigRelease();
    const QString held = dir.path() + "/held.app";
    const QStringList inSpace{"unshare", "-Urm", "sh", "-c",
                              "cp -a \"$1\" \"$2\" && mount -t tmpfs -o size=1m,mode=0755 tmpfs \"$3\" || exit 125; "
                              "cp -a \"$2\" \"$1\" || exit 125; a=$3; shift 3; \"$@\"; rc=$?; "
                              "echo; ls -A \"$a\"; grep -o 1.0.0 \"$a/Tavrin.app/Contents/Info.json\"; exit $rc",
                              "sh", installed, held, apps};
    for (const char* locale : {"C.UTF-8", "zh_CN.UTF-8"}) {
        const ToolRun r = update(feedFor("1.0.1", 0, QUrl::fromLocalFile(zip).toString(), zip), inSpace, locale);
        if (r.code == 125 || r.out.startsWith("unshare:"))
            GTEST_SKIP() << "no mount namespace here: " << qPrintable(r.out);
        if (r.out.contains(onTheWayTakenByNobody))
            GTEST_SKIP() << "in an ordinary user's namespace root's folders show as another user's: "
                         << qPrintable(r.out);
        EXPECT_EQ(r.code, 1);
        const QString said = QString(locale) == "C.UTF-8" ? "There isn\u2019t enough space for the update in " + apps
                                                 : apps + " 所在的磁盘空间不足";
        EXPECT_TRUE(r.out.contains(said)) << qPrintable(r.out);
        EXPECT_TRUE(r.out.endsWith("\nTavrin.app\n1.0.0")) << "the installed copy stays alone: " << qPrintable(r.out);
    }
}

TEST_F(EndToEnd, AnUpdateWithNoRoomForItsCopyLeavesTheDiskAsItFoundIt)
{
    // The app's folder is the top of a 4.2 MB filesystem of its own holding
    // a 2 MB copy; the new copy, 3 MB, is copied across from the cache and
    // does not fit. Each run says so, and leaves nothing of its copy.
    writeNoise(installed + "/Contents/lib/noise", 2 << 20, 3);
    ASSERT_TRUE(sealAndAttest(installed, keys));
    const QString zip = release("big", dir.path() + "/keys/dev.pem",
                                [](const QString& bundle) { writeNoise(bundle + "/Contents/lib/noise", 3 << 20, 5); });
    const QString held = dir.path() + "/held.app";
    const QStringList inSpace{
        "unshare", "-Urm", "sh", "-c",
        "cp -a \"$1\" \"$2\" && mount -t tmpfs -o size=4200k,mode=0755 tmpfs \"$3\" || exit 125; "
        "cp -a \"$2\" \"$1\" || exit 125; a=$3; shift 3; free=$(stat -f -c %f \"$a\"); \"$@\"; \"$@\"; echo; "
        "ls -A \"$a\"; grep -o 1.0.0 \"$a/Tavrin.app/Contents/Info.json\"; "
        "[ \"$(stat -f -c %f \"$a\")\" = \"$free\" ] && echo as free as before",
        "sh", installed, held, apps};
    const ToolRun r = update(feedFor("1.0.1", 0, QUrl::fromLocalFile(zip).toString(), zip), inSpace);
    if (r.code == 125 || r.out.startsWith("unshare:"))
        GTEST_SKIP() << "no mount namespace here: " << qPrintable(r.out);
    if (r.out.contains(onTheWayTakenByNobody))
        GTEST_SKIP() << "in an ordinary user's namespace root's folders show as another user's: " << qPrintable(r.out);
    const QString noRoom = "failed: There isn\u2019t enough space for the update in " + apps
        + ". Free some space, then try again.";
    EXPECT_EQ(r.out.split('\n'), (QStringList{noRoom, noRoom, "", "Tavrin.app", "1.0.0", "as free as before"}))
        << qPrintable(r.out);
}

TEST_F(EndToEnd, OnAnotherFilesystemThePreviousCopyGoesToThatFilesystemsTrash)
{
    // ~/Applications is a small filesystem of its own, the home trash lies
    // on another: the previous copy goes to the trash at the top of the
    // app's filesystem. Where that trash is a link planted there, no trash
    // is safe to take the copy: it stays beside the app, in sight, and the
    // next runs install on.
    const QString devKey = dir.path() + "/keys/dev.pem";
    const QString next = release("next", devKey);
    const QString later = release("later", devKey, {}, "1.0.2");
    writeFile(dir.path() + "/next.json", feedFor("1.0.1", 0, QUrl::fromLocalFile(next).toString(), next));
    writeFile(dir.path() + "/later.json", feedFor("1.0.2", 0, QUrl::fromLocalFile(later).toString(), later));
    const QString held = dir.path() + "/held.app";
    const auto onOwnDisk = [&](const QString& plant) {
        return QStringList{"unshare", "-Urm", "sh", "-c",
                           "cp -a \"$1\" \"$2\" && mount -t tmpfs -o size=4m,mode=0755 tmpfs \"$3\" || exit 125; "
                           "cp -a \"$2\" \"$1\" || exit 125; a=$3; feed=$4; next=$5; later=$6; shift 6; cd \"$a\"; "
                           + plant + "; cp \"$next\" \"$feed\"; \"$@\"; cp \"$later\" \"$feed\"; \"$@\"; "
                           "LC_ALL=zh_CN.UTF-8 \"$@\"; echo; ls -A; ls -A .Trash-0/files .Tavrin-update-* 2>/dev/null; "
                           "cat .Trash-0/info/* 2>/dev/null; grep -ho '\"1[.0-9]*\"' */Contents/Info.json "
                           ".Trash-0/files/*/Contents/Info.json .Tavrin-update-*/*/Contents/Info.json 2>/dev/null",
                           "sh", installed, held, apps, dir.path() + "/feed.json", dir.path() + "/next.json",
                           dir.path() + "/later.json"};
    };
    const QStringList args = runArgs(dir.path() + "/feed.json");

    ToolRun r = tool("tavrin-update-check", args, onOwnDisk(":"));
    if (r.code == 125 || r.out.startsWith("unshare:"))
        GTEST_SKIP() << "no mount namespace here: " << qPrintable(r.out);
    if (r.out.contains(onTheWayTakenByNobody))
        GTEST_SKIP() << "in an ordinary user's namespace root's folders show as another user's: "
                     << qPrintable(r.out);
    QStringList lines = r.out.split('\n');
    // Installed, then up to date with 1.0.2 installed; the previous copies
    // in the trash there, with their paths from its top: beside the app,
    // where Restore puts them back.
    ASSERT_GE(lines.size(), 12) << qPrintable(r.out);
    EXPECT_EQ(lines.mid(0, 3), (QStringList{"installing", "installing", "upToDate"})) << qPrintable(r.out);
    EXPECT_EQ(lines.mid(4, 5), (QStringList{".Trash-0", "Tavrin.app", ".Trash-0/files:", "Tavrin (previous) 2.app",
                                            "Tavrin (previous).app"}))
        << qPrintable(r.out);
    EXPECT_EQ(r.out.count(QRegularExpression("\nPath=Tavrin%20%28previous%29\\.app\n")), 2)
        << qPrintable(r.out);
    EXPECT_TRUE(r.out.endsWith("\n\"1.0.2\"\n\"1.0.1\"\n\"1.0.0\"")) << qPrintable(r.out);
    EXPECT_FALSE(QFileInfo::exists(home + "/.local/share/Trash/files")) << "the home trash is on another filesystem";

    // No trash there is safe to use: each previous copy comes out beside
    // the app at the next start, under a "previous" name of its own, and
    // the next update goes ahead.
    BundleSwap::removeTree(held);
    r = tool("tavrin-update-check", args, onOwnDisk("mkdir elsewhere && ln -s elsewhere .Trash-0"));
    EXPECT_EQ(r.out.split('\n'),
              (QStringList{"installing", "installing", "upToDate", "", ".Trash-0", "Tavrin (previous 2).app",
                           "Tavrin (previous).app", "Tavrin.app", "elsewhere", "\"1.0.1\"", "\"1.0.0\"",
                           "\"1.0.2\""}))
        << "1.0.2 installed, 1.0.1 and 1.0.0 beside it: " << qPrintable(r.out);
}

TEST_F(EndToEnd, AnApplicationsFolderThatIsALinkIsHeldToTheChecksOfWhereItLeads)
{
    // ~/Applications leads to a folder of the user's own on another disk.
    const QString disk = home + "/Disk/Apps";
    QDir().mkpath(home + "/Disk");
    ASSERT_TRUE(QDir().rename(apps, disk));
    ASSERT_EQ(::symlink("Disk/Apps", QFile::encodeName(apps).constData()), 0);
    const QString zip = release("good", dir.path() + "/keys/dev.pem");
    const QByteArray feed = feedFor("1.0.1", 0, QUrl::fromLocalFile(zip).toString(), zip);

    // Others may write there: refused before anything is downloaded, naming
    // the folder and what is wrong with it.
    ::chmod(QFile::encodeName(disk).constData(), 0775);
    ToolRun r = update(feed);
    EXPECT_TRUE(r.out.startsWith("failed: Other users can write to " + disk + ", the folder containing Tavrin"))
        << qPrintable(r.out);
    EXPECT_FALSE(r.out.contains("Drag Tavrin")) << "it is where it belongs";
    EXPECT_FALSE(QFileInfo::exists(home + "/.cache/com.morvadel.Tavrin.update"));
    EXPECT_EQ(contents(), before);

    ::chmod(QFile::encodeName(disk).constData(), 0755);
    r = update(feed);
    EXPECT_EQ(r.out, "installing");
    EXPECT_EQ(relaunched(), "1.0.1\n");
    EXPECT_TRUE(readFile(disk + "/Tavrin.app/Contents/Info.json").contains("\"1.0.1\""));
    EXPECT_EQ(QFileInfo(apps).symLinkTarget(), disk) << "the link stays as it was";
    EXPECT_EQ(QDir(disk).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"Tavrin.app"});
}

TEST_F(EndToEnd, AStickyFolderOthersCanWriteIsNoPlaceToUpdateIn)
{
    // ~/Applications leads to a folder of the user's own that anyone may
    // make entries in, as /tmp: between the renames of a swap anyone could
    // take the app's name.
    const QString shared = home + "/Shared";
    QDir().mkpath(home + "/Shared");
    ASSERT_TRUE(QDir().rename(apps, shared + "/apps"));
    ASSERT_EQ(::symlink("Shared/apps", QFile::encodeName(apps).constData()), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(shared + "/apps").constData(), 01777), 0);
    const QString zip = release("good", dir.path() + "/keys/dev.pem");
    writeFile(dir.path() + "/feed.json", feedFor("1.0.1", 0, QUrl::fromLocalFile(zip).toString(), zip));
    for (const bool twoRenames : {false, true}) {
        const ToolRun r = tool("tavrin-update-check", runArgs(dir.path() + "/feed.json")
                                   + (twoRenames ? QStringList{"--two-renames"} : QStringList{}));
        EXPECT_EQ(r.code, 1);
        EXPECT_TRUE(r.out.startsWith("failed: Other users can write to " + shared + "/apps, the folder containing "
                                     "Tavrin"))
            << qPrintable(r.out);
        EXPECT_FALSE(QFileInfo::exists(home + "/.cache/com.morvadel.Tavrin.update")) << "nothing downloaded";
        EXPECT_EQ(contents(), before);
    }
}

TEST_F(EndToEnd, EveryFolderAboveTheAppIsHeldToOneRule)
{
    // ~/Applications leads to the user's own folder, mode 755, inside a
    // folder that others control: they could rename it away and put their
    // own in its place before the relaunch runs the program by its path.
    const QString shared = dir.path() + "/shared";
    const QString vapps = shared + "/vapps";
    QDir().mkpath(shared);
    ASSERT_TRUE(QDir().rename(apps, vapps));
    ASSERT_EQ(::symlink(QFile::encodeName(vapps).constData(), QFile::encodeName(apps).constData()), 0);
    const QString zip = release("good", dir.path() + "/keys/dev.pem");
    writeFile(dir.path() + "/feed.json", feedFor("1.0.1", 0, QUrl::fromLocalFile(zip).toString(), zip));
    const auto run = [&](bool twoRenames) {
        return tool("tavrin-update-check", runArgs(dir.path() + "/feed.json")
                                               + (twoRenames ? QStringList{"--two-renames"} : QStringList{}));
    };
    const QByteArray sharedPath = QFile::encodeName(shared);
    for (const bool twoRenames : {false, true}) {
        ::chmod(sharedPath.constData(), 0777);
        ToolRun r = run(twoRenames);
        EXPECT_TRUE(r.out.startsWith("failed: Other users can write to " + shared + ", a folder on the way to Tavrin"))
            << qPrintable(r.out);
        if (::getuid() == 0) {
            ::chmod(sharedPath.constData(), 0755);
            ASSERT_EQ(::chown(sharedPath.constData(), 65534, 65534), 0);
            r = run(twoRenames);
            EXPECT_TRUE(r.out.startsWith("failed: " + shared + ", a folder on the way to Tavrin, belongs to another "
                                                               "user"))
                << qPrintable(r.out);
            ASSERT_EQ(::chown(sharedPath.constData(), 0, 0), 0);
        }
        EXPECT_FALSE(QFileInfo::exists(home + "/.cache/com.morvadel.Tavrin.update")) << "nothing downloaded";
        EXPECT_EQ(contents(), before);
    }

    // Sticky over the user's own folder, as /tmp is: the update installs,
    // on the two renames too.
    ::chmod(sharedPath.constData(), 01777);
    EXPECT_EQ(run(true).out, "installing");
    EXPECT_EQ(relaunched(), "1.0.1\n");
    EXPECT_EQ(QDir(vapps).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"Tavrin.app"});
}

TEST_F(EndToEnd, ZipAndFeedEntryTakeOnlyArchivesTheVerifierTakes)
{
    // 20 MiB of zeros and little else: deflated, the archive would expand
    // a thousand times over, which the verifier refuses.
    const QString zip = release("zeros", dir.path() + "/keys/dev.pem", [](const QString& bundle) {
        writeFile(bundle + "/Contents/lib/zeros", QByteArray(20 << 20, '\0'));
    });
    const ToolRun zipped = tool("tavrin-seal", {"zip", dir.path() + "/zeros/Tavrin.app", zip});
    EXPECT_EQ(zipped.code, 0);
    EXPECT_TRUE(zipped.out.contains("stored Tavrin.app/Contents/lib/zeros uncompressed")) << qPrintable(zipped.out);
    EXPECT_EQ(tool("tavrin-update-check", {"verify", "--dev-pub", dir.path() + "/keys/dev.pub", "--release-pub",
                                           dir.path() + "/keys/release.pub", "--current", "1.0.0", zip}).out,
              "ok");
    EXPECT_EQ(tool("tavrin-seal", feedEntry(zip)).code, 0);

    // An archive made some other way gets no feed record.
    const QString bomb = dir.path() + "/bomb.zip";
    writeZip(bomb, {{"Tavrin.app/", AE_IFDIR, "", 0755}, {"Tavrin.app/zeros", AE_IFREG, std::string(8 << 20, '\0')}});
    const ToolRun refused = tool("tavrin-seal", feedEntry(bomb));
    EXPECT_EQ(refused.code, 1);
    EXPECT_TRUE(refused.out.startsWith("tavrin-seal: the updater would refuse " + bomb + ": expands to more than"))
        << qPrintable(refused.out);
}

TEST_F(EndToEnd, AFailedZipLeavesNoArchive)
{
    const QString next = dir.path() + "/next/Tavrin.app";
    makeBundle(next, "1.0.1");
    const QString zip = dir.path() + "/next.zip";
    const QStringList around = QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);

    ASSERT_EQ(::mkfifo(QFile::encodeName(next + "/Contents/pipe").constData(), 0600), 0);
    ToolRun r = tool("tavrin-seal", {"zip", next, zip});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "tavrin-seal: not a file, folder or link: " + next + "/Contents/pipe");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), around);
    ::unlink(QFile::encodeName(next + "/Contents/pipe").constData());

    const QStringList contents = QDir(next + "/Contents").entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    const QString self = next + "/Contents/self.zip";
    r = tool("tavrin-seal", {"zip", next, self});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "tavrin-seal: the output " + self + " lies inside the bundle " + next);
    EXPECT_EQ(QDir(next + "/Contents").entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), contents);
}

TEST_F(EndToEnd, ReleaseToolsRefuseAnArchiveThatIsNotAFile)
{
    // A FIFO with no writer would hold a blocking open for ever, and a
    // device would be read for ever.
    const QString fifo = dir.path() + "/fifo";
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    release("good", dir.path() + "/keys/dev.pem");
    const QString next = dir.path() + "/good/Tavrin.app";
    const QStringList verify{"verify", "--dev-pub", dir.path() + "/keys/dev.pub", "--release-pub",
                             dir.path() + "/keys/release.pub", "--current", "1.0.0"};
    for (const QString& path : {fifo, QString("/dev/zero")}) {
        const std::vector<std::pair<QString, QStringList>> runs{
            {"tavrin-update-check", verify + QStringList{path}},
            {"tavrin-seal", feedEntry(path)},
        };
        for (const auto& [name, args] : runs) {
            const ToolRun r = tool(name, args, {}, "C.UTF-8", 30000);
            EXPECT_EQ(r.code, 1) << qPrintable(args.join(' '));
            EXPECT_TRUE(r.out.endsWith("the archive " + path + " is not a regular file")) << qPrintable(r.out);
        }
    }
    for (const QString& path : {fifo, QString("/dev/null")}) {
        const ToolRun r = tool("tavrin-seal", {"zip", next, path}, {}, "C.UTF-8", 30000);
        EXPECT_EQ(r.code, 1) << qPrintable(path);
        EXPECT_EQ(r.out, "tavrin-seal: the output " + path + " is not a regular file");
    }
    struct stat st {};
    ASSERT_EQ(::lstat(QFile::encodeName(fifo).constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode)) << "left as it was";
}

TEST_F(EndToEnd, ZipTakesOnlyWhatTheSealCovers)
{
    release("good", dir.path() + "/keys/dev.pem");
    const QString next = dir.path() + "/good/Tavrin.app";
    const QString out = dir.path() + "/changed.zip";
    const QStringList around = QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    const auto refusedWith = [&](const QString& said) {
        const ToolRun r = tool("tavrin-seal", {"zip", next, out});
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(r.out, "tavrin-seal: " + said);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), around)
            << "no archive and no part file";
    };
    const QString lib = next + "/Contents/lib/libtavrin.so";
    const QByteArray bytes = readFile(lib);

    writeFile(next + "/Contents/lib/extra.so", "added after sealing");
    refusedWith("the seal does not match the bundle: " + next + "/Contents/lib/extra.so was added after the bundle "
                "was sealed");
    QFile::remove(next + "/Contents/lib/extra.so");

    QFile::remove(lib);
    refusedWith("the seal does not match the bundle: " + lib + " was removed after the bundle was sealed");

    // Same size, other bytes; then the same bytes with another mode.
    QByteArray other = bytes;
    other[0] = char(other[0] ^ 1);
    writeFile(lib, other);
    refusedWith("the seal does not match the bundle: " + lib + " changed after the bundle was sealed");
    writeFile(lib, bytes, 0755);
    refusedWith("the seal does not match the bundle: " + lib + " changed after the bundle was sealed");
    writeFile(lib, bytes);

    writeFile(next + "/Contents/_CodeSignature/extra", "x");
    refusedWith("the seal's folder holds something besides the seal: " + next + "/Contents/_CodeSignature/extra");
    QFile::remove(next + "/Contents/_CodeSignature/extra");

    // Back as sealed, it zips again, to an archive the verifier takes.
    ASSERT_EQ(tool("tavrin-seal", {"zip", next, out}).code, 0);
    EXPECT_EQ(tool("tavrin-update-check", {"verify", "--dev-pub", dir.path() + "/keys/dev.pub", "--release-pub",
                                           dir.path() + "/keys/release.pub", "--current", "1.0.0", out}).out,
              "ok");
    QFile::remove(out);

    const QString bare = dir.path() + "/bare/Tavrin.app";
    makeBundle(bare, "1.0.1");
    const ToolRun unsealed = tool("tavrin-seal", {"zip", bare, out});
    EXPECT_EQ(unsealed.code, 1);
    EXPECT_TRUE(unsealed.out.startsWith("tavrin-seal: the bundle is not sealed")) << qPrintable(unsealed.out);
    EXPECT_FALSE(QFileInfo::exists(out));
}

TEST_F(EndToEnd, FeedEntryRunsTheUpdatersChecks)
{
    const QString zip = release("good", dir.path() + "/keys/dev.pem");
    const QString next = dir.path() + "/good/Tavrin.app";
    const ToolRun entry = tool("tavrin-seal", feedEntry(zip));
    ASSERT_EQ(entry.code, 0) << qPrintable(entry.out);
    EXPECT_TRUE(entry.out.contains(Seal::sha256(readFile(zip))));

    const auto refusedFor = [&](const QString& archive, const QStringList& args, const char* reason) {
        const ToolRun r = tool("tavrin-seal", args);
        EXPECT_EQ(r.code, 1) << qPrintable(args.join(' '));
        EXPECT_TRUE(r.out.startsWith("tavrin-seal: the updater would refuse " + archive + ": " + reason + ": "))
            << qPrintable(r.out);
    };

    // A file added after sealing, zipped by a writer that does not check
    // the seal: the updater's own reason.
    writeFile(next + "/Contents/lib/extra.so", "added after sealing");
    const QString added = dir.path() + "/added.zip";
    QString why;
    ASSERT_TRUE(ZipArchive::write(next, added, false, &why)) << qPrintable(why);
    refusedFor(added, feedEntry(added), "signatureInvalid");
    QFile::remove(next + "/Contents/lib/extra.so");

    // The keys swapped, then an archive with no attestation.
    refusedFor(zip,
               {"feed-entry", "--dev-pub", dir.path() + "/keys/release.pub", "--release-pub",
                dir.path() + "/keys/dev.pub", zip, "https://example.invalid/Tavrin.zip"},
               "signatureInvalid");
    QFile::remove(next + "/Contents/_CodeSignature/Notarization");
    QFile::remove(next + "/Contents/_CodeSignature/Notarization.sig");
    const QString unattested = dir.path() + "/unattested.zip";
    ASSERT_EQ(tool("tavrin-seal", {"zip", next, unattested}).code, 0);
    refusedFor(unattested, feedEntry(unattested), "notarizationFailed");

    // Without keys it takes the build's own, which a build made without
    // any does not have; one key alone is not taken.
    const ToolRun own = tool("tavrin-seal", {"feed-entry", zip, "https://example.invalid/Tavrin.zip"});
    if (Seal::builtIn().dev.empty()) {
        EXPECT_EQ(own.code, 1);
        EXPECT_TRUE(own.out.contains("this build has no keys of its own")) << qPrintable(own.out);
    } else {
        EXPECT_EQ(own.code, 1) << "the test's keys are not the build's";
        EXPECT_TRUE(own.out.contains("signatureInvalid")) << qPrintable(own.out);
    }
    const ToolRun half = tool("tavrin-seal", {"feed-entry", "--dev-pub", dir.path() + "/keys/dev.pub", zip,
                                             "https://example.invalid/Tavrin.zip"});
    EXPECT_EQ(half.code, 1);
    EXPECT_TRUE(half.out.contains("give both --dev-pub and --release-pub")) << qPrintable(half.out);
}

TEST_F(EndToEnd, NamesInUtf8ReleaseUnderEveryLocale)
{
    const QString zip = release("intl", dir.path() + "/keys/dev.pem", [](const QString& bundle) {
        writeFile(bundle + QString::fromUtf8("/Contents/lib/caf\xc3\xa9"), "caf\xc3\xa9");
        writeFile(bundle + QString::fromUtf8("/Contents/share/\xe6\x96\x87\xe4\xbb\xb6/\xf0\x9f\x93\x88"), "chart");
    });
    const QString next = dir.path() + "/intl/Tavrin.app";
    for (const char* locale : {"C", "POSIX", "C.UTF-8", "en_US.UTF-8", "de_DE.UTF-8"}) {
        SCOPED_TRACE(locale);
        QFile::remove(zip);
        const ToolRun zipped = tool("tavrin-seal", {"zip", next, zip}, {}, locale);
        ASSERT_EQ(zipped.code, 0) << qPrintable(zipped.out);
        EXPECT_EQ(tool("tavrin-update-check", {"verify", "--dev-pub", dir.path() + "/keys/dev.pub", "--release-pub",
                                               dir.path() + "/keys/release.pub", "--current", "1.0.0", zip},
                       {}, locale).out,
                  "ok");
        EXPECT_EQ(tool("tavrin-seal", feedEntry(zip), {}, locale).code, 0);
    }

    // Every name that is not ASCII carries the UTF-8 flag.
    const QByteArray bytes = readFile(zip);
    int flagged = 0;
    for (qsizetype at = bytes.indexOf("PK\x01\x02"); at >= 0; at = bytes.indexOf("PK\x01\x02", at + 4)) {
        const uint flags = uchar(bytes[at + 8]) | uint(uchar(bytes[at + 9])) << 8;
        const uint nameLength = uchar(bytes[at + 28]) | uint(uchar(bytes[at + 29])) << 8;
        const QByteArray name = bytes.mid(at + 46, nameLength);
        const bool ascii = std::all_of(name.begin(), name.end(), [](char c) { return uchar(c) < 0x80; });
        EXPECT_TRUE(ascii || (flags & 0x800)) << name.constData();
        flagged += ascii ? 0 : 1;
    }
    EXPECT_EQ(flagged, 3);

    // And the app installs it.
    const ToolRun r = update(feedFor("1.0.1", 0, QUrl::fromLocalFile(zip).toString(), zip));
    EXPECT_EQ(r.out, "installing");
    EXPECT_EQ(readFile(installed + QString::fromUtf8("/Contents/lib/caf\xc3\xa9")), "caf\xc3\xa9");
    // The relaunched copy is done before the folder goes.
    EXPECT_EQ(relaunched(), "1.0.1\n");
}

TEST_F(EndToEnd, ANameThatIsNotUtf8IsRefusedAndNamed)
{
    const QString next = dir.path() + "/latin1/Tavrin.app";
    makeBundle(next, "1.0.1");
    const QByteArray native = QFile::encodeName(next) + "/Contents/lib/caf\xe9";
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    ASSERT_GE(fd, 0);
    ::close(fd);
    for (const char* locale : {"C", "C.UTF-8", "de_DE.UTF-8"}) {
        SCOPED_TRACE(locale);
        const ToolRun sealed = tool("tavrin-seal", {"seal", "--dev-key", dir.path() + "/keys/dev.pem", next}, {}, locale);
        EXPECT_EQ(sealed.code, 1);
        EXPECT_TRUE(sealed.out.endsWith(": Contents/lib/caf\\xe9")) << qPrintable(sealed.out);
        const ToolRun zipped = tool("tavrin-seal", {"zip", next, dir.path() + "/latin1.zip"}, {}, locale);
        EXPECT_EQ(zipped.code, 1);
        EXPECT_EQ(zipped.out, "tavrin-seal: a name that is not UTF-8: " + next + "/Contents/lib/caf\\xe9");
        EXPECT_FALSE(QFileInfo::exists(dir.path() + "/latin1.zip"));
    }
}

TEST_F(EndToEnd, TheNextZipRemovesPartFilesNoLiveZipHolds)
{
    release("good", dir.path() + "/keys/dev.pem");
    const QString next = dir.path() + "/good/Tavrin.app";
    const QString out = dir.path() + "/out";
    QDir().mkpath(out);
    const auto make = [&](const char* name) {
        writeFile(out + "/" + name, "part written");
        return out + "/" + name;
    };
    // One left by a zip killed midway: nobody holds it.
    make(".Tavrin.zip.5eed1e.part");
    // One a zip still writes holds locked.
    const QString live = make(".Tavrin.zip.a11ce.part");
    const int held = ::open(QFile::encodeName(live).constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    // Others' files, and things a part file is not.
    make(".Other.zip.5eed1e.part");
    make(".Tavrin.zip.notours.part");
    make("Tavrin.zip.5eed1e.part");
    QDir().mkpath(out + "/.Tavrin.zip.d1.part");
    ::symlink(QFile::encodeName(dir.path() + "/good.zip").constData(),
              QFile::encodeName(out + "/.Tavrin.zip.11.part").constData());

    const ToolRun r = tool("tavrin-seal", {"zip", next, out + "/Tavrin.zip"});
    ASSERT_EQ(r.code, 0) << qPrintable(r.out);
    EXPECT_EQ(QDir(out).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
              QStringList({".Other.zip.5eed1e.part", ".Tavrin.zip.11.part", ".Tavrin.zip.a11ce.part",
                           ".Tavrin.zip.d1.part", ".Tavrin.zip.notours.part", "Tavrin.zip", "Tavrin.zip.5eed1e.part"}));

    // Once its holder is gone, the next zip takes it too.
    ::close(held);
    ASSERT_EQ(tool("tavrin-seal", {"zip", next, out + "/Tavrin.zip"}).code, 0);
    EXPECT_FALSE(QFileInfo::exists(live));
    EXPECT_TRUE(QFileInfo(out + "/.Tavrin.zip.11.part").isSymLink());
}

TEST_F(EndToEnd, ABundleWithMoreBesideContentsZipsAndInstalls)
{
    const QString zip = release("readme", dir.path() + "/keys/dev.pem", [](const QString& bundle) {
        writeFile(bundle + "/README", "read me");
        writeFile(bundle + "/doc/NOTICE", "notice");
    });
    ASSERT_TRUE(QFileInfo(zip).isFile());
    EXPECT_EQ(tool("tavrin-update-check", {"verify", "--dev-pub", dir.path() + "/keys/dev.pub", "--release-pub",
                                           dir.path() + "/keys/release.pub", "--current", "1.0.0", zip}).out,
              "ok");
    EXPECT_EQ(tool("tavrin-seal", feedEntry(zip)).code, 0);
    const ToolRun r = update(feedFor("1.0.1", 0, QUrl::fromLocalFile(zip).toString(), zip));
    EXPECT_EQ(r.out, "installing");
    EXPECT_EQ(readFile(installed + "/README"), "read me");
    EXPECT_EQ(readFile(installed + "/doc/NOTICE"), "notice");
    EXPECT_EQ(relaunched(), "1.0.1\n");
}

TEST_F(EndToEnd, DecomposedNamesReleaseByteForByte)
{
    const QByteArray decomposed = "cafe\xcc\x81";
    const QString zip = release("nfd", dir.path() + "/keys/dev.pem", [&](const QString& bundle) {
        const QByteArray lib = QFile::encodeName(bundle) + "/Contents/lib/";
        writeFile(QFile::decodeName(lib + decomposed), "decomposed");
        writeFile(QFile::decodeName(lib + "caf\xc3\xa9"), "composed");
        ::symlink(decomposed.constData(), (lib + "\xc3\xa9-link").constData());
    });
    const QString next = dir.path() + "/nfd/Tavrin.app";
    for (const char* locale : {"C", "C.UTF-8", "en_US.UTF-8"}) {
        SCOPED_TRACE(locale);
        QFile::remove(zip);
        const ToolRun zipped = tool("tavrin-seal", {"zip", next, zip}, {}, locale);
        ASSERT_EQ(zipped.code, 0) << qPrintable(zipped.out);
        EXPECT_EQ(tool("tavrin-update-check", {"verify", "--dev-pub", dir.path() + "/keys/dev.pub", "--release-pub",
                                               dir.path() + "/keys/release.pub", "--current", "1.0.0", zip},
                       {}, locale).out,
                  "ok");
        const ToolRun entry = tool("tavrin-seal", feedEntry(zip), {}, locale);
        EXPECT_EQ(entry.code, 0) << qPrintable(entry.out);
    }
    // The archive holds the name as the bundle does.
    EXPECT_TRUE(readFile(zip).contains("Tavrin.app/Contents/lib/" + decomposed));

    const ToolRun r = update(feedFor("1.0.1", 0, QUrl::fromLocalFile(zip).toString(), zip), {}, "C");
    EXPECT_EQ(r.out, "installing");
    const QByteArray lib = QFile::encodeName(installed) + "/Contents/lib/";
    EXPECT_EQ(readFile(QFile::decodeName(lib + decomposed)), "decomposed");
    EXPECT_EQ(readFile(QFile::decodeName(lib + "caf\xc3\xa9")), "composed");
    char target[64] = {};
    EXPECT_EQ(::readlink((lib + "\xc3\xa9-link").constData(), target, sizeof target - 1), decomposed.size());
    EXPECT_EQ(QByteArray(target), decomposed);
    EXPECT_EQ(relaunched(), "1.0.1\n");
}

TEST_F(EndToEnd, FeedEntryAndTheUpdaterAgreeOnAFourthVersionNumber)
{
    // 1.0.0.7 orders as 1.0.0: the updater never offers it over 1.0.0, so
    // no feed record is made for it.
    const QString zip = release("fourth", dir.path() + "/keys/dev.pem", {}, "1.0.0.7");
    const ToolRun entry = tool("tavrin-seal", feedEntry(zip));
    EXPECT_EQ(entry.code, 1);
    EXPECT_EQ(entry.out, "tavrin-seal: the updater would refuse " + zip + ": its version 1.0.0.7 orders as 1.0.0, "
              "for releases are ordered by three numbers and the build number alone: give the fourth number as "
              "CFBundleVersion instead");
    EXPECT_EQ(update(feedFor("1.0.0.7", 0, QUrl::fromLocalFile(zip).toString(), zip)).out, "upToDate");
    expectCleanAndUntouched("1.0.0.7");

    // A fourth number of 0 is no number lost; nor is a build.
    EXPECT_EQ(tool("tavrin-seal", feedEntry(release("zero", dir.path() + "/keys/dev.pem", {}, "1.0.1.0"))).code, 0);
    const QString built = dir.path() + "/built/Tavrin.app";
    makeBundle(built, "1.0.0", 7);
    ASSERT_EQ(tool("tavrin-seal", {"seal", "--dev-key", dir.path() + "/keys/dev.pem", built}).code, 0);
    ASSERT_EQ(tool("tavrin-seal", {"attest", "--release-key", dir.path() + "/keys/release.pem", built}).code, 0);
    ASSERT_EQ(tool("tavrin-seal", {"zip", built, dir.path() + "/built.zip"}).code, 0);
    EXPECT_EQ(tool("tavrin-seal", feedEntry(dir.path() + "/built.zip")).code, 0);
    const QString builtZip = dir.path() + "/built.zip";
    EXPECT_EQ(update(feedFor("1.0.0", 7, QUrl::fromLocalFile(builtZip).toString(), builtZip)).out, "installing");
    EXPECT_EQ(relaunched(), "1.0.0\n");
}

TEST_F(EndToEnd, AnUpdateFolderInAFolderOthersMayWriteIsRefusedBeforeTheDownload)
{
    // XDG_CACHE_HOME is the user's own folder inside a team's folder of
    // mode 2775 (root's, where the test runs as root): any member could
    // rename the cache away mid-update and put one of their own in its
    // place. Refused before anything is fetched, naming the team's folder.
    const QString team = dir.path() + "/srv/team";
    QDir().mkpath(team + "/cache");
    ASSERT_EQ(::chmod(QFile::encodeName(team + "/cache").constData(), 0700), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(team).constData(), 02775), 0);
    cacheHome = team + "/cache";
    const QString zip = release("good", dir.path() + "/keys/dev.pem");
    writeFile(dir.path() + "/feed.json", feedFor("1.0.1", 0, QUrl::fromLocalFile(zip).toString(), zip));
    for (const bool twoRenames : {false, true}) {
        const ToolRun r = tool("tavrin-update-check", runArgs(dir.path() + "/feed.json")
                                   + (twoRenames ? QStringList{"--two-renames"} : QStringList{}));
        EXPECT_EQ(r.code, 1);
        EXPECT_TRUE(r.out.startsWith("failed: Other users can write to " + team
                                     + ", a folder on the way to Tavrin\u2019s update folder"))
            << qPrintable(r.out);
        EXPECT_FALSE(QFileInfo::exists(team + "/cache/com.morvadel.Tavrin.update")) << "nothing downloaded";
        EXPECT_EQ(contents(), before);
    }

    // Closed to the team, the same cache serves, and the update installs.
    ASSERT_EQ(::chmod(QFile::encodeName(team).constData(), 0755), 0);
    EXPECT_EQ(tool("tavrin-update-check", runArgs(dir.path() + "/feed.json")).out, "installing");
    EXPECT_EQ(relaunched(), "1.0.1\n");
    EXPECT_EQ(QDir(apps).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"Tavrin.app"});
    EXPECT_FALSE(QFileInfo::exists(team + "/cache/com.morvadel.Tavrin.update"));
}

TEST_F(EndToEnd, AVictimsCacheInARootTeamFolderIsRefusedBeforeTheDownload)
{
    // The same as two real users: the victim (uid 1000) keeps its cache in
    // /srv/team, root's folder of mode 2775 whose group another user is in.
    if (::getuid() != 0 || QStandardPaths::findExecutable("setpriv").isEmpty())
        GTEST_SKIP() << "another user needs root and setpriv to run as";
    const QString zip = release("good", dir.path() + "/keys/dev.pem");
    writeFile(dir.path() + "/feed.json", feedFor("1.0.1", 0, QUrl::fromLocalFile(zip).toString(), zip));
    const QString team = dir.path() + "/srv/team";
    QDir().mkpath(team + "/cache");
    // Everything of the fixture is the victim's, but the team's folder.
    QDirIterator all(dir.path(), QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                     QDirIterator::Subdirectories);
    ASSERT_EQ(::lchown(QFile::encodeName(dir.path()).constData(), 1000, 1000), 0);
    while (all.hasNext())
        ASSERT_EQ(::lchown(QFile::encodeName(all.next()).constData(), 1000, 1000), 0);
    ASSERT_EQ(::chown(QFile::encodeName(dir.path() + "/srv").constData(), 0, 0), 0);
    ASSERT_EQ(::chown(QFile::encodeName(team).constData(), 0, 2000), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(team).constData(), 02775), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(team + "/cache").constData(), 0700), 0);
    cacheHome = team + "/cache";
    const QStringList victim{"setpriv", "--reuid", "1000", "--regid", "1000", "--clear-groups"};
    for (const bool twoRenames : {false, true}) {
        const ToolRun r = tool("tavrin-update-check", runArgs(dir.path() + "/feed.json")
                                   + (twoRenames ? QStringList{"--two-renames"} : QStringList{}),
                               victim);
        if (r.out.contains("setpriv:"))
            GTEST_SKIP() << "no uid changes here: " << qPrintable(r.out);
        EXPECT_TRUE(r.out.startsWith("failed: Other users can write to " + team
                                     + ", a folder on the way to Tavrin\u2019s update folder"))
            << qPrintable(r.out);
        EXPECT_FALSE(QFileInfo::exists(team + "/cache/com.morvadel.Tavrin.update")) << "nothing downloaded";
        EXPECT_EQ(contents(), before);
    }
}

namespace {

// Every entry under `folder`, hidden ones too, with what each bundle in it
// says it is, a line each.
std::string everything(const QString& folder)
{
    QStringList all;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        all << path.mid(folder.size() + 1)
                + (path.endsWith("/Contents/Info.json") ? " " + QString::fromUtf8(readFile(path)) : QString());
    }
    all.sort();
    return all.join('\n').toStdString();
}

} // namespace

TEST_F(EndToEnd, AnotherBundlesStartLeavesThisBundlesSwapAlone)
{
    // Beside Tavrin.app stands "Tavrin (previous).app", the very name the
    // swap gives the copy it sets aside. Tavrin.app's update to 1.0.1 is
    // held, or killed, at each point of both ways to swap; meanwhile the
    // other copy starts and recovers. It touches nothing of Tavrin.app's,
    // and Tavrin.app's own swap, or its next start, ends as it would alone.
    const QString other = apps + "/Tavrin (previous).app";
    const QString staged = dir.path() + "/staged/Tavrin.app";
    const QStringList startOther = QStringList(runArgs("/no/such.json")).replaceInStrings(installed, other);
    const QString noFeed = "failed: Couldn\u2019t read the version information: /no/such.json does not exist.";
    const QString trash = home + "/.local/share/Trash/files";
    // The swaps made here use the trash the tools' runs use.
    qputenv("XDG_DATA_HOME", QFile::encodeName(home + "/.local/share"));
    const auto unset = qScopeGuard([] { qunsetenv("XDG_DATA_HOME"); });
    const auto version = [](const QString& bundle) {
        const auto info = BundleInfo::read(bundle);
        return info ? info->version.value_or("none") : QString("gone");
    };
    enum class Point { afterRecovery, betweenRenames, beforeExchange, afterExchange };
    const std::vector<std::tuple<const char*, Point, QString, QString>> points = {
        // what, where, and after a kill: what the next start keeps and what goes to the trash
        {"two renames, after recovery", Point::afterRecovery, "1.0.0", ""},
        {"two renames, between them", Point::betweenRenames, "1.0.0", "Tavrin (update).app"},
        {"exchange, right before it", Point::beforeExchange, "1.0.0", "Tavrin (update).app"},
        {"exchange, right after it", Point::afterExchange, "1.0.1", "Tavrin (previous).app"},
    };
    for (const bool killed : {false, true}) {
        for (const auto& [what, point, kept, trashed] : points) {
            SCOPED_TRACE(std::string(what) + (killed ? ", killed" : ", held"));
            BundleSwap::removeTree(home);
            makeBundle(installed, "1.0.0");
            ASSERT_TRUE(sealAndAttest(installed, keys));
            makeBundle(other, "0.9.0");
            ASSERT_TRUE(sealAndAttest(other, keys));
            makeBundle(staged, "1.0.1", 0, "new library");
            ASSERT_TRUE(sealAndAttest(staged, keys));

            std::optional<UpdateError> swapped = UpdateError::replaceFailed;
            BundleSwap::ReplaceOptions options;
            std::thread swapping;
            Gate gate;
            const auto joined = qScopeGuard([&] {
                gate.let();
                if (swapping.joinable())
                    swapping.join();
            });
            if (point == Point::afterExchange) {
                if (!killed)
                    continue;  // no run stops there; a kill leaves this
                const QString hidden = apps + "/.Tavrin-update-Ab12Cd";
                ASSERT_EQ(::mkdir(QFile::encodeName(hidden).constData(), 0700), 0);
                ASSERT_TRUE(QDir().rename(installed, hidden + "/Tavrin.app"));
                ASSERT_TRUE(QDir().rename(staged, installed));
            } else {
                struct Killed {};
                options.twoRenames = point != Point::beforeExchange;
                const std::function<void()> stop =
                    killed ? std::function<void()>([] { throw Killed{}; }) : gate.stop();
                if (point == Point::afterRecovery)
                    options.afterRecovery = stop;
                else if (point == Point::betweenRenames)
                    options.betweenRenames = [stop](const QString&) { stop(); };
                else
                    options.afterVersionCheck = stop;
                const auto replace = [&, options] {
                    return BundleSwap::replace(installed, staged, keys.trust(), Seal::architecture(), options);
                };
                if (killed) {
                    EXPECT_THROW(replace(), Killed);
                    writeFile(apps + "/.Tavrin.app.lock", "", 0600);  // as a kill leaves it
                } else {
                    swapping = std::thread([&swapped, replace] { swapped = replace(); });
                    QDeadlineTimer patience(60000);
                    while (!gate.reached->load() && !patience.hasExpired())
                        QThread::msleep(5);
                    ASSERT_TRUE(gate.reached->load());
                }
            }

            const std::string before = everything(apps);
            EXPECT_EQ(tool("tavrin-update-check", startOther).out, noFeed);
            EXPECT_EQ(everything(apps), before) << "the other copy's start moved something";
            EXPECT_FALSE(QFileInfo::exists(trash));
            EXPECT_EQ(version(other), "0.9.0");

            if (killed) {
                // The next start of Tavrin.app finishes or undoes its swap.
                EXPECT_EQ(tool("tavrin-update-check", runArgs("/no/such.json")).out, noFeed);
                EXPECT_EQ(version(installed), kept);
                EXPECT_EQ(QDir(trash).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                          trashed.isEmpty() ? QStringList{} : QStringList{trashed});
            } else {
                gate.let();
                swapping.join();
                EXPECT_EQ(swapped, std::nullopt);
                EXPECT_EQ(version(installed), "1.0.1");
                EXPECT_EQ(version(trash + "/Tavrin (previous).app"), "1.0.0");
            }
            EXPECT_EQ(version(other), "0.9.0");
            EXPECT_EQ(QDir(apps).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                      (QStringList{"Tavrin (previous).app", "Tavrin.app"}));
        }
    }
}

TEST_F(EndToEnd, AnotherUsersTrashOnASharedDiskHoldsBackNoUpdate)
{
    // The app lies on a disk whose top anyone may write in, and another
    // user has made the trash folder named for this user's uid there. It
    // is no trash of this user's: each previous copy comes out beside the
    // app, and every update goes on. As an ordinary user, whom the other
    // user's folder shuts out; as root the fixture becomes nobody's.
    if (::getuid() != 0)
        GTEST_SKIP() << "another user's folder needs root to make";
    if (QStandardPaths::findExecutable("setpriv").isEmpty())
        GTEST_SKIP() << "an ordinary user needs setpriv to run as";
    if (ownTmpfs().isEmpty()) {
        QDir().mkpath(dir.path() + "/disk");
        const TmpfsRun run =
            rerunOnOwnTmpfs(dir.path() + "/disk", QProcessEnvironment::systemEnvironment(), "32m", "1777", true);
        if (run.unavailable() || run.out.contains("[  SKIPPED ]"))
            GTEST_SKIP() << qPrintable(run.out);
        EXPECT_EQ(run.code, 0) << qPrintable(run.out);
        return;
    }
    const QString top = ownTmpfs();
    apps = top + "/Applications";
    installed = apps + "/Tavrin.app";
    makeBundle(installed, "1.0.0");
    ASSERT_TRUE(sealAndAttest(installed, keys));
    const QString theirs = top + "/.Trash-65534";
    ASSERT_EQ(::mkdir(QFile::encodeName(theirs).constData(), 0700), 0);
    const QStringList zips{release("one", dir.path() + "/keys/dev.pem", {}, "1.0.1"),
                           release("two", dir.path() + "/keys/dev.pem", {}, "1.0.2")};
    // Everything of the user's becomes nobody's: the home, the app's folder
    // and the folder the disk lies in.
    for (const QString& mine : {dir.path(), apps, QFileInfo(top).path()}) {
        ASSERT_EQ(::lchown(QFile::encodeName(mine).constData(), 65534, 65534), 0);
        QDirIterator all(mine, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
        while (all.hasNext() && mine != QFileInfo(top).path())
            ASSERT_EQ(::lchown(QFile::encodeName(all.next()).constData(), 65534, 65534), 0);
    }
    const QStringList asUser{"setpriv", "--reuid", "65534", "--regid", "65534", "--clear-groups"};
    for (const QString& zip : zips) {
        const QString version = zip.endsWith("one.zip") ? "1.0.1" : "1.0.2";
        const ToolRun r = update(feedFor(version, 0, QUrl::fromLocalFile(zip).toString(), zip), asUser);
        if (r.out.contains("setpriv:"))
            GTEST_SKIP() << "no uid changes here: " << qPrintable(r.out);
        EXPECT_EQ(r.out, "installing") << qPrintable(version);
    }
    tool("tavrin-update-check", runArgs("/no/such.json"), asUser);

    const auto version = [](const QString& bundle) {
        const auto info = BundleInfo::read(bundle);
        return info ? info->version.value_or("none") : QString("gone");
    };
    EXPECT_EQ(QDir(apps).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              (QStringList{"Tavrin (previous 2).app", "Tavrin (previous).app", "Tavrin.app"}));
    EXPECT_EQ(version(installed), "1.0.2");
    EXPECT_EQ(version(apps + "/Tavrin (previous).app"), "1.0.0");
    EXPECT_EQ(version(apps + "/Tavrin (previous 2).app"), "1.0.1");
    struct stat st {};
    ASSERT_EQ(::lstat(QFile::encodeName(theirs).constData(), &st), 0);
    EXPECT_EQ(st.st_uid, 0u) << "the other user's folder stays theirs";
    EXPECT_TRUE(QDir(theirs).isEmpty());
}
