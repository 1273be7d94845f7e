#include "update/bundle_swap.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace {

QByteArray native(const QString& path) { return QFile::encodeName(path); }

bool ownDirectory(const QString& path)
{
    struct stat st {};
    return ::lstat(native(path).constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid();
}

int exchange(const QString& a, const QString& b)
{
#ifdef SYS_renameat2
    return int(::syscall(SYS_renameat2, AT_FDCWD, native(a).constData(), AT_FDCWD, native(b).constData(),
                         RENAME_EXCHANGE));
#else
    errno = ENOSYS;
    return -1;
#endif
}

// A copy that keeps modes and links as they are; for a staged bundle on
// another filesystem than the installed one.
bool copyTree(const QString& from, const QString& to)
{
    struct stat st {};
    if (::lstat(native(from).constData(), &st) != 0)
        return false;
    if (S_ISLNK(st.st_mode)) {
        char target[PATH_MAX];
        const ssize_t n = ::readlink(native(from).constData(), target, sizeof target - 1);
        if (n < 0)
            return false;
        target[n] = 0;
        return ::symlink(target, native(to).constData()) == 0;
    }
    if (S_ISDIR(st.st_mode)) {
        if (::mkdir(native(to).constData(), 0700) != 0)
            return false;
        const QStringList names =
            QDir(from).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        for (const QString& name : names)
            if (!copyTree(from + u'/' + name, to + u'/' + name))
                return false;
        return ::chmod(native(to).constData(), st.st_mode & 07777) == 0;
    }
    if (!S_ISREG(st.st_mode))
        return false;
    QFile in(from);
    QFile out(to);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    char buf[1 << 16];
    for (;;) {
        const qint64 n = in.read(buf, sizeof buf);
        if (n < 0)
            return false;
        if (n == 0)
            break;
        if (out.write(buf, n) != n)
            return false;
    }
    out.close();
    return out.error() == QFile::NoError && ::chmod(native(to).constData(), st.st_mode & 07777) == 0;
}

// Whether the home trash can take `path` as a rename: it exists (made where
// a fresh account lacks it) and lies on the same filesystem. Elsewhere the
// previous copy stays in its hidden directory until the next install
// clears it, rather than letting the trash fall back to a folder of its
// own choosing.
bool homeTrashReady(const QString& path)
{
    const QString trash =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Trash");
    if (!QDir().mkpath(trash + QStringLiteral("/files")) || !QDir().mkpath(trash + QStringLiteral("/info")))
        return false;
    struct stat a {};
    struct stat b {};
    return ::lstat(native(trash).constData(), &a) == 0 && S_ISDIR(a.st_mode) && a.st_uid == ::getuid()
        && ::lstat(native(path).constData(), &b) == 0 && a.st_dev == b.st_dev;
}

void removeStale(const QString& parent)
{
    const QStringList names =
        QDir(parent).entryList({QStringLiteral(".Tavrin-update-*")}, QDir::AllEntries | QDir::Hidden | QDir::System);
    for (const QString& name : names)
        if (ownDirectory(parent + u'/' + name))
            BundleSwap::removeTree(parent + u'/' + name);
}

} // namespace

QString BundleSwap::workDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)
        + QStringLiteral("/com.morvadel.Tavrin.update");
}

BundleSwap::WorkLock::WorkLock(const QString& path)
    : lock_(path)
{
}

BundleSwap::WorkLock::~WorkLock() { lock_.unlock(); }

std::unique_ptr<BundleSwap::WorkLock> BundleSwap::WorkLock::take(const QString& workDirectory, bool* busy)
{
    if (busy)
        *busy = false;
    const QFileInfo work(workDirectory);
    const QString parent = work.absolutePath();
    // A missing folder is made closed to everyone else, whatever the umask.
    if (!QFileInfo::exists(parent)) {
        QDir().mkpath(QFileInfo(parent).absolutePath());
        ::mkdir(native(parent).constData(), 0700);
    }
    struct stat st {};
    if (::stat(native(parent).constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()
        || (st.st_mode & 022))
        return nullptr;
    // Only this user (or root) can have put anything here; a lock of any
    // other owner, or one that is not a plain file, is no copy of ours.
    const QString path = work.absoluteFilePath() + QStringLiteral(".lock");
    if (::lstat(native(path).constData(), &st) == 0 && (!S_ISREG(st.st_mode) || st.st_uid != ::getuid()))
        removeTree(path);
    std::unique_ptr<WorkLock> held(new WorkLock(path));
    held->lock_.setStaleLockTime(0);
    if (!held->lock_.tryLock(0)) {
        if (busy)
            *busy = held->lock_.error() == QLockFile::LockFailedError;
        return nullptr;
    }
    return held;
}

void BundleSwap::removeTree(const QString& path)
{
    struct stat st {};
    if (::lstat(native(path).constData(), &st) != 0)
        return;
    if (!S_ISDIR(st.st_mode)) {
        ::unlink(native(path).constData());
        return;
    }
    // Folders the archive made read-only still have to go.
    ::chmod(native(path).constData(), (st.st_mode & 07777) | 0700);
    const QStringList names =
        QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names)
        removeTree(path + u'/' + name);
    ::rmdir(native(path).constData());
}

bool BundleSwap::isPrivateDirectory(const QString& path)
{
    struct stat st {};
    return ::lstat(native(path).constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid()
        && (st.st_mode & 077) == 0;
}

bool BundleSwap::freshWorkDirectory(const QString& path)
{
    const QString parent = QFileInfo(path).absolutePath();
    QDir().mkpath(parent);
    struct stat st {};
    // A folder others may rename entries in would let them swap ours.
    if (::stat(native(parent).constData(), &st) != 0 || !S_ISDIR(st.st_mode)
        || (st.st_uid != ::getuid() && st.st_uid != 0) || ((st.st_mode & 022) && !(st.st_mode & S_ISVTX)))
        return false;
    if (::lstat(native(path).constData(), &st) == 0) {
        if (S_ISDIR(st.st_mode) && st.st_uid == ::getuid())
            removeTree(path);
        else
            ::unlink(native(path).constData());
    }
    if (::mkdir(native(path).constData(), 0700) != 0)
        return false;
    return isPrivateDirectory(path);
}

std::optional<UpdateError> BundleSwap::replace(const QString& bundle, const QString& staged, const Seal::Keys& keys,
                                               const QString& arch)
{
    const QString parent = QFileInfo(bundle).absolutePath();
    if (!ownDirectory(bundle) && !QFileInfo(bundle).isDir())
        return UpdateError::replaceFailed;
    removeStale(parent);

    QByteArray pattern = native(parent + QStringLiteral("/.Tavrin-update-XXXXXX"));
    if (!::mkdtemp(pattern.data()))
        return UpdateError::replaceFailed;
    const QString hidden = QFile::decodeName(pattern);
    const QString incoming = hidden + QStringLiteral("/Tavrin.app");
    const QString previous = hidden + QStringLiteral("/Tavrin (previous).app");

    if (::rename(native(staged).constData(), native(incoming).constData()) != 0
        && (errno != EXDEV || !copyTree(staged, incoming))) {
        removeTree(hidden);
        return UpdateError::replaceFailed;
    }
    // The staged copy lay in the work directory since it was verified;
    // what is swapped in is what is checked here, in a directory only we
    // can write.
    if (Seal::check(incoming, keys, arch) != Seal::Verdict::ok) {
        removeTree(hidden);
        return UpdateError::signatureInvalid;
    }

    if (exchange(incoming, bundle) == 0) {
        ::rename(native(incoming).constData(), native(previous).constData());
    } else if (errno == EINVAL || errno == ENOSYS || errno == ENOTSUP) {
        // No atomic exchange on this filesystem: two renames, rolled back
        // when the second fails.
        if (::rename(native(bundle).constData(), native(previous).constData()) != 0) {
            removeTree(hidden);
            return UpdateError::replaceFailed;
        }
        if (::rename(native(incoming).constData(), native(bundle).constData()) != 0) {
            if (::rename(native(previous).constData(), native(bundle).constData()) == 0)
                removeTree(hidden);
            return UpdateError::replaceFailed;
        }
    } else {
        removeTree(hidden);
        return UpdateError::replaceFailed;
    }

    const QString moved = QFileInfo::exists(previous) ? previous : incoming;
    if (homeTrashReady(moved) && QFile::moveToTrash(moved))
        removeTree(hidden);
    return std::nullopt;
}

const char* BundleSwap::relaunchScript()
{
    return "sleep 0.6; n=0; while kill -0 \"$1\" 2>/dev/null && [ $n -lt 54 ]; do sleep 0.1; n=$((n+1)); done; "
           "exec \"$0/Contents/bin/tavrin\"";
}

bool BundleSwap::relaunch(const QString& bundle, qint64 pid)
{
    QProcess p;
    p.setProgram(QStringLiteral("/bin/sh"));
    p.setArguments({QStringLiteral("-c"), QString::fromLatin1(relaunchScript()), bundle, QString::number(pid)});
    p.setStandardInputFile(QProcess::nullDevice());
    p.setStandardOutputFile(QProcess::nullDevice());
    p.setStandardErrorFile(QProcess::nullDevice());
    return p.startDetached();
}
