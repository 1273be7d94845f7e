#include "bundle_kit.h"
#include "loopback_https.h"

#include "../model/event_loop_wait.h"
#include "core/l10n.h"
#include "platform/defaults.h"
#include "update/bundle_swap.h"
#include "ui/scheduler.h"
#include "update/updater.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using Kind = Updater::State::Kind;

namespace {

QByteArray releaseJson(const char* version, const char* extra = "")
{
    return QByteArray(R"({"version":")") + version
        + R"(","date":"d","title":{"zh":"z","en":"e"},"notes":{"zh":[],"en":[]})" + extra + "}";
}

QByteArray feedOf(std::initializer_list<QByteArray> releases, const char* head = "")
{
    QByteArrayList list(releases);
    return QByteArray("{") + head + R"("releases":[)" + list.join(',') + "]}";
}

const char* dl = R"(,"download":{"url":"https://x.invalid/a.zip","sha256":"00","size":1})";

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
        Defaults::useFile(home.path() + "/standard.conf");
        L10n::setChinese(false);
        bundle = home.path() + "/Applications/Tavrin.app";
        makeBundle(bundle, "1.0.0");
        ASSERT_TRUE(sealAndAttest(bundle, keys()));
    }

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
        s.workDirectory = home.path() + "/cache/com.morvadel.Tavrin.update";
        s.tls = server.tls();
        const quint16 port = server.port();
        // Stands in for the site's host and port 443 only.
        s.allowDownload = [port](const QUrl& url, const QUrl&) {
            return url.scheme() == "https" && url.host() == "127.0.0.1" && url.port() == port;
        };
        s.feedDeadlineMs = 1500;
        return std::make_unique<Updater>(s);
    }

    std::unique_ptr<Updater> fileFeed(const QByteArray& json)
    {
        writeFile(home.path() + "/feed.json", json);
        return make(QUrl::fromLocalFile(home.path() + "/feed.json"));
    }

    static bool settle(Updater& u, double seconds = 15)
    {
        return waitFor([&] { return !u.state().busy(); }, seconds);
    }

    QTemporaryDir home;
    QString bundle;
    Defaults defaults{home.path() + "/defaults.conf"};
    LoopbackHttps server;
};

TEST_F(UpdaterTest, ChoosesTheNewestReleaseThisCopyMayTake)
{
    auto u = fileFeed(feedOf({releaseJson("1.0.2", dl), releaseJson("1.0.3", R"(,"build":-5)"),
                              releaseJson("1.0.2", R"(,"date":"second")"), releaseJson("0.9", dl)}));
    u->check();
    ASSERT_TRUE(settle(*u));
    ASSERT_EQ(u->state().kind, Kind::available) << "1.0.3 has no download";
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

    // Without anything pending, a failure shows, and retry checks again.
    QFile::remove(home.path() + "/feed.json");
    u->retry();
    ASSERT_TRUE(settle(*u));
    EXPECT_EQ(u->state(), Updater::State::failed(UpdateErrors::message(UpdateError::feedUnreachable), false));
}

TEST_F(UpdaterTest, FeedOverHttps)
{
    const QByteArray feed = feedOf({releaseJson("1.1", dl)});
    QByteArray exact = feedOf({});
    exact.append(QByteArray(1048576 - exact.size(), ' '));
    server.route("/feed.json", LoopbackHttps::body(feed));
    server.route("/exact.json", LoopbackHttps::body(exact));
    server.route("/over.json", LoopbackHttps::body(exact + " "));
    server.route("/other-host.json", LoopbackHttps::redirect(server.url("/feed.json", "localhost")));
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
        {"/plain.json", unreachable},
        {"/drip.json", unreachable},
    };
    for (const auto& [path, expected] : cases) {
        auto u = make(QUrl(server.url(path)));
        u->check();
        EXPECT_EQ(u->state().kind, Kind::checking);
        ASSERT_TRUE(settle(*u)) << qPrintable(path);
        EXPECT_EQ(u->state(), expected) << qPrintable(path) << " ended " << u->state().name();
    }
}

TEST_F(UpdaterTest, DownloadsVerifiesAndStages)
{
    const QString next = home.path() + "/next/Tavrin.app";
    makeBundle(next, "1.0.1");
    ASSERT_TRUE(sealAndAttest(next, keys()));
    const QString zip = home.path() + "/next.zip";
    ASSERT_TRUE(ZipArchive::write(next, zip));
    const QByteArray archive = readFile(zip);
    server.route("/good.zip", LoopbackHttps::body(archive));
    server.route("/long.zip", LoopbackHttps::body(archive + QByteArray(4096, 'x')));
    server.route("/away.zip", LoopbackHttps::redirect(server.url("/good.zip", "localhost")));

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
        ASSERT_TRUE(settle(*u, 30)) << path;
        if (QByteArray(path) != "/good.zip") {
            EXPECT_EQ(u->state(), Updater::State::failed(UpdateErrors::message(UpdateError::downloadFailed), false))
                << path;
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

    // A download address off the site is refused before anything is fetched.
    auto f = fileFeed(feedOf({releaseJson("1.1", R"(,"download":{"url":"https://evil.example/a.zip","sha256":"0","size":1})")}));
    f->check();
    ASSERT_TRUE(settle(*f));
    f->download();
    EXPECT_EQ(f->state(), Updater::State::failed(UpdateErrors::message(UpdateError::downloadURLNotAllowed), false));
    f->install();
    EXPECT_EQ(f->state().kind, Kind::failed) << "install does nothing unless a copy is staged";
}

TEST_F(UpdaterTest, ScheduleAndFeedAddress)
{
    const QStringList none;
    EXPECT_EQ(Updater::Setup::feedFrom({"-updateFeed"}, Updater::defaultFeed()), Updater::defaultFeed());
    EXPECT_EQ(Updater::Setup::feedFrom({"-x", "1", "-updateFeed", "https://a.example/f.json"}, {}),
              QUrl("https://a.example/f.json"));
    EXPECT_EQ(Updater::Setup::feedFrom({"-updateFeed", "/tmp/f.json"}, {}), QUrl::fromLocalFile("/tmp/f.json"));

    // The first pass comes 20 seconds after start, and only while the
    // preference allows it.
    ScopedManualScheduler clock;
    bool allowed = true;
    auto u = fileFeed(feedOf({releaseJson("1.1", dl)}));
    u->start([&] { return allowed; });
    clock.scheduler.advance(19);
    EXPECT_EQ(u->state().kind, Kind::idle);
    clock.scheduler.advance(1);
    EXPECT_EQ(u->state().kind, Kind::checking);
    ASSERT_TRUE(settle(*u));
    EXPECT_EQ(u->state().kind, Kind::available);

    allowed = false;
    auto quiet = fileFeed(feedOf({releaseJson("1.1", dl)}));
    quiet->start([&] { return allowed; });
    clock.scheduler.advance(20);
    EXPECT_EQ(quiet->state().kind, Kind::idle);

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

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
