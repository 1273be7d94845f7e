// tavrin-seal: seals, attests and zips a bundle for release, and prints the
// feed's download record of an archive. Sealing sets modes that expansion
// would not keep (a folder made under umask 002, a setuid bit) to the ones
// it will, one line on standard error for each, and refuses what no
// expanded copy could pass, such as a link that leads out of the bundle or
// a file its owner cannot read. Only a folder named Tavrin.app is zipped,
// and only into an archive the updater would expand: an entry that would
// deflate past its ratio is stored, one line on standard error for each.
// A bundle is zipped only when what goes into the archive is exactly what
// its seal lists, which needs no key. The feed's record is made only for an
// archive the updater would install: every check it runs, the seal and the
// attestation against the public keys given, or this build's own.
//
//   tavrin-seal seal --dev-key KEY.pem BUNDLE
//   tavrin-seal attest --release-key KEY.pem BUNDLE
//   tavrin-seal zip [--store] BUNDLE OUT.zip
//   tavrin-seal feed-entry [--dev-pub D.pem --release-pub R.pem] OUT.zip URL

#include "update/app_version.h"
#include "update/bundle_info.h"
#include "update/seal.h"
#include "update/update_error.h"
#include "update/update_verify.h"
#include "update/zip_archive.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

namespace {

constexpr const char* bundleName = "Tavrin.app";

int usage()
{
    std::fputs("usage: tavrin-seal seal --dev-key KEY.pem BUNDLE\n"
               "       tavrin-seal attest --release-key KEY.pem BUNDLE\n"
               "       tavrin-seal zip [--store] BUNDLE OUT.zip\n"
               "       tavrin-seal feed-entry [--dev-pub D.pem --release-pub R.pem] OUT.zip URL\n",
               stderr);
    return 2;
}

int failed(const QString& why)
{
    std::fprintf(stderr, "tavrin-seal: %s\n", why.isEmpty() ? "failed" : qPrintable(why));
    return 1;
}

// The public keys for feed-entry: the files given before the archive, both
// or neither, or else this build's own. Nothing, with a reason, when a file
// cannot be read or there are none.
std::optional<Seal::Keys> keysFrom(QStringList& args, QString* why)
{
    QString dev;
    QString release;
    while (args.size() > 2 && args.size() % 2 == 0 && (args[0] == u"--dev-pub" || args[0] == u"--release-pub")) {
        (args[0] == u"--dev-pub" ? dev : release) = args[1];
        args.remove(0, 2);
    }
    if (dev.isEmpty() != release.isEmpty()) {
        *why = QStringLiteral("give both --dev-pub and --release-pub, or neither for this build's own keys");
        return std::nullopt;
    }
    if (dev.isEmpty()) {
        if (Seal::builtIn().dev.empty() || Seal::builtIn().release.empty()) {
            *why = QStringLiteral("this build has no keys of its own to check the archive with: give --dev-pub and --release-pub");
            return std::nullopt;
        }
        return Seal::builtIn();
    }
    QString fault;
    auto devPem = Seal::readKeyFile(dev, &fault);
    if (!devPem) {
        *why = QStringLiteral("--dev-pub: ") + fault;
        return std::nullopt;
    }
    auto releasePem = Seal::readKeyFile(release, &fault);
    if (!releasePem) {
        *why = QStringLiteral("--release-pub: ") + fault;
        return std::nullopt;
    }
    return Seal::Keys{{*devPem}, {*releasePem}};
}

// The feed's record of the archive, once every check the updater runs on a
// download has passed: the record says this archive's size and digest and
// the version its bundle holds, and an installed copy of any older version
// would take it.
int feedEntry(QStringList args)
{
    QString why;
    const auto keys = keysFrom(args, &why);
    if (!keys)
        return failed(why);
    if (args.size() != 2)
        return usage();
    struct stat st {};
    const UniqueFd fd = Seal::openRegularFile(args[0], QStringLiteral("the archive"), &why, &st);
    if (fd.fd < 0)
        return failed(why);
    const QString refused = QStringLiteral("the updater would refuse %1: %2").arg(args[0]);
    if (!ZipArchive::admits(fd.fd, &why))
        return failed(refused.arg(why));
    const auto digest = ::lseek(fd.fd, 0, SEEK_SET) == 0 ? Seal::sha256File(fd.fd) : std::nullopt;
    if (!digest)
        return failed(QStringLiteral("cannot read ") + args[0]);

    QTemporaryDir work;
    if (!work.isValid())
        return failed(QStringLiteral("cannot make a work folder: ") + work.errorString());
    // The version the bundle inside says, which the record must repeat.
    Release release;
    if (ZipArchive::expand(args[0], work.path() + QStringLiteral("/peek"))) {
        if (const auto info = BundleInfo::read(work.path() + QStringLiteral("/peek/Tavrin.app"))) {
            release.version = info->version.value_or(QString());
            if (info->build != 0)
                release.build = info->build;
        }
    }
    Release::Download download;
    download.url = args[1];
    download.size = st.st_size;
    download.sha256 = *digest;
    release.download = download;
    const auto outcome = UpdateVerify::verify(args[0], work.path(), release, download,
                                              AppVersion{}.with(0), *keys);
    if (outcome.error)
        return failed(refused.arg(QStringLiteral("%1: %2").arg(QLatin1String(UpdateErrors::name(*outcome.error)),
                                                               UpdateErrors::message(*outcome.error))));
    // A fourth number plays no part in the order of releases: no installed
    // copy of the first three would ever be offered it.
    if (const auto version = AppVersion::parseExact(release.version); version && !version->fitsKey())
        return failed(refused.arg(QStringLiteral("its version %1 orders as %2, for releases are ordered by three "
                                                 "numbers and the build number alone: give the fourth number as "
                                                 "CFBundleVersion instead")
                                      .arg(release.version, version->with(0).text().section(u'.', 0, 2))));

    const QJsonObject entry{{"url", args[1]}, {"sha256", *digest}, {"size", qint64(st.st_size)}};
    std::fputs(QJsonDocument(entry).toJson(QJsonDocument::Indented).constData(), stdout);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    if (args.isEmpty())
        return usage();
    const QString command = args.takeFirst();
    QString why;

    if ((command == u"seal" || command == u"attest") && args.size() == 3
        && args[0] == (command == u"seal" ? u"--dev-key" : u"--release-key")) {
        auto key = Seal::readKeyFile(args[1], &why);
        if (!key)
            return failed(args[0] + QStringLiteral(": ") + why);
        QStringList normalised;
        const bool ok = command == u"seal" ? Seal::seal(args[2], *key, &why, &normalised)
                                           : Seal::attest(args[2], *key, &why);
        // The bundle itself now has the modes an expanded copy will have.
        for (const QString& line : normalised)
            std::fprintf(stderr, "tavrin-seal: normalised %s\n", qPrintable(line));
        return ok ? 0 : failed(why.isEmpty() ? QStringLiteral("cannot write the seal") : why);
    }
    if (command == u"zip") {
        const bool store = args.removeAll(QStringLiteral("--store")) > 0;
        if (args.size() != 2)
            return usage();
        // The updater expands only a folder of the bundle's own name; a
        // trailing slash or "." names the same folder.
        const QString bundle = QDir::cleanPath(QFileInfo(args[0]).absoluteFilePath());
        if (QFileInfo(bundle).fileName() != QLatin1String(bundleName))
            return failed(QStringLiteral("the bundle must be a folder named %1, not %2: the updater refuses any other")
                              .arg(QLatin1String(bundleName), args[0]));
        QStringList stored;
        const auto covered = [&bundle](const std::vector<ZipArchive::Written>& written) {
            return Seal::uncovered(bundle, written);
        };
        if (!ZipArchive::write(bundle, args[1], store, &why, &stored, covered))
            return failed(why);
        for (const QString& entry : stored)
            std::fprintf(stderr, "tavrin-seal: stored %s uncompressed: deflated, it would expand more than %d "
                                 "times over, which the updater refuses\n",
                         qPrintable(entry), int(ZipArchive::Limits().ratio));
        return 0;
    }
    if (command == u"feed-entry")
        return feedEntry(args);
    return usage();
}
