#include "update/update_verify.h"

#include "update/bundle_info.h"
#include "update/zip_archive.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

UpdateVerify::Outcome UpdateVerify::verify(const QString& zip, const QString& work, const Release& release,
                                           const Release::Download& download, const AppVersion& current,
                                           const Seal::Keys& keys, const QString& arch)
{
    const QByteArray zipPath = QFile::encodeName(zip);
    struct stat st {};
    if (download.size < 1 || ::lstat(zipPath.constData(), &st) != 0 || !S_ISREG(st.st_mode)
        || st.st_size != download.size)
        return {UpdateError::sizeMismatch, {}};

    {
        const int fd = ::open(zipPath.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            return {UpdateError::checksumMismatch, {}};
        const auto digest = Seal::sha256File(fd);
        ::close(fd);
        if (!digest || *digest != download.sha256.trimmed().toLower())
            return {UpdateError::checksumMismatch, {}};
    }

    const QString expanded = work + QStringLiteral("/expanded");
    const QString bundle = expanded + QStringLiteral("/Tavrin.app");
    bool noSpace = false;
    if (!ZipArchive::expand(zip, expanded, nullptr, {}, &noSpace))
        return {UpdateError::extractFailed, {}, noSpace};
    if (::lstat(QFile::encodeName(bundle).constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return {UpdateError::extractFailed, {}};

    switch (Seal::check(bundle, keys, arch)) {
    case Seal::Verdict::signatureInvalid: return {UpdateError::signatureInvalid, {}};
    case Seal::Verdict::notarizationFailed: return {UpdateError::notarizationFailed, {}};
    case Seal::Verdict::ok: break;
    }

    const auto info = BundleInfo::read(bundle);
    if (!info || !info->version || *info->version != release.version || info->build != release.build.value_or(0))
        return {UpdateError::versionMismatch, {}};
    const auto version = AppVersion::parseExact(*info->version);
    if (!version || !(current < version->with(info->build)))
        return {UpdateError::versionMismatch, {}};
    return {std::nullopt, bundle};
}
