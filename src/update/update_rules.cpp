#include "update/update_rules.h"

#include "core/build_info.h"
#include "core/l10n.h"
#include "update/bundle_swap.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#ifndef TAVRIN_SITE
#define TAVRIN_SITE "https://tavrin.invalid"
#endif

namespace {
constexpr const char* defaultSite = "https://tavrin.invalid";
}

QUrl UpdateRules::site() { return QUrl(QStringLiteral(TAVRIN_SITE)); }
QString UpdateRules::siteHost() { return site().host(); }
bool UpdateRules::siteIsDefault()
{
    return !BuildInfo::hasUpdateSite() || site() == QUrl(QString::fromLatin1(defaultSite));
}
bool UpdateRules::feedIsUnset(const QUrl& feed) { return siteIsDefault() && feed == defaultFeed(); }
QString UpdateRules::noSiteMessage()
{
    return L10n::text("This build of Tavrin does not check for updates: it has no update site.",
                      "这个 Tavrin 构建不检查更新：它没有更新站点。");
}
QUrl UpdateRules::allReleases() { return QUrl(site().toString() + QStringLiteral("/#releases")); }
QUrl UpdateRules::defaultFeed() { return QUrl(site().toString() + QStringLiteral("/releases.json")); }

QUrl UpdateRules::withoutLocalhost(const QUrl& url)
{
    if (url.scheme().compare(u"file", Qt::CaseInsensitive) != 0
        || url.host().compare(u"localhost", Qt::CaseInsensitive) != 0)
        return url;
    QUrl local = url;
    local.setHost(QString());
    return local;
}

bool UpdateRules::isAllowedDownload(const QUrl& url, const QUrl& feed) { return isAllowedDownload(url, feed, site()); }

bool UpdateRules::isAllowedDownload(const QUrl& url, const QUrl& feed, const QUrl& site)
{
    if (url.isLocalFile() || url.scheme().compare(u"file", Qt::CaseInsensitive) == 0)
        return feed.isLocalFile() && url.isLocalFile();
    if (!url.isValid() || site.host().isEmpty())
        return false;
    return url.scheme().toLower() == u"https" && url.host().toLower() == site.host().toLower()
        && url.userName().isEmpty() && url.password().isEmpty() && url.port(443) == site.port(443);
}

std::optional<QString> UpdateRules::installBlocker(const QString& bundlePath)
{
    const QString clean = QDir::cleanPath(bundlePath);
    const QFileInfo info(clean);
    QString reason;
    if (info.suffix() != u"app" || info.fileName().lastIndexOf(u'.') <= 0) {
        reason = L10n::text("Tavrin is not running from an app bundle, so it can\u2019t update itself. ",
                            "当前不是从应用包运行，无法自动更新。");
    } else if (clean.contains(u"/AppTranslocation/")) {
        reason = L10n::text("Tavrin is running from a temporary read-only location, so it can\u2019t be "
                            "updated in place. ",
                            "系统正在从临时的只读位置运行 Tavrin，无法就地更新。");
    } else if (::access(QFile::encodeName(info.absolutePath()).constData(), W_OK | X_OK) != 0) {
        // In the user's own folder, or in ~/Applications, Tavrin is where it
        // belongs: only the folder's mode stands in the way.
        const QString folder = info.absolutePath();
        const QString canonical = QFileInfo(folder).canonicalFilePath();
        struct stat st {};
        const bool own = ::stat(QFile::encodeName(folder).constData(), &st) == 0 && st.st_uid == ::getuid();
        if (own
            || (!canonical.isEmpty()
                && canonical == QFileInfo(QDir::homePath() + QStringLiteral("/Applications")).canonicalFilePath()))
            return UpdateErrors::appFolderNotWritable(folder, own);
        reason = L10n::text("The folder containing Tavrin is not writable, so it can\u2019t update itself. ",
                            "Tavrin 所在的文件夹不可写，无法自动更新。");
    } else if (!BundleSwap::isGuardedFolder(info.absolutePath())) {
        // Others could swap what is installed there for their own copy.
        struct stat st {};
        const QString folder = info.absolutePath();
        if (::stat(QFile::encodeName(folder).constData(), &st) == 0 && st.st_uid == ::getuid()) {
            // The folder is the user's own, Tavrin is where it belongs: only
            // the mode is wrong.
            return L10n::isChinese()
                ? QStringLiteral("其他用户也能写入 Tavrin 所在的文件夹 %1，无法安全地自动更新。请让它只有你可写"
                                 "（chmod go-w %1）后重试。")
                      .arg(folder)
                : QStringLiteral("Other users can write to %1, the folder containing Tavrin, so it can\u2019t "
                                 "update itself safely. Make the folder writable only by you (chmod go-w %1), "
                                 "then try again.")
                      .arg(folder);
        }
        reason = L10n::text("Other users can change the folder containing Tavrin, so it can\u2019t update "
                            "itself safely. ",
                            "其他用户也能改动 Tavrin 所在的文件夹，无法安全地自动更新。");
    } else if (const auto unsafe = BundleSwap::unsafeFolderOnPath(info.absolutePath())) {
        // Whoever may rename a folder above could put one of their own in
        // its place, and the relaunch runs the program by its path.
        return UpdateErrors::unsafeFolderAbove(unsafe->path, unsafe->fault);
    } else {
        return std::nullopt;
    }
    // A build with no site of its own names none to download from.
    if (siteIsDefault())
        return reason
            + L10n::text("Drag Tavrin into the ~/Applications folder, open it from there and try again.",
                         "请把 Tavrin 拖进「~/Applications」文件夹，从那里打开后重试。");
    const QString hint = L10n::isChinese()
        ? QStringLiteral("请把 Tavrin 拖进「~/Applications」文件夹，从那里打开后重试；也可以到 %1 下载新版本手动替换。")
              .arg(siteHost())
        : QStringLiteral("Drag Tavrin into the ~/Applications folder, open it from there and try again. You can "
                         "also download the new version from %1 and replace it yourself.")
              .arg(siteHost());
    return reason + hint;
}

QString UpdateRules::systemVersionText()
{
    utsname u{};
    if (::uname(&u) != 0)
        return QStringLiteral("0");
    static const QRegularExpression lead(QStringLiteral("^(\\d+)(?:\\.(\\d+))?(?:\\.(\\d+))?"));
    const auto m = lead.match(QString::fromLatin1(u.release));
    if (!m.hasMatch())
        return QStringLiteral("0");
    return QStringLiteral("%1.%2.%3")
        .arg(m.captured(1), m.captured(2).isEmpty() ? QStringLiteral("0") : m.captured(2),
             m.captured(3).isEmpty() ? QStringLiteral("0") : m.captured(3));
}
