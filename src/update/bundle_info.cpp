#include "update/bundle_info.h"

#include "update/seal.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

int64_t BundleInfo::buildNumber(const QString& text)
{
    const qsizetype start = text.startsWith(u'+') || text.startsWith(u'-') ? 1 : 0;
    if (text.size() == start)
        return 0;
    for (qsizetype i = start; i < text.size(); ++i)
        if (text[i] < u'0' || text[i] > u'9')
            return 0;
    // Only a sign and digits remain, which toLongLong reads; it fails (0)
    // out of range.
    bool ok = false;
    const qlonglong n = text.toLongLong(&ok);
    return ok ? n : 0;
}

std::optional<BundleInfo> BundleInfo::read(const QString& bundle)
{
    auto bytes = Seal::readPlain(bundle + QStringLiteral("/Contents/Info.json"), 1 << 20);
    if (!bytes)
        return std::nullopt;
    const QJsonDocument doc = QJsonDocument::fromJson(*bytes);
    if (!doc.isObject())
        return std::nullopt;
    const QJsonObject o = doc.object();
    BundleInfo info;
    info.identifier = o.value("CFBundleIdentifier").toString();
    if (o.value("CFBundleShortVersionString").isString())
        info.version = o.value("CFBundleShortVersionString").toString();
    const QJsonValue build = o.value("CFBundleVersion");
    if (build.isString())
        info.build = buildNumber(build.toString());
    info.source = o.value("TavrinSourceCommit").toString();
    info.executable = o.value("CFBundleExecutable").toString();
    return info;
}

std::optional<QString> BundleInfo::runningBundle()
{
    // <bundle>/Contents/bin/tavrin
    const QDir bin(QCoreApplication::applicationDirPath());
    if (bin.dirName() != u"bin")
        return std::nullopt;
    const QString contents = QFileInfo(bin.absolutePath()).absolutePath();
    if (QFileInfo(contents).fileName() != u"Contents")
        return std::nullopt;
    const QString bundle = QFileInfo(contents).absolutePath();
    if (!QFileInfo(contents + QStringLiteral("/Info.json")).isFile())
        return std::nullopt;
    return bundle;
}
