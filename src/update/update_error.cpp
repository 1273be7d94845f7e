#include "update/update_error.h"

#include "core/l10n.h"
#include "update/update_rules.h"

QString UpdateErrors::message(UpdateError error)
{
    switch (error) {
    case UpdateError::feedUnreachable:
        return L10n::text("Couldn\u2019t fetch version information. Check your network connection and try again.",
                          "无法获取版本信息，请检查网络连接后重试。");
    case UpdateError::feedInvalid:
        return L10n::text("The version information is malformed. Stopped.", "版本信息格式无效，已中止。");
    case UpdateError::downloadURLNotAllowed:
        return L10n::isChinese()
            ? QStringLiteral("下载地址不属于 %1 或未使用 HTTPS，已中止。").arg(UpdateRules::siteHost())
            : QStringLiteral("The download address is not on %1 or does not use HTTPS. Stopped.")
                  .arg(UpdateRules::siteHost());
    case UpdateError::downloadFailed:
        return L10n::text("The download did not finish. Check your network connection and try again.",
                          "下载未完成，请检查网络连接后重试。");
    case UpdateError::sizeMismatch:
        return L10n::text(
            "The download\u2019s size does not match the release information. Installation stopped.",
            "下载内容的大小与发布信息不一致，已中止安装。");
    case UpdateError::checksumMismatch:
        return L10n::text("The download\u2019s SHA-256 checksum does not match the release information. "
                          "Installation stopped.",
                          "下载内容的 SHA-256 校验和与发布信息不一致，已中止安装。");
    case UpdateError::extractFailed:
        return L10n::text(
            "The archive could not be expanded or does not contain Tavrin.app. Installation stopped.",
            "安装包无法解压，或其中没有 Tavrin.app，已中止安装。");
    case UpdateError::signatureInvalid:
        return L10n::text("The developer signature check failed: the app was not signed by Tavrin\u2019s "
                          "developer, or was modified after signing. Installation stopped.",
                          "开发者签名校验未通过：安装包不是由 Tavrin 的开发者签名，或签名后被改动。已中止安装。");
    case UpdateError::notarizationFailed:
        return L10n::text("The release attestation check failed. Installation stopped.",
                          "发布认证校验未通过，已中止安装。");
    case UpdateError::versionMismatch:
        return L10n::text("The version inside the app does not match the release information, or is not "
                          "newer than the current version. Installation stopped.",
                          "安装包内的版本号与发布信息不一致，或不高于当前版本，已中止安装。");
    case UpdateError::replaceFailed:
        return L10n::text("Couldn\u2019t replace the app; the current version is intact. Make sure the folder "
                          "containing Tavrin is writable, then try again.",
                          "替换应用失败，当前版本已保留。请确认 Tavrin 所在文件夹可写后重试。");
    }
    return {};
}

QString UpdateErrors::notEnoughSpace(const QString& folder)
{
    return L10n::isChinese()
        ? QStringLiteral("%1 所在的磁盘空间不足，无法存放更新。请腾出一些空间后重试。").arg(folder)
        : QStringLiteral("There isn\u2019t enough space for the update in %1. Free some space, then try again.")
              .arg(folder);
}

QString UpdateErrors::localFile(LocalFile what, FileTrouble trouble, const QString& path)
{
    const bool feed = what == LocalFile::feed;
    switch (trouble) {
    case FileTrouble::missing:
        return (feed ? L10n::text("Couldn\u2019t read the version information: %1 does not exist.",
                                  "无法读取版本信息：%1 不存在。")
                     : L10n::text("Couldn\u2019t read the update archive: %1 does not exist.",
                                  "无法读取更新安装包：%1 不存在。"))
            .arg(path);
    case FileTrouble::relative:
        return (feed ? L10n::text("Couldn\u2019t read the version information: %1 is not a full path.",
                                  "无法读取版本信息：%1 不是完整路径。")
                     : L10n::text("Couldn\u2019t read the update archive: %1 is not a full path.",
                                  "无法读取更新安装包：%1 不是完整路径。"))
            .arg(path);
    case FileTrouble::notAFile:
        return (feed ? L10n::text("Couldn\u2019t read the version information: %1 is not a regular file.",
                                  "无法读取版本信息：%1 不是普通文件。")
                     : L10n::text("Couldn\u2019t read the update archive: %1 is not a regular file.",
                                  "无法读取更新安装包：%1 不是普通文件。"))
            .arg(path);
    case FileTrouble::unreadable:
        return (feed ? L10n::text("Couldn\u2019t read the version information: %1 can\u2019t be opened.",
                                  "无法读取版本信息：无法打开 %1。")
                     : L10n::text("Couldn\u2019t read the update archive: %1 can\u2019t be opened.",
                                  "无法读取更新安装包：无法打开 %1。"))
            .arg(path);
    }
    return path;
}

QString UpdateErrors::noBundle(const QString& bundle)
{
    return L10n::text("There is no copy of Tavrin at %1, so it can\u2019t update itself. Put Tavrin back there, "
                      "open it from there and try again.",
                      "%1 处没有 Tavrin，无法自动更新。请把 Tavrin 放回那里，从那里打开后重试。")
        .arg(bundle);
}

QString UpdateErrors::previousKept(const QString& bundle, const QString& kept, bool blocked)
{
    if (blocked)
        return L10n::text("Something other than Tavrin stands at %1, so the previous copy of Tavrin was left at %2. "
                          "Move what stands at %1 aside, put the previous copy back there and try again.",
                          "%1 处不是 Tavrin，因此上一版本的 Tavrin 保留在 %2。请移走 %1 处的内容，把上一版本放回那里后重试。")
            .arg(bundle, kept);
    return L10n::text("The previous copy of Tavrin couldn\u2019t go back to %1 and was left at %2. Put it back "
                      "there, then try again.",
                      "上一版本的 Tavrin 无法放回 %1，已保留在 %2。请把它放回那里后重试。")
        .arg(bundle, kept);
}

QString UpdateErrors::copiesLeft(const QStringList& copies)
{
    if (L10n::isChinese())
        return QStringLiteral("旧版本的 Tavrin 无法移入回收站（没有可安全使用的回收站），已保留在 %1。请删除或移走后重试。")
            .arg(copies.join(u'\u3001'));
    return (copies.size() == 1
                ? QStringLiteral("An earlier copy of Tavrin couldn\u2019t be moved to the Trash, as no trash there is "
                                 "safe to use, and was left at %1. Delete it or move it elsewhere, then try again.")
                : QStringLiteral("Earlier copies of Tavrin couldn\u2019t be moved to the Trash, as no trash there is "
                                 "safe to use, and were left at %1. Delete them or move them elsewhere, then try "
                                 "again."))
        .arg(copies.join(QStringLiteral(", ")));
}

const char* UpdateErrors::name(UpdateError error)
{
    switch (error) {
    case UpdateError::feedUnreachable: return "feedUnreachable";
    case UpdateError::feedInvalid: return "feedInvalid";
    case UpdateError::downloadURLNotAllowed: return "downloadURLNotAllowed";
    case UpdateError::downloadFailed: return "downloadFailed";
    case UpdateError::sizeMismatch: return "sizeMismatch";
    case UpdateError::checksumMismatch: return "checksumMismatch";
    case UpdateError::extractFailed: return "extractFailed";
    case UpdateError::signatureInvalid: return "signatureInvalid";
    case UpdateError::notarizationFailed: return "notarizationFailed";
    case UpdateError::versionMismatch: return "versionMismatch";
    case UpdateError::replaceFailed: return "replaceFailed";
    }
    return "";
}
