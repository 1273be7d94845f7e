// tavrin-seal: seals, attests and zips a bundle for release, and prints the
// feed's download record of an archive. Sealing sets modes that expansion
// would not keep (a folder made under umask 002, a setuid bit) to the ones
// it will, one line on standard error for each, and refuses what no
// expanded copy could pass, such as a link that leads out of the bundle or
// a file its owner cannot read. Only a folder named Tavrin.app is zipped,
// and only into an archive the updater would expand: an entry that would
// deflate past its ratio is stored, one line on standard error for each.
// The feed's record is made only for such an archive.
//
//   tavrin-seal seal --dev-key KEY.pem BUNDLE
//   tavrin-seal attest --release-key KEY.pem BUNDLE
//   tavrin-seal zip [--store] BUNDLE OUT.zip
//   tavrin-seal feed-entry OUT.zip URL

#include "update/seal.h"
#include "update/zip_archive.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

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
               "       tavrin-seal feed-entry OUT.zip URL\n",
               stderr);
    return 2;
}

int failed(const QString& why)
{
    std::fprintf(stderr, "tavrin-seal: %s\n", why.isEmpty() ? "failed" : qPrintable(why));
    return 1;
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
        if (!ZipArchive::write(bundle, args[1], store, &why, &stored))
            return failed(why);
        for (const QString& entry : stored)
            std::fprintf(stderr, "tavrin-seal: stored %s uncompressed: deflated, it would expand more than %d "
                                 "times over, which the updater refuses\n",
                         qPrintable(entry), int(ZipArchive::Limits().ratio));
        return 0;
    }
    if (command == u"feed-entry" && args.size() == 2) {
        struct stat st {};
        const UniqueFd fd = Seal::openRegularFile(args[0], QStringLiteral("the archive"), &why, &st);
        if (fd.fd < 0)
            return failed(why);
        if (!ZipArchive::admits(fd.fd, &why))
            return failed(QStringLiteral("the updater would refuse %1: %2").arg(args[0], why));
        const auto digest = ::lseek(fd.fd, 0, SEEK_SET) == 0 ? Seal::sha256File(fd.fd) : std::nullopt;
        if (!digest)
            return failed(QStringLiteral("cannot read ") + args[0]);
        const QJsonObject entry{{"url", args[1]}, {"sha256", *digest}, {"size", qint64(st.st_size)}};
        std::fputs(QJsonDocument(entry).toJson(QJsonDocument::Indented).constData(), stdout);
        return 0;
    }
    return usage();
}
