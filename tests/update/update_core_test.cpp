#include "bundle_kit.h"
#include "../platform/own_tmpfs.h"

#include "core/l10n.h"
#include "update/app_version.h"
#include "update/bundle_info.h"
#include "update/bundle_swap.h"
#include "update/release_feed.h"
#include "update/update_rules.h"
#include "update/update_verify.h"

#include <QDirIterator>
#include <QProcessEnvironment>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSysInfo>
#include <QtEndian>
#include <QTemporaryDir>

#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/socket.h>
#include <sys/statvfs.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <tuple>
#include <vector>

namespace {

std::optional<std::vector<int64_t>> fields(const char* text)
{
    auto v = AppVersion::parse(QString::fromUtf8(text));
    return v ? std::optional(v->fields) : std::nullopt;
}

AppVersion v(const char* text) { return *AppVersion::parse(QString::fromUtf8(text)); }

} // namespace

TEST(AppVersion, ParsesOnlyDottedDigits)
{
    EXPECT_EQ(fields("1.2.3"), (std::vector<int64_t>{1, 2, 3}));
    EXPECT_EQ(fields(" \n1.2\t"), (std::vector<int64_t>{1, 2}));
    EXPECT_EQ(fields("01.002"), (std::vector<int64_t>{1, 2}));
    EXPECT_EQ(fields("9223372036854775807"), (std::vector<int64_t>{INT64_MAX}));
    for (const char* bad : {"", ".", "1.", ".1", "1..2", "v1.2", "1.2-beta", "1 .2", "+1.2", "-1.2",
                            "9223372036854775808", "1.\xd9\xa3"})
        EXPECT_FALSE(fields(bad)) << bad;
}

TEST(AppVersion, OrdersByFieldsAndBuild)
{
    EXPECT_TRUE(v("01.002") == v("1.2.0"));
    EXPECT_TRUE(v("1.2") == v("1.2.0.0"));
    EXPECT_GT(v("1.10"), v("1.9"));
    EXPECT_GT(v("1.2.1"), v("1.2"));
    EXPECT_GT(v("2"), v("1.99.99"));
    EXPECT_GT(v("1.2").with(3), v("1.2").with(2));
    EXPECT_GT(v("1.2.1").with(0), v("1.2").with(999));
    EXPECT_EQ(v("1.2.3.4").with(5).fields, (std::vector<int64_t>{1, 2, 3, 5}));
    EXPECT_EQ(v("1.2").with(-5).fields, (std::vector<int64_t>{1, 2, 0, 0}));
    EXPECT_EQ(AppVersion::order(AppVersion{}, AppVersion{}), 0);
}

TEST(AppVersion, OnlyThreeNumbersAndTheBuildOrderReleases)
{
    // What the key keeps is all that orders: a fourth number is lost.
    EXPECT_TRUE(v("1.0.0").fitsKey());
    EXPECT_TRUE(v("1").fitsKey());
    EXPECT_TRUE(v("1.0.0.0").fitsKey());
    EXPECT_FALSE(v("1.0.0.7").fitsKey());
    EXPECT_FALSE(v("1.2.3.0.1").fitsKey());
    EXPECT_TRUE(v("1.0.0.7").with(0) == v("1.0.0").with(0));
}

TEST(ReleaseFeed, DecodesWholeOrNothing)
{
    const QByteArray entry = R"({"version":"1.2","date":"d","title":{"zh":"z","en":"e"},
        "notes":{"zh":["a"],"en":["b"]},"build":null,"extra":1})";
    auto feed = ReleaseFeed::decode(R"({"releases":[)" + entry + R"(],"other":true})");
    ASSERT_TRUE(feed);
    EXPECT_FALSE(feed->releases[0].build);
    EXPECT_FALSE(feed->releases[0].download);
    EXPECT_TRUE(ReleaseFeed::decode(R"({"releases":[]})"));
    EXPECT_FALSE(ReleaseFeed::decode("{}"));
    EXPECT_FALSE(ReleaseFeed::decode("[]"));
    EXPECT_FALSE(ReleaseFeed::decode(R"({"releases":[{"version":"1.2","date":"d"}]})"));
    EXPECT_FALSE(ReleaseFeed::decode(R"({"releases":[{"version":1,"date":"d","title":{"zh":"z","en":"e"},
        "notes":{"zh":[],"en":[]}}]})"));
    EXPECT_FALSE(ReleaseFeed::decode(R"({"releases":[{"version":"1","date":"d","title":{"zh":"z","en":"e"},
        "notes":{"zh":[],"en":[]},"download":{"url":"u","sha256":"s","size":1.5}}]})"));
    EXPECT_FALSE(ReleaseFeed::decode(R"({"minimumSystemVersion":5,"releases":[]})"));

    // The first equal version wins, builds aside; canonically equal texts
    // are one text.
    auto two = ReleaseFeed::decode(R"({"releases":[)" + entry + "," + QByteArray(entry).replace("\"1.2\"", "\"1.2.0\"")
                                   + "]}");
    ASSERT_TRUE(two);
    EXPECT_EQ(two->entryFor("1.2.0"), &two->releases[0]);
    EXPECT_EQ(two->entryFor("3"), nullptr);
    Release a = two->releases[0];
    Release b = a;
    a.title.en = QString::fromUtf8("caf\xc3\xa9");
    b.title.en = QString::fromUtf8("cafe\xcc\x81");
    EXPECT_EQ(a, b);

    // An entry may name the architecture it is for; a name that is not text
    // spoils the document.
    const QByteArray armed = QByteArray(entry).replace("\"extra\":1", "\"arch\":\"arm64\"");
    auto arch = ReleaseFeed::decode(R"({"releases":[)" + armed + "]}");
    ASSERT_TRUE(arch);
    EXPECT_EQ(arch->releases[0].arch, "arm64");
    EXPECT_FALSE(arch->releases[0] == feed->releases[0]);
    EXPECT_FALSE(ReleaseFeed::decode(R"({"releases":[)" + QByteArray(armed).replace("\"arm64\"", "64") + "]}"));
    // A version text is compared as written, so blanks around it keep a
    // release out of the choice, though the text alone would parse.
    for (const char* padded : {"1.2\n", " 1.2", "1.2\t"}) {
        a.version = padded;
        EXPECT_FALSE(a.key()) << padded;
    }
    a.version = "1.2";
    EXPECT_TRUE(a.key());
}

TEST(UpdateRules, AllowedDownloadMatrix)
{
    const QUrl https = UpdateRules::defaultFeed();
    const QString host = UpdateRules::siteHost();
    const QUrl file = QUrl::fromLocalFile("/tmp/feed.json");
    auto ok = [&](const QString& url, const QUrl& feed) { return UpdateRules::isAllowedDownload(QUrl(url), feed); };
    EXPECT_TRUE(ok("https://" + host + "/a.zip", https));
    EXPECT_TRUE(ok("HTTPS://" + host.toUpper() + "/a.zip", https));
    EXPECT_TRUE(ok("https://" + host + ":443/a.zip", https));
    EXPECT_FALSE(ok("https://" + host + ":8443/a.zip", https));
    EXPECT_FALSE(ok("https://dl." + host + "/a.zip", https));
    EXPECT_FALSE(ok("https://" + host + ".evil.example/a.zip", https));
    EXPECT_FALSE(ok("http://" + host + "/a.zip", https));
    EXPECT_FALSE(ok("https://user@" + host + "/a.zip", https));
    EXPECT_FALSE(ok("https://user:pw@" + host + "/a.zip", https));
    EXPECT_FALSE(ok("file:///tmp/a.zip", https));
    EXPECT_TRUE(ok("file:///tmp/a.zip", file));
    EXPECT_TRUE(ok("https://" + host + "/a.zip", file)) << "a file feed does not forbid the site";

    // A site on a port of its own serves from that port only.
    const QUrl site("https://127.0.0.1:18443");
    auto at = [&](const QString& url) { return UpdateRules::isAllowedDownload(QUrl(url), https, site); };
    EXPECT_TRUE(at("https://127.0.0.1:18443/Tavrin.zip"));
    EXPECT_FALSE(at("https://127.0.0.1/Tavrin.zip"));
    EXPECT_FALSE(at("https://127.0.0.1:443/Tavrin.zip"));
    EXPECT_FALSE(at("https://localhost:18443/Tavrin.zip"));
}

TEST(UpdateRules, InstallBlocker)
{
    L10n::setChinese(false);
    QTemporaryDir dir;
    QDir().mkpath(dir.path() + "/AppTranslocation/x/Tavrin.app");
    EXPECT_FALSE(UpdateRules::installBlocker(dir.path() + "/Tavrin.app"));
    auto notBundle = UpdateRules::installBlocker(dir.path() + "/Tavrin.APP");
    ASSERT_TRUE(notBundle);
    EXPECT_TRUE(notBundle->startsWith("Tavrin is not running from an app bundle"));
    EXPECT_TRUE(notBundle->contains("~/Applications"));
    // The hint names the site to download from, and none in a build without one.
    EXPECT_EQ(notBundle->contains(UpdateRules::siteHost()), !UpdateRules::siteIsDefault());
    auto moved = UpdateRules::installBlocker(dir.path() + "/AppTranslocation/x/Tavrin.app");
    ASSERT_TRUE(moved);
    EXPECT_TRUE(moved->contains("temporary read-only location"));
    EXPECT_FALSE(moved->contains("macOS"));
    auto folder = UpdateRules::installBlocker("/nonexistent-folder/Tavrin.app");
    ASSERT_TRUE(folder);
    EXPECT_TRUE(folder->startsWith("The folder containing Tavrin is not writable"));
    L10n::setChinese(true);
    EXPECT_TRUE(UpdateRules::installBlocker(dir.path() + "/Tavrin.APP")->startsWith("当前不是从应用包运行"));
    EXPECT_TRUE(UpdateRules::installBlocker(dir.path() + "/Tavrin.APP")->contains("请把 Tavrin 拖进"));

    // A folder where others may rename entries: they could swap the
    // installed copy for their own.
    const QString shared = dir.path() + "/shared";
    QDir().mkpath(shared);
    const QByteArray sharedPath = QFile::encodeName(shared);
    // Tavrin is in a folder of the user's own: the mode is what to mend,
    // not where Tavrin lies.
    ::chmod(sharedPath.constData(), 0777);
    auto open = UpdateRules::installBlocker(shared + "/Tavrin.app");
    ASSERT_TRUE(open);
    EXPECT_EQ(*open, "其他用户也能写入 Tavrin 所在的文件夹 " + shared + "，无法安全地自动更新。请让它只有你可写（chmod go-w "
                         + shared + "）后重试。");
    L10n::setChinese(false);
    ::chmod(sharedPath.constData(), 0775);
    open = UpdateRules::installBlocker(shared + "/Tavrin.app");
    ASSERT_TRUE(open);
    EXPECT_EQ(*open, "Other users can write to " + shared + ", the folder containing Tavrin, so it can\u2019t update "
                         "itself safely. Make the folder writable only by you (chmod go-w " + shared
                         + "), then try again.");
    // The sticky bit keeps others from renaming the app, not from taking
    // its name while a swap has it free.
    ::chmod(sharedPath.constData(), 01777);
    open = UpdateRules::installBlocker(shared + "/Tavrin.app");
    ASSERT_TRUE(open);
    EXPECT_TRUE(open->startsWith("Other users can write to " + shared + ", the folder containing Tavrin"))
        << open->toStdString();
    ::chmod(sharedPath.constData(), 0755);
    if (::getuid() != 0)
        GTEST_SKIP() << "a folder of another user needs root to make";
    ASSERT_EQ(::chown(sharedPath.constData(), 65534, 65534), 0);
    open = UpdateRules::installBlocker(shared + "/Tavrin.app");
    ASSERT_TRUE(open);
    EXPECT_TRUE(open->startsWith("Other users can change the folder")) << open->toStdString();
}

TEST(UpdateRules, EveryFolderOnTheWayToTheAppIsHeldToOneRule)
{
    // Someone who may rename a folder above the app's could put one of
    // their own in its place.
    QTemporaryDir dir;
    const QString shared = dir.path() + "/shared";
    const QString apps = shared + "/apps";
    QDir().mkpath(apps);
    const QByteArray sharedPath = QFile::encodeName(shared);
    ::chmod(QFile::encodeName(apps).constData(), 0755);
    L10n::setChinese(false);
    EXPECT_FALSE(UpdateRules::installBlocker(apps + "/Tavrin.app"));

    ::chmod(sharedPath.constData(), 0777);
    auto open = UpdateRules::installBlocker(apps + "/Tavrin.app");
    ASSERT_TRUE(open);
    EXPECT_EQ(*open, "Other users can write to " + shared + ", a folder on the way to Tavrin, so Tavrin can\u2019t "
                     "update itself safely: they could put another program in its place. Make " + shared
                     + " writable only by its owner, or move Tavrin into a folder that only you or root can "
                       "change, then try again.");
    L10n::setChinese(true);
    EXPECT_EQ(*UpdateRules::installBlocker(apps + "/Tavrin.app"),
              "其他用户也能写入 Tavrin 路径上的文件夹 " + shared + "，无法安全地自动更新：他们可以把别的程序放在它的位置。请让 "
                  + shared + " 只有其所有者可写，或把 Tavrin 移到只有你或 root 能改动的文件夹，然后重试。");
    L10n::setChinese(false);
    // Reached through a link, the folders where it leads are the ones held.
    const QString link = dir.path() + "/Applications";
    ASSERT_EQ(::symlink(QFile::encodeName(apps).constData(), QFile::encodeName(link).constData()), 0);
    const auto unsafe = BundleSwap::unsafeFolderOnPath(link);
    ASSERT_TRUE(unsafe);
    EXPECT_EQ(unsafe->path, shared);
    EXPECT_EQ(unsafe->fault, UpdateErrors::FolderFault::othersWrite);

    // Sticky, as /tmp is, over a folder of the user's own: nobody else can
    // move that folder.
    ::chmod(sharedPath.constData(), 01777);
    EXPECT_FALSE(UpdateRules::installBlocker(apps + "/Tavrin.app"));
    EXPECT_FALSE(BundleSwap::unsafeFolderOnPath(link));
    ::chmod(sharedPath.constData(), 0755);

    if (::getuid() != 0)
        GTEST_SKIP() << "a folder of another user needs root to make";
    ASSERT_EQ(::chown(sharedPath.constData(), 65534, 65534), 0);
    open = UpdateRules::installBlocker(apps + "/Tavrin.app");
    ASSERT_TRUE(open);
    EXPECT_EQ(*open, shared + ", a folder on the way to Tavrin, belongs to another user, so Tavrin can\u2019t update "
                              "itself safely: that user could put another program in its place. Move Tavrin into a "
                              "folder that only you or root can change, then try again.");
    ASSERT_EQ(::chown(sharedPath.constData(), 0, 0), 0);
}

TEST(BundleSwap, FolderChainRule)
{
    using Fault = UpdateErrors::FolderFault;
    const uid_t me = 1000;
    const auto dirOf = [](const char* path, uid_t owner, mode_t mode) {
        return BundleSwap::FolderOnPath{path, owner, mode_t(S_IFDIR | mode)};
    };
    const auto broken = [&](std::vector<BundleSwap::FolderOnPath> chain) -> std::pair<QString, Fault> {
        const auto unsafe = BundleSwap::firstUnsafeFolder(chain, me);
        return unsafe ? std::pair(unsafe->path, unsafe->fault) : std::pair(QString(), Fault::notAFolder);
    };
    const auto root = dirOf("/", 0, 0755);
    const auto home = dirOf("/home", 0, 0755);

    // The usual places.
    EXPECT_FALSE(BundleSwap::firstUnsafeFolder({dirOf("/home/u/Applications", me, 0755), dirOf("/home/u", me, 0700),
                                                home, root},
                                               me));
    EXPECT_FALSE(BundleSwap::firstUnsafeFolder({dirOf("/tmp/u/apps", me, 0755), dirOf("/tmp/u", me, 0700),
                                                dirOf("/tmp", 0, 01777), root},
                                               me));
    EXPECT_FALSE(BundleSwap::firstUnsafeFolder({dirOf("/opt/apps", 0, 0755), dirOf("/opt", 0, 0755), root}, me));

    // The app's own folder: nobody else may write in it, sticky or not.
    for (const mode_t mode : {01777, 0757, 0775, 01770})
        EXPECT_EQ(broken({dirOf("/tmp", 0, mode), root}), std::pair(QString("/tmp"), Fault::othersWrite)) << mode;

    // Above it: others may write only in a sticky folder over one of the
    // user's or root's own.
    EXPECT_EQ(broken({dirOf("/s/apps", me, 0755), dirOf("/s", me, 0777), root}),
              std::pair(QString("/s"), Fault::othersWrite));
    EXPECT_EQ(broken({dirOf("/s/apps", me, 0755), dirOf("/s", 0, 0775), root}),
              std::pair(QString("/s"), Fault::othersWrite));
    EXPECT_FALSE(BundleSwap::firstUnsafeFolder({dirOf("/s/apps", me, 0755), dirOf("/s", me, 01777), root}, me));
    EXPECT_EQ(broken({dirOf("/tmp/s/apps", me, 0755), dirOf("/tmp/s", 1234, 0755), dirOf("/tmp", 0, 01777), root}),
              std::pair(QString("/tmp/s"), Fault::othersOwn))
        << "the user's own folder inside another user's";
    EXPECT_EQ(broken({dirOf("/a/apps", me, 0755), dirOf("/a", me, 0755), dirOf("/", 1234, 0755)}),
              std::pair(QString("/"), Fault::othersOwn));
    EXPECT_EQ(broken({dirOf("/a/apps", me, 0755), {"/a", me, S_IFLNK | 0777}, root}),
              std::pair(QString("/a"), Fault::notAFolder));
}

// --- the seal and the whole verification ------------------------------------

class Verify : public ::testing::Test {
protected:
    static TestKeys& keys()
    {
        static TestKeys k;
        return k;
    }

    void SetUp() override
    {
        src = dir.path() + "/src/Tavrin.app";
        makeBundle(src, "1.0.1", 7);
    }

    // Seals, zips and verifies against a release record of `version`.
    std::optional<UpdateError> run(const QString& version = "1.0.1", std::optional<qint64> build = 7,
                                   const char* current = "1.0.0", QString arch = Seal::architecture())
    {
        const QString zip = dir.path() + "/Tavrin.zip";
        QFile::remove(zip);
        if (!ZipArchive::write(src, zip))
            return UpdateError::extractFailed;
        return verifyZip(zip, version, build, current, arch);
    }

    std::optional<UpdateError> verifyZip(const QString& zip, const QString& version = "1.0.1",
                                         std::optional<qint64> build = 7, const char* current = "1.0.0",
                                         QString arch = Seal::architecture(), QString sha = {})
    {
        const QByteArray bytes = readFile(zip);
        Release release;
        release.version = version;
        release.build = build;
        Release::Download dl{"file://" + zip, sha.isEmpty() ? Seal::sha256(bytes) : sha, bytes.size()};
        const QString work = dir.path() + "/work" + QString::number(++runs);
        QDir().mkpath(work);
        auto outcome = UpdateVerify::verify(zip, work, release, dl, v(current).with(0), keys().trust(), arch);
        if (!outcome.error) {
            EXPECT_TRUE(QFileInfo(outcome.bundle).isDir());
        }
        return outcome.error;
    }

    QTemporaryDir dir;
    QString src;
    int runs = 0;
};

TEST_F(Verify, AcceptsASealedAttestedNewerBundle)
{
    ASSERT_TRUE(sealAndAttest(src, keys()));
    EXPECT_EQ(run(), std::nullopt);
    // A digest in capitals with a trailing newline is the same digest.
    const QString zip = dir.path() + "/Tavrin.zip";
    EXPECT_EQ(verifyZip(zip, "1.0.1", 7, "1.0.0", Seal::architecture(), Seal::sha256(readFile(zip)).toUpper() + "\n"),
              std::nullopt);
}

TEST_F(Verify, RefusesWhatTheSealDoesNotCover)
{
    ASSERT_TRUE(sealAndAttest(src, keys()));
    writeFile(src + "/Contents/lib/libtavrin.so", "library bytez");
    EXPECT_EQ(run(), UpdateError::signatureInvalid) << "tampered byte";

    ASSERT_TRUE(sealAndAttest(src, keys()));
    writeFile(src + "/Contents/lib/extra.so", "x");
    EXPECT_EQ(run(), UpdateError::signatureInvalid) << "extra file";
    QFile::remove(src + "/Contents/lib/extra.so");

    // The setuid bit never survives expansion, so the sealed mode holds.
    ::chmod(QFile::encodeName(src + "/Contents/bin/tavrin").constData(), 04755);
    EXPECT_EQ(run(), std::nullopt) << "setuid bit";
    ::chmod(QFile::encodeName(src + "/Contents/bin/tavrin").constData(), 0755);

    ::symlink("../../../outside", QFile::encodeName(src + "/Contents/escape").constData());
    EXPECT_FALSE(Seal::seal(src, keys().dev.privatePem)) << "the sealer refuses it too";
    QFile::remove(src + "/Contents/escape");
    ASSERT_TRUE(sealAndAttest(src, keys()));
    ::symlink("../../../outside", QFile::encodeName(src + "/Contents/escape").constData());
    EXPECT_EQ(run(), UpdateError::signatureInvalid) << "link escaping the bundle";
    QFile::remove(src + "/Contents/escape");

    // A FIFO is refused without ever being opened for reading.
    ASSERT_EQ(::mkfifo(QFile::encodeName(src + "/Contents/pipe").constData(), 0644), 0);
    EXPECT_EQ(Seal::check(src, keys().trust()), Seal::Verdict::signatureInvalid);
    QFile::remove(src + "/Contents/pipe");
    EXPECT_EQ(run(), std::nullopt);

    // Each link stays inside on paper, but followed one after the other
    // they climb out: the sealer refuses what the check would.
    ::symlink("..", QFile::encodeName(src + "/Contents/lib/up").constData());
    ::symlink("lib/up/../..", QFile::encodeName(src + "/Contents/out").constData());
    QString why;
    EXPECT_FALSE(Seal::seal(src, keys().dev.privatePem, &why)) << "link chain";
    EXPECT_TRUE(why.contains("Contents/out")) << qPrintable(why);
    QFile::remove(src + "/Contents/out");
    ASSERT_TRUE(sealAndAttest(src, keys()));
    EXPECT_EQ(run(), std::nullopt) << "a link up to a folder inside";
}

TEST_F(Verify, RefusesForeignKeysAndTickets)
{
    TestKeys other;
    ASSERT_TRUE(Seal::seal(src, other.dev.privatePem));
    ASSERT_TRUE(Seal::attest(src, keys().release.privatePem));
    EXPECT_EQ(run(), UpdateError::signatureInvalid) << "foreign developer key";

    writeFile(src + "/Contents/lib/libtavrin.so", "another library");
    ASSERT_TRUE(Seal::seal(src, keys().dev.privatePem));
    EXPECT_EQ(run(), UpdateError::notarizationFailed) << "ticket for another manifest";

    ASSERT_TRUE(Seal::attest(src, other.release.privatePem));
    EXPECT_EQ(run(), UpdateError::notarizationFailed) << "foreign release key";

    QFile::remove(src + "/Contents/_CodeSignature/Notarization");
    QFile::remove(src + "/Contents/_CodeSignature/Notarization.sig");
    EXPECT_EQ(run(), UpdateError::notarizationFailed) << "missing ticket";
}

TEST_F(Verify, RefusesVersionsAndArchitecture)
{
    ASSERT_TRUE(sealAndAttest(src, keys()));
    EXPECT_EQ(run("1.0.1", 7, "1.0.1"), std::nullopt) << "build 7 is newer than 1.0.1 build 0";
    EXPECT_EQ(run("1.0.1", 6), UpdateError::versionMismatch) << "build differs from the feed";
    EXPECT_EQ(run("1.0.1", std::nullopt), UpdateError::versionMismatch) << "feed without build";
    EXPECT_EQ(run("v1.0.1"), UpdateError::versionMismatch);
    EXPECT_EQ(run("1.0.1.0"), UpdateError::versionMismatch);
    EXPECT_EQ(run("1.0.1", 7, "1.0.2"), UpdateError::versionMismatch) << "older than the running copy";
    EXPECT_EQ(run("1.0.1", 7, "1.0.0", "sparc64"), UpdateError::signatureInvalid) << "another architecture";

    // The same text with a line break in the feed and in Info.json: the
    // release tool will not attest it, and a ticket made by hand still
    // does not pass.
    makeBundle(src, "1.0.1\n", 7);
    ASSERT_TRUE(Seal::seal(src, keys().dev.privatePem));
    EXPECT_FALSE(Seal::attest(src, keys().release.privatePem));
    const QByteArray ticket = R"({"identifier":"com.morvadel.Tavrin","team":"4172QZWM53","version":"1.0.1\n",)"
                              R"("build":7,"manifest":")"
        + Seal::sha256(readFile(src + "/Contents/_CodeSignature/CodeResources")).toUtf8() + "\"}";
    writeFile(src + "/Contents/_CodeSignature/Notarization", ticket);
    writeFile(src + "/Contents/_CodeSignature/Notarization.sig", *Seal::sign(ticket, keys().release.privatePem));
    EXPECT_EQ(run("1.0.1\n"), UpdateError::versionMismatch);

    // Equal version and build.
    makeBundle(src, "1.0.0", 0);
    ASSERT_TRUE(sealAndAttest(src, keys()));
    EXPECT_EQ(run("1.0.0", std::nullopt, "1.0.0"), UpdateError::versionMismatch);
}

TEST_F(Verify, SizeAndDigestComeFirst)
{
    ASSERT_TRUE(sealAndAttest(src, keys()));
    const QString zip = dir.path() + "/Tavrin.zip";
    ASSERT_TRUE(ZipArchive::write(src, zip));
    const QByteArray bytes = readFile(zip);
    Release release{"1.0.1", 7, "d", {}, {}, std::nullopt, std::nullopt};
    QDir().mkpath(dir.path() + "/w");
    auto check = [&](qint64 size, const QString& sha) {
        return UpdateVerify::verify(zip, dir.path() + "/w", release, {"u", sha, size}, v("1"), keys().trust()).error;
    };
    EXPECT_EQ(check(bytes.size() - 1, Seal::sha256(bytes)), UpdateError::sizeMismatch);
    EXPECT_EQ(check(0, Seal::sha256(bytes)), UpdateError::sizeMismatch);
    EXPECT_EQ(check(bytes.size(), QString(64, u'0')), UpdateError::checksumMismatch);
    EXPECT_FALSE(QFileInfo::exists(dir.path() + "/w/expanded")) << "nothing expanded before the digest matched";

    // A bundle not called Tavrin.app.
    QDir().rename(src, dir.path() + "/src/Other.app");
    const QString other = dir.path() + "/other.zip";
    ASSERT_TRUE(ZipArchive::write(dir.path() + "/src/Other.app", other));
    EXPECT_EQ(verifyZip(other), UpdateError::extractFailed);
}

TEST(BundleInfo, BuildNumberIsASignedDecimalText)
{
    QTemporaryDir d;
    writeFile(d.path() + "/Contents/Info.json", R"({"CFBundleShortVersionString":"1.0","CFBundleVersion":"+5"})");
    EXPECT_EQ(BundleInfo::read(d.path())->build, 5);
    for (const auto& [text, build] : std::vector<std::pair<const char*, int64_t>>{
             {"-3", -3}, {"007", 7}, {" 5", 0}, {"5\n", 0}, {"5x", 0}, {"+", 0}, {"+-5", 0}, {"", 0},
             {"9223372036854775807", INT64_MAX}, {"9223372036854775808", 0}, {"1e3", 0}})
        EXPECT_EQ(BundleInfo::buildNumber(text), build) << text;
}

TEST(Seal, ReadErrorIsNeverADigest)
{
    QTemporaryDir d;
    const int fd = ::open(QFile::encodeName(d.path()).constData(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(Seal::sha256File(fd), std::nullopt) << "a read that fails midway is not a shorter file";
    ::close(fd);
}

TEST(Seal, KeyFilesAreReadOnlyFromRegularFiles)
{
    QTemporaryDir d;
    writeFile(d.path() + "/key.pem", "key");
    ::symlink("key.pem", QFile::encodeName(d.path() + "/link.pem").constData());
    EXPECT_EQ(Seal::readKeyFile(d.path() + "/link.pem"), QByteArray("key"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(d.path() + "/fifo").constData(), 0600), 0);
    for (const QString& path : {d.path() + "/fifo", QString("/dev/null"), d.path()}) {
        QString why;
        EXPECT_FALSE(Seal::readKeyFile(path, &why)) << qPrintable(path);
        EXPECT_EQ(why, "the key file " + path + " is not a regular file");
    }
}

TEST_F(Verify, HandWrittenManifests)
{
    // Written by hand, in another key order and layout than the sealer's:
    // the check reads what was signed rather than comparing bytes.
    QTemporaryDir d;
    const QString b = d.path() + "/Tavrin.app";
    writeFile(b + "/Contents/Info.json", R"({"CFBundleShortVersionString":"2.0","CFBundleVersion":"3"})");
    writeFile(b + "/Contents/bin/tavrin", "run", 0755);
    const QByteArray info = readFile(b + "/Contents/Info.json");
    auto manifest = [&](bool withBin) {
        QByteArray m = "{ \"team\": \"4172QZWM53\", \"identifier\": \"com.morvadel.Tavrin\",\n \"architecture\": \""
            + Seal::architecture().toUtf8() + "\", \"files\": [\n"
            + "  {\"type\": \"dir\", \"path\": \"Contents\", \"mode\": 493},\n"
            + "  {\"sha256\": \"" + Seal::sha256(info).toUpper().toUtf8() + "\", \"size\": "
            + QByteArray::number(info.size()) + ", \"mode\": 420, \"type\": \"file\", \"path\": \"Contents/Info.json\"}";
        if (withBin)
            m += ",\n  {\"path\": \"Contents/bin\", \"type\": \"dir\", \"mode\": 493},\n"
                 "  {\"path\": \"Contents/bin/tavrin\", \"type\": \"file\", \"mode\": 493, \"size\": 3, \"sha256\": \""
                + Seal::sha256("run").toUtf8() + "\"}";
        return m + "\n]}";
    };
    for (bool withBin : {true, false}) {
        const QByteArray m = manifest(withBin);
        writeFile(b + "/Contents/_CodeSignature/CodeResources", m);
        writeFile(b + "/Contents/_CodeSignature/CodeResources.sig", *Seal::sign(m, keys().dev.privatePem));
        const QByteArray ticket = R"({"identifier":"com.morvadel.Tavrin","team":"4172QZWM53","version":"2.0",)"
                                  R"("build":3,"source":"","manifest":")" + Seal::sha256(m).toUtf8() + "\"}";
        writeFile(b + "/Contents/_CodeSignature/Notarization", ticket);
        writeFile(b + "/Contents/_CodeSignature/Notarization.sig", *Seal::sign(ticket, keys().release.privatePem));
        EXPECT_EQ(Seal::check(b, keys().trust()),
                  withBin ? Seal::Verdict::ok : Seal::Verdict::signatureInvalid) << withBin;
    }
}

// --- zip expansion ------------------------------------------------------------

namespace {

qint64 bytesUnder(const QString& path)
{
    qint64 total = 0;
    QDirIterator it(path, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        total += QFileInfo(it.next()).size();
    return total;
}

} // namespace

TEST(ZipArchive, RefusesUnsafeEntries)
{
    QTemporaryDir dir;
    int n = 0;
    auto expands = [&](const std::vector<ZEntry>& entries) {
        const QString zip = dir.path() + QString("/%1.zip").arg(++n);
        writeZip(zip, entries);
        return ZipArchive::expand(zip, dir.path() + QString("/out%1").arg(n));
    };
    EXPECT_TRUE(expands({{"Tavrin.app/", AE_IFDIR, "", 0755}, {"Tavrin.app/a", AE_IFREG, "x"}}));
    EXPECT_FALSE(expands({{"Tavrin.app/../../evil", AE_IFREG, "x"}}));
    EXPECT_FALSE(expands({{"/tmp/evil", AE_IFREG, "x"}}));
    // Zip has no hard links of its own; whatever an archive says, no entry
    // comes out sharing another's storage.
    expands({{"T/a", AE_IFREG, "x"}, {"T/b", AE_IFREG, "", 0644, "T/a", true}});
    struct stat linked {};
    ASSERT_EQ(::stat(QFile::encodeName(dir.path() + QString("/out%1/T/a").arg(n)).constData(), &linked), 0);
    EXPECT_EQ(linked.st_nlink, 1u) << "hard link";
    EXPECT_FALSE(expands({{"T/a", AE_IFREG, "x"}, {"T/a", AE_IFREG, "y"}})) << "duplicate";
    EXPECT_FALSE(expands({{"T/a", AE_IFREG, "x"}, {"T/./a", AE_IFREG, "y"}})) << "duplicate by another spelling";
    // Nothing is ever written through a link, even one inside.
    EXPECT_FALSE(expands({{"T/l", AE_IFLNK, "", 0777, "/tmp"}, {"T/l/evil", AE_IFREG, "x"}}));
    EXPECT_FALSE(QFileInfo::exists("/tmp/evil"));
    EXPECT_FALSE(expands({{"T/d", AE_IFIFO, "", 0644}})) << "FIFO";

    // The setuid bit and group or world write are masked away.
    ASSERT_TRUE(expands({{"T/s", AE_IFREG, "x", 06777}}));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(dir.path() + QString("/out%1/T/s").arg(n)).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0755u);
}

TEST(ZipArchive, ReadsOneFolderThatTheDirectoryAndHeadersAgreeOn)
{
    QTemporaryDir dir;
    const QString zip = dir.path() + "/a.zip";
    writeZip(zip, {{"T/", AE_IFDIR, "", 0755}, {"T/a", AE_IFREG, "alpha"}, {"T/b", AE_IFREG, "beta"}});
    const QByteArray good = readFile(zip);
    int n = 0;
    auto expands = [&](const QByteArray& bytes) {
        writeFile(zip, bytes);
        return ZipArchive::expand(zip, dir.path() + QString("/out%1").arg(++n));
    };
    EXPECT_TRUE(expands(good));
    QByteArray commented = good + "note";
    commented[good.size() - 2] = 4;
    EXPECT_TRUE(expands(commented)) << "a comment is part of the end record";
    EXPECT_FALSE(expands(commented + "x")) << "a byte after the end record";
    EXPECT_FALSE(expands("MZ" + good)) << "bytes before the first entry";
    EXPECT_FALSE(expands(QByteArray(good).replace(good.indexOf("T/a"), 3, "T/c"))) << "local name differs";
    EXPECT_FALSE(expands(QByteArray(good).replace(good.lastIndexOf("T/a"), 3, "T/c"))) << "central name differs";

    // The last entry left out of the directory, its local header still there.
    QByteArray hidden = good;
    const qsizetype last = hidden.lastIndexOf("PK\x01\x02");
    const qsizetype cut = hidden.size() - 22 - last;
    hidden.remove(last, cut);
    char* end = hidden.data() + hidden.size() - 22;
    qToLittleEndian<quint16>(quint16(qFromLittleEndian<quint16>(end + 8) - 1), end + 8);
    qToLittleEndian<quint16>(quint16(qFromLittleEndian<quint16>(end + 10) - 1), end + 10);
    qToLittleEndian<quint32>(quint32(qFromLittleEndian<quint32>(end + 12) - cut), end + 12);
    EXPECT_FALSE(expands(hidden)) << "an entry the directory does not count";

    writeZip(zip, {{"T/a", AE_IFREG, "alpha"}, {"U/b", AE_IFREG, "beta"}});
    EXPECT_FALSE(ZipArchive::expand(zip, dir.path() + "/two")) << "a second folder";
    writeZip(zip, {{"T/a", AE_IFREG, "alpha"}, {"README", AE_IFREG, "beta"}});
    EXPECT_FALSE(ZipArchive::expand(zip, dir.path() + "/file")) << "a file beside the folder";
}

TEST(ZipArchive, CapsEntriesAndExpansion)
{
    QTemporaryDir dir;
    std::vector<ZEntry> many;
    for (int i = 0; i <= 100000; ++i)
        many.push_back({"f" + std::to_string(i), AE_IFDIR, "", 0755});
    writeZip(dir.path() + "/many.zip", many);
    QString why;
    EXPECT_FALSE(ZipArchive::expand(dir.path() + "/many.zip", dir.path() + "/many", &why));
    EXPECT_EQ(why, "too many entries");
    EXPECT_FALSE(QFileInfo::exists(dir.path() + "/many")) << "refused before anything is written";

    // 64 MiB of zeros deflate to a few dozen KiB; the header then claims a
    // single KiB, so only the count of bytes written can stop it.
    const QString bomb = dir.path() + "/bomb.zip";
    writeZip(bomb, {{"T/zeros", AE_IFREG, std::string(64 << 20, '\0')}});
    QByteArray bytes = readFile(bomb);
    for (const char* sig : {"PK\x03\x04", "PK\x07\x08", "PK\x01\x02"}) {
        const int at = int(bytes.indexOf(sig));
        ASSERT_GE(at, 0);
        const int field = at + (sig[2] == 3 ? 22 : sig[2] == 7 ? 12 : 24);
        bytes[field] = 0;
        bytes[field + 1] = 4;
        bytes[field + 2] = 0;
        bytes[field + 3] = 0;
    }
    writeFile(bomb, bytes);
    EXPECT_FALSE(ZipArchive::expand(bomb, dir.path() + "/bomb"));
    EXPECT_LE(bytesUnder(dir.path() + "/bomb"), 50 * bytes.size());

    ZipArchive::Limits tight;
    tight.ratio = 1000000;
    tight.totalBytes = 1 << 20;
    writeZip(dir.path() + "/plain.zip", {{"T/zeros", AE_IFREG, std::string(8 << 20, '\0')}});
    EXPECT_FALSE(ZipArchive::expand(dir.path() + "/plain.zip", dir.path() + "/plain", nullptr, tight));
    EXPECT_LE(bytesUnder(dir.path() + "/plain"), 1 << 20);
}

TEST(ZipArchive, WritesOnlyArchivesExpansionTakes)
{
    QTemporaryDir dir;
    const QString src = dir.path() + "/src/Tavrin.app";
    makeBundle(src, "1.0.1");
    // 20 MiB of zeros deflate a thousand to one: with little else beside
    // them the archive would expand past the ratio.
    const QByteArray zeros(20 << 20, '\0');
    writeFile(src + "/Contents/lib/zeros", zeros);
    const QString zip = dir.path() + "/Tavrin.zip";
    QString why;
    ASSERT_TRUE(ZipArchive::write(src, zip, false, &why)) << qPrintable(why);
    EXPECT_TRUE(ZipArchive::expand(zip, dir.path() + "/out", &why)) << qPrintable(why);
    EXPECT_TRUE(readFile(dir.path() + "/out/Tavrin.app/Contents/lib/zeros") == zeros);

    // A failed write leaves what stood at the output as it was, and
    // nothing beside it.
    const QByteArray earlier = readFile(zip);
    const QStringList around = QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    ASSERT_EQ(::mkfifo(QFile::encodeName(src + "/Contents/pipe").constData(), 0600), 0);
    EXPECT_FALSE(ZipArchive::write(src, zip, false, &why));
    EXPECT_EQ(why, "not a file, folder or link: " + src + "/Contents/pipe");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), around);
    EXPECT_TRUE(readFile(zip) == earlier) << "the earlier archive is untouched";
    ::unlink(QFile::encodeName(src + "/Contents/pipe").constData());

    // Inside the bundle, by any road to it, the archive would hold itself.
    ::symlink("src/Tavrin.app/Contents", QFile::encodeName(dir.path() + "/contents").constData());
    for (const QString& inside : {src + "/self.zip", src + "/Contents/self.zip", dir.path() + "/contents/self.zip"}) {
        why.clear();
        EXPECT_FALSE(ZipArchive::write(src, inside, false, &why)) << qPrintable(inside);
        EXPECT_EQ(why, "the output " + inside + " lies inside the bundle " + src);
    }
    EXPECT_EQ(QDir(src).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"Contents"});
    EXPECT_FALSE(QFileInfo::exists(src + "/Contents/self.zip"));
}

TEST(ZipArchive, NamesAreUtf8AndFlaggedWhateverTheLocale)
{
    // This process never set a locale: it runs in "C", where libarchive
    // alone would take no name that is not ASCII.
    QTemporaryDir dir;
    const QString src = dir.path() + "/src/Tavrin.app";
    makeBundle(src, "1.0.1");
    const QString cafe = QString::fromUtf8("/Contents/lib/caf\xc3\xa9");
    writeFile(src + cafe, "bytes");
    // U+FFFD is a name like any other.
    writeFile(src + QString::fromUtf8("/Contents/lib/\xef\xbf\xbd"), "replacement");
    const QString zip = dir.path() + "/Tavrin.zip";
    QString why;
    ASSERT_TRUE(ZipArchive::write(src, zip, false, &why)) << qPrintable(why);
    QByteArray bytes = readFile(zip);
    const qsizetype name = bytes.indexOf("Tavrin.app/Contents/lib/caf\xc3\xa9");
    ASSERT_GT(name, 0);
    EXPECT_TRUE(uchar(bytes[name - 30 + 7]) & 0x08) << "the local header carries the UTF-8 flag";
    ASSERT_TRUE(ZipArchive::expand(zip, dir.path() + "/out", &why)) << qPrintable(why);
    EXPECT_EQ(readFile(dir.path() + "/out/Tavrin.app" + cafe), "bytes");

    // A name marked UTF-8 that is not: "café" in Latin-1, the flag kept.
    bytes.replace("caf\xc3\xa9", "caf\xe9\xe9");
    const QString forged = dir.path() + "/forged.zip";
    writeFile(forged, bytes);
    EXPECT_FALSE(ZipArchive::expand(forged, dir.path() + "/forged", &why));
    EXPECT_EQ(why, "a name marked UTF-8 that is not");

    // A name that is not UTF-8 is never written, and is named.
    const QByteArray latin1 = QFile::encodeName(src) + "/Contents/lib/caf\xe9";
    const int fd = ::open(latin1.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    ASSERT_GE(fd, 0);
    ::close(fd);
    EXPECT_FALSE(ZipArchive::write(src, dir.path() + "/latin1.zip", false, &why));
    EXPECT_EQ(why, "a name that is not UTF-8: " + src + "/Contents/lib/caf\\xe9");
    EXPECT_FALSE(QFileInfo::exists(dir.path() + "/latin1.zip"));
    EXPECT_FALSE(Seal::seal(src, TestKeys().dev.privatePem, &why));
    EXPECT_EQ(why, "a name that is not UTF-8 or holds a line break: Contents/lib/caf\\xe9");
}

TEST(ZipArchive, EverythingBesideContentsGoesIn)
{
    // Entries at the top of the bundle beside Contents, a folder among them.
    QTemporaryDir dir;
    const QString src = dir.path() + "/src/Tavrin.app";
    makeBundle(src, "1.0.1");
    writeFile(src + "/README", "read me");
    writeFile(src + "/share/doc/NOTICE", "notice");
    writeFile(src + "/LICENSE", "licence");
    const QString zip = dir.path() + "/Tavrin.zip";
    QString why;
    ASSERT_TRUE(ZipArchive::write(src, zip, false, &why)) << qPrintable(why);
    ASSERT_TRUE(ZipArchive::expand(zip, dir.path() + "/out", &why)) << qPrintable(why);
    EXPECT_EQ(readFile(dir.path() + "/out/Tavrin.app/README"), "read me");
    EXPECT_EQ(readFile(dir.path() + "/out/Tavrin.app/share/doc/NOTICE"), "notice");
    EXPECT_EQ(readFile(dir.path() + "/out/Tavrin.app/LICENSE"), "licence");
    EXPECT_EQ(readFile(dir.path() + "/out/Tavrin.app/Contents/lib/libtavrin.so"), "library bytes");
}

TEST(ZipArchive, NamesAndLinkTargetsExpandByteForByte)
{
    // "café" composed and decomposed are two names to the file system, and
    // a link names its target as its bytes say; libarchive alone would
    // read both in composed form.
    QTemporaryDir dir;
    const QString src = dir.path() + "/src/Tavrin.app";
    makeBundle(src, "1.0.1");
    const QByteArray lib = QFile::encodeName(src) + "/Contents/lib/";
    const QByteArray composed = "caf\xc3\xa9";
    const QByteArray decomposed = "cafe\xcc\x81";
    writeFile(QFile::decodeName(lib + composed), "composed");
    writeFile(QFile::decodeName(lib + decomposed), "decomposed");
    ASSERT_EQ(::symlink(decomposed.constData(), (lib + "to-decomposed").constData()), 0);
    ASSERT_EQ(::symlink(decomposed.constData(), (lib + "\xc3\xa9-link").constData()), 0);
    ASSERT_EQ(::mkdir((lib + "dir-a\xcc\x8a").constData(), 0755), 0);
    writeFile(QFile::decodeName(lib + "dir-a\xcc\x8a/inner"), "inner");

    const QString zip = dir.path() + "/Tavrin.zip";
    QString why;
    ASSERT_TRUE(ZipArchive::write(src, zip, false, &why)) << qPrintable(why);
    {
        const UniqueFd fd(::open(QFile::encodeName(zip).constData(), O_RDONLY | O_CLOEXEC));
        EXPECT_TRUE(ZipArchive::admits(fd.fd, &why)) << qPrintable(why);
    }
    ASSERT_TRUE(ZipArchive::expand(zip, dir.path() + "/out", &why)) << qPrintable(why);
    const QByteArray out = QFile::encodeName(dir.path()) + "/out/Tavrin.app/Contents/lib/";
    EXPECT_EQ(readFile(QFile::decodeName(out + composed)), "composed");
    EXPECT_EQ(readFile(QFile::decodeName(out + decomposed)), "decomposed");
    EXPECT_EQ(readFile(QFile::decodeName(out + "dir-a\xcc\x8a/inner")), "inner");
    for (const char* link : {"to-decomposed", "\xc3\xa9-link"}) {
        char target[64] = {};
        ASSERT_EQ(::readlink((out + link).constData(), target, sizeof target - 1), decomposed.size())
            << link;
        EXPECT_EQ(QByteArray(target), decomposed) << link;
    }
    // What comes out is what went in, to the byte: the seal holds.
    TestKeys keys;
    ASSERT_TRUE(sealAndAttest(src, keys));
    QFile::remove(zip);
    ASSERT_TRUE(ZipArchive::write(src, zip, false, &why)) << qPrintable(why);
    ASSERT_TRUE(ZipArchive::expand(zip, dir.path() + "/sealed", &why)) << qPrintable(why);
    EXPECT_EQ(Seal::check(dir.path() + "/sealed/Tavrin.app", keys.trust()), Seal::Verdict::ok);
}

TEST(ZipArchive, Utf8IsJudgedOnTheBytes)
{
    for (const char* good : {"", "plain", "caf\xc3\xa9", "\xe6\x96\x87", "\xf0\x9f\x93\x88", "\xef\xbf\xbd",
                             "\xf4\x8f\xbf\xbf"})
        EXPECT_TRUE(isUtf8(good)) << good;
    // Latin-1, a cut sequence, overlong forms, a surrogate, past U+10FFFF.
    for (const char* bad : {"caf\xe9", "\xe6\x96", "\xc0\xaf", "\xe0\x80\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80",
                            "\xf8\x88\x80\x80\x80", "\x80"})
        EXPECT_FALSE(isUtf8(bad)) << QByteArray(bad).toHex().constData();
    EXPECT_EQ(shownName("caf\xe9/\xe6\x96\x87\n"), QString::fromUtf8("caf\\xe9/\xe6\x96\x87\\x0a"));
}

TEST(ZipArchive, StoresOnlyWhatWouldExpandTooFar)
{
    QTemporaryDir dir;
    // What expansion refuses, the check before it refuses with the same
    // words, without writing.
    const QString bomb = dir.path() + "/bomb.zip";
    writeZip(bomb, {{"T/", AE_IFDIR, "", 0755}, {"T/zeros", AE_IFREG, std::string(8 << 20, '\0')}});
    QString admitted, expanded;
    {
        const UniqueFd fd(::open(QFile::encodeName(bomb).constData(), O_RDONLY | O_CLOEXEC));
        EXPECT_FALSE(ZipArchive::admits(fd.fd, &admitted));
    }
    EXPECT_FALSE(ZipArchive::expand(bomb, dir.path() + "/bomb", &expanded));
    EXPECT_TRUE(admitted.startsWith("expands to more than")) << qPrintable(admitted);
    EXPECT_EQ(admitted, expanded);
    EXPECT_FALSE(QFileInfo::exists(dir.path() + "/bomb"));

    // Zeros are stored; text that deflates a few times over is not.
    const QString src = dir.path() + "/src/Tavrin.app";
    makeBundle(src, "1.0.1");
    QByteArray digits(256 << 10, '0');
    QRandomGenerator random(3);
    for (char& c : digits)
        c = char('0' + random.bounded(10));
    writeFile(src + "/Contents/share/digits", digits);
    writeFile(src + "/Contents/lib/zeros", QByteArray(20 << 20, '\0'));
    QStringList stored;
    ASSERT_TRUE(ZipArchive::write(src, dir.path() + "/a.zip", false, nullptr, &stored));
    EXPECT_EQ(stored, QStringList{"Tavrin.app/Contents/lib/zeros"});
    EXPECT_LT(QFileInfo(dir.path() + "/a.zip").size(), (20 << 20) + qint64(digits.size()) * 2 / 3);

    // With enough else beside them the archive keeps the ratio as it is.
    QByteArray noise(1 << 20, '\0');
    for (char& c : noise)
        c = char(random.generate());
    writeFile(src + "/Contents/lib/noise", noise);
    stored.clear();
    ASSERT_TRUE(ZipArchive::write(src, dir.path() + "/b.zip", false, nullptr, &stored));
    EXPECT_TRUE(stored.isEmpty()) << qPrintable(stored.join(' '));
    EXPECT_LT(QFileInfo(dir.path() + "/b.zip").size(), 2 << 20);
    EXPECT_TRUE(ZipArchive::expand(dir.path() + "/b.zip", dir.path() + "/b"));
}

// --- the swap -----------------------------------------------------------------

TEST(BundleSwap, ChecksTheSealAgainJustBeforeTheSwap)
{
    TestKeys keys;
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path() + "/share"));
    const QString apps = home.path() + "/Applications";
    const QString installed = apps + "/Tavrin.app";
    const QString staged = home.path() + "/cache/expanded/Tavrin.app";
    makeBundle(installed, "1.0.0");
    ASSERT_TRUE(sealAndAttest(installed, keys));
    const QByteArray before = *Seal::manifest(installed, Seal::architecture());
    makeBundle(staged, "1.0.1", 0, "new library");
    ASSERT_TRUE(sealAndAttest(staged, keys));

    // Swapped in the time between verification and installation.
    writeFile(staged + "/Contents/bin/tavrin", "#!/bin/sh\necho owned\n", 0755);
    QDir().mkpath(apps + "/.Tavrin-update-stale1/Tavrin (previous).app");
    EXPECT_EQ(BundleSwap::replace(installed, staged, keys.trust()), UpdateError::signatureInvalid);
    EXPECT_EQ(*Seal::manifest(installed, Seal::architecture()), before);
    EXPECT_EQ(QDir(apps).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"Tavrin.app"}) << "stale and new hidden directories are gone";

    makeBundle(staged, "1.0.1", 0, "new library");
    ASSERT_TRUE(sealAndAttest(staged, keys));
    EXPECT_EQ(BundleSwap::replace(installed, staged, keys.trust()), std::nullopt);
    EXPECT_EQ(readFile(installed + "/Contents/lib/libtavrin.so"), "new library");
    EXPECT_EQ(Seal::check(installed, keys.trust()), Seal::Verdict::ok);
    EXPECT_EQ(QDir(apps).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"Tavrin.app"});
    // The versions of the copies in the trash: the stale one went there
    // too, under a name of its own.
    const auto trashed = [&] {
        QStringList versions;
        const QString files = home.path() + "/share/Trash/files/";
        for (const QString& name : QDir(files).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            if (name.startsWith("Tavrin (previous)"))
                versions << QJsonDocument::fromJson(readFile(files + name + "/Contents/Info.json"))
                                .object()
                                .value("CFBundleShortVersionString")
                                .toString("none");
        versions.sort();
        return versions;
    };
    EXPECT_EQ(trashed(), (QStringList{"1.0.0", "none"}));

    // A trash that cannot take the previous copy leaves it in the hidden
    // directory, and the next install puts it there.
    writeFile(home.path() + "/not-a-folder", "x");
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path() + "/not-a-folder/share"));
    makeBundle(staged, "1.0.2");
    ASSERT_TRUE(sealAndAttest(staged, keys));
    EXPECT_EQ(BundleSwap::replace(installed, staged, keys.trust()), std::nullopt);
    const QStringList left = QDir(apps).entryList({".Tavrin-update-*"}, QDir::Dirs | QDir::Hidden);
    ASSERT_EQ(left.size(), 1);
    EXPECT_TRUE(QFileInfo(apps + "/" + left[0] + "/Tavrin (previous).app").isDir());
    EXPECT_FALSE(QFileInfo::exists("files")) << "the trash never falls back to the working folder";

    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path() + "/share"));
    makeBundle(staged, "1.0.3");
    ASSERT_TRUE(sealAndAttest(staged, keys));
    EXPECT_EQ(BundleSwap::replace(installed, staged, keys.trust()), std::nullopt);
    EXPECT_EQ(QDir(apps).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"Tavrin.app"});
    EXPECT_EQ(trashed(), (QStringList{"1.0.0", "1.0.1", "1.0.2", "none"}));
    qunsetenv("XDG_DATA_HOME");
}

namespace {

// An installed bundle under a private home's Applications folder and a
// sealed staged one.
struct SwapScene {
    TestKeys keys;
    QTemporaryDir home;
    QString apps = home.path() + "/Applications";
    QString installed = apps + "/Tavrin.app";
    QString staged = home.path() + "/cache/expanded/Tavrin.app";
    QByteArray before;

    SwapScene()
    {
        qputenv("XDG_DATA_HOME", QFile::encodeName(home.path() + "/share"));
        makeBundle(installed, "1.0.0");
        sealAndAttest(installed, keys);
        before = *Seal::manifest(installed, Seal::architecture());
    }
    ~SwapScene() { qunsetenv("XDG_DATA_HOME"); }
    void stage(const QString& version = "1.0.1")
    {
        BundleSwap::removeTree(staged);
        makeBundle(staged, version, 0, "new library");
        sealAndAttest(staged, keys);
    }
    std::optional<UpdateError> replace(const BundleSwap::ReplaceOptions& options = {})
    {
        return BundleSwap::replace(installed, staged, keys.trust(), Seal::architecture(), options);
    }
    // The installed copy as it was, and nothing left beside it.
    bool untouched() const
    {
        return Seal::manifest(installed, Seal::architecture()) == before
            && QDir(apps).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
            == QStringList{"Tavrin.app"};
    }
    bool updated() const
    {
        return readFile(installed + "/Contents/lib/libtavrin.so") == "new library"
            && Seal::check(installed, keys.trust()) == Seal::Verdict::ok;
    }
};

} // namespace

TEST(BundleSwap, InstallsOnlyWhatWasChecked)
{
    SwapScene s;
    s.stage();
    const QByteArray apps = QFile::encodeName(s.apps);
    ::chmod(apps.constData(), 0777);
    EXPECT_EQ(s.replace(), UpdateError::replaceFailed) << "a folder others may rename in";
    ::chmod(apps.constData(), 0755);
    EXPECT_TRUE(s.untouched());

    // The staged folder replaced after its last check.
    BundleSwap::ReplaceOptions swapped;
    swapped.beforeExchange = [](const QString& hidden) {
        QDir().rename(hidden + "/Tavrin.app", hidden + "/checked");
        makeBundle(hidden + "/Tavrin.app", "6.6.6", 0, "planted");
    };
    EXPECT_EQ(s.replace(swapped), UpdateError::signatureInvalid);
    EXPECT_TRUE(s.untouched());

    // The hidden directory itself renamed away and another put at its
    // name: the checked copy still goes in, never the planted one.
    s.stage();
    swapped.beforeExchange = [](const QString& hidden) {
        QDir().rename(hidden, hidden + "-moved");
        makeBundle(hidden + "/Tavrin.app", "6.6.6", 0, "planted");
    };
    EXPECT_EQ(s.replace(swapped), std::nullopt);
    EXPECT_TRUE(s.updated());

    // Staged on another filesystem: copied in, then checked the same way.
    QTemporaryDir shm("/dev/shm/tavrin-test-XXXXXX");
    struct stat a {}, b {};
    if (shm.isValid() && ::stat("/dev/shm", &a) == 0 && ::stat(QFile::encodeName(s.apps).constData(), &b) == 0
        && a.st_dev != b.st_dev) {
        s.staged = shm.path() + "/Tavrin.app";
        s.stage("1.0.2");
        EXPECT_EQ(s.replace(), std::nullopt);
        EXPECT_TRUE(s.updated());
        s.staged = s.home.path() + "/cache/expanded/Tavrin.app";
    }

    if (::getuid() != 0)
        GTEST_SKIP() << "entries of another user need root to make";
    s.before = *Seal::manifest(s.installed, Seal::architecture());
    s.stage();
    ASSERT_EQ(::lchown(QFile::encodeName(s.staged + "/Contents/lib/libtavrin.so.1").constData(), 65534, 65534), 0);
    EXPECT_EQ(s.replace(), UpdateError::signatureInvalid) << "an entry another user owns";
    EXPECT_TRUE(s.untouched());
}

TEST(BundleSwap, NoSwapWhereOthersCouldTakeTheName)
{
    for (const bool twoRenames : {false, true}) {
        SCOPED_TRACE(twoRenames ? "two renames" : "exchange");
        SwapScene s;
        s.stage();
        BundleSwap::ReplaceOptions options;
        options.twoRenames = twoRenames;
        // Between the renames the name is free: in a sticky folder anyone
        // may take it.
        const QByteArray apps = QFile::encodeName(s.apps);
        ::chmod(apps.constData(), 01777);
        EXPECT_EQ(s.replace(options), UpdateError::replaceFailed) << "a sticky folder others may write in";
        ::chmod(apps.constData(), 0755);
        EXPECT_TRUE(s.untouched());

        // A folder above it that others may rename entries in.
        const QByteArray home = QFile::encodeName(s.home.path());
        ::chmod(home.constData(), 0777);
        EXPECT_EQ(s.replace(options), UpdateError::replaceFailed) << "a folder above others may write in";
        ::chmod(home.constData(), 0700);
        EXPECT_TRUE(s.untouched());
        if (::getuid() == 0) {
            ASSERT_EQ(::chown(home.constData(), 65534, 65534), 0);
            EXPECT_EQ(s.replace(options), UpdateError::replaceFailed) << "a folder above of another user";
            ASSERT_EQ(::chown(home.constData(), 0, 0), 0);
            EXPECT_TRUE(s.untouched());
        }
        EXPECT_EQ(s.replace(options), std::nullopt);
        EXPECT_TRUE(s.updated());
    }
}

TEST(BundleSwap, TheSwapLockLiesBesideTheAppAndOnlyALiveHolderKeepsItTaken)
{
    SwapScene s;
    const QString lock = s.apps + "/.Tavrin.app.lock";
    const QByteArray lockPath = QFile::encodeName(lock);

    // A run that holds it is swapping: recovery moves nothing, not even
    // the previous copy of a swap cut between its renames.
    const QString hidden = s.apps + "/.Tavrin-update-Ab12Cd";
    ASSERT_EQ(::mkdir(QFile::encodeName(hidden).constData(), 0700), 0);
    ASSERT_TRUE(QDir().rename(s.installed, hidden + "/Tavrin (previous).app"));
    const int held = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    EXPECT_TRUE(BundleSwap::recover(s.installed).busy);
    EXPECT_FALSE(QFileInfo::exists(s.installed));

    // What a killed run leaves, its empty file held by no one (here closed
    // even to us), keeps no one out, and a finished recovery or swap
    // leaves nothing beside the app.
    ::close(held);
    ASSERT_EQ(::chmod(lockPath.constData(), 0), 0);
    const BundleSwap::Recovery recovered = BundleSwap::recover(s.installed);
    EXPECT_FALSE(recovered.busy);
    EXPECT_TRUE(recovered.present);
    EXPECT_TRUE(s.untouched());
    writeFile(lock, "", 0600);
    s.stage();
    EXPECT_EQ(s.replace(), std::nullopt);
    EXPECT_TRUE(s.updated());
    EXPECT_EQ(QDir(s.apps).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"Tavrin.app"});
}

namespace {

// An entry as far as a test can tell it apart: inode, mode, links and
// bytes, and the same of all it holds; never following a link.
QByteArray fingerprint(const QString& path)
{
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return "missing";
    QByteArray out = QByteArray::number(qulonglong(st.st_ino)) + ' ' + QByteArray::number(st.st_mode, 8) + ' '
        + QByteArray::number(qulonglong(st.st_nlink)) + ' ';
    if (S_ISREG(st.st_mode))
        out += readFile(path);
    else if (S_ISLNK(st.st_mode))
        out += QFile::encodeName(QFile::symLinkTarget(path));
    else if (S_ISDIR(st.st_mode))
        for (const QString& name : QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::System
                                                        | QDir::NoDotAndDotDot, QDir::Name))
            out += '[' + QFile::encodeName(name) + ' ' + fingerprint(path + '/' + name) + ']';
    return out;
}

} // namespace

TEST(BundleSwap, WhatElseStandsAtTheLocksNameIsLeftAsItIsAndSaid)
{
    // At the lock's name: things no run of ours makes there. A start (the
    // recovery) and an install each leave them exactly as they are, touch
    // nothing else, and say what stands in the way.
    using K = UpdateErrors::EntryKind;
    SwapScene s;
    const QString lock = s.apps + "/.Tavrin.app.lock";
    const QByteArray at = QFile::encodeName(lock);
    const QString kept = s.home.path() + "/kept.txt";
    const std::vector<std::tuple<const char*, K, std::function<void()>>> things = {
        {"a folder of the user's", K::folder,
         [&] {
             writeFile(lock + "/notes.txt", "mine");
             QDir().mkpath(lock + "/sealed");
             writeFile(lock + "/sealed/inside", "also mine");
             ::chmod(QFile::encodeName(lock + "/sealed").constData(), 0500);
         }},
        {"a file with text", K::file, [&] { writeFile(lock, "a note of the user's", 0600); }},
        {"a link", K::link, [&] { ::symlink(QFile::encodeName(kept).constData(), at.constData()); }},
        {"a FIFO", K::fifo, [&] { ::mkfifo(at.constData(), 0600); }},
        {"a socket", K::socket,
         [&] {
             sockaddr_un addr {};
             addr.sun_family = AF_UNIX;
             std::strncpy(addr.sun_path, at.constData(), sizeof addr.sun_path - 1);
             const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
             ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
             ::close(fd);
         }},
        {"a second name of a read-only file", K::file,
         [&] { ASSERT_EQ(::link(QFile::encodeName(kept).constData(), at.constData()), 0); }},
    };
    writeFile(kept, "", 0444);
    for (const auto& [what, kind, plant] : things) {
        SCOPED_TRACE(what);
        plant();
        const QByteArray before = fingerprint(lock) + fingerprint(kept);
        const BundleSwap::InTheWay said{QFileInfo(s.apps).canonicalFilePath() + "/.Tavrin.app.lock", kind};

        const BundleSwap::Recovery r = BundleSwap::recover(s.installed);
        EXPECT_EQ(r.lockInTheWay, said);
        EXPECT_FALSE(r.busy);
        s.stage();
        EXPECT_EQ(s.replace(), UpdateError::replaceFailed);
        EXPECT_EQ(BundleSwap::swapLockInTheWay(s.installed), said);
        EXPECT_EQ(fingerprint(lock) + fingerprint(kept), before);
        EXPECT_EQ(Seal::manifest(s.installed, Seal::architecture()), s.before);

        ::chmod(QFile::encodeName(lock + "/sealed").constData(), 0700);
        BundleSwap::removeTree(lock);
        EXPECT_EQ(s.replace(), std::nullopt) << "once it is moved away";
        EXPECT_TRUE(s.updated());
        BundleSwap::removeTree(s.installed);
        makeBundle(s.installed, "1.0.0");
        sealAndAttest(s.installed, s.keys);
    }
}

TEST(BundleSwap, TwoRenamesRollBackWhenTheSecondFails)
{
    SwapScene s;
    s.stage();
    BundleSwap::ReplaceOptions renames;
    renames.twoRenames = true;
    renames.betweenRenames = [&](const QString&) {
        EXPECT_FALSE(QFileInfo::exists(s.installed)) << "the installed copy is moved out first";
    };
    EXPECT_EQ(s.replace(renames), std::nullopt);
    EXPECT_TRUE(s.updated());
    EXPECT_TRUE(QFileInfo(s.home.path() + "/share/Trash/files/Tavrin (previous).app").isDir());

    s.before = *Seal::manifest(s.installed, Seal::architecture());
    s.stage("1.0.2");
    renames.betweenRenames = [](const QString& hidden) { QDir().rename(hidden + "/Tavrin.app", hidden + "/gone"); };
    EXPECT_EQ(s.replace(renames), UpdateError::replaceFailed);
    EXPECT_TRUE(s.untouched());
}

TEST(BundleSwap, OnlyACopyNewerThanTheInstalledOneGoesIn)
{
    // A staged copy that is sealed and attested but not newer than what is
    // installed, as an older copy of the user's own reached through a
    // swapped work folder: refused right before the exchange, on both paths.
    for (const bool twoRenames : {false, true}) {
        SCOPED_TRACE(twoRenames ? "two renames" : "exchange");
        SwapScene s;
        BundleSwap::ReplaceOptions options;
        options.twoRenames = twoRenames;
        for (const char* version : {"1.0.0", "0.9.9"}) {
            s.stage(version);
            EXPECT_EQ(s.replace(options), UpdateError::versionMismatch) << version;
            EXPECT_TRUE(s.untouched()) << version;
            EXPECT_EQ(Seal::check(s.staged, s.keys.trust()), Seal::Verdict::ok) << "the staged copy went back";
        }

        // The installed version is the one read right before the exchange:
        // here another install of 1.0.3 finished meanwhile.
        s.stage("1.0.2");
        options.beforeExchange = [&](const QString&) {
            BundleSwap::removeTree(s.installed);
            makeBundle(s.installed, "1.0.3", 0, "meanwhile");
            sealAndAttest(s.installed, s.keys);
        };
        EXPECT_EQ(s.replace(options), UpdateError::versionMismatch);
        EXPECT_EQ(readFile(s.installed + "/Contents/lib/libtavrin.so"), "meanwhile");
        EXPECT_EQ(QDir(s.apps).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                  QStringList{"Tavrin.app"});
        options.beforeExchange = {};
        s.stage("1.0.4");
        EXPECT_EQ(s.replace(options), std::nullopt);
        EXPECT_TRUE(s.updated());
    }
}

TEST(BundleSwap, NoCopyIsEverDeleted)
{
    // The staged name leads to the installed copy itself, as a work folder
    // swapped for one whose "expanded" is a link to the app's folder makes
    // it: the copy is moved aside, checked and found missing at its name.
    // It comes back whole, on both paths.
    for (const bool twoRenames : {false, true}) {
        SCOPED_TRACE(twoRenames ? "two renames" : "exchange");
        SwapScene s;
        BundleSwap::ReplaceOptions options;
        options.twoRenames = twoRenames;
        const QString link = s.home.path() + "/theirs/expanded";
        QDir().mkpath(s.home.path() + "/theirs");
        ASSERT_EQ(::symlink(QFile::encodeName(s.apps).constData(), QFile::encodeName(link).constData()), 0);
        EXPECT_NE(BundleSwap::replace(s.installed, link + "/Tavrin.app", s.keys.trust(), Seal::architecture(), options),
                  std::nullopt);
        EXPECT_TRUE(s.untouched());
        EXPECT_FALSE(QFileInfo::exists(s.home.path() + "/share/Trash/files")) << "nothing needed the trash";

        // A copy that is no staged one, found in the hidden directory on a
        // failure, goes to the trash, never away.
        s.stage();
        options.beforeExchange = [](const QString& hidden) {
            QDir().rename(hidden + "/Tavrin.app", hidden + "/checked");
            makeBundle(hidden + "/Tavrin.app", "6.6.6", 0, "planted");
        };
        EXPECT_EQ(s.replace(options), UpdateError::signatureInvalid);
        EXPECT_TRUE(s.untouched());
        EXPECT_EQ(readFile(s.staged + "/Contents/lib/libtavrin.so"), "new library") << "the staged copy went back";
        EXPECT_EQ(readFile(s.home.path() + "/share/Trash/files/Tavrin (update).app/Contents/lib/libtavrin.so"),
                  "planted");
    }
}

namespace {

// The Path= value of an info file, decoded.
QString restoresTo(const QString& infoFile)
{
    for (const QByteArray& line : readFile(infoFile).split('\n'))
        if (line.startsWith("Path="))
            return QFile::decodeName(QByteArray::fromPercentEncoding(line.mid(5)));
    return "(none)";
}

void writeInfo(const QString& file, const QString& path)
{
    writeFile(file, "[Trash Info]\nPath=" + QFile::encodeName(path).toPercentEncoding("/")
                        + "\nDeletionDate=2026-12-01T10:00:00\n", 0600);
}

} // namespace

TEST(BundleSwap, ThePreviousCopyRestoresBesideTheApp)
{
    // A file manager's Restore puts the previous copy where its entry says:
    // beside the app, not in the hidden directory, which is gone. In the
    // home trash, on both paths, and in the trash at the top of another
    // filesystem.
    if (ownTmpfs().isEmpty()) {
        for (const bool twoRenames : {false, true}) {
            SCOPED_TRACE(twoRenames ? "two renames" : "exchange");
            SwapScene s;
            s.stage();
            BundleSwap::ReplaceOptions options;
            options.twoRenames = twoRenames;
            ASSERT_EQ(s.replace(options), std::nullopt);
            const QString info = s.home.path() + "/share/Trash/info/Tavrin (previous).app.trashinfo";
            EXPECT_EQ(restoresTo(info), QFileInfo(s.apps).canonicalFilePath() + "/Tavrin (previous).app");
            EXPECT_TRUE(readFile(info).startsWith("[Trash Info]\nPath=/")) << "a full path in the home trash";
        }
        if (::getuid() != 0)
            GTEST_SKIP() << "in an ordinary user's namespace root's folders show as another user's";
        QTemporaryDir dir;
        const TmpfsRun run = rerunWithHomeTrashElsewhere(dir.path());
        if (run.unavailable())
            GTEST_SKIP() << "no user and mount namespace here: " << qPrintable(run.out);
        EXPECT_EQ(run.code, 0) << qPrintable(run.out);
        return;
    }
    // Inside: the app's folder is on a tmpfs of its own, so the copies go
    // to its $topdir trash, where Path= is relative to the top.
    TestKeys keys;
    const QString top = ownTmpfs();
    const QString apps = top + "/Applications";
    const QString installed = apps + "/Tavrin.app";
    const QString staged = top + "/staged/Tavrin.app";
    const QString trash = top + "/.Trash-" + QString::number(::getuid());
    makeBundle(installed, "1.0.0");
    ASSERT_TRUE(sealAndAttest(installed, keys));
    int version = 0;
    for (const bool twoRenames : {false, true}) {
        BundleSwap::removeTree(staged);
        makeBundle(staged, "1.0." + QString::number(++version));
        ASSERT_TRUE(sealAndAttest(staged, keys));
        BundleSwap::ReplaceOptions options;
        options.twoRenames = twoRenames;
        ASSERT_EQ(BundleSwap::replace(installed, staged, keys.trust(), Seal::architecture(), options), std::nullopt);
    }
    EXPECT_EQ(restoresTo(trash + "/info/Tavrin (previous).app.trashinfo"), "Applications/Tavrin (previous).app");
    EXPECT_EQ(restoresTo(trash + "/info/Tavrin (previous) 2.app.trashinfo"), "Applications/Tavrin (previous).app");

    // An orphan there, from a move cut short, goes at the next start.
    writeInfo(trash + "/info/Tavrin (previous) 3.app.trashinfo", "Applications/Tavrin (previous).app");
    EXPECT_TRUE(BundleSwap::recover(installed).present);
    EXPECT_FALSE(QFileInfo::exists(trash + "/info/Tavrin (previous) 3.app.trashinfo"));
    EXPECT_TRUE(QFileInfo::exists(trash + "/info/Tavrin (previous) 2.app.trashinfo"));
}

TEST(BundleSwap, RecoveryRemovesOnlyOrphanInfoFilesItMade)
{
    // A kill between writing the info file and moving the copy leaves the
    // info file without its entry. The next start removes those of ours,
    // and nothing else in the trash.
    SwapScene s;
    const QString trash = s.home.path() + "/share/Trash";
    const QString apps = QFileInfo(s.apps).canonicalFilePath();
    QDir().mkpath(trash + "/files");
    QDir().mkpath(trash + "/info");
    ::chmod(QFile::encodeName(trash).constData(), 0700);
    const QString info = trash + "/info/";
    const QStringList ours{"Tavrin (previous).app.trashinfo", "Tavrin (previous) 2.app.trashinfo",
                           "Tavrin 3.app.trashinfo"};
    writeInfo(info + ours[0], apps + "/.Tavrin-update-Ab12Cd/Tavrin (previous).app");  // as older runs wrote
    writeInfo(info + ours[1], apps + "/Tavrin (previous).app");
    writeInfo(info + ours[2], apps + "/.Tavrin-update-Ab12Cd/Tavrin.app");
    QStringList kept{
        "Tavrin.app.trashinfo",                   // the user threw away a Tavrin.app of their own
        "Notes.txt.trashinfo",                    // not ours at all
        "Tavrin (previous) 4.app.trashinfo",      // its entry is there
        "Tavrin (previous) 5.app.trashinfo",      // a link
        "Tavrin (previous) 6.app.trashinfo",      // two names
    };
    writeInfo(info + kept[0], apps + "/Tavrin.app");
    writeInfo(info + kept[1], s.home.path() + "/Notes.txt");
    writeInfo(info + kept[2], apps + "/Tavrin (previous).app");
    QDir().mkpath(trash + "/files/Tavrin (previous) 4.app");
    writeInfo(s.home.path() + "/elsewhere.trashinfo", apps + "/Tavrin (previous).app");
    ASSERT_EQ(::symlink(QFile::encodeName(s.home.path() + "/elsewhere.trashinfo").constData(),
                        QFile::encodeName(info + kept[3]).constData()),
              0);
    writeInfo(s.home.path() + "/second.trashinfo", apps + "/Tavrin (previous).app");
    ASSERT_EQ(::link(QFile::encodeName(s.home.path() + "/second.trashinfo").constData(),
                     QFile::encodeName(info + kept[4]).constData()),
              0);
    if (::getuid() == 0) {
        kept << "Tavrin (previous) 7.app.trashinfo";  // another account's
        writeInfo(info + kept.last(), apps + "/Tavrin (previous).app");
        ASSERT_EQ(::chown(QFile::encodeName(info + kept.last()).constData(), 65534, 65534), 0);
    }

    EXPECT_TRUE(BundleSwap::recover(s.installed).present);
    kept.sort();
    QStringList left = QDir(info).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    left.sort();
    EXPECT_EQ(left, kept);
    EXPECT_TRUE(QFileInfo::exists(s.home.path() + "/elsewhere.trashinfo"));

    // A move whose info file is there goes on under the first free name.
    s.stage();
    ASSERT_EQ(s.replace(), std::nullopt);
    EXPECT_TRUE(QFileInfo(trash + "/files/Tavrin (previous).app").isDir());
    EXPECT_EQ(restoresTo(info + "Tavrin (previous).app.trashinfo"), apps + "/Tavrin (previous).app");
}

namespace {

QStringList hiddenIn(const QString& apps)
{
    return QDir(apps).entryList({".Tavrin-update-*"}, QDir::Dirs | QDir::Hidden);
}

// The version a copy says it is, with its library's bytes.
std::string whichCopy(const QString& bundle)
{
    const auto info = BundleInfo::read(bundle);
    return ((info && info->version ? *info->version : QString("none")) + "/" + QString::number(info ? info->build : 0)
            + " " + readFile(bundle + "/Contents/lib/libtavrin.so"))
        .toStdString();
}

// Every way two hidden folders can be named and listed: the first copy in
// ".Tavrin-update-AAAAAA" or in "...-ZZZZZZ", made before or after the
// second. Nothing but what is in them may decide which goes back.
constexpr int namings = 4;
std::pair<QString, QString> names(int naming)
{
    const QString a = "/.Tavrin-update-AAAAAA", z = "/.Tavrin-update-ZZZZZZ";
    return naming & 1 ? std::pair{z, a} : std::pair{a, z};
}
bool firstMadeFirst(int naming) { return naming & 2; }

void stamp(const QString& path, time_t when)
{
    const struct timespec times[2] = {{when, 0}, {when, 0}};
    ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW);
}

} // namespace

TEST(BundleSwap, RecoveryPutsBackTheCopyOfTheCutSwap)
{
    // Real installs: one left its previous copy beside the app, for no
    // trash could take it (by the exchange or by two renames), then the
    // next was cut between its renames.
    for (const bool twoRenames : {false, true}) {
        for (int naming = 0; naming < namings; ++naming) {
            SwapScene s;
            const QString share = s.home.path() + "/share";
            writeFile(s.home.path() + "/not-a-folder", "x");
            qputenv("XDG_DATA_HOME", QFile::encodeName(s.home.path() + "/not-a-folder/share"));
            s.stage("1.0.1");
            BundleSwap::ReplaceOptions install;
            install.twoRenames = twoRenames;
            ASSERT_EQ(s.replace(install), std::nullopt);
            const QStringList leftover = hiddenIn(s.apps);
            ASSERT_EQ(leftover.size(), 1);

            struct Killed {};
            BundleSwap::ReplaceOptions cut;
            cut.twoRenames = true;
            cut.betweenRenames = [](const QString&) { throw Killed{}; };
            s.stage("1.0.2");
            // Kept from that install's own recovery, which would set the
            // copy beside the app.
            const QString parked = s.apps + "/parked";
            ASSERT_TRUE(QDir().rename(s.apps + "/" + leftover[0], parked));
            EXPECT_THROW(s.replace(cut), Killed);
            ASSERT_TRUE(QDir().rename(parked, s.apps + "/" + leftover[0]));
            QStringList both = hiddenIn(s.apps);
            both.removeAll(leftover[0]);
            ASSERT_EQ(both.size(), 1);
            ASSERT_FALSE(QFileInfo::exists(s.installed));

            const auto [cutName, leftName] = names(naming);
            const std::pair<QString, QString> renames[] = {{both[0], cutName}, {leftover[0], leftName}};
            for (int i : firstMadeFirst(naming) ? std::vector{0, 1} : std::vector{1, 0})
                ASSERT_TRUE(QDir().rename(s.apps + "/" + renames[i].first, s.apps + renames[i].second));

            const BundleSwap::Recovery r = BundleSwap::recover(s.installed);
            const QString how = QString("%1, naming %2").arg(twoRenames ? "two renames" : "exchange").arg(naming);
            EXPECT_TRUE(r.present) << qPrintable(how);
            EXPECT_EQ(whichCopy(s.installed), "1.0.1/0 new library") << qPrintable(how);
            // The new one that never went in stays, named; the older copy,
            // which no trash is safe for, comes out beside the app.
            EXPECT_EQ(r.left, QStringList{s.apps + cutName + "/Tavrin.app"}) << qPrintable(how);
            EXPECT_EQ(r.beside, QStringList{s.apps + "/Tavrin (previous).app"}) << qPrintable(how);
            EXPECT_EQ(whichCopy(s.apps + "/Tavrin (previous).app"), "1.0.0/0 library bytes");

            // With a trash, the new one goes there and no hidden folder is
            // left beside the app.
            qputenv("XDG_DATA_HOME", QFile::encodeName(share));
            EXPECT_TRUE(BundleSwap::recover(s.installed).left.isEmpty());
            EXPECT_EQ(QDir(s.apps).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                      (QStringList{"Tavrin (previous).app", "Tavrin.app"})) << qPrintable(how);
            EXPECT_EQ(QDir(share + "/Trash/files").entryList(QDir::Dirs | QDir::NoDotAndDotDot),
                      QStringList{"Tavrin (update).app"});
        }
    }
}

TEST(BundleSwap, WithNoCutSwapRecoveryPutsBackTheNewestCopy)
{
    // Two copies set aside, the app's name empty: which goes back, for
    // every naming and listing of their folders.
    struct Copy {
        QString version;
        qint64 build = 0;
        bool withIncoming = false;  // the cut swap's folder
        time_t changed = 0;         // when its folder last changed
    };
    const struct {
        const char* what;
        Copy first, second;
    } cases[] = {
        {"a higher version", {"1.0.1"}, {"1.0.0"}},
        {"a higher build", {"1.0.1", 12}, {"1.0.1", 9}},
        {"one version, set aside later", {"1.0.1", 0, false, 1700000000}, {"1.0.1", 0, false, 1600000000}},
        {"the cut swap's, though older", {"1.0.0", 0, true}, {"1.0.2"}},
    };
    for (const auto& c : cases) {
        for (int naming = 0; naming < namings; ++naming) {
            QTemporaryDir home;
            qputenv("XDG_DATA_HOME", QFile::encodeName(home.path() + "/share"));
            const QString apps = home.path() + "/Applications";
            QDir().mkpath(apps);
            const auto [firstName, secondName] = names(naming);
            const std::pair<QString, const Copy*> made[] = {{firstName, &c.first}, {secondName, &c.second}};
            for (int i : firstMadeFirst(naming) ? std::vector{0, 1} : std::vector{1, 0})
                ASSERT_EQ(::mkdir(QFile::encodeName(apps + made[i].first).constData(), 0700), 0);
            for (const auto& [name, copy] : made) {
                makeBundle(apps + name + "/Tavrin (previous).app", copy->version, copy->build,
                           copy == &c.first ? "first" : "second");
                if (copy->withIncoming)
                    makeBundle(apps + name + "/Tavrin.app", "1.0.3");
                if (copy->changed)
                    stamp(apps + name, copy->changed);
            }
            const BundleSwap::Recovery r = BundleSwap::recover(apps + "/Tavrin.app");
            EXPECT_TRUE(r.present) << c.what;
            EXPECT_EQ(readFile(apps + "/Tavrin.app/Contents/lib/libtavrin.so").toStdString(), "first")
                << c.what << ", naming " << naming;
            EXPECT_TRUE(r.left.isEmpty());
            EXPECT_EQ(QDir(apps).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                      QStringList{"Tavrin.app"});
        }
    }
    qunsetenv("XDG_DATA_HOME");
}

TEST(BundleSwap, OnAnotherFilesystemLeftoversGoToThatFilesystemsTrash)
{
    if (ownTmpfs().isEmpty()) {
        // A namespace of an ordinary user maps only that user: root's
        // folders above the tmpfs show as another user's, and no swap is
        // made under them.
        if (::getuid() != 0)
            GTEST_SKIP() << "in an ordinary user's namespace root's folders show as another user's";
        QTemporaryDir dir;
        const TmpfsRun run = rerunWithHomeTrashElsewhere(dir.path());
        if (run.unavailable())
            GTEST_SKIP() << "no user and mount namespace here: " << qPrintable(run.out);
        EXPECT_EQ(run.code, 0) << qPrintable(run.out);
        EXPECT_FALSE(QFileInfo::exists(dir.path() + "/share/Trash")) << "the home trash is on another filesystem";
        return;
    }
    // Inside: the app's folder is on a tmpfs of its own, the home trash is
    // not.
    TestKeys keys;
    const QString top = ownTmpfs();
    const QString apps = top + "/Applications";
    const QString installed = apps + "/Tavrin.app";
    const QString staged = top + "/staged/Tavrin.app";
    const QString trash = top + "/.Trash-" + QString::number(::getuid());
    makeBundle(installed, "1.0.0");
    ASSERT_TRUE(sealAndAttest(installed, keys));
    const auto replace = [&](const QString& version, const BundleSwap::ReplaceOptions& options) {
        BundleSwap::removeTree(staged);
        makeBundle(staged, version, 0, "new library");
        EXPECT_TRUE(sealAndAttest(staged, keys));
        return BundleSwap::replace(installed, staged, keys.trust(), Seal::architecture(), options);
    };
    const auto alone = [&] {
        return QDir(apps).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
            == QStringList{"Tavrin.app"};
    };

    // By two renames and by the exchange: each previous copy goes to the
    // trash at the top of the app's own filesystem.
    BundleSwap::ReplaceOptions renames;
    renames.twoRenames = true;
    EXPECT_EQ(replace("1.0.1", renames), std::nullopt);
    EXPECT_TRUE(alone());
    EXPECT_EQ(whichCopy(trash + "/files/Tavrin (previous).app"), "1.0.0/0 library bytes");
    EXPECT_EQ(replace("1.0.2", {}), std::nullopt);
    EXPECT_TRUE(alone());
    EXPECT_EQ(whichCopy(trash + "/files/Tavrin (previous) 2.app"), "1.0.1/0 new library");

    // A swap cut between its renames: its previous copy goes back and the
    // new one, never installed, to that trash.
    struct Killed {};
    BundleSwap::ReplaceOptions cut = renames;
    cut.betweenRenames = [](const QString&) { throw Killed{}; };
    EXPECT_THROW(replace("1.0.3", cut), Killed);
    BundleSwap::Recovery r = BundleSwap::recover(installed);
    EXPECT_TRUE(r.present);
    EXPECT_TRUE(r.left.isEmpty());
    EXPECT_EQ(whichCopy(installed), "1.0.2/0 new library");
    EXPECT_TRUE(alone());
    EXPECT_EQ(whichCopy(trash + "/files/Tavrin (update).app"), "1.0.3/0 new library");

    // No trash there that is safe to use: each previous copy comes out
    // beside the app under a "previous" name of its own, at the recovery
    // after its install.
    const QString elsewhere = top + "/elsewhere";
    QDir().mkpath(elsewhere);
    ASSERT_TRUE(QDir().rename(trash, top + "/old-trash"));
    ASSERT_EQ(::symlink(QFile::encodeName(elsewhere).constData(), QFile::encodeName(trash).constData()), 0);
    EXPECT_EQ(replace("1.0.4", renames), std::nullopt);
    EXPECT_EQ(replace("1.0.5", {}), std::nullopt);
    r = BundleSwap::recover(installed);
    EXPECT_TRUE(r.present);
    EXPECT_TRUE(r.left.isEmpty());
    EXPECT_EQ(r.beside, QStringList{apps + "/Tavrin (previous 2).app"});
    EXPECT_EQ(whichCopy(apps + "/Tavrin (previous).app"), "1.0.2/0 new library");
    EXPECT_EQ(whichCopy(apps + "/Tavrin (previous 2).app"), "1.0.4/0 new library");
    EXPECT_TRUE(hiddenIn(apps).isEmpty());
    EXPECT_TRUE(QDir(elsewhere).isEmpty());
    const QStringList left{apps + "/.Tavrin-update-Ab12Cd/Tavrin (previous).app",
                           apps + "/.Tavrin-update-Cd34Ef/Tavrin (previous).app"};
    L10n::setChinese(false);
    EXPECT_TRUE(UpdateErrors::copiesLeft(left).startsWith("Earlier copies of Tavrin couldn\u2019t be moved to the "
                                                          "Trash, as no trash there is safe to use"));
    EXPECT_TRUE(UpdateErrors::copiesLeft(left).contains(left[0] + ", " + left[1]));
    L10n::setChinese(true);
    EXPECT_EQ(UpdateErrors::copiesLeft({left[0]}),
              "旧版本的 Tavrin 无法移入回收站（没有可安全使用的回收站），已保留在 " + left[0] + "。请删除或移走后重试。");
    L10n::setChinese(false);
}

TEST(BundleSwap, ACopyWithNoRoomGoesWholeAndAPreviousCopyWithNoRoomInTheTrashIsNamed)
{
    // The app's folder is the top of a 4.2 MB filesystem of its own holding
    // a 2 MB copy; the staged copies lie on another, and are copied across.
    if (ownTmpfs().isEmpty()) {
        if (::getuid() != 0)
            GTEST_SKIP() << "in an ordinary user's namespace root's folders show as another user's";
        QTemporaryDir dir;
        const TmpfsRun run = rerunWithHomeTrashElsewhere(dir.path(), "4200k");
        if (run.unavailable())
            GTEST_SKIP() << "no user and mount namespace here: " << qPrintable(run.out);
        EXPECT_EQ(run.code, 0) << qPrintable(run.out);
        return;
    }
    TestKeys keys;
    const QString top = ownTmpfs();
    const QString apps = top + "/Applications";
    const QString installed = apps + "/Tavrin.app";
    QTemporaryDir elsewhere;
    const QString staged = elsewhere.path() + "/Tavrin.app";
    makeBundle(installed, "1.0.0");
    writeNoise(installed + "/Contents/lib/noise", 2 << 20, 1);
    ASSERT_TRUE(sealAndAttest(installed, keys));
    const auto stage = [&](int bytes) {
        BundleSwap::removeTree(staged);
        makeBundle(staged, "1.0.1", 0, "new library");
        writeNoise(staged + "/Contents/lib/noise", bytes, 2);
        ASSERT_TRUE(sealAndAttest(staged, keys));
    };
    const auto freeBlocks = [&] {
        struct statvfs fs {};
        return ::statvfs(QFile::encodeName(top).constData(), &fs) == 0 ? fs.f_bfree : 0;
    };
    const auto alone = [&] {
        return QDir(apps).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
            == QStringList{"Tavrin.app"};
    };

    // 3 MB: the copy runs out of room midway. What it made goes again, and
    // the disk is as free as it was.
    stage(3 << 20);
    const auto free = freeBlocks();
    bool noSpace = false;
    EXPECT_EQ(BundleSwap::replace(installed, staged, keys.trust(), Seal::architecture(), {}, &noSpace),
              UpdateError::replaceFailed);
    EXPECT_TRUE(noSpace);
    EXPECT_TRUE(alone());
    EXPECT_EQ(freeBlocks(), free);
    EXPECT_FALSE(QFileInfo::exists(top + "/.Trash-" + QString::number(::getuid())));
    EXPECT_EQ(whichCopy(installed), "1.0.0/0 library bytes");
    EXPECT_EQ(Seal::check(staged, keys.trust()), Seal::Verdict::ok) << "the staged copy stays as it was";

    // 1 MB fits, but then the disk fills: the install stands, and the
    // previous copy, whose trash entry has no room, waits in its hidden
    // folder. Recovery names it, and says it is for want of space.
    stage(1 << 20);
    const QString filler = top + "/filler";
    BundleSwap::ReplaceOptions filling;
    filling.beforeExchange = [&](const QString&) { fillUp(filler); };
    EXPECT_EQ(BundleSwap::replace(installed, staged, keys.trust(), Seal::architecture(), filling), std::nullopt);
    EXPECT_EQ(whichCopy(installed), "1.0.1/0 new library");
    BundleSwap::Recovery r = BundleSwap::recover(installed);
    EXPECT_TRUE(r.present);
    ASSERT_EQ(r.left.size(), 1);
    EXPECT_EQ(r.leftFor, UpdateErrors::TrashTrouble::noSpace);
    EXPECT_TRUE(r.beside.isEmpty());
    EXPECT_EQ(whichCopy(r.left[0]), "1.0.0/0 library bytes");
    L10n::setChinese(false);
    EXPECT_EQ(UpdateErrors::copiesLeft(r.left, r.leftFor),
              "An earlier copy of Tavrin couldn\u2019t be moved to the Trash, as there isn\u2019t enough space there, "
              "and was left at " + r.left[0] + ". Delete it or move it elsewhere, then try again.");
    L10n::setChinese(true);
    EXPECT_EQ(UpdateErrors::copiesLeft(r.left, r.leftFor),
              "旧版本的 Tavrin 无法移入回收站（所在磁盘空间不足），已保留在 " + r.left[0] + "。请删除或移走后重试。");
    L10n::setChinese(false);

    // With room again the trash takes it.
    ASSERT_EQ(::unlink(QFile::encodeName(filler).constData()), 0);
    r = BundleSwap::recover(installed);
    EXPECT_TRUE(r.left.isEmpty());
    EXPECT_TRUE(alone());
    EXPECT_EQ(whichCopy(top + "/.Trash-" + QString::number(::getuid()) + "/files/Tavrin (previous).app"),
              "1.0.0/0 library bytes");
}

TEST(BundleSwap, ACopyOutByTheExchangeGoesToTheTrashAsThePreviousCopy)
{
    // Killed right after the exchange: the new copy stands at the app's
    // name, the previous one waits in the hidden folder still called
    // "Tavrin.app". A swap cut before its exchange left its incoming copy,
    // newer than the one installed, the same way.
    SwapScene s;
    const QString exchanged = s.apps + "/.Tavrin-update-Ab12Cd";
    const QString cut = s.apps + "/.Tavrin-update-Ef34Gh";
    for (const QString& hidden : {exchanged, cut})
        ASSERT_EQ(::mkdir(QFile::encodeName(hidden).constData(), 0700), 0);
    ASSERT_TRUE(QDir().rename(s.installed, exchanged + "/Tavrin.app"));
    makeBundle(s.installed, "1.0.1", 0, "new library");
    makeBundle(cut + "/Tavrin.app", "1.0.2", 0, "never in");

    const BundleSwap::Recovery r = BundleSwap::recover(s.installed);
    EXPECT_TRUE(r.present);
    EXPECT_TRUE(r.left.isEmpty());
    EXPECT_EQ(QDir(s.apps).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"Tavrin.app"});
    // Restore puts the previous copy beside the running one, never over it.
    const QString trash = s.home.path() + "/share/Trash";
    const QString apps = QFileInfo(s.apps).canonicalFilePath();
    EXPECT_EQ(whichCopy(trash + "/files/Tavrin (previous).app"), "1.0.0/0 library bytes");
    EXPECT_EQ(restoresTo(trash + "/info/Tavrin (previous).app.trashinfo"), apps + "/Tavrin (previous).app");
    // The one that never went in is restored under a name of its own.
    EXPECT_EQ(whichCopy(trash + "/files/Tavrin (update).app"), "1.0.2/0 never in");
    EXPECT_EQ(restoresTo(trash + "/info/Tavrin (update).app.trashinfo"), apps + "/Tavrin (update).app");
    EXPECT_EQ(whichCopy(s.installed), "1.0.1/0 new library");
}

TEST(BundleSwap, WhereNoTrashIsSafeThePreviousCopyComesOutBesideTheApp)
{
    // The home trash is a link, or (as root can make it) a folder another
    // user made first: no trash is safe to use. Each previous copy comes
    // out of its hidden folder beside the app, under the next free
    // "previous" name, and the next install goes ahead.
    for (const bool othersTrash : {false, true}) {
        for (const bool twoRenames : {false, true}) {
            if (othersTrash && ::getuid() != 0)
                continue;
            SCOPED_TRACE(othersTrash ? "another user's trash" : "a link");
            SCOPED_TRACE(twoRenames ? "two renames" : "exchange");
            SwapScene s;
            const QString trash = s.home.path() + "/share/Trash";
            QDir().mkpath(s.home.path() + "/elsewhere");
            if (othersTrash) {
                QDir().mkpath(trash);
                ASSERT_EQ(::chown(QFile::encodeName(trash).constData(), 65534, 65534), 0);
            } else {
                QDir().mkpath(s.home.path() + "/share");
                ASSERT_EQ(::symlink(QFile::encodeName(s.home.path() + "/elsewhere").constData(),
                                    QFile::encodeName(trash).constData()),
                          0);
            }
            BundleSwap::ReplaceOptions options;
            options.twoRenames = twoRenames;
            QStringList beside;
            for (const char* version : {"1.0.1", "1.0.2"}) {
                s.stage(version);
                ASSERT_EQ(s.replace(options), std::nullopt) << version;
                EXPECT_EQ(hiddenIn(s.apps).size(), 1);
                const BundleSwap::Recovery r = BundleSwap::recover(s.installed);
                EXPECT_TRUE(r.present);
                EXPECT_TRUE(r.left.isEmpty());
                beside += r.beside;
            }
            EXPECT_EQ(beside, (QStringList{s.apps + "/Tavrin (previous).app", s.apps + "/Tavrin (previous 2).app"}));
            EXPECT_EQ(whichCopy(s.apps + "/Tavrin (previous).app"), "1.0.0/0 library bytes");
            EXPECT_EQ(whichCopy(s.apps + "/Tavrin (previous 2).app"), "1.0.1/0 new library");
            EXPECT_EQ(whichCopy(s.installed), "1.0.2/0 new library");
            EXPECT_TRUE(hiddenIn(s.apps).isEmpty());
            EXPECT_TRUE(QDir(s.home.path() + "/elsewhere").isEmpty());
        }
    }
    L10n::setChinese(false);
    const QStringList two{"/a/Tavrin (previous).app", "/a/Tavrin (previous 2).app"};
    EXPECT_EQ(UpdateErrors::copiesBeside(two.mid(0, 1)),
              "No trash there is safe to use, so the previous copy of Tavrin was left beside it at /a/Tavrin "
              "(previous).app. Delete it when you no longer need it.");
    EXPECT_TRUE(UpdateErrors::copiesBeside(two).contains("previous copies of Tavrin were left beside it at " +
                                                         two.join(", ")));
    L10n::setChinese(true);
    EXPECT_EQ(UpdateErrors::copiesBeside(two.mid(0, 1)),
              "没有可安全使用的回收站，上一版本的 Tavrin 已保留在 /a/Tavrin (previous).app。不再需要时可将其删除。");
    L10n::setChinese(false);
}

TEST(BundleSwap, WorkDirectoryIsPrivate)
{
    QTemporaryDir dir;
    const QString work = dir.path() + "/com.morvadel.Tavrin.update";
    // Something planted at the name, even a link to elsewhere, is replaced
    // and never followed.
    QDir().mkpath(dir.path() + "/elsewhere");
    writeFile(dir.path() + "/elsewhere/keep", "k");
    ::symlink(QFile::encodeName(dir.path() + "/elsewhere").constData(), QFile::encodeName(work).constData());
    ASSERT_TRUE(BundleSwap::freshWorkDirectory(work));
    EXPECT_TRUE(BundleSwap::isPrivateDirectory(work));
    EXPECT_EQ(readFile(dir.path() + "/elsewhere/keep"), "k");
    ::chmod(QFile::encodeName(work).constData(), 0755);
    EXPECT_FALSE(BundleSwap::isPrivateDirectory(work));
    ::chmod(QFile::encodeName(dir.path()).constData(), 0777);
    EXPECT_FALSE(BundleSwap::freshWorkDirectory(work)) << "a folder anyone may rename in";
    ::chmod(QFile::encodeName(dir.path()).constData(), 0700);
}

TEST(BundleSwap, TheWorkLockIsThisUsersAlone)
{
    QTemporaryDir dir;
    const QString cache = dir.path() + "/cache";
    const QString work = cache + "/com.morvadel.Tavrin.update";
    bool busy = false;
    auto held = BundleSwap::WorkLock::take(work, &busy);
    ASSERT_TRUE(held);
    EXPECT_FALSE(BundleSwap::WorkLock::take(work, &busy));
    EXPECT_TRUE(busy);
    held.reset();
    EXPECT_TRUE(BundleSwap::WorkLock::take(work, &busy));

    // Only root can leave another account's file here (the folder is ours
    // alone): it is neither taken nor removed, and said.
    if (::getuid() == 0) {
        const QString lock = work + ".lock";
        const QByteArray text = QByteArray::number(::getpid()) + "\n" + QSysInfo::machineHostName().toUtf8() + "\n";
        writeFile(lock, text);
        ASSERT_EQ(::chown(QFile::encodeName(lock).constData(), 65534, 65534), 0);
        std::optional<BundleSwap::InTheWay> inTheWay;
        EXPECT_FALSE(BundleSwap::WorkLock::take(work, &busy, &inTheWay));
        EXPECT_FALSE(busy);
        EXPECT_EQ(inTheWay, (BundleSwap::InTheWay{lock, UpdateErrors::EntryKind::file}));
        EXPECT_EQ(readFile(lock), text);
        ASSERT_EQ(::unlink(QFile::encodeName(lock).constData()), 0);
        ASSERT_EQ(::chown(QFile::encodeName(cache).constData(), 65534, 65534), 0);
        EXPECT_FALSE(BundleSwap::WorkLock::take(work, &busy)) << "a folder of another account";
        EXPECT_FALSE(busy);
        ASSERT_EQ(::chown(QFile::encodeName(cache).constData(), 0, 0), 0);
    }
    // A folder others may write in holds no lock of ours.
    ::chmod(QFile::encodeName(cache).constData(), 0777);
    EXPECT_FALSE(BundleSwap::WorkLock::take(work, &busy));
    EXPECT_FALSE(busy);
}
