#include "bundle_kit.h"
#include "loopback_https.h"

#include "../model/event_loop_wait.h"
#include "../platform/own_tmpfs.h"
#include "core/l10n.h"
#include "platform/defaults.h"
#include "update/bundle_info.h"
#include "update/bundle_swap.h"
#include "ui/scheduler.h"
#include "update/update_rules.h"
#include "update/updater.h"

#include <QCoreApplication>
#include <QDir>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <future>
#include <thread>

using Kind = Updater::State::Kind;

namespace {

QByteArray releaseJson(const char* version, const QByteArray& extra = "")
{
    return QByteArray(R"({"version":")") + version
        + R"(","date":"d","title":{"zh":"z","en":"e"},"notes":{"zh":[],"en":[]})" + extra + "}";
}

QByteArray feedOf(std::initializer_list<QByteArray> releases, const char* head = "")
{
    QByteArrayList list(releases);
    return QByteArray("{") + head + R"("releases":[)" + list.join(',') + "]}";
}

QByteArray dlAt(const QString& url, qint64 size = 1)
{
    return QString(R"(,"download":{"url":"%1","sha256":"00","size":%2})").arg(url).arg(size).toUtf8();
}

// A file feed may name a local archive.
const QByteArray dl = dlAt("file:///nonexistent/a.zip");

// Another process that takes the update lock as every copy does, a kernel
// lock on the file, and holds it until it is killed.
struct LockHolder {
    pid_t pid = -1;

    explicit LockHolder(const QString& lockFile)
    {
        const QByteArray path = QFile::encodeName(lockFile);
        int ready[2];
        if (::pipe2(ready, O_CLOEXEC) != 0)
            return;
        pid = ::fork();
        if (pid == 0) {
            // Only system calls from here on: the test process has threads.
            const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
            const char held = fd >= 0 && ::flock(fd, LOCK_EX) == 0 ? '1' : '0';
            if (::write(ready[1], &held, 1) == 1)
                for (;;)
                    ::pause();
            ::_exit(1);
        }
        ::close(ready[1]);
        char held = '0';
        while (::read(ready[0], &held, 1) < 0 && errno == EINTR) {
        }
        ::close(ready[0]);
        if (held != '1')
            stop();
    }
    ~LockHolder() { stop(); }
    void stop()
    {
        if (pid <= 0)
            return;
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        pid = -1;
    }
};

} // namespace

class UpdaterTest : public ::testing::Test {
protected:
    static TestKeys& keys()
    {
        static TestKeys k;
        return k;
    }

    void SetUp() override
    {
        // The trash the swaps use is the private home's.
        qputenv("XDG_DATA_HOME", QFile::encodeName(home.path() + "/share"));
        Defaults::useFile(home.path() + "/standard.conf");
        L10n::setChinese(false);
        bundle = home.path() + "/Applications/Tavrin.app";
        makeBundle(bundle, "1.0.0");
        ASSERT_TRUE(sealAndAttest(bundle, keys()));
    }
    void TearDown() override { qunsetenv("XDG_DATA_HOME"); }

    std::unique_ptr<Updater> make(const QUrl& feed)
    {
        Updater::Setup s;
        s.bundle = bundle;
        s.versionText = "1.0.0";
        s.feedURL = feed;
        s.keys = keys().trust();
        s.arch = Seal::architecture();
        s.systemVersion = "6.1.0";
        s.defaults = &defaults;
        s.workDirectory = workDirectory;
        s.terminate = terminate;
        s.tls = server.tls();
        // The loopback server stands in for the site.
        s.allowDownload = [site = QUrl(server.url(""))](const QUrl& url, const QUrl& feed) {
            return UpdateRules::isAllowedDownload(url, feed, site);
        };
        s.bootClock = [this] { return Scheduler::current().now() + slept; };
        s.feedDeadlineMs = 1500;
        s.swap = swap;
        return std::make_unique<Updater>(s);
    }

    // Version 1.0.1 unless told, sealed and zipped; returns the archive.
    QString nextArchive(const QString& version = "1.0.1")
    {
        const QString tag = version == u"1.0.1" ? QString("next") : "next-" + version;
        const QString next = home.path() + "/" + tag + "/Tavrin.app";
        makeBundle(next, version);
        EXPECT_TRUE(sealAndAttest(next, keys()));
        const QString zip = home.path() + "/" + tag + ".zip";
        EXPECT_TRUE(ZipArchive::write(next, zip));
        return zip;
    }

    std::unique_ptr<Updater> fileFeed(const QByteArray& json)
    {
        writeFile(home.path() + "/feed.json", json);
        return make(QUrl::fromLocalFile(home.path() + "/feed.json"));
    }

    static bool settle(Updater& u)
    {
        return waitFor([&] { return !u.state().busy(); });
    }

    // A copy set up while another run holds a lock of the updater's: its
    // start recovers nothing for now and says nothing, and its first pass
    // still comes 20 seconds on. Returns that copy once it has checked.
    std::unique_ptr<Updater> startsWhileAnotherCopyUpdates(Updater::Setup s)
    {
        s.feedURL = QUrl::fromLocalFile(home.path() + "/feed.json");
        s.keys = keys().trust();
        s.defaults = &defaults;
        s.bootClock = [this] { return Scheduler::current().now() + slept; };
        ScopedManualScheduler clock;
        auto second = std::make_unique<Updater>(s);
        second->start([] { return true; });
        EXPECT_EQ(second->state().kind, Kind::idle) << qPrintable(second->state().message);
        clock.scheduler.advance(20);
        EXPECT_EQ(second->state().kind, Kind::checking);
        settle(*second);
        return second;
    }

    QTemporaryDir home;
    QString bundle;
    Defaults defaults{home.path() + "/defaults.conf"};
    LoopbackHttps server;
    double slept = 0;  // time the machine spent asleep, on the boot clock only
    BundleSwap::ReplaceOptions swap;  // how the copies made by make() swap
    QString workDirectory = home.path() + "/cache/com.morvadel.Tavrin.update";
    std::function<void()> terminate;  // how the copies made by make() end after an install
};

TEST_F(UpdaterTest, ChoosesTheNewestReleaseThisCopyMayTake)
{
    // Newer entries this copy cannot take hide nothing older: one without a
    // download, one for another processor, one larger than any archive is
    // fetched.
    const QByteArray ours = R"(,"arch":")" + Seal::architecture().toUtf8() + '"';
    auto u = fileFeed(feedOf({releaseJson("1.0.2", dl + ours), releaseJson("1.0.3", R"(,"build":-5)"),
                              releaseJson("1.2", dl + R"(,"arch":"other")"),
                              releaseJson("1.1", dlAt("file:///nonexistent/a.zip", 999999999999)),
                              releaseJson("1.0.2", dl + R"(,"date":"second")"), releaseJson("0.9", dl)}));
    u->check();
    ASSERT_TRUE(settle(*u));
    ASSERT_EQ(u->state().kind, Kind::available);
    EXPECT_EQ(u->pending()->version, "1.0.2");
    EXPECT_EQ(u->pending()->date, "d") << "the earlier of two equal keys";
    EXPECT_TRUE(u->lastCheck());

    // A failing check keeps the release on offer and the last good check.
    const auto last = u->lastCheck();
    writeFile(home.path() + "/feed.json", "not json");
    u->check();
    ASSERT_TRUE(settle(*u));
    EXPECT_EQ(u->state().kind, Kind::available);
    EXPECT_EQ(u->lastCheck(), last);

    // A system version that is not one offers nothing and says why.
    writeFile(home.path() + "/feed.json", feedOf({releaseJson("2.0", dl)}, R"("minimumSystemVersion":"abc",)"));
    u->check();
    ASSERT_TRUE(settle(*u));
    EXPECT_EQ(u->state().kind, Kind::upToDate);
    EXPECT_EQ(u->requiredSystem(), "abc");
    EXPECT_FALSE(u->pending());

    writeFile(home.path() + "/feed.json", feedOf({}, R"("minimumSystemVersion":"99",)"));
    u->check();
    ASSERT_TRUE(settle(*u));
    EXPECT_FALSE(u->requiredSystem());

    // Without anything pending, a failure shows, and retry checks again. A
    // local feed that is missing, or named by no full path, is said to be,
    // not blamed on the network.
    QFile::remove(home.path() + "/feed.json");
    u->retry();
    ASSERT_TRUE(settle(*u));
    EXPECT_EQ(u->state(), Updater::State::failed("Couldn\u2019t read the version information: " + home.path()
                                                     + "/feed.json does not exist.",
                                                 false));
    auto relative = make(QUrl("file:feed.json"));
    relative->check();
    ASSERT_TRUE(settle(*relative));
    EXPECT_EQ(relative->state(),
              Updater::State::failed("Couldn\u2019t read the version information: feed.json is not a full path.", false));
    L10n::setChinese(true);
    relative->check();
    ASSERT_TRUE(settle(*relative));
    EXPECT_EQ(relative->state().message, "无法读取版本信息：feed.json 不是完整路径。");
}

TEST_F(UpdaterTest, FeedOverHttps)
{
    const QByteArray feed = feedOf({releaseJson("1.1", dlAt(server.url("/a.zip")))});
    QByteArray exact = feedOf({});
    exact.append(QByteArray(1048576 - exact.size(), ' '));
    server.route("/feed.json", LoopbackHttps::body(feed));
    server.route("/exact.json", LoopbackHttps::body(exact));
    server.route("/over.json", LoopbackHttps::body(exact + " "));
    int followed = 0;
    server.route("/elsewhere.json", [&](QSslSocket* s) {
        ++followed;
        LoopbackHttps::reply(s, 200, feed);
    });
    server.route("/other-host.json", LoopbackHttps::redirect(server.url("/elsewhere.json", "localhost")));
    LoopbackHttps otherPort(&server);
    otherPort.route("/elsewhere.json", [&](QSslSocket* s) {
        ++followed;
        LoopbackHttps::reply(s, 200, feed);
    });
    server.route("/other-port.json", LoopbackHttps::redirect(otherPort.url("/elsewhere.json")));
    server.route("/big-missing.json", LoopbackHttps::body(exact + exact, 404));
    server.route("/plain.json", LoopbackHttps::redirect(
                                    QString("http://127.0.0.1:%1/feed.json").arg(server.port())));
    server.route("/drip.json", LoopbackHttps::drip());

    const auto unreachable = Updater::State::failed(UpdateErrors::message(UpdateError::feedUnreachable), false);
    const auto invalid = Updater::State::failed(UpdateErrors::message(UpdateError::feedInvalid), false);
    const std::vector<std::pair<QString, Updater::State>> cases = {
        {"/feed.json", Updater::State::available(ReleaseFeed::decode(feed)->releases[0])},
        {"/missing.json", unreachable},
        {"/exact.json", Updater::State::of(Kind::upToDate)},
        {"/over.json", invalid},
        {"/other-host.json", unreachable},
        {"/other-port.json", unreachable},
        {"/plain.json", unreachable},
        {"/drip.json", unreachable},
        {"/big-missing.json", unreachable},
    };
    for (const auto& [path, expected] : cases) {
        auto u = make(QUrl(server.url(path)));
        u->check();
        EXPECT_EQ(u->state().kind, Kind::checking);
        ASSERT_TRUE(settle(*u)) << qPrintable(path);
        EXPECT_EQ(u->state(), expected) << qPrintable(path) << " ended " << u->state().name();
    }
    EXPECT_EQ(followed, 0) << "a redirect off the host or its port is refused before it is followed";
}

TEST_F(UpdaterTest, DownloadsVerifiesAndStages)
{
    const QString zip = nextArchive();
    const QByteArray archive = readFile(zip);
    server.route("/good.zip", LoopbackHttps::body(archive));
    server.route("/long.zip", LoopbackHttps::body(archive + QByteArray(4096, 'x')));
    server.route("/away.zip", LoopbackHttps::redirect(server.url("/good.zip", "localhost")));

    // A body longer than the feed declares is no network fault: it does
    // not match the release's entry.
    const auto failure = [](const char* path) {
        return UpdateErrors::message(QByteArray(path) == "/long.zip" ? UpdateError::sizeMismatch
                                                                      : UpdateError::downloadFailed);
    };
    for (const char* path : {"/long.zip", "/away.zip", "/good.zip"}) {
        server.route("/feed.json", LoopbackHttps::body(feedFor("1.0.1", 0, server.url(path), zip)));
        auto u = make(QUrl(server.url("/feed.json")));
        u->check();
        ASSERT_TRUE(settle(*u));
        ASSERT_EQ(u->state().kind, Kind::available);
        std::vector<double> fractions;
        QObject::connect(u.get(), &Updater::stateChanged, [&] {
            if (u->state().kind == Kind::downloading)
                fractions.push_back(u->state().fraction);
        });
        u->download();
        ASSERT_TRUE(settle(*u)) << path;
        if (QByteArray(path) != "/good.zip") {
            EXPECT_EQ(u->state(), Updater::State::failed(failure(path), false)) << path;
            EXPECT_FALSE(QFileInfo::exists(home.path() + "/cache/com.morvadel.Tavrin.update")) << path;
            continue;
        }
        ASSERT_EQ(u->state().kind, Kind::readyToInstall) << u->state().message.toStdString();
        ASSERT_TRUE(u->staged());
        EXPECT_EQ(Seal::check(*u->staged(), keys().trust()), Seal::Verdict::ok);
        EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
        ASSERT_FALSE(fractions.empty());
        EXPECT_EQ(fractions.back(), 1.0);
        // Nothing more to download or check while a copy waits.
        u->check();
        u->download();
        EXPECT_EQ(u->state().kind, Kind::readyToInstall);
    }
}

TEST_F(UpdaterTest, WhatsNewAndRefusals)
{
    // The copy's own notes come from the compiled-in feed, which lists the
    // project's version.
    Updater::Setup s;
    s.versionText = "0.1.0";
    s.bundledFeed = ":/update/releases.json";
    s.defaults = &defaults;
    defaults.set("lastSeenVersion", "0.0.9");
    Updater u(s);
    ASSERT_TRUE(u.currentRelease());
    u.start([] { return false; });
    ASSERT_TRUE(u.panel());
    EXPECT_EQ(u.panel()->id(), "whatsNew-0.1.0");
    EXPECT_EQ(defaults.stringValue("lastSeenVersion"), "0.1.0");

    // A local archive that is a pipe or a device is refused at once, never
    // waited on, and the message names it rather than the network.
    const QString fifo = home.path() + "/pipe.zip";
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    std::unique_ptr<Updater> f;
    for (const QString& archive : {fifo, QString("/dev/zero")}) {
        f = fileFeed(feedOf({releaseJson("1.1", dlAt(QUrl::fromLocalFile(archive).toString(), 10))}));
        f->check();
        ASSERT_TRUE(settle(*f));
        f->download();
        EXPECT_TRUE(settle(*f));
        EXPECT_EQ(f->state(), Updater::State::failed("Couldn\u2019t read the update archive: " + archive
                                                         + " is not a regular file.",
                                                     false));
        if (const int writer = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK); writer >= 0)
            ::close(writer);  // frees a reader stuck in open, should there be one
    }
    f->install();
    EXPECT_EQ(f->state().kind, Kind::failed) << "install does nothing unless a copy is staged";

    // So is a feed file that is a pipe, directly or through a link, and the
    // message names it rather than the network.
    const QString link = home.path() + "/feed-link.json";
    ASSERT_EQ(::symlink(QFile::encodeName(fifo).constData(), QFile::encodeName(link).constData()), 0);
    for (const QString& feed : {fifo, link}) {
        auto piped = make(QUrl::fromLocalFile(feed));
        piped->check();
        EXPECT_TRUE(settle(*piped)) << "a pipe is never waited on";
        EXPECT_EQ(piped->state(),
                  Updater::State::failed("Couldn\u2019t read the version information: " + feed
                                             + " is not a regular file.",
                                         false));
        if (const int writer = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK); writer >= 0)
            ::close(writer);
    }
}

TEST_F(UpdaterTest, OnlyALiveHolderKeepsTheUpdateLock)
{
    const QString lock = home.path() + "/cache/com.morvadel.Tavrin.update.lock";
    const QString left = home.path() + "/Applications/.Tavrin-update-left";
    ASSERT_EQ(::mkdir(QFile::encodeName(home.path() + "/cache").constData(), 0700), 0);
    const auto ran = Updater::State::failed(
        "Couldn\u2019t read the update archive: /nonexistent/a.zip does not exist.", false);
    auto u = fileFeed(feedOf({releaseJson("1.1", dl)}));
    u->check();
    ASSERT_TRUE(settle(*u));
    ASSERT_EQ(u->state().kind, Kind::available);

    // What a power cut leaves: an empty lock file, long since written, one
    // holding nonsense, one closed even to us. None holds anything.
    const std::pair<QByteArray, int> leftovers[] = {{"", 0600}, {"\x01 no pid here\n", 0600}, {"", 0}};
    for (const auto& [content, mode] : leftovers) {
        writeFile(lock, content, mode);
        const struct timeval old[2] = {{1577836800, 0}, {1577836800, 0}};
        ASSERT_EQ(::utimes(QFile::encodeName(lock).constData(), old), 0);
        u->retry();
        ASSERT_TRUE(settle(*u));
        EXPECT_EQ(u->state(), ran) << "lock file holding \"" << content.toStdString() << '"';
    }

    // A live holder in another process keeps every copy out, and what its
    // install may be using beside the bundle stays.
    QDir().mkpath(left + "/Tavrin (previous).app");
    LockHolder holder(lock);
    ASSERT_GT(holder.pid, 0);
    u->retry();
    EXPECT_EQ(u->state(),
              Updater::State::failed("Another copy of Tavrin is updating. Try again when it has finished.", false));
    EXPECT_TRUE(QFileInfo(left).isDir());

    // Its lock dies with it; the leftovers of its install then go.
    holder.stop();
    u->retry();
    ASSERT_TRUE(settle(*u));
    EXPECT_EQ(u->state(), ran);
    EXPECT_FALSE(QFileInfo::exists(left));
}

TEST_F(UpdaterTest, WhatStandsAtTheLockBesideTheAppIsNamedAndLeft)
{
    // A folder of the user's at the lock's name: the download says so in
    // either language, so does an install that meets it, and it stays.
    const QString zip = nextArchive();
    auto u = fileFeed(feedFor("1.0.1", 0, QUrl::fromLocalFile(zip).toString(), zip));
    u->check();
    ASSERT_TRUE(settle(*u));
    const QString lock = home.path() + "/Applications/.Tavrin.app.lock";
    writeFile(lock + "/mine", "mine");
    const QString shown = QFileInfo(home.path() + "/Applications").canonicalFilePath() + "/.Tavrin.app.lock";
    const auto said = Updater::State::failed(
        "Tavrin keeps the lock of its updates at " + shown + ", but a folder that Tavrin didn\u2019t make stands "
        "there, so it can\u2019t update itself. Move it elsewhere, then try again.", false);
    u->download();
    EXPECT_EQ(u->state(), said);
    L10n::setChinese(true);
    u->retry();
    EXPECT_EQ(u->state(), Updater::State::failed("Tavrin 的更新锁应位于 " + shown + "，但那里有一个文件夹，不是 Tavrin "
                                                 "创建的，因此无法自动更新。请把它移到别处后重试。",
                                                 false));
    L10n::setChinese(false);

    QDir(lock).removeRecursively();
    u->retry();
    ASSERT_TRUE(settle(*u));
    ASSERT_EQ(u->state().kind, Kind::readyToInstall);
    writeFile(lock + "/mine", "mine");
    u->install();
    ASSERT_TRUE(settle(*u));
    EXPECT_EQ(u->state(), said);
    EXPECT_EQ(readFile(lock + "/mine"), "mine");
    EXPECT_TRUE(readFile(bundle + "/Contents/Info.json").contains("\"1.0.0\""));
}

TEST_F(UpdaterTest, TheNextRunUndoesASwapCutBetweenItsRenames)
{
    const QString apps = home.path() + "/Applications";
    const QByteArray before = *Seal::manifest(bundle, Seal::architecture());
    const QString staged = home.path() + "/staged/Tavrin.app";
    makeBundle(staged, "1.0.1", 0, "new library");
    ASSERT_TRUE(sealAndAttest(staged, keys()));

    // The process ends between the two renames of a file system without an
    // atomic exchange: nothing of the install runs after that point.
    struct Killed {};
    BundleSwap::ReplaceOptions cut;
    cut.twoRenames = true;
    cut.betweenRenames = [](const QString&) { throw Killed{}; };
    EXPECT_THROW(BundleSwap::replace(bundle, staged, keys().trust(), Seal::architecture(), cut), Killed);
    ASSERT_FALSE(QFileInfo::exists(bundle));

    // A copy that starts while another holds the update lock leaves the
    // install to it.
    const QUrl feed = QUrl::fromLocalFile(home.path() + "/feed.json");
    ASSERT_EQ(::mkdir(QFile::encodeName(home.path() + "/cache").constData(), 0700), 0);
    {
        LockHolder holder(home.path() + "/cache/com.morvadel.Tavrin.update.lock");
        ASSERT_GT(holder.pid, 0);
        make(feed)->start([] { return false; });
        EXPECT_FALSE(QFileInfo::exists(bundle));
    }

    // The next start puts the previous copy back and clears the rest.
    make(feed)->start([] { return false; });
    EXPECT_EQ(Seal::manifest(bundle, Seal::architecture()), before);
    EXPECT_EQ(QDir(apps).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"Tavrin.app"});
}

TEST_F(UpdaterTest, ACopyNoTrashTakesIsNamedAtStartAndHoldsBackTheNextInstall)
{
    // An earlier install's previous copy beside the app, which the trash
    // cannot take: an ordinary user may not write the data folder; root,
    // who may write anywhere, runs with the app on a full filesystem of its
    // own, where the trash entry has no room.
    if (::getuid() == 0 && ownTmpfs().isEmpty()) {
        QDir().mkpath(home.path() + "/disk");
        const TmpfsRun run = rerunOnOwnTmpfs(home.path() + "/disk", QProcessEnvironment::systemEnvironment(), "4m");
        if (run.unavailable())
            GTEST_SKIP() << "no user and mount namespace here: " << qPrintable(run.out);
        EXPECT_EQ(run.code, 0) << qPrintable(run.out);
        return;
    }
    const bool full = !ownTmpfs().isEmpty();
    if (full) {
        bundle = ownTmpfs() + "/Applications/Tavrin.app";
        makeBundle(bundle, "1.0.0");
        ASSERT_TRUE(sealAndAttest(bundle, keys()));
    }
    const QString apps = QFileInfo(bundle).path();
    const QString left = apps + "/.Tavrin-update-Ab12Cd/Tavrin (previous).app";
    const QString seenTo = apps + "/.Tavrin-update-Cd34Ef/Tavrin (previous).app";
    for (const QString& copy : {left, seenTo}) {
        makeBundle(copy, "0.9.0");
        ::chmod(QFile::encodeName(QFileInfo(copy).path()).constData(), 0700);
    }
    const QString filler = ownTmpfs() + "/filler";
    const QByteArray share = QFile::encodeName(home.path() + "/share");
    if (full) {
        fillUp(filler);
    } else {
        QDir().mkpath(home.path() + "/share");
        ::chmod(share.constData(), 0500);
    }

    const QString zip = nextArchive();
    int fetched = 0;
    server.route("/good.zip", [&, archive = readFile(zip)](QSslSocket* socket) {
        ++fetched;
        LoopbackHttps::body(archive)(socket);
    });
    server.route("/feed.json", LoopbackHttps::body(feedFor("1.0.1", 0, server.url("/good.zip"), zip)));
    auto u = make(QUrl(server.url("/feed.json")));

    // Named at start, with the cause and a way on; every check ends on it
    // while a copy stands, the release still offered. One the user has
    // seen to meanwhile is named no more.
    u->start([] { return false; });
    using Trouble = UpdateErrors::TrashTrouble;
    const Trouble cause = full ? Trouble::noSpace : Trouble::noPermission;
    ASSERT_EQ(u->state().kind, Kind::failed);
    EXPECT_TRUE(u->state().message.startsWith(UpdateErrors::copiesLeft({left, seenTo}, cause).section(left, 0, 0)))
        << qPrintable(u->state().message);
    for (const QString& copy : {left, seenTo})
        EXPECT_TRUE(u->state().message.contains(copy)) << qPrintable(u->state().message);
    u->check();
    ASSERT_TRUE(settle(*u));
    EXPECT_EQ(u->state().message.size(), UpdateErrors::copiesLeft({left, seenTo}, cause).size());
    BundleSwap::removeTree(QFileInfo(seenTo).path());
    if (full)
        fillUp(filler);  // what that freed
    const Updater::State named = Updater::State::failed(UpdateErrors::copiesLeft({left}, cause), false);
    u->check();
    ASSERT_TRUE(settle(*u));
    EXPECT_EQ(u->state(), named);
    ASSERT_TRUE(u->pending());

    // No install adds another copy before the user has seen to this one.
    u->download();
    EXPECT_EQ(u->state(), named);
    EXPECT_EQ(fetched, 0);
    EXPECT_TRUE(BundleInfo::read(left).has_value());

    // With room or permission again, the copy goes to the trash and the
    // install goes on.
    if (full)
        ASSERT_EQ(::unlink(QFile::encodeName(filler).constData()), 0);
    else
        ::chmod(share.constData(), 0700);
    u->retry();
    ASSERT_TRUE(settle(*u));
    EXPECT_EQ(u->state().kind, Kind::readyToInstall) << u->state().message.toStdString();
    EXPECT_EQ(fetched, 1);
    EXPECT_FALSE(QFileInfo::exists(QFileInfo(left).path()));
    const QString trash = full ? ownTmpfs() + "/.Trash-" + QString::number(::getuid()) : home.path() + "/share/Trash";
    EXPECT_TRUE(QFileInfo(trash + "/files/Tavrin (previous).app").isDir());
}

TEST_F(UpdaterTest, WhereNoTrashIsSafeAPreviousCopyIsSetBesideTheAppAndSaidOnce)
{
    // An earlier install's previous copy in its hidden folder, and a home
    // trash that is a link: no trash is safe to take the copy.
    const QString apps = home.path() + "/Applications";
    const auto setAside = [&](const QString& hidden, const QString& version) {
        makeBundle(apps + "/" + hidden + "/Tavrin (previous).app", version);
        ::chmod(QFile::encodeName(apps + "/" + hidden).constData(), 0700);
    };
    setAside(".Tavrin-update-Ab12Cd", "0.9.0");
    QDir().mkpath(home.path() + "/elsewhere");
    QDir().mkpath(home.path() + "/share");
    ASSERT_EQ(::symlink(QFile::encodeName(home.path() + "/elsewhere").constData(),
                        QFile::encodeName(home.path() + "/share/Trash").constData()),
              0);
    const QString zip = nextArchive();
    writeFile(home.path() + "/feed.json", feedFor("1.0.1", 0, QUrl::fromLocalFile(zip).toString(), zip));
    const QUrl feed = QUrl::fromLocalFile(home.path() + "/feed.json");

    // The copy stands beside the app, in sight, and the start says so.
    auto u = make(feed);
    u->start([] { return false; });
    EXPECT_EQ(u->state(),
              Updater::State::failed(UpdateErrors::copiesBeside({apps + "/Tavrin (previous).app"}), false));
    EXPECT_EQ(BundleInfo::read(apps + "/Tavrin (previous).app")->version, "0.9.0");
    EXPECT_FALSE(QFileInfo::exists(apps + "/.Tavrin-update-Ab12Cd"));

    // Nothing is held back: the check and the install go on.
    u->check();
    ASSERT_TRUE(settle(*u));
    ASSERT_EQ(u->state().kind, Kind::available) << qPrintable(u->state().message);
    u->download();
    ASSERT_TRUE(settle(*u));
    EXPECT_EQ(u->state().kind, Kind::readyToInstall) << qPrintable(u->state().message);
    u.reset();

    // Said once: the next start has nothing to say.
    auto again = make(feed);
    again->start([] { return false; });
    EXPECT_EQ(again->state().kind, Kind::idle) << qPrintable(again->state().message);
    again.reset();

    // The next copy set aside takes the next name, also when the start's
    // own recovery is the one that set it there (as an installed copy's
    // start is).
    setAside(".Tavrin-update-Cd34Ef", "1.0.0");
    qputenv("XDG_CACHE_HOME", QFile::encodeName(home.path() + "/cache"));
    Updater::Setup setup = Updater::Setup::standard(bundle);
    qunsetenv("XDG_CACHE_HOME");
    EXPECT_EQ(setup.beside, QStringList{apps + "/Tavrin (previous 2).app"});
    setup.workDirectory = workDirectory;
    setup.defaults = &defaults;
    setup.feedURL = feed;
    setup.bootClock = [] { return Scheduler::current().now(); };
    Updater third(setup);
    third.start([] { return false; });
    EXPECT_EQ(third.state(),
              Updater::State::failed(UpdateErrors::copiesBeside({apps + "/Tavrin (previous 2).app"}), false));
    EXPECT_EQ(BundleInfo::read(apps + "/Tavrin (previous 2).app")->version, "1.0.0");
}

TEST_F(UpdaterTest, ASecondCopyLeavesTheFirstCopysUpdateAlone)
{
    const QString zip = nextArchive();
    server.route("/good.zip", LoopbackHttps::body(readFile(zip)));
    server.route("/feed.json", LoopbackHttps::body(feedFor("1.0.1", 0, server.url("/good.zip"), zip)));
    auto first = make(QUrl(server.url("/feed.json")));
    auto second = make(QUrl(server.url("/feed.json")));
    for (Updater* u : {first.get(), second.get()}) {
        u->check();
        ASSERT_TRUE(settle(*u));
        ASSERT_EQ(u->state().kind, Kind::available);
    }
    first->download();
    ASSERT_TRUE(settle(*first));
    ASSERT_EQ(first->state().kind, Kind::readyToInstall);

    second->download();
    EXPECT_EQ(second->state(),
              Updater::State::failed("Another copy of Tavrin is updating. Try again when it has finished.", false));
    EXPECT_EQ(Seal::check(*first->staged(), keys().trust()), Seal::Verdict::ok) << "the first copy's update stays";

    // Once the first copy is gone the second may update.
    first.reset();
    second->retry();
    ASSERT_TRUE(settle(*second));
    EXPECT_EQ(second->state().kind, Kind::readyToInstall);
}

TEST_F(UpdaterTest, AnUpdateFolderOthersCanWriteIsNamedNotBlamedOnTheNetwork)
{
    const QString cache = home.path() + "/cache";
    ASSERT_TRUE(QDir().mkpath(cache));
    ASSERT_TRUE(QFile::setPermissions(cache, QFileDevice::Permissions(0x7777)));
    auto u = fileFeed(feedOf({releaseJson("1.1", dl)}));
    u->check();
    ASSERT_TRUE(settle(*u));
    u->download();
    ASSERT_EQ(u->state().kind, Kind::failed);
    EXPECT_TRUE(u->state().message.contains(cache)) << qPrintable(u->state().message);
    EXPECT_FALSE(u->state().message.contains("network"));

    // Closed again, the same folder is used.
    ASSERT_TRUE(QFile::setPermissions(cache, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    u->retry();
    ASSERT_TRUE(settle(*u));
    const auto ran = Updater::State::failed(
        "Couldn\u2019t read the update archive: /nonexistent/a.zip does not exist.", false);
    EXPECT_EQ(u->state(), ran);

    // A work folder in it that another account owns (root's, left by a run
    // as root) is the one named, not the cache the user owns.
    if (::getuid() != 0)
        GTEST_SKIP() << "a folder of another account needs root to make";
    const QString work = cache + "/com.morvadel.Tavrin.update";
    writeFile(work + "/kept", "theirs");
    ASSERT_EQ(::chown(QFile::encodeName(work).constData(), 65534, 65534), 0);
    u->retry();
    ASSERT_EQ(u->state().kind, Kind::failed);
    EXPECT_EQ(u->state().message, "Couldn\u2019t prepare the update folder " + work
                                      + ". Make sure it is yours and other users can\u2019t write to it, then try "
                                        "again.");
    EXPECT_EQ(readFile(work + "/kept"), "theirs");
    ASSERT_EQ(::chown(QFile::encodeName(work).constData(), 0, 0), 0);
    u->retry();
    ASSERT_TRUE(settle(*u));
    EXPECT_EQ(u->state(), ran);
}

TEST_F(UpdaterTest, WithNoAppAtItsNameNothingIsCalledIntact)
{
    const QString zip = nextArchive();
    const QString missing = "There is no copy of Tavrin at " + bundle
        + ", so it can\u2019t update itself. Put Tavrin back there, open it from there and try again.";
    auto u = fileFeed(feedFor("1.0.1", 0, QUrl::fromLocalFile(zip).toString(), zip));

    // Gone before the download: nothing is fetched for it.
    const QString aside = home.path() + "/aside.app";
    ASSERT_TRUE(QDir().rename(bundle, aside));
    u->check();
    ASSERT_TRUE(settle(*u));
    ASSERT_EQ(u->state().kind, Kind::available);
    u->download();
    ASSERT_TRUE(settle(*u));
    EXPECT_EQ(u->state(), Updater::State::failed(missing, true));
    EXPECT_FALSE(QFileInfo::exists(home.path() + "/cache/com.morvadel.Tavrin.update"));

    // Gone between the download and the install.
    ASSERT_TRUE(QDir().rename(aside, bundle));
    u->retry();
    ASSERT_TRUE(settle(*u));
    ASSERT_EQ(u->state().kind, Kind::readyToInstall) << qPrintable(u->state().message);
    BundleSwap::removeTree(bundle);
    u->install();
    ASSERT_TRUE(settle(*u));
    EXPECT_EQ(u->state(), Updater::State::failed(missing, true));
    EXPECT_FALSE(QFileInfo::exists(bundle)) << "the new copy is not put where nothing was";
}

TEST_F(UpdaterTest, TheAppRecoversBeforeItReadsItsVersion)
{
    qputenv("XDG_CACHE_HOME", QFile::encodeName(home.path() + "/cache"));
    const QString apps = home.path() + "/Applications";
    const QString staged = home.path() + "/staged/Tavrin.app";
    struct Killed {};
    BundleSwap::ReplaceOptions cut;
    cut.twoRenames = true;
    cut.betweenRenames = [](const QString&) { throw Killed{}; };
    // Cut between the renames of a real swap, and that state made by hand.
    const std::function<QString()> halves[] = {
        [&] {
            makeBundle(staged, "1.0.1", 0, "new library");
            EXPECT_TRUE(sealAndAttest(staged, keys()));
            EXPECT_THROW(BundleSwap::replace(bundle, staged, keys().trust(), Seal::architecture(), cut), Killed);
            const QStringList hidden = QDir(apps).entryList({".Tavrin-update-*"}, QDir::Dirs | QDir::Hidden);
            return hidden.size() == 1 ? apps + "/" + hidden[0] : QString();
        },
        [&] {
            const QString hidden = apps + "/.Tavrin-update-Ab12Cd";
            EXPECT_EQ(::mkdir(QFile::encodeName(hidden).constData(), 0700), 0);
            EXPECT_TRUE(QDir().rename(bundle, hidden + "/Tavrin (previous).app"));
            return hidden;
        },
    };
    for (const auto& half : halves) {
        ASSERT_FALSE(half().isEmpty());
        const Updater::Setup setup = Updater::Setup::standard(bundle);
        EXPECT_EQ(setup.versionText, "1.0.0");
        EXPECT_EQ(QDir(apps).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                  QStringList{"Tavrin.app"});

        // With a link at the name nothing is read from it, and the start
        // says where the previous copy waits.
        const QString hidden = half();
        ASSERT_EQ(::symlink("/nonexistent", QFile::encodeName(bundle).constData()), 0);
        Updater u(Updater::Setup::standard(bundle));
        EXPECT_FALSE(u.currentVersionText());
        L10n::setChinese(true);
        u.start([] { return false; });
        EXPECT_EQ(u.state(), Updater::State::failed(bundle + " 处不是 Tavrin，因此上一版本的 Tavrin 保留在 " + hidden
                                                        + "/Tavrin (previous).app。请移走 " + bundle
                                                        + " 处的内容，把上一版本放回那里后重试。",
                                                    true));
        L10n::setChinese(false);
        ASSERT_TRUE(QFile::remove(bundle));
        EXPECT_EQ(Updater::Setup::standard(bundle).versionText, "1.0.0");
    }
    qunsetenv("XDG_CACHE_HOME");
}

TEST_F(UpdaterTest, AStickyFolderOthersCanWriteIsRefusedBeforeTheDownload)
{
    // Between the two renames of a swap the app's name is free, and in a
    // sticky folder anyone may take it; on either path nothing is fetched.
    const QString apps = home.path() + "/Applications";
    const QString zip = nextArchive();
    const QByteArray before = *Seal::manifest(bundle, Seal::architecture());
    for (const bool twoRenames : {false, true}) {
        SCOPED_TRACE(twoRenames ? "two renames" : "exchange");
        swap.twoRenames = twoRenames;
        auto u = fileFeed(feedFor("1.0.1", 0, QUrl::fromLocalFile(zip).toString(), zip));
        u->check();
        ASSERT_TRUE(settle(*u));
        ASSERT_EQ(u->state().kind, Kind::available);
        ASSERT_EQ(::chmod(QFile::encodeName(apps).constData(), 01777), 0);
        u->download();
        EXPECT_EQ(u->state(), Updater::State::failed(
                                  "Other users can write to " + apps + ", the folder containing Tavrin, so it can\u2019t "
                                  "update itself safely. Make the folder writable only by you (chmod go-w " + apps
                                      + "), then try again.",
                                  true));
        EXPECT_FALSE(QFileInfo::exists(home.path() + "/cache/com.morvadel.Tavrin.update")) << "nothing downloaded";
        EXPECT_EQ(Seal::manifest(bundle, Seal::architecture()), before);
        ASSERT_EQ(::chmod(QFile::encodeName(apps).constData(), 0755), 0);
    }
}

TEST_F(UpdaterTest, EveryFolderAboveTheAppIsHeldToOneRule)
{
    // Whoever may rename a folder above the app's could move the app's
    // folder away and put their own in its place before the relaunch.
    const QString zip = nextArchive();
    const QByteArray top = QFile::encodeName(home.path());
    for (const bool twoRenames : {false, true}) {
        SCOPED_TRACE(twoRenames ? "two renames" : "exchange");
        swap.twoRenames = twoRenames;
        auto u = fileFeed(feedFor("1.0.1", 0, QUrl::fromLocalFile(zip).toString(), zip));
        u->check();
        ASSERT_TRUE(settle(*u));
        ASSERT_EQ(u->state().kind, Kind::available);
        ASSERT_EQ(::chmod(top.constData(), 0777), 0);
        u->download();
        EXPECT_EQ(u->state(), Updater::State::failed(UpdateErrors::unsafeFolderAbove(
                                                         home.path(), UpdateErrors::FolderFault::othersWrite),
                                                     true));
        EXPECT_TRUE(u->state().message.startsWith("Other users can write to " + home.path() + ", a folder on the way"));
        EXPECT_FALSE(QFileInfo::exists(home.path() + "/cache/com.morvadel.Tavrin.update")) << "nothing downloaded";

        if (::getuid() == 0) {
            ASSERT_EQ(::chmod(top.constData(), 0755), 0);
            ASSERT_EQ(::chown(top.constData(), 65534, 65534), 0);
            u->retry();
            EXPECT_EQ(u->state(), Updater::State::failed(UpdateErrors::unsafeFolderAbove(
                                                             home.path(), UpdateErrors::FolderFault::othersOwn),
                                                         true));
            EXPECT_TRUE(u->state().message.startsWith(home.path() + ", a folder on the way to Tavrin, belongs to "
                                                                    "another user"));
            ASSERT_EQ(::chown(top.constData(), 0, 0), 0);
        }

        // Sticky, as /tmp is, over the user's own folder: the update goes on.
        ASSERT_EQ(::chmod(top.constData(), 01777), 0);
        u->retry();
        ASSERT_TRUE(settle(*u));
        EXPECT_EQ(u->state().kind, Kind::readyToInstall) << qPrintable(u->state().message);
        ASSERT_EQ(::chmod(top.constData(), 0700), 0);
        u.reset();
        BundleSwap::removeTree(home.path() + "/cache/com.morvadel.Tavrin.update");
    }
}

TEST_F(UpdaterTest, EveryFolderAboveTheUpdateFolderIsHeldToOneRule)
{
    // The cache is the user's own folder inside a team's shared one that
    // every member may write in: another member could rename the cache away
    // and put a work folder of their own in its place. Refused before
    // anything is fetched, naming that folder, and so through a link that
    // leads there.
    const QString zip = nextArchive();
    const QString team = home.path() + "/team";
    ASSERT_TRUE(QDir().mkpath(team + "/cache"));
    ASSERT_EQ(::chmod(QFile::encodeName(team + "/cache").constData(), 0700), 0);
    ASSERT_EQ(::symlink(QFile::encodeName(team + "/cache").constData(),
                        QFile::encodeName(home.path() + "/cache-link").constData()),
              0);
    const QByteArray teamPath = QFile::encodeName(team);
    for (const QString& cache : {team + "/cache", home.path() + "/cache-link"}) {
        SCOPED_TRACE(qPrintable(cache));
        workDirectory = cache + "/com.morvadel.Tavrin.update";
        auto u = fileFeed(feedFor("1.0.1", 0, QUrl::fromLocalFile(zip).toString(), zip));
        u->check();
        ASSERT_TRUE(settle(*u));
        ASSERT_EQ(u->state().kind, Kind::available);
        ASSERT_EQ(::chmod(teamPath.constData(), 02775), 0);
        u->download();
        EXPECT_EQ(u->state(), Updater::State::failed(UpdateErrors::unsafeUpdateFolder(
                                                         team, UpdateErrors::FolderFault::othersWrite),
                                                     false));
        EXPECT_TRUE(u->state().message.startsWith("Other users can write to " + team
                                                  + ", a folder on the way to Tavrin\u2019s update folder"))
            << qPrintable(u->state().message);
        EXPECT_FALSE(QFileInfo::exists(team + "/cache/com.morvadel.Tavrin.update")) << "nothing downloaded";
        L10n::setChinese(true);
        EXPECT_TRUE(UpdateErrors::unsafeUpdateFolder(team, UpdateErrors::FolderFault::othersWrite)
                        .startsWith("其他用户也能写入 Tavrin 更新文件夹路径上的文件夹 " + team));
        L10n::setChinese(false);

        if (::getuid() == 0) {
            ASSERT_EQ(::chmod(teamPath.constData(), 0755), 0);
            ASSERT_EQ(::chown(teamPath.constData(), 65534, 65534), 0);
            u->retry();
            EXPECT_EQ(u->state(), Updater::State::failed(UpdateErrors::unsafeUpdateFolder(
                                                             team, UpdateErrors::FolderFault::othersOwn),
                                                         false));
            ASSERT_EQ(::chown(teamPath.constData(), 0, 0), 0);
        }

        // Sticky, as /tmp is, over the user's own folder: the update goes on.
        ASSERT_EQ(::chmod(teamPath.constData(), 01777), 0);
        u->retry();
        ASSERT_TRUE(settle(*u));
        EXPECT_EQ(u->state().kind, Kind::readyToInstall) << qPrintable(u->state().message);
        ASSERT_EQ(::chmod(teamPath.constData(), 0700), 0);
        u.reset();
        BundleSwap::removeTree(team + "/cache/com.morvadel.Tavrin.update");
    }
}

TEST_F(UpdaterTest, ACacheThatIsAnotherUsersLinkIsJudgedWhereItLeads)
{
    // XDG_CACHE_HOME names a link in a sticky folder that another user
    // made first, leading to a folder of theirs: refused, naming that
    // folder, before anything is fetched.
    if (::getuid() != 0)
        GTEST_SKIP() << "a folder of another user needs root to make";
    const QString sticky = home.path() + "/sticky";
    const QString theirs = home.path() + "/theirs";
    ASSERT_TRUE(QDir().mkpath(sticky));
    ASSERT_TRUE(QDir().mkpath(theirs));
    ASSERT_EQ(::chmod(QFile::encodeName(sticky).constData(), 01777), 0);
    ASSERT_EQ(::chown(QFile::encodeName(theirs).constData(), 65534, 65534), 0);
    ASSERT_EQ(::symlink(QFile::encodeName(theirs).constData(), QFile::encodeName(sticky + "/cache").constData()), 0);
    ASSERT_EQ(::lchown(QFile::encodeName(sticky + "/cache").constData(), 65534, 65534), 0);
    workDirectory = sticky + "/cache/com.morvadel.Tavrin.update";
    const QString zip = nextArchive();
    auto u = fileFeed(feedFor("1.0.1", 0, QUrl::fromLocalFile(zip).toString(), zip));
    u->check();
    ASSERT_TRUE(settle(*u));
    u->download();
    EXPECT_EQ(u->state(), Updater::State::failed(UpdateErrors::unsafeUpdateFolder(
                                                     theirs, UpdateErrors::FolderFault::othersOwn),
                                                 false));
    EXPECT_TRUE(QDir(theirs).isEmpty()) << "nothing is made there";
}

TEST_F(UpdaterTest, AWorkFolderSwappedAfterVerificationChangesNothingInstalled)
{
    // Once verified, the cache is renamed away, or the link it is reached
    // through is pointed elsewhere, and in its place stands a work folder
    // whose "expanded" is a link to the app's own folder: by its name the
    // staged copy is now the installed one. The install still takes the
    // copy it verified, and a whole copy stays at the app's name, on both
    // paths.
    const QString zip = nextArchive();
    const QString apps = home.path() + "/Applications";
    const QByteArray homeBefore = qgetenv("HOME");
    // The relaunch runs the new copy, which writes where HOME says.
    qputenv("HOME", QFile::encodeName(home.path()));
    bool ended = false;
    terminate = [&ended] { ended = true; };
    int round = 0;
    for (const bool twoRenames : {false, true}) {
        for (const bool throughLink : {false, true}) {
            SCOPED_TRACE(QString("%1, %2").arg(twoRenames ? "two renames" : "exchange",
                                               throughLink ? "link pointed elsewhere" : "folder renamed away")
                             .toStdString());
            swap.twoRenames = twoRenames;
            BundleSwap::removeTree(bundle);
            makeBundle(bundle, "1.0.0");
            ASSERT_TRUE(sealAndAttest(bundle, keys()));
            const QString n = QString::number(++round);
            const QString cache = home.path() + "/cache" + n;
            const QString link = home.path() + "/link" + n;
            ASSERT_TRUE(QDir().mkpath(cache));
            if (throughLink) {
                ASSERT_EQ(::symlink(QFile::encodeName(cache).constData(), QFile::encodeName(link).constData()), 0);
            }
            workDirectory = (throughLink ? link : cache) + "/com.morvadel.Tavrin.update";
            ended = false;
            auto u = fileFeed(feedFor("1.0.1", 0, QUrl::fromLocalFile(zip).toString(), zip));
            u->check();
            ASSERT_TRUE(settle(*u));
            u->download();
            ASSERT_TRUE(settle(*u));
            ASSERT_EQ(u->state().kind, Kind::readyToInstall) << qPrintable(u->state().message);

            const QString theirs = home.path() + "/theirs" + n;
            ASSERT_TRUE(QDir().mkpath(theirs + "/com.morvadel.Tavrin.update"));
            ASSERT_EQ(::symlink(QFile::encodeName(apps).constData(),
                                QFile::encodeName(theirs + "/com.morvadel.Tavrin.update/expanded").constData()),
                      0);
            if (throughLink) {
                ASSERT_EQ(::unlink(QFile::encodeName(link).constData()), 0);
                ASSERT_EQ(::symlink(QFile::encodeName(theirs).constData(), QFile::encodeName(link).constData()), 0);
            } else {
                ASSERT_TRUE(QDir().rename(cache, cache + "-away"));
                ASSERT_TRUE(QDir().rename(theirs, cache));
            }
            ASSERT_EQ(QFileInfo(workDirectory + "/expanded/Tavrin.app").canonicalFilePath(),
                      QFileInfo(bundle).canonicalFilePath())
                << "by its name, the staged copy is the installed one";

            u->install();
            ASSERT_TRUE(waitFor([&] { return ended || u->state().kind == Kind::failed; }));
            EXPECT_TRUE(ended) << qPrintable(u->state().message);
            const auto info = BundleInfo::read(bundle);
            EXPECT_EQ(info ? info->version.value_or("none") : QString("none"), "1.0.1");
            EXPECT_EQ(Seal::check(bundle, keys().trust()), Seal::Verdict::ok);
            EXPECT_EQ(QDir(apps).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                      QStringList{"Tavrin.app"});
            const QString planted = (throughLink ? theirs : cache) + "/com.morvadel.Tavrin.update/expanded";
            EXPECT_EQ(QFileInfo(planted).symLinkTarget(), apps) << "what was put in its place is left alone";
            const QString previous = home.path() + "/share/Trash/files/"
                + (round == 1 ? QString("Tavrin (previous).app") : "Tavrin (previous) " + n + ".app");
            const auto old = BundleInfo::read(previous);
            EXPECT_EQ(old ? old->version.value_or("none") : QString("none"), "1.0.0") << qPrintable(previous);
            EXPECT_FALSE(QFileInfo::exists((throughLink ? cache : cache + "-away") + "/com.morvadel.Tavrin.update"))
                << "the work folder it held is gone";
        }
    }
    terminate = {};
    qputenv("HOME", homeBefore);
}

TEST_F(UpdaterTest, SaysWhatStandsWhereTheAppShouldBe)
{
    const QString zip = nextArchive();
    const QString elsewhere = home.path() + "/elsewhere/Tavrin.app";
    makeBundle(elsewhere, "1.0.0");
    const QString info = bundle + "/Contents/Info.json";
    const auto refusal = [&]() -> Updater::State {
        auto u = fileFeed(feedFor("1.0.1", 0, QUrl::fromLocalFile(zip).toString(), zip));
        u->check();
        if (!settle(*u) || u->state().kind != Kind::available)
            return u->state();
        u->download();
        settle(*u);
        return u->state();
    };

    // A link to a whole copy elsewhere is not the copy.
    ASSERT_TRUE(QDir().rename(bundle, home.path() + "/aside.app"));
    ASSERT_EQ(::symlink(QFile::encodeName(elsewhere).constData(), QFile::encodeName(bundle).constData()), 0);
    EXPECT_EQ(refusal(), Updater::State::failed("At " + bundle + " there is a link to " + elsewhere
                                                    + ", not a copy of Tavrin, so it can\u2019t update itself. Put "
                                                      "Tavrin itself there in place of the link, open it from there "
                                                      "and try again.",
                                                true));
    L10n::setChinese(true);
    EXPECT_EQ(refusal().message, bundle + " 处是指向 " + elsewhere
                                     + " 的链接，不是 Tavrin 本身，无法自动更新。请用 Tavrin 本身替换这个链接，从那里打开后重试。");
    L10n::setChinese(false);
    ASSERT_TRUE(QFile::remove(bundle));
    ASSERT_TRUE(QDir().rename(home.path() + "/aside.app", bundle));

    // A FIFO where Info.json should be.
    ASSERT_TRUE(QFile::remove(info));
    ASSERT_EQ(::mkfifo(QFile::encodeName(info).constData(), 0600), 0);
    EXPECT_EQ(refusal(), Updater::State::failed("In the folder at " + bundle
                                                    + ", Contents/Info.json is a FIFO (named pipe), not a file, so it "
                                                      "is no whole copy of Tavrin and can\u2019t update itself. Put "
                                                      "Tavrin back there, open it from there and try again.",
                                                true));
    L10n::setChinese(true);
    EXPECT_EQ(refusal().message, bundle + " 处的文件夹里，Contents/Info.json 是一个 FIFO（命名管道）而不是一个文件，"
                                          "不是完整的 Tavrin，无法自动更新。请把 Tavrin 放回那里，从那里打开后重试。");
    L10n::setChinese(false);

    // Contents as a link, then missing; a plain file at the name.
    BundleSwap::removeTree(bundle + "/Contents");
    ASSERT_EQ(::symlink(QFile::encodeName(elsewhere + "/Contents").constData(),
                        QFile::encodeName(bundle + "/Contents").constData()),
              0);
    EXPECT_TRUE(refusal().message.startsWith("In the folder at " + bundle + ", Contents is a link, not a folder,"));
    ASSERT_TRUE(QFile::remove(bundle + "/Contents"));
    EXPECT_TRUE(refusal().message.startsWith("The folder at " + bundle + " has no Contents/Info.json, so"));
    BundleSwap::removeTree(bundle);
    writeFile(bundle, "not the app");
    EXPECT_TRUE(refusal().message.startsWith("At " + bundle + " there is a file, not a copy of Tavrin"));
}

TEST_F(UpdaterTest, ARunThatMeetsAnotherCopysSwapInstallsNothingItReadBefore)
{
    // One copy installs 1.0.2 and stops midway, between its renames or just
    // before its exchange; another copy starts meanwhile, with a feed whose
    // newest release is 1.0.1.
    qputenv("XDG_CACHE_HOME", QFile::encodeName(home.path() + "/cache"));
    const QString work = BundleSwap::workDirectory();
    const QString zip = nextArchive();
    writeFile(home.path() + "/feed.json", feedFor("1.0.1", 0, QUrl::fromLocalFile(zip).toString(), zip));
    const QString staged = home.path() + "/staged/Tavrin.app";
    for (const bool twoRenames : {false, true}) {
        SCOPED_TRACE(twoRenames ? "two renames" : "exchange");
        BundleSwap::removeTree(bundle);
        makeBundle(bundle, "1.0.0");
        ASSERT_TRUE(sealAndAttest(bundle, keys()));
        makeBundle(staged, "1.0.2", 0, "newest library");
        ASSERT_TRUE(sealAndAttest(staged, keys()));

        auto held = BundleSwap::WorkLock::take(work);
        ASSERT_TRUE(held);
        std::atomic<bool> midway = false;
        std::promise<void> go;
        std::shared_future<void> gone = go.get_future().share();
        BundleSwap::ReplaceOptions options;
        options.twoRenames = twoRenames;
        (twoRenames ? options.betweenRenames : options.beforeExchange) = [&midway, gone](const QString&) {
            midway = true;
            gone.wait();
        };
        std::optional<UpdateError> first = UpdateError::replaceFailed;
        std::thread installing(
            [&] { first = BundleSwap::replace(bundle, staged, keys().trust(), Seal::architecture(), options); });
        ASSERT_TRUE(waitFor([&] { return midway.load(); }));

        // The second copy moves nothing while the lock is taken.
        const auto second = startsWhileAnotherCopyUpdates(Updater::Setup::standard(bundle));

        go.set_value();
        installing.join();
        held.reset();
        ASSERT_EQ(first, std::nullopt);
        ASSERT_TRUE(readFile(bundle + "/Contents/Info.json").contains("\"1.0.2\""));

        // Once the lock is free, what is installed is read again: 1.0.1 is
        // no update of 1.0.2.
        second->retry();
        ASSERT_TRUE(settle(*second));
        if (second->state().kind == Kind::available)
            second->download();
        ASSERT_TRUE(settle(*second));
        EXPECT_EQ(second->state(),
                  Updater::State::failed("Another copy of Tavrin changed it meanwhile, and this release is not newer "
                                         "than the copy now installed. Check for updates again.",
                                         false));
        EXPECT_FALSE(second->staged());
        EXPECT_EQ(readFile(bundle + "/Contents/lib/libtavrin.so"), "newest library");
        second->check();
        ASSERT_TRUE(settle(*second));
        EXPECT_EQ(second->state().kind, Kind::upToDate);
        EXPECT_EQ(second->currentVersionText(), "1.0.2");
    }
    qunsetenv("XDG_CACHE_HOME");
}

TEST_F(UpdaterTest, ScheduleAndFeedAddress)
{
    const QStringList none;
    EXPECT_EQ(Updater::Setup::feedFrom({"-updateFeed"}, Updater::defaultFeed()), Updater::defaultFeed());
    EXPECT_EQ(Updater::Setup::feedFrom({"-x", "1", "-updateFeed", "https://a.example/f.json"}, {}),
              QUrl("https://a.example/f.json"));
    EXPECT_EQ(Updater::Setup::feedFrom({"-updateFeed", "/tmp/f.json"}, {}), QUrl::fromLocalFile("/tmp/f.json"));

    // The first pass comes 20 seconds after start; time asleep counts.
    ScopedManualScheduler clock;
    auto u = fileFeed(feedOf({releaseJson("1.1", dl)}));
    u->start([] { return true; });
    clock.scheduler.advance(5);
    EXPECT_EQ(u->state().kind, Kind::idle);
    slept += 30;
    clock.scheduler.advance(5);
    EXPECT_EQ(u->state().kind, Kind::checking);
    ASSERT_TRUE(settle(*u));
    EXPECT_EQ(u->state().kind, Kind::available);
    // An hour later, asleep or not, the pass comes again, but checks at most
    // once a day.
    slept += 3600;
    clock.scheduler.advance(10);
    EXPECT_EQ(u->state().kind, Kind::available);

    // Passes check only while the preference allows it, hour after hour.
    bool allowed = false;
    auto quiet = fileFeed(feedOf({releaseJson("1.1", dl)}));
    quiet->start([&] { return allowed; });
    clock.scheduler.advance(20);
    EXPECT_EQ(quiet->state().kind, Kind::idle);
    allowed = true;
    clock.scheduler.advance(3600 - 20);
    EXPECT_EQ(quiet->state().kind, Kind::idle);
    slept += 3 * 3600;
    clock.scheduler.advance(10);
    EXPECT_EQ(quiet->state().kind, Kind::checking);
    ASSERT_TRUE(settle(*quiet));

    // This build names no site: its default feed is asked neither by itself
    // nor on request, and a check says why instead of blaming the network.
    auto unset = make(Updater::defaultFeed());
    unset->start([] { return true; });
    clock.scheduler.advance(20);
    EXPECT_EQ(unset->state().kind, Kind::idle);
    const auto lastCheck = unset->lastCheck();
    unset->check();
    EXPECT_EQ(unset->state(), Updater::State::failed(
                                  "This build of Tavrin does not check for updates: it has no update site.", false));
    EXPECT_EQ(unset->lastCheck(), lastCheck);
}

TEST_F(UpdaterTest, AnEntryGivingASizeNoDownloadHasIsSaidToBeInvalid)
{
    // Neither the network nor "up to date": the feed's entry is wrong.
    for (const qint64 size : {qint64(0), qint64(-1), (qint64(2) << 30) + 1}) {
        SCOPED_TRACE(size);
        auto u = fileFeed(feedOf({releaseJson("1.1", dlAt("file:///nonexistent/a.zip", size))}));
        L10n::setChinese(false);
        u->check();
        ASSERT_TRUE(settle(*u));
        EXPECT_EQ(u->state(),
                  Updater::State::failed(QString("The version information\u2019s entry for Tavrin 1.1 is not valid: it "
                                                 "gives the download\u2019s size as %1 bytes, and an update is at "
                                                 "least 1 byte and at most 2 GiB. Stopped.")
                                             .arg(size),
                                         false));
        EXPECT_FALSE(u->pending());
        EXPECT_FALSE(u->lastCheck()) << "no check that found a wrong entry counts as done";
        L10n::setChinese(true);
        u->check();
        ASSERT_TRUE(settle(*u));
        EXPECT_EQ(u->state().message, QString("版本信息中 Tavrin 1.1 的条目无效：其中下载内容的大小为 %1 字节，而更新应在 "
                                              "1 字节到 2 GiB 之间。已中止。")
                                          .arg(size));
    }
    L10n::setChinese(false);

    // Exactly 2 GiB is a size an archive may have; an older entry that is
    // right is offered past a newer one that is not.
    auto most = fileFeed(feedOf({releaseJson("1.1", dlAt("file:///nonexistent/a.zip", qint64(2) << 30))}));
    most->check();
    ASSERT_TRUE(settle(*most));
    EXPECT_EQ(most->state().kind, Kind::available);
    auto older = fileFeed(feedOf({releaseJson("1.2", dlAt("file:///nonexistent/a.zip", 0)), releaseJson("1.1", dl)}));
    older->check();
    ASSERT_TRUE(settle(*older));
    ASSERT_EQ(older->state().kind, Kind::available);
    EXPECT_EQ(older->pending()->version, "1.1");
}

TEST_F(UpdaterTest, FileLocalhostNamesTheSameFileAsNoHost)
{
    EXPECT_EQ(Updater::Setup::feedFrom({"-updateFeed", "file://localhost/tmp/f.json"}, {}),
              QUrl::fromLocalFile("/tmp/f.json"));
    EXPECT_EQ(Updater::Setup::feedFrom({"-updateFeed", "file://LOCALHOST/tmp/f.json"}, {}),
              QUrl::fromLocalFile("/tmp/f.json"));

    // A feed and an archive both named so are read, verified and staged.
    const QString zip = nextArchive();
    const QString localhost = "file://localhost" + QUrl::fromLocalFile(zip).path(QUrl::FullyEncoded);
    writeFile(home.path() + "/feed.json", feedFor("1.0.1", 0, localhost, zip));
    auto u = make(QUrl("file://localhost" + QUrl::fromLocalFile(home.path() + "/feed.json").path(QUrl::FullyEncoded)));
    EXPECT_EQ(u->feedURL(), QUrl::fromLocalFile(home.path() + "/feed.json"));
    u->check();
    ASSERT_TRUE(settle(*u));
    ASSERT_EQ(u->state().kind, Kind::available) << qPrintable(u->state().message);
    u->download();
    ASSERT_TRUE(settle(*u));
    ASSERT_EQ(u->state().kind, Kind::readyToInstall) << qPrintable(u->state().message);
    EXPECT_EQ(Seal::check(*u->staged(), keys().trust()), Seal::Verdict::ok);
}

TEST_F(UpdaterTest, ADownloadLongerThanItsEntryIsSaidNotToMatchIt)
{
    // The feed's entry gives a size a byte short of the archive's: from a
    // local file, and from a server that announces no length at all.
    const QString zip = nextArchive();
    const QByteArray archive = readFile(zip);
    server.route("/unannounced.zip", [archive](QSslSocket* socket) {
        socket->write("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + archive);
        socket->disconnectFromHost();
    });
    for (const QString& url : {QUrl::fromLocalFile(zip).toString(), server.url("/unannounced.zip")}) {
        SCOPED_TRACE(qPrintable(url));
        writeFile(home.path() + "/feed.json",
                  feedOf({releaseJson("1.0.1", QString(R"(,"download":{"url":"%1","sha256":"%2","size":%3})")
                                                   .arg(url, Seal::sha256(archive))
                                                   .arg(archive.size() - 1)
                                                   .toUtf8())}));
        for (const bool chinese : {false, true}) {
            L10n::setChinese(chinese);
            auto u = make(QUrl::fromLocalFile(home.path() + "/feed.json"));
            u->check();
            ASSERT_TRUE(settle(*u));
            ASSERT_EQ(u->state().kind, Kind::available) << qPrintable(u->state().message);
            u->download();
            ASSERT_TRUE(settle(*u));
            EXPECT_EQ(u->state(), Updater::State::failed(chinese ? "下载内容的大小与发布信息不一致，已中止安装。"
                                                                 : "The download\u2019s size does not match the "
                                                                   "release information. Installation stopped.",
                                                         false));
            EXPECT_FALSE(QFileInfo::exists(workDirectory));
        }
    }
    L10n::setChinese(false);
}

TEST_F(UpdaterTest, ANewerReleaseAtAnAddressNotAllowedIsOfferedAndRefusedAtItsDownload)
{
    // Plain http to the site's own host, and https to another host: the
    // release is offered, never fetched, and its download says why.
    int fetched = 0;
    server.route("/a.zip", [&](QSslSocket* socket) {
        ++fetched;
        LoopbackHttps::reply(socket, 200, "zip");
    });
    const QString plain = QString("http://127.0.0.1:%1/a.zip").arg(server.port());
    for (const QString& url : {plain, QString("https://evil.example/a.zip")}) {
        SCOPED_TRACE(qPrintable(url));
        auto u = fileFeed(feedOf({releaseJson("1.0.2", dl), releaseJson("1.3", dlAt(url))}));
        u->check();
        ASSERT_TRUE(settle(*u));
        ASSERT_EQ(u->state().kind, Kind::available);
        EXPECT_EQ(u->pending()->version, "1.3");
        u->download();
        ASSERT_TRUE(settle(*u));
        EXPECT_EQ(u->state(), Updater::State::failed(UpdateErrors::message(UpdateError::downloadURLNotAllowed), false));
        EXPECT_EQ(u->state().message, "The download address is not on " + UpdateRules::siteHost()
                                          + " or does not use HTTPS. Stopped.");
        EXPECT_EQ(u->pending()->version, "1.3") << "still on offer";
    }
    EXPECT_EQ(fetched, 0);
}

TEST_F(UpdaterTest, TwoRunsWithUpdateFoldersOfTheirOwnNeverDowngradeTheApp)
{
    // Two copies with caches of their own (another XDG_CACHE_HOME), so
    // their update folders and the locks there never meet. Run A (1.0.3)
    // stops just after its recovery; run B (1.0.2) goes on as far as it
    // can, up to the exchange; then A installs, then B goes on.
    const QString apps = home.path() + "/Applications";
    const QByteArray homeBefore = qgetenv("HOME");
    // The relaunch runs the new copy, which writes where HOME says.
    qputenv("HOME", QFile::encodeName(home.path()));
    const QString newest = nextArchive("1.0.3");
    const QString older = nextArchive("1.0.2");
    Gate afterRecovery, atExchange;
    auto waiting = std::make_shared<std::atomic<bool>>(false);
    bool installedA = false, installedB = false;

    workDirectory = home.path() + "/cacheA/com.morvadel.Tavrin.update";
    swap.afterRecovery = afterRecovery.stop();
    terminate = [&installedA] { installedA = true; };
    writeFile(home.path() + "/feedA.json", feedFor("1.0.3", 0, QUrl::fromLocalFile(newest).toString(), newest));
    auto a = make(QUrl::fromLocalFile(home.path() + "/feedA.json"));

    workDirectory = home.path() + "/cacheB/com.morvadel.Tavrin.update";
    swap = {};
    swap.afterVersionCheck = atExchange.stop();
    swap.waitingForLock = [waiting] { *waiting = true; };
    terminate = [&installedB] { installedB = true; };
    writeFile(home.path() + "/feedB.json", feedFor("1.0.2", 0, QUrl::fromLocalFile(older).toString(), older));
    auto b = make(QUrl::fromLocalFile(home.path() + "/feedB.json"));

    for (Updater* u : {a.get(), b.get()}) {
        u->check();
        ASSERT_TRUE(settle(*u));
        ASSERT_EQ(u->state().kind, Kind::available);
        u->download();
        ASSERT_TRUE(settle(*u));
        ASSERT_EQ(u->state().kind, Kind::readyToInstall) << qPrintable(u->state().message);
    }

    a->install();
    ASSERT_TRUE(waitFor([&] { return afterRecovery.reached->load(); }));
    b->install();
    ASSERT_TRUE(waitFor([&] { return atExchange.reached->load() || waiting->load() || !b->state().busy(); }));
    afterRecovery.let();
    ASSERT_TRUE(waitFor([&] { return installedA || !a->state().busy(); }));
    EXPECT_TRUE(installedA) << qPrintable(a->state().message);
    atExchange.let();
    ASSERT_TRUE(waitFor([&] { return installedB || !b->state().busy(); }));

    // 1.0.3 stays; B says why it stopped, and offers nothing more.
    const auto info = BundleInfo::read(bundle);
    EXPECT_EQ(info ? info->version.value_or("none") : QString("none"), "1.0.3");
    EXPECT_FALSE(installedB);
    EXPECT_EQ(b->state(), Updater::State::failed("Another copy of Tavrin changed it meanwhile, and this release is "
                                                 "not newer than the copy now installed. Check for updates again.",
                                                 false));
    EXPECT_FALSE(b->pending());
    EXPECT_EQ(QDir(home.path() + "/share/Trash/files").entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList{"Tavrin (previous).app"});
    const auto previous = BundleInfo::read(home.path() + "/share/Trash/files/Tavrin (previous).app");
    EXPECT_EQ(previous ? previous->version.value_or("none") : QString("none"), "1.0.0");
    EXPECT_EQ(QDir(apps).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"Tavrin.app"})
        << "the lock beside the app goes with its last holder";
    qputenv("HOME", homeBefore);
}

TEST_F(UpdaterTest, AStartWithItsOwnUpdateFolderLeavesAnotherRunsSwapAlone)
{
    // A run swaps without an atomic exchange and is between its renames:
    // nothing stands at the app's name. A copy starting now with a cache of
    // its own puts nothing back and reads nothing, and says so.
    const QString apps = home.path() + "/Applications";
    const QString staged = home.path() + "/staged/Tavrin.app";
    makeBundle(staged, "1.0.1", 0, "new library");
    ASSERT_TRUE(sealAndAttest(staged, keys()));
    Gate between;
    BundleSwap::ReplaceOptions options;
    options.twoRenames = true;
    options.betweenRenames = [stop = between.stop()](const QString&) { stop(); };
    std::optional<UpdateError> swapped = UpdateError::replaceFailed;
    std::thread swapping(
        [&] { swapped = BundleSwap::replace(bundle, staged, keys().trust(), Seal::architecture(), options); });
    // Let go and waited for on every way out of the test.
    const auto joined = qScopeGuard([&] {
        between.let();
        if (swapping.joinable())
            swapping.join();
    });
    ASSERT_TRUE(waitFor([&] { return between.reached->load(); }));
    ASSERT_FALSE(QFileInfo::exists(bundle));

    qputenv("XDG_CACHE_HOME", QFile::encodeName(home.path() + "/other-cache"));
    const Updater::Setup s = Updater::Setup::standard(bundle);
    qunsetenv("XDG_CACHE_HOME");
    EXPECT_FALSE(QFileInfo::exists(bundle)) << "nothing is put back under a run midway";
    startsWhileAnotherCopyUpdates(s);

    between.let();
    swapping.join();
    EXPECT_EQ(swapped, std::nullopt);
    EXPECT_EQ(readFile(bundle + "/Contents/lib/libtavrin.so"), "new library");
    EXPECT_EQ(QDir(apps).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"Tavrin.app"});
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
