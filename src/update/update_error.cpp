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

QString UpdateErrors::invalidRelease(const QString& version, qint64 size)
{
    return L10n::text("The version information\u2019s entry for Tavrin %1 is not valid: it gives the download\u2019s "
                      "size as %2 bytes, and an update is at least 1 byte and at most 2 GiB. Stopped.",
                      "版本信息中 Tavrin %1 的条目无效：其中下载内容的大小为 %2 字节，而更新应在 1 字节到 2 GiB 之间。"
                      "已中止。")
        .arg(version, QString::number(size));
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

namespace {

// "a file", "a FIFO (named pipe)": what stands somewhere, with its article.
QString entryKind(UpdateErrors::EntryKind kind)
{
    using K = UpdateErrors::EntryKind;
    switch (kind) {
    case K::missing: break;
    case K::file: return L10n::text("a file", "一个文件");
    case K::folder: return L10n::text("a folder", "一个文件夹");
    case K::link: return L10n::text("a link", "一个链接");
    case K::fifo: return L10n::text("a FIFO (named pipe)", "一个 FIFO（命名管道）");
    case K::socket: return L10n::text("a socket", "一个套接字");
    case K::device: return L10n::text("a device", "一个设备文件");
    }
    return {};
}

} // namespace

QString UpdateErrors::noBundle(const QString& bundle, const StandIn& standIn)
{
    switch (standIn.kind) {
    case EntryKind::missing:
        break;
    case EntryKind::link:
        return L10n::text("At %1 there is a link to %2, not a copy of Tavrin, so it can\u2019t update itself. Put "
                          "Tavrin itself there in place of the link, open it from there and try again.",
                          "%1 处是指向 %2 的链接，不是 Tavrin 本身，无法自动更新。请用 Tavrin 本身替换这个链接，"
                          "从那里打开后重试。")
            .arg(bundle, standIn.linkTarget);
    case EntryKind::folder:
        if (standIn.othersFolder)
            return L10n::text("The folder at %1 belongs to another user, so Tavrin can\u2019t update itself there. "
                              "Put your own copy of Tavrin there, open it from there and try again.",
                              "%1 处的文件夹属于其他用户，Tavrin 无法在那里自动更新。请把你自己的 Tavrin 放在那里，"
                              "从那里打开后重试。")
                .arg(bundle);
        if (standIn.insideKind == EntryKind::missing)
            return L10n::text("The folder at %1 has no %2, so it is no whole copy of Tavrin and can\u2019t update "
                              "itself. Put Tavrin back there, open it from there and try again.",
                              "%1 处的文件夹里没有 %2，不是完整的 Tavrin，无法自动更新。请把 Tavrin 放回那里，"
                              "从那里打开后重试。")
                .arg(bundle, standIn.inside);
        return L10n::text("In the folder at %1, %2 is %3, not %4, so it is no whole copy of Tavrin and can\u2019t "
                          "update itself. Put Tavrin back there, open it from there and try again.",
                          "%1 处的文件夹里，%2 是%3而不是%4，不是完整的 Tavrin，无法自动更新。请把 Tavrin 放回那里，"
                          "从那里打开后重试。")
            .arg(bundle, standIn.inside, entryKind(standIn.insideKind),
                 entryKind(standIn.inside.endsWith(u"Info.json") ? EntryKind::file : EntryKind::folder));
    case EntryKind::file:
    case EntryKind::fifo:
    case EntryKind::socket:
    case EntryKind::device:
        return L10n::text("At %1 there is %2, not a copy of Tavrin, so it can\u2019t update itself. Put Tavrin "
                          "back there, open it from there and try again.",
                          "%1 处是%2，不是 Tavrin，无法自动更新。请把 Tavrin 放回那里，从那里打开后重试。")
            .arg(bundle, entryKind(standIn.kind));
    }
    return L10n::text("There is no copy of Tavrin at %1, so it can\u2019t update itself. Put Tavrin back there, "
                      "open it from there and try again.",
                      "%1 处没有 Tavrin，无法自动更新。请把 Tavrin 放回那里，从那里打开后重试。")
        .arg(bundle);
}

QString UpdateErrors::lockInTheWay(const QString& path, EntryKind kind)
{
    return L10n::text("Tavrin keeps the lock of its updates at %1, but %2 that Tavrin didn\u2019t make stands there, "
                      "so it can\u2019t update itself. Move it elsewhere, then try again.",
                      "Tavrin 的更新锁应位于 %1，但那里有%2，不是 Tavrin 创建的，因此无法自动更新。请把它移到别处后重试。")
        .arg(path, entryKind(kind));
}

QString UpdateErrors::appFolderNotWritable(const QString& folder, bool own)
{
    if (own)
        return L10n::text("You can\u2019t write to %1, the folder containing Tavrin, so it can\u2019t update itself. "
                          "Make the folder writable by you (chmod u+w %1), then try again.",
                          "你无法写入 Tavrin 所在的文件夹 %1，无法自动更新。请让它对你可写（chmod u+w %1）后重试。")
            .arg(folder);
    return L10n::text("You can\u2019t write to %1, the folder containing Tavrin, so it can\u2019t update itself. "
                      "Make the folder writable by you, then try again.",
                      "你无法写入 Tavrin 所在的文件夹 %1，无法自动更新。请让它对你可写后重试。")
        .arg(folder);
}

QString UpdateErrors::unsafeFolderAbove(const QString& folder, FolderFault fault)
{
    switch (fault) {
    case FolderFault::othersWrite:
        return L10n::text("Other users can write to %1, a folder on the way to Tavrin, so Tavrin can\u2019t update "
                          "itself safely: they could put another program in its place. Make %1 writable only by "
                          "its owner, or move Tavrin into a folder that only you or root can change, then try again.",
                          "其他用户也能写入 Tavrin 路径上的文件夹 %1，无法安全地自动更新：他们可以把别的程序放在它的"
                          "位置。请让 %1 只有其所有者可写，或把 Tavrin 移到只有你或 root 能改动的文件夹，然后重试。")
            .arg(folder);
    case FolderFault::othersOwn:
        return L10n::text("%1, a folder on the way to Tavrin, belongs to another user, so Tavrin can\u2019t update "
                          "itself safely: that user could put another program in its place. Move Tavrin into a "
                          "folder that only you or root can change, then try again.",
                          "Tavrin 路径上的文件夹 %1 属于其他用户，无法安全地自动更新：该用户可以把别的程序放在它的"
                          "位置。请把 Tavrin 移到只有你或 root 能改动的文件夹，然后重试。")
            .arg(folder);
    case FolderFault::notAFolder:
        break;
    }
    return L10n::text("%1, on the way to Tavrin, changed while it was being checked, so Tavrin can\u2019t update "
                      "itself safely. Try again.",
                      "Tavrin 路径上的 %1 在检查时发生了变化，无法安全地自动更新。请重试。")
        .arg(folder);
}

QString UpdateErrors::unsafeUpdateFolder(const QString& folder, FolderFault fault)
{
    switch (fault) {
    case FolderFault::othersWrite:
        return L10n::text("Other users can write to %1, a folder on the way to Tavrin’s update folder, so Tavrin "
                          "can’t update itself safely: they could put another program in place of the update. "
                          "Make %1 writable only by its owner, or set XDG_CACHE_HOME to a folder that only you or "
                          "root can change, then try again.",
                          "其他用户也能写入 Tavrin 更新文件夹路径上的文件夹 %1，无法安全地自动更新：他们可以用别的程序"
                          "顶替这次更新。请让 %1 只有其所有者可写，或把 XDG_CACHE_HOME 设为只有你或 root 能改动的文件夹，"
                          "然后重试。")
            .arg(folder);
    case FolderFault::othersOwn:
        return L10n::text("%1, a folder on the way to Tavrin’s update folder, belongs to another user, so Tavrin "
                          "can’t update itself safely: that user could put another program in place of the "
                          "update. Set XDG_CACHE_HOME to a folder that only you or root can change, then try again.",
                          "Tavrin 更新文件夹路径上的文件夹 %1 属于其他用户，无法安全地自动更新：该用户可以用别的程序"
                          "顶替这次更新。请把 XDG_CACHE_HOME 设为只有你或 root 能改动的文件夹，然后重试。")
            .arg(folder);
    case FolderFault::notAFolder:
        break;
    }
    return L10n::text("%1, on the way to Tavrin’s update folder, changed while it was being checked, so Tavrin "
                      "can’t update itself safely. Try again.",
                      "Tavrin 更新文件夹路径上的 %1 在检查时发生了变化，无法安全地自动更新。请重试。")
        .arg(folder);
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

QString UpdateErrors::copiesLeft(const QStringList& copies, TrashTrouble why)
{
    QString cause;
    switch (why) {
    case TrashTrouble::noSpace:
        cause = L10n::text("there isn\u2019t enough space there", "所在磁盘空间不足");
        break;
    case TrashTrouble::noPermission:
        cause = L10n::text("you don\u2019t have permission to write to the trash there", "没有写入那里回收站的权限");
        break;
    case TrashTrouble::noSafeTrash:
        cause = L10n::text("no trash there is safe to use", "没有可安全使用的回收站");
        break;
    }
    if (L10n::isChinese())
        return QStringLiteral("旧版本的 Tavrin 无法移入回收站（%1），已保留在 %2。请删除或移走后重试。")
            .arg(cause, copies.join(u'\u3001'));
    return (copies.size() == 1
                ? QStringLiteral("An earlier copy of Tavrin couldn\u2019t be moved to the Trash, as %1, and was left "
                                 "at %2. Delete it or move it elsewhere, then try again.")
                : QStringLiteral("Earlier copies of Tavrin couldn\u2019t be moved to the Trash, as %1, and were left "
                                 "at %2. Delete them or move them elsewhere, then try again."))
        .arg(cause, copies.join(QStringLiteral(", ")));
}

QString UpdateErrors::copiesBeside(const QStringList& copies)
{
    if (L10n::isChinese())
        return QStringLiteral("没有可安全使用的回收站，上一版本的 Tavrin 已保留在 %1。不再需要时可将其删除。")
            .arg(copies.join(u'\u3001'));
    return (copies.size() == 1
                ? QStringLiteral("No trash there is safe to use, so the previous copy of Tavrin was left beside it "
                                 "at %1. Delete it when you no longer need it.")
                : QStringLiteral("No trash there is safe to use, so previous copies of Tavrin were left beside it "
                                 "at %1. Delete them when you no longer need them."))
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
