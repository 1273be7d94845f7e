#include "platform/folder_chain.h"

#include "platform/user_file.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray native(const QString& path) { return QFile::encodeName(path); }

} // namespace

std::optional<FolderChain::Unsafe> FolderChain::firstUnsafe(const std::vector<Folder>& chain, uid_t user)
{
    const auto trusted = [user](uid_t owner) { return owner == user || owner == 0; };
    for (size_t i = 0; i < chain.size(); ++i) {
        const Folder& f = chain[i];
        if (!S_ISDIR(f.mode))
            return Unsafe{f.path, Fault::notAFolder};
        if (!trusted(f.owner))
            return Unsafe{f.path, Fault::othersOwn};
        // In a sticky folder others may not rename or remove what is not
        // theirs, so the folder below stays put if it is ours or root's.
        const bool stickyOverOurs = i > 0 && (f.mode & S_ISVTX) && trusted(chain[i - 1].owner);
        if ((f.mode & 022) && !stickyOverOurs)
            return Unsafe{f.path, Fault::othersWrite};
    }
    return std::nullopt;
}

std::optional<FolderChain::Unsafe> FolderChain::unsafeOnPath(const QString& folder)
{
    QString path = QFileInfo(folder).canonicalFilePath();
    if (path.isEmpty())
        return Unsafe{folder, Fault::notAFolder};
    // Each folder as it stands, not where a link would lead: a link on a
    // path just resolved means it changed meanwhile.
    std::vector<Folder> chain;
    for (int depth = 0; depth < 256; ++depth) {
        struct stat st {};
        if (::lstat(native(path).constData(), &st) != 0)
            return Unsafe{path, Fault::notAFolder};
        chain.push_back({path, st.st_uid, st.st_mode});
        if (path == u"/")
            return firstUnsafe(chain, ::getuid());
        path = QFileInfo(path).absolutePath();
    }
    return Unsafe{path, Fault::notAFolder};
}

std::optional<FolderChain::Unsafe> FolderChain::unsafeOnPath(int folderFd)
{
    const QString now = QFile::decodeName(QByteArray::fromStdString(UserFile::currentPath(folderFd)));
    const QString path = QFileInfo(QStringLiteral("/proc/self/fd/%1/.").arg(folderFd)).canonicalFilePath();
    struct stat held {}, there {};
    if (path.isEmpty() || ::fstat(folderFd, &held) != 0)
        return Unsafe{now, Fault::notAFolder};
    if (auto unsafe = unsafeOnPath(path))
        return unsafe;
    // Checked by its name: that name must still hold the folder held.
    if (::lstat(native(path).constData(), &there) != 0 || held.st_dev != there.st_dev || held.st_ino != there.st_ino)
        return Unsafe{path, Fault::notAFolder};
    return std::nullopt;
}
