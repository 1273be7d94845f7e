// tavrin-update-check: a test harness for the updater, with its trust keys
// given as files.
//
//   verify --dev-pub D.pem --release-pub R.pem --current VERSION[,BUILD]
//          [--version V] [--build B] ARCHIVE.zip
//     Expands and checks the archive in a fresh work directory against a
//     release record made from the bundle's own Info.json (or the given
//     version and build), and prints "ok" or the error's name.
//   run --dev-pub D.pem --release-pub R.pem --bundle PATH/Tavrin.app --feed FEED [--two-renames]
//     Runs the automatic install as if it were the copy installed at PATH,
//     through the real install and relaunch, and prints the final state.
//     FEED is a file: only a file feed installs by itself. --two-renames
//     swaps as on a file system without an atomic exchange.

#include "platform/defaults.h"
#include "update/bundle_info.h"
#include "update/bundle_swap.h"
#include "update/seal.h"
#include "update/updater.h"
#include "update/update_verify.h"
#include "update/zip_archive.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/stat.h>

#include <cstdio>

namespace {

int usage()
{
    std::fputs("usage: tavrin-update-check verify --dev-pub D.pem --release-pub R.pem --current VERSION[,BUILD]"
               " [--version V] [--build B] ARCHIVE.zip\n"
               "       tavrin-update-check run --dev-pub D.pem --release-pub R.pem --bundle PATH/Tavrin.app"
               " --feed FEED [--two-renames]\n",
               stderr);
    return 2;
}

QString option(QStringList& args, const QString& name)
{
    const qsizetype at = args.indexOf(name);
    if (at < 0 || at + 1 >= args.size())
        return {};
    const QString value = args.at(at + 1);
    args.remove(at, 2);
    return value;
}

int verify(QStringList args, const Seal::Keys& keys)
{
    const QString currentText = option(args, QStringLiteral("--current"));
    const QString versionArg = option(args, QStringLiteral("--version"));
    const QString buildArg = option(args, QStringLiteral("--build"));
    if (args.size() != 1 || currentText.isEmpty())
        return usage();
    const QString zip = QFileInfo(args[0]).absoluteFilePath();
    QString why;
    struct stat st {};
    const UniqueFd fd = Seal::openRegularFile(zip, QStringLiteral("the archive"), &why, &st);
    if (fd.fd < 0) {
        std::fprintf(stderr, "tavrin-update-check: %s\n", qPrintable(why));
        return 1;
    }
    const QStringList current = currentText.split(u',');
    const auto currentVersion = AppVersion::parse(current[0]);
    if (!currentVersion)
        return usage();
    const AppVersion key = currentVersion->with(current.size() > 1 ? current[1].toLongLong() : 0);

    Release release;
    release.version = versionArg;
    if (!buildArg.isEmpty())
        release.build = buildArg.toLongLong();
    if (versionArg.isEmpty()) {
        // The record the archive would have in a feed made for it.
        QTemporaryDir peek;
        if (peek.isValid() && ZipArchive::expand(zip, peek.path() + QStringLiteral("/x"))) {
            if (auto info = BundleInfo::read(peek.path() + QStringLiteral("/x/Tavrin.app"))) {
                release.version = info->version.value_or(QString());
                if (buildArg.isEmpty() && info->build != 0)
                    release.build = info->build;
            }
        }
    }
    Release::Download download;
    download.url = QUrl::fromLocalFile(zip).toString();
    download.size = st.st_size;
    download.sha256 = Seal::sha256File(fd.fd).value_or(QString());
    release.download = download;

    QTemporaryDir work;
    if (!work.isValid()) {
        std::fprintf(stderr, "tavrin-update-check: cannot make a work folder: %s\n", qPrintable(work.errorString()));
        return 1;
    }
    const auto outcome = UpdateVerify::verify(zip, work.path(), release, download, key, keys);
    std::puts(outcome.error ? UpdateErrors::name(*outcome.error) : "ok");
    return outcome.error ? 1 : 0;
}

int run(QStringList args, const Seal::Keys& keys)
{
    const QString bundle = QFileInfo(option(args, QStringLiteral("--bundle"))).absoluteFilePath();
    const QString feed = option(args, QStringLiteral("--feed"));
    const bool twoRenames = args.removeAll(QStringLiteral("--two-renames")) > 0;
    if (!args.isEmpty() || feed.isEmpty())
        return usage();

    QTemporaryDir scratch;
    Defaults defaults(scratch.path() + QStringLiteral("/defaults.conf"));
    defaults.set(QStringLiteral("updateAutoInstall"), true);

    // As the app does: an install cut short there is undone before the
    // version is read.
    Updater::Setup setup = Updater::Setup::standard(bundle);
    setup.feedURL = Updater::Setup::feedFrom({QStringLiteral("-updateFeed"), feed}, Updater::defaultFeed());
    // Only a file feed installs by itself; over https the updater would
    // wait for a click that never comes.
    if (!setup.feedURL.isLocalFile()) {
        std::fputs("tavrin-update-check: run takes a feed file (a path or a file: URL); an https feed is "
                   "checked and installed from the app itself\n",
                   stderr);
        return 2;
    }
    setup.keys = keys;
    setup.defaults = &defaults;
    setup.swap.twoRenames = twoRenames;
    setup.terminate = [] { QCoreApplication::quit(); };
    Updater updater(setup);
    QObject::connect(&updater, &Updater::stateChanged, [&updater] {
        const auto kind = updater.state().kind;
        if (kind == Updater::State::Kind::failed || kind == Updater::State::Kind::upToDate)
            QCoreApplication::quit();
    });
    updater.start([] { return false; });
    // A start that already failed (a previous copy left aside) has nothing
    // to wait for.
    if (updater.state().kind != Updater::State::Kind::failed)
        QCoreApplication::exec();

    const Updater::State& s = updater.state();
    if (s.kind == Updater::State::Kind::failed)
        std::printf("failed: %s\n", qPrintable(s.message));
    else
        std::printf("%s\n", s.name());
    return s.kind == Updater::State::Kind::installing ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    args.removeFirst();
    if (args.isEmpty())
        return usage();
    const QString command = args.takeFirst();
    const QString devPath = option(args, QStringLiteral("--dev-pub"));
    const QString relPath = option(args, QStringLiteral("--release-pub"));
    if (devPath.isEmpty() || relPath.isEmpty())
        return usage();
    QString why;
    auto dev = Seal::readKeyFile(devPath, &why);
    auto rel = dev ? Seal::readKeyFile(relPath, &why) : std::nullopt;
    if (!dev || !rel) {
        std::fprintf(stderr, "tavrin-update-check: %s: %s\n", dev ? "--release-pub" : "--dev-pub", qPrintable(why));
        return 1;
    }
    Seal::Keys keys{{*dev}, {*rel}};
    if (command == u"verify")
        return verify(args, keys);
    if (command == u"run")
        return run(args, keys);
    return usage();
}
