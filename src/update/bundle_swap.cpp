#include "update/bundle_swap.h"

#include "platform/folder_chain.h"
#include "platform/trash.h"
#include "platform/user_file.h"
#include "update/app_version.h"
#include "update/bundle_info.h"
#include "update/unique_fd.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>

#include <fcntl.h>
#include <linux/fs.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <tuple>
#include <utility>
#include <vector>

namespace {

QByteArray native(const QString& path) { return QFile::encodeName(path); }

using Fd = UniqueFd;

// Inside a hidden directory the two copies go by their part in the swap.
constexpr const char* incomingName = "Tavrin.app";
constexpr const char* previousName = "Tavrin (previous).app";

// What the swap of one bundle names beside it, all made from the bundle's
// own name: two copies side by side, "Tavrin.app" and "Tavrin
// (previous).app", never take each other's hidden directories, trash
// entries or lock. For "Tavrin.app" the names are the ones every earlier
// version used.
struct BundleNames {
    explicit BundleNames(QByteArray bundle)
        : name(std::move(bundle))
        , app(name.endsWith(".app"))
        , stem(app ? name.chopped(4) : name)
    {
    }

    // ".Tavrin-update-" for "Tavrin.app"; ".Other.update-" for a bundle
    // named "Other". What follows it never holds "-update-" or ".update-"
    // again, so each hidden directory's name belongs to one bundle alone.
    QByteArray hiddenPrefix() const { return '.' + stem + (app ? "-update-" : ".update-"); }
    bool ownsHidden(const QByteArray& entry) const
    {
        const QByteArray prefix = hiddenPrefix();
        const QByteArray rest = entry.mid(prefix.size());
        return entry.startsWith(prefix) && !rest.isEmpty() && !rest.contains("-update-") && !rest.contains(".update-");
    }
    // "Tavrin (previous).app", then "Tavrin (previous 2).app" and on: the
    // copy an update replaced, as it stands beside the app or comes back
    // from the trash.
    QByteArray previous(int n = 1) const
    {
        const QByteArray tag = n == 1 ? QByteArray(" (previous)") : " (previous " + QByteArray::number(n) + ')';
        return stem + tag + (app ? ".app" : "");
    }
    // "Tavrin (update).app": a copy on its way in that never stood at the
    // app's name, so that restoring it from the trash never meets the app.
    QByteArray update() const { return stem + " (update)" + (app ? ".app" : ""); }
    QByteArray lock() const { return '.' + name + ".lock"; }

    QByteArray name;
    bool app = false;
    QByteArray stem;
};

// The sticky bit keeps others from renaming our entries, not from making
// their own: between the two renames of a swap the bundle's name is free,
// and anyone who may write in its folder could take it.
bool guarded(const struct stat& st)
{
    return S_ISDIR(st.st_mode) && (st.st_uid == ::getuid() || st.st_uid == 0) && !(st.st_mode & 022);
}

bool sameInode(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

UpdateErrors::EntryKind entryKindOf(const struct stat& st)
{
    using K = UpdateErrors::EntryKind;
    return S_ISREG(st.st_mode) ? K::file
        : S_ISDIR(st.st_mode)  ? K::folder
        : S_ISLNK(st.st_mode)  ? K::link
        : S_ISFIFO(st.st_mode) ? K::fifo
        : S_ISSOCK(st.st_mode) ? K::socket
                               : K::device;
}

// Whether the entry `name` in `dirFd` is, without following a link, the
// inode `st`.
bool isAt(int dirFd, const char* name, const struct stat& st)
{
    struct stat now {};
    return ::fstatat(dirFd, name, &now, AT_SYMLINK_NOFOLLOW) == 0 && sameInode(now, st);
}

// A path that reaches the directory open at `fd` whatever it is named now.
QString pathOf(int fd) { return QStringLiteral("/proc/self/fd/%1/.").arg(fd); }

// The path the directory open at `fd` has now, for messages and trash
// entries; empty when it has none.
QString currentPath(int fd)
{
    return QFile::decodeName(QByteArray::fromStdString(UserFile::currentPath(fd)));
}

QString joined(const QString& folder, const QString& name)
{
    return (folder == u"/" ? QString() : folder) + u'/' + name;
}

// Removes the entry `name` of the directory open at `dirFd` with all it
// holds, never through a link. Only ever for the updater's own files.
void removeTreeAt(int dirFd, const char* name, int depth = 0)
{
    struct stat st {};
    if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return;
    if (!S_ISDIR(st.st_mode)) {
        ::unlinkat(dirFd, name, 0);
        return;
    }
    if (depth > 256)
        return;
    // Folders the archive made read-only still have to go.
    if ((st.st_mode & 0700) != 0700)
        ::fchmodat(dirFd, name, (st.st_mode & 07777) | 0700, 0);
    Fd sub(::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat again {};
    if (sub.fd < 0 || ::fstat(sub.fd, &again) != 0 || again.st_dev != st.st_dev || again.st_ino != st.st_ino)
        return;
    if (const auto names = entryNames(sub.fd))
        for (const QByteArray& entry : *names)
            removeTreeAt(sub.fd, entry.constData(), depth + 1);
    ::unlinkat(dirFd, name, AT_REMOVEDIR);
}

int exchangeAt(int fromDir, const char* from, int toDir, const char* to)
{
#ifdef SYS_renameat2
    return int(::syscall(SYS_renameat2, fromDir, from, toDir, to, RENAME_EXCHANGE));
#else
    errno = ENOSYS;
    return -1;
#endif
}

// Whether every entry under the directory open at `dirFd` belongs to us;
// links are looked at, never followed.
bool ownedTree(int dirFd, int depth)
{
    if (depth > 64)
        return false;
    const auto names = entryNames(dirFd);
    if (!names)
        return false;
    for (const QByteArray& name : *names) {
        struct stat st {};
        if (::fstatat(dirFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 || st.st_uid != ::getuid())
            return false;
        if (S_ISDIR(st.st_mode)) {
            Fd sub(::openat(dirFd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            struct stat again {};
            if (sub.fd < 0 || ::fstat(sub.fd, &again) != 0 || !sameInode(st, again)
                || !ownedTree(sub.fd, depth + 1))
                return false;
        }
    }
    return true;
}

// A copy that keeps modes and links as they are; for a staged bundle on
// another filesystem than the installed one. 0, or the errno of the step
// that failed.
int copyTree(const QString& from, const QString& to)
{
    const auto failed = [] { return errno ? errno : EIO; };
    struct stat st {};
    if (::lstat(native(from).constData(), &st) != 0)
        return failed();
    if (S_ISLNK(st.st_mode)) {
        char target[PATH_MAX];
        const ssize_t n = ::readlink(native(from).constData(), target, sizeof target - 1);
        if (n < 0)
            return failed();
        target[n] = 0;
        return ::symlink(target, native(to).constData()) == 0 ? 0 : failed();
    }
    if (S_ISDIR(st.st_mode)) {
        if (::mkdir(native(to).constData(), 0700) != 0)
            return failed();
        const QStringList names =
            QDir(from).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        for (const QString& name : names)
            if (const int error = copyTree(from + u'/' + name, to + u'/' + name))
                return error;
        return ::chmod(native(to).constData(), st.st_mode & 07777) == 0 ? 0 : failed();
    }
    if (!S_ISREG(st.st_mode))
        return EINVAL;
    Fd in(::open(native(from).constData(), O_RDONLY | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (in.fd < 0)
        return failed();
    Fd out(::open(native(to).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (out.fd < 0)
        return failed();
    char buf[1 << 16];
    for (;;) {
        const ssize_t n = ::read(in.fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return failed();
        if (n == 0)
            break;
        if (const int error = UserFile::writeAll(out.fd, buf, size_t(n)))
            return error;
    }
    // Some file systems say they are full only at the close.
    if (::close(std::exchange(out.fd, -1)) != 0)
        return failed();
    return ::chmod(native(to).constData(), st.st_mode & 07777) == 0 ? 0 : failed();
}

// Moves the entry `name` of the directory open at `dirFd` to the trash:
// the home trash where it lies on the home trash's filesystem, else that
// filesystem's own. Where no trash is safe it stays, never deleted. Its
// entry there restores it as `restoreAs`: beside the app, never in the
// hidden directory, which is gone by then.
bool toTrash(int dirFd, const char* name, const QString& restoreAs)
{
    const Trash::Moved moved = Trash::put(dirFd, QByteArray(name), restoreAs);
    if (!moved.ok)
        errno = moved.error;
    return moved.ok;
}

// Why toTrash() failed, from the errno it left: a full filesystem or quota,
// a trash the user may not write, else a trash not safe to use.
UpdateErrors::TrashTrouble trashTrouble(int error)
{
    using T = UpdateErrors::TrashTrouble;
    if (UserFile::isNoSpace(error))
        return T::noSpace;
    return error == EACCES || error == EROFS ? T::noPermission : T::noSafeTrash;
}

// Moves the entry `name` of the hidden directory open at `hiddenFd` out
// beside the app, into the folder open at `parentFd`, as "Tavrin
// (previous).app" or, where that is taken, "Tavrin (previous 2).app" and
// on; never over anything. The name it took, or nothing.
QByteArray setBeside(int hiddenFd, const char* name, int parentFd, const BundleNames& names)
{
    for (int n = 1; n <= UserFile::asideNames; ++n) {
        const QByteArray as = names.previous(n);
        if (UserFile::renameNoReplace(hiddenFd, name, parentFd, as.constData()) == 0)
            return as;
        if (errno != EEXIST)
            return {};
    }
    return {};
}

// Whether `entry` is the name a trash gives `copy`: the same, or with the
// number a taken name gets before its extension ("Tavrin (previous) 2.app").
bool isTrashNameOf(const QByteArray& entry, const QByteArray& copy)
{
    if (entry == copy)
        return true;
    const qsizetype dot = copy.lastIndexOf('.');
    const QByteArray base = dot > 0 ? copy.left(dot) : copy;
    const QByteArray extension = dot > 0 ? copy.mid(dot) : QByteArray();
    if (!entry.startsWith(base + ' ') || !entry.endsWith(extension))
        return false;
    const QByteArray number = entry.mid(base.size() + 1, entry.size() - base.size() - 1 - extension.size());
    return !number.isEmpty() && std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Whether an info file, named `infoName` and giving `pathValue` as its
// Path=, is one a move of ours into a trash wrote for this bundle of the
// folder at `folder`: for a copy restored beside the app, or, as older
// runs wrote, for a copy in one of its hidden directories. A relative
// Path= lies below `top`, the top of the filesystem the trash is on.
bool isOurTrashInfo(const BundleNames& names, const QString& folder, const QString& top, const QByteArray& infoName,
                    const QByteArray& pathValue)
{
    if (!infoName.endsWith(".trashinfo"))
        return false;
    QString path = QFile::decodeName(QByteArray::fromPercentEncoding(pathValue));
    if (!path.startsWith(u'/'))
        path = joined(top, path);
    const QFileInfo info(QDir::cleanPath(path));
    const QByteArray copy = QFile::encodeName(info.fileName());
    const QString in = info.path();
    const bool beside = in == folder && (copy == names.previous() || copy == names.update());
    const bool hidden = QFileInfo(in).path() == folder && names.ownsHidden(QFile::encodeName(QFileInfo(in).fileName()))
        && (copy == previousName || copy == incomingName);
    return (beside || hidden) && isTrashNameOf(infoName.chopped(10), copy);
}

// Whether the entry `name` in `dirFd` is a folder of ours, not a link.
bool ownFolderAt(int dirFd, const char* name)
{
    struct stat st {};
    return ::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid();
}

// Whether the entry `name` in `dirFd` is a bundle of ours. A link, a plain
// file or an empty folder at the bundle's name is not the app.
bool bundleAt(int dirFd, const char* name)
{
    if (!ownFolderAt(dirFd, name))
        return false;
    constexpr int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    Fd bundle(::openat(dirFd, name, flags));
    Fd contents(bundle.fd < 0 ? -1 : ::openat(bundle.fd, "Contents", flags));
    struct stat info {};
    return contents.fd >= 0 && ::fstatat(contents.fd, "Info.json", &info, AT_SYMLINK_NOFOLLOW) == 0
        && S_ISREG(info.st_mode);
}

// What a copy set aside says of itself: its version with the build, from
// Contents/Info.json read without following a link; nothing when unreadable.
std::optional<AppVersion> versionAt(int dirFd, const char* name)
{
    constexpr int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    Fd bundle(::openat(dirFd, name, flags));
    Fd contents(bundle.fd < 0 ? -1 : ::openat(bundle.fd, "Contents", flags));
    const auto bytes = contents.fd < 0 ? std::nullopt
                                       : Seal::readPlain(pathOf(contents.fd) + QStringLiteral("/Info.json"), 1 << 20);
    if (!bytes)
        return std::nullopt;
    const QJsonObject o = QJsonDocument::fromJson(*bytes).object();
    const auto version = AppVersion::parse(o.value(QStringLiteral("CFBundleShortVersionString")).toString());
    if (!version)
        return std::nullopt;
    return version->with(BundleInfo::buildNumber(o.value(QStringLiteral("CFBundleVersion")).toString()));
}

// A hidden directory holding a previous copy, as a candidate to go back.
//
// The copy of the swap that was cut comes first: only there does the
// incoming copy still wait beside it, for the second rename never ran.
// Other directories are leftovers of earlier installs that no trash took;
// among them the newest copy goes back. Newest by the version the copy
// says it is, since each install sets aside the copy it replaces, so in
// the run of updates a higher version was the one in use later, and no
// copying of the folder changes what a copy says. Between copies of one
// version, the directory changed last: its swap ran last. Last, the name,
// only so that the order the filesystem lists entries in never decides.
struct SetAside {
    Fd dir;
    QByteArray entry;
    bool cut = false;
    std::optional<AppVersion> version;
    struct timespec changed {};

    bool ranksAbove(const SetAside& other) const
    {
        if (cut != other.cut)
            return cut;
        if (version != other.version)
            return other.version < version;
        const auto when = std::tie(changed.tv_sec, changed.tv_nsec);
        const auto otherWhen = std::tie(other.changed.tv_sec, other.changed.tv_nsec);
        if (when != otherWhen)
            return when > otherWhen;
        return entry > other.entry;
    }
};

// What a lock's name may hold for the lock to be taken there: nothing, or
// a plain file of ours with no other name, as this program makes it and as
// a run killed while holding it leaves it. The lock beside the app is
// always empty; the one beside the update folder may hold what earlier
// versions wrote into it (their pid). Anything else there is not ours to
// use, change or remove.
bool isLockFile(const struct stat& st, bool mayHoldText)
{
    return S_ISREG(st.st_mode) && st.st_uid == ::getuid() && st.st_nlink == 1 && (mayHoldText || st.st_size == 0);
}

struct TakenLock {
    Fd fd;
    bool busy = false;  // a live holder has it
    std::optional<UpdateErrors::EntryKind> inTheWay;  // what stands at its name instead
};

// A kernel lock (flock) on the file `lockName` in the folder open at
// `folderFd`, made where missing; it dies with the open file that holds it,
// so however old the file is, only a live holder keeps others out. Only a
// lock file (isLockFile) is taken; whatever else stands at the name is
// left exactly as it is, and said. An empty one closed even to us is made
// afresh. One let go of and removed by its holder while this waited on it
// locks a name no one else uses: it is taken afresh.
TakenLock lockIn(int folderFd, const QByteArray& lockName, bool mayHoldText)
{
    TakenLock taken;
    const char* name = lockName.constData();
    constexpr int flags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    for (int attempt = 0; attempt < 4; ++attempt) {
        struct stat st {};
        Fd fd;
        if (::fstatat(folderFd, name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
            if (!isLockFile(st, mayHoldText)) {
                taken.inTheWay = entryKindOf(st);
                return taken;
            }
            fd = Fd(::openat(folderFd, name, flags));
            if (fd.fd < 0 && errno == EACCES) {
                if (st.st_size != 0) {
                    taken.inTheWay = UpdateErrors::EntryKind::file;
                    return taken;
                }
                if (isAt(folderFd, name, st))
                    ::unlinkat(folderFd, name, 0);
                continue;
            }
        } else if (errno == ENOENT) {
            fd = Fd(::openat(folderFd, name, flags | O_CREAT | O_EXCL, 0600));
        } else {
            return taken;
        }
        if (fd.fd < 0) {
            if (errno == ENOENT || errno == EEXIST || errno == ELOOP || errno == ENXIO || errno == EISDIR)
                continue;  // changed meanwhile: judged again
            return taken;
        }
        if (::fstat(fd.fd, &st) != 0 || !isLockFile(st, mayHoldText))
            continue;
        if (::flock(fd.fd, LOCK_EX | LOCK_NB) != 0) {
            taken.busy = errno == EWOULDBLOCK;
            return taken;
        }
        if (isAt(folderFd, name, st)) {
            taken.fd = std::move(fd);
            taken.busy = false;
            return taken;
        }
        taken.busy = true;  // another run had it last, and may again
    }
    return taken;
}

// The lock every swap and every recovery beside a bundle holds, in the
// app's own folder, reached through its held descriptor: runs that keep
// their update folders apart (another XDG_CACHE_HOME) still meet here, so
// no run swaps on what it read before another run's swap. Its file goes
// when the holder lets go, so a finished update leaves nothing beside the
// app; one a killed run left holds no one up.
class SwapLock {
public:
    // Nothing when another run holds it (`busy` then says so), when
    // something else stands at its name (`inTheWay` then says what), or
    // where no lock can be made.
    static std::unique_ptr<SwapLock> take(int folderFd, const BundleNames& names, bool* busy,
                                          std::optional<UpdateErrors::EntryKind>* inTheWay = nullptr)
    {
        const QByteArray name = names.lock();
        TakenLock taken = lockIn(folderFd, name, false);
        if (busy)
            *busy = taken.busy;
        if (inTheWay)
            *inTheWay = taken.inTheWay;
        if (taken.fd.fd < 0)
            return nullptr;
        return std::unique_ptr<SwapLock>(new SwapLock(folderFd, name, std::move(taken.fd)));
    }
    // Another run's swap is short: it is waited for, for at most a minute,
    // so a holder that was stopped for good never keeps this one busy.
    static std::unique_ptr<SwapLock> await(int folderFd, const BundleNames& names,
                                           const std::function<void()>& waiting)
    {
        for (int attempt = 0; attempt < 6000; ++attempt) {
            bool busy = false;
            if (auto lock = take(folderFd, names, &busy))
                return lock;
            if (!busy)
                return nullptr;
            if (attempt == 0 && waiting)
                waiting();
            ::usleep(10000);
        }
        return nullptr;
    }
    ~SwapLock()
    {
        // Removed before it is let go, and only while its name still holds
        // it as this run made it: a run that took the name afresh meanwhile
        // keeps its own, and a file someone linked or wrote to stays.
        struct stat st {};
        if (::fstat(fd_.fd, &st) == 0 && isLockFile(st, false) && isAt(folder_, name_.constData(), st))
            ::unlinkat(folder_, name_.constData(), 0);
    }

private:
    SwapLock(int folderFd, QByteArray name, Fd fd)
        : folder_(folderFd), name_(std::move(name)), fd_(std::move(fd))
    {
    }
    int folder_;  // the caller's, open for as long as the lock is held
    QByteArray name_;
    Fd fd_;
};

} // namespace

QString BundleSwap::workDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)
        + QStringLiteral("/com.morvadel.Tavrin.update");
}

std::unique_ptr<BundleSwap::WorkLock> BundleSwap::WorkLock::take(const QString& workDirectory, bool* busy,
                                                                 std::optional<InTheWay>* inTheWay)
{
    if (busy)
        *busy = false;
    if (inTheWay)
        inTheWay->reset();
    const QFileInfo work(workDirectory);
    const QString parent = work.absolutePath();
    // A missing folder is made closed to everyone else, whatever the umask.
    if (!QFileInfo::exists(parent)) {
        QDir().mkpath(QFileInfo(parent).absolutePath());
        ::mkdir(native(parent).constData(), 0700);
    }
    // The folder is opened once, its links resolved: the lock and the work
    // directory are reached through it from here on.
    const QByteArray workName = native(work.fileName());
    Fd folder(::open(native(parent).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat st {};
    if (workName.isEmpty() || folder.fd < 0 || ::fstat(folder.fd, &st) != 0 || !S_ISDIR(st.st_mode)
        || st.st_uid != ::getuid() || (st.st_mode & 022))
        return nullptr;
    TakenLock taken = lockIn(folder.fd, workName + ".lock", true);
    if (busy)
        *busy = taken.busy;
    if (inTheWay && taken.inTheWay)
        *inTheWay = InTheWay{parent + u'/' + QFile::decodeName(workName) + QStringLiteral(".lock"), *taken.inTheWay};
    if (taken.fd.fd < 0)
        return nullptr;
    return std::unique_ptr<WorkLock>(new WorkLock(std::move(taken.fd), std::move(folder), workName));
}

void BundleSwap::removeTree(const QString& path)
{
    const QFileInfo info(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    Fd parent(::open(native(info.absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (parent.fd >= 0 && !info.fileName().isEmpty())
        removeTreeAt(parent.fd, native(info.fileName()).constData());
}

bool BundleSwap::isPrivateDirectory(const QString& path)
{
    struct stat st {};
    return ::lstat(native(path).constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid()
        && (st.st_mode & 077) == 0;
}

bool BundleSwap::isGuardedFolder(const QString& path)
{
    struct stat st {};
    return ::stat(native(path).constData(), &st) == 0 && guarded(st);
}

std::optional<BundleSwap::UnsafeFolder> BundleSwap::firstUnsafeFolder(const std::vector<FolderOnPath>& chain,
                                                                     uid_t user)
{
    return FolderChain::firstUnsafe(chain, user);
}

std::optional<BundleSwap::UnsafeFolder> BundleSwap::unsafeFolderOnPath(const QString& folder)
{
    return FolderChain::unsafeOnPath(folder);
}

std::optional<BundleSwap::UnsafeFolder> BundleSwap::unsafeFolderOnPath(int folderFd)
{
    return FolderChain::unsafeOnPath(folderFd);
}

QString BundleSwap::WorkFolder::reach(const QString& entry) const
{
    return QStringLiteral("/proc/self/fd/%1/").arg(fd.fd) + entry;
}

std::shared_ptr<const BundleSwap::WorkFolder> BundleSwap::freshWorkFolder(const WorkLock& lock,
                                                                         std::optional<UnsafeFolder>* unsafe,
                                                                         QString* wrong)
{
    const int folder = lock.folder();
    const QString folderPath = currentPath(folder);
    const QString path = joined(folderPath, QFile::decodeName(lock.workName()));
    if (wrong)
        *wrong = folderPath;
    // Whoever may rename a folder on the way could put a work directory of
    // their own where this one was, and with it any copy as the staged one.
    if (auto bad = unsafeFolderOnPath(folder)) {
        if (unsafe)
            *unsafe = bad;
        return nullptr;
    }
    struct stat st {};
    if (::fstat(folder, &st) != 0 || !guarded(st))
        return nullptr;
    if (wrong)
        *wrong = path;
    const char* name = lock.workName().constData();
    // What an earlier run left is the updater's own; what another account
    // put there stays, and is named.
    if (::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISDIR(st.st_mode) && st.st_uid == ::getuid())
            removeTreeAt(folder, name);
        else if (!S_ISDIR(st.st_mode))
            ::unlinkat(folder, name, 0);
    }
    if (::mkdirat(folder, name, 0700) != 0)
        return nullptr;
    auto work = std::make_shared<WorkFolder>();
    work->folder = Fd(::fcntl(folder, F_DUPFD_CLOEXEC, 0));
    work->fd = Fd(::openat(folder, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    work->name = lock.workName();
    work->shown = path;
    if (work->folder.fd < 0 || work->fd.fd < 0 || ::fstat(work->fd.fd, &st) != 0 || !S_ISDIR(st.st_mode)
        || st.st_uid != ::getuid() || (st.st_mode & 077) != 0)
        return nullptr;
    return work;
}

void BundleSwap::removeWorkFolder(const WorkFolder& work)
{
    struct stat held {};
    if (work.fd.fd < 0 || ::fstat(work.fd.fd, &held) != 0)
        return;
    if (const auto names = entryNames(work.fd.fd))
        for (const QByteArray& entry : *names)
            removeTreeAt(work.fd.fd, entry.constData());
    if (isAt(work.folder.fd, work.name.constData(), held))
        ::unlinkat(work.folder.fd, work.name.constData(), AT_REMOVEDIR);
}

bool BundleSwap::freshWorkDirectory(const QString& path, QString* wrong)
{
    if (wrong)
        *wrong = QFileInfo(path).absolutePath();
    const auto lock = WorkLock::take(path);
    return lock && freshWorkFolder(*lock, nullptr, wrong);
}

bool BundleSwap::isBundle(const QString& path)
{
    const QFileInfo info(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    Fd parentFd(::open(native(info.absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return parentFd.fd >= 0 && !info.fileName().isEmpty()
        && bundleAt(parentFd.fd, native(info.fileName()).constData());
}

UpdateErrors::StandIn BundleSwap::standIn(const QString& path)
{
    using K = UpdateErrors::EntryKind;
    UpdateErrors::StandIn what;
    struct stat st {};
    if (::lstat(native(path).constData(), &st) != 0)
        return what;
    what.kind = entryKindOf(st);
    if (what.kind == K::link) {
        char target[PATH_MAX];
        const ssize_t n = ::readlink(native(path).constData(), target, sizeof target - 1);
        what.linkTarget = n < 0 ? QString() : QFile::decodeName(QByteArray(target, int(n)));
        return what;
    }
    if (what.kind != K::folder)
        return what;
    what.othersFolder = st.st_uid != ::getuid();
    // The first step inside that is not what a bundle holds.
    what.inside = QStringLiteral("Contents");
    if (::lstat(native(path + QStringLiteral("/Contents")).constData(), &st) == 0 && S_ISDIR(st.st_mode))
        what.inside = QStringLiteral("Contents/Info.json");
    if (::lstat(native(path + u'/' + what.inside).constData(), &st) == 0)
        what.insideKind = entryKindOf(st);
    else if (what.inside == u"Contents")
        what.inside = QStringLiteral("Contents/Info.json");  // nothing there: the file is what is missing
    return what;
}

QString BundleSwap::resolvedBundle(const QString& bundle)
{
    const QFileInfo info(QDir::cleanPath(QFileInfo(bundle).absoluteFilePath()));
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    if (folder.isEmpty() || info.fileName().isEmpty())
        return bundle;
    return folder == u"/" ? u'/' + info.fileName() : folder + u'/' + info.fileName();
}

namespace {

// recover() for the entry `name` of the folder open at `parentFd`, whose
// path is `parent`, once the folder is found guarded and the lock beside
// the bundle is held. Only the hidden directories of this bundle's swaps
// are looked at: another bundle's beside it are its own.
BundleSwap::Recovery recoverAt(int parentFd, const QString& parent, const QByteArray& name)
{
    BundleSwap::Recovery result;
    const BundleNames names(name);
    // Where Restore puts a copy back: beside the app.
    const QString now = currentPath(parentFd);
    const QString folderPath = now.isEmpty() ? parent : now;
    // A move of ours into a trash that was cut short left its info file
    // without an entry.
    const QString top = Trash::topDirectory(folderPath);
    Trash::dropOrphans(parentFd, [&](const QByteArray& info, const QByteArray& path) {
        return isOurTrashInfo(names, folderPath, top, info, path);
    });
    result.present = bundleAt(parentFd, name.constData());
    const auto entries = entryNames(parentFd);
    if (!entries)
        return result;
    std::vector<QByteArray> hidden;
    for (const QByteArray& entry : *entries)
        if (names.ownsHidden(entry) && ownFolderAt(parentFd, entry.constData()))
            hidden.push_back(entry);

    // Killed between the two renames: the previous copy waits in a hidden
    // directory of ours, and goes back under its name, but never over
    // whatever stands there now. Then it stays, and the caller says where.
    // Of several such copies, the one SetAside ranks first goes back.
    struct stat st {};
    if (!result.present) {
        std::optional<SetAside> chosen;
        for (const QByteArray& entry : hidden) {
            SetAside copy;
            copy.dir = Fd(::openat(parentFd, entry.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            copy.entry = entry;
            if (copy.dir.fd < 0 || ::fstat(copy.dir.fd, &st) != 0 || st.st_uid != ::getuid()
                || !ownFolderAt(copy.dir.fd, previousName))
                continue;
            copy.cut = ownFolderAt(copy.dir.fd, incomingName);
            copy.version = versionAt(copy.dir.fd, previousName);
            copy.changed = st.st_mtim;
            if (!chosen || copy.ranksAbove(*chosen))
                chosen = std::move(copy);
        }
        if (chosen) {
            if (UserFile::renameNoReplace(chosen->dir.fd, previousName, parentFd, name.constData()) == 0)
                result.present = bundleAt(parentFd, name.constData());
            else
                result.kept = parent + u'/' + QFile::decodeName(chosen->entry) + u'/' + QLatin1String(previousName);
        }
    }
    // What is left of killed installs is cleared only beside a bundle: while
    // the bundle is missing a copy in there may be all there is of it.
    if (!result.present)
        return result;
    result.kept.clear();
    const auto installed = versionAt(parentFd, name.constData());
    for (const QByteArray& entry : hidden) {
        Fd hiddenFd(::openat(parentFd, entry.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        struct stat was {};
        if (hiddenFd.fd < 0 || ::fstat(hiddenFd.fd, &was) != 0 || was.st_uid != ::getuid())
            continue;
        // Either copy may be the previous one: the exchange leaves it as
        // "Tavrin.app" until it is renamed. Only a copy older than the one
        // installed went out by the exchange: a newer one is the incoming
        // copy of a swap cut before it, which never stood at the app's
        // name and goes to the trash under a name of its own.
        const auto incoming = versionAt(hiddenFd.fd, incomingName);
        const bool incomingStood = !ownFolderAt(hiddenFd.fd, previousName) && installed && incoming
            && *incoming < *installed;
        // One no trash takes stays, and the caller says where and why; a
        // copy that stood at the app's name where no trash is safe comes out
        // beside it instead. The directory goes only once empty.
        bool keep = false;
        for (const char* copy : {previousName, incomingName}) {
            struct stat any {};
            if (::fstatat(hiddenFd.fd, copy, &any, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            const bool stood = copy == previousName || incomingStood;
            const QByteArray as = stood ? names.previous() : names.update();
            if (toTrash(hiddenFd.fd, copy, joined(folderPath, QFile::decodeName(as))))
                continue;
            const UpdateErrors::TrashTrouble why = trashTrouble(errno);
            if (stood && why == UpdateErrors::TrashTrouble::noSafeTrash) {
                const QByteArray shown = setBeside(hiddenFd.fd, copy, parentFd, names);
                if (!shown.isEmpty()) {
                    result.beside.append(parent + u'/' + QFile::decodeName(shown));
                    continue;
                }
            }
            if (result.left.isEmpty())
                result.leftFor = why;
            keep = true;
            result.left.append(parent + u'/' + QFile::decodeName(entry) + u'/' + QLatin1String(copy));
        }
        if (!keep && isAt(parentFd, entry.constData(), was))
            ::unlinkat(parentFd, entry.constData(), AT_REMOVEDIR);
    }
    return result;
}

// A hidden directory of a name of its own, starting with `prefix`, in the
// folder open at `dirFd`, made through the descriptor. Empty, with errno
// set, when none could be.
QByteArray makeHidden(int dirFd, const QByteArray& prefix)
{
    static constexpr char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        QByteArray name(prefix);
        for (int i = 0; i < 6; ++i)
            name += letters[QRandomGenerator::system()->bounded(int(sizeof letters - 1))];
        if (::mkdirat(dirFd, name.constData(), 0700) == 0)
            return name;
        if (errno != EEXIST)
            return {};
    }
    errno = EEXIST;
    return {};
}

// The folder a bundle lies in, opened once, and whether it may be worked in
// at all: guarded, with no folder above it that others could swap. Nothing
// is locked, moved or removed in any other.
struct AppFolder {
    Fd fd;
    QString path;
    QByteArray name;  // the bundle's entry in it
    bool safe = false;
};

AppFolder appFolder(const QString& bundle)
{
    const QFileInfo info(QDir::cleanPath(QFileInfo(bundle).absoluteFilePath()));
    AppFolder folder;
    folder.path = info.absolutePath();
    folder.name = native(info.fileName());
    folder.fd = Fd(::open(native(folder.path).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st {};
    folder.safe = folder.fd.fd >= 0 && !folder.name.isEmpty() && ::fstat(folder.fd.fd, &st) == 0 && guarded(st)
        && !BundleSwap::unsafeFolderOnPath(folder.fd.fd);
    return folder;
}

BundleSwap::InTheWay lockInTheWay(const AppFolder& folder, UpdateErrors::EntryKind kind)
{
    return {joined(folder.path, QFile::decodeName(BundleNames(folder.name).lock())), kind};
}

} // namespace

BundleSwap::Recovery BundleSwap::recover(const QString& bundle)
{
    const AppFolder folder = appFolder(bundle);
    if (folder.fd.fd < 0 || folder.name.isEmpty())
        return {};
    // In a folder others may change nothing is locked, put back or removed:
    // what stands there is only read.
    if (!folder.safe) {
        Recovery result;
        result.present = bundleAt(folder.fd.fd, folder.name.constData());
        return result;
    }
    bool busy = false;
    std::optional<UpdateErrors::EntryKind> inTheWay;
    const auto swapping = SwapLock::take(folder.fd.fd, BundleNames(folder.name), &busy, &inTheWay);
    // Another run's swap may be half done, or something else holds the
    // lock's name: nothing is looked at or moved.
    if (busy || inTheWay) {
        Recovery result;
        result.busy = busy;
        if (inTheWay)
            result.lockInTheWay = lockInTheWay(folder, *inTheWay);
        return result;
    }
    // Where no lock can be made nothing can be moved either, and another
    // run could not swap there: what stands there is still read.
    return recoverAt(folder.fd.fd, folder.path, folder.name);
}

std::optional<BundleSwap::InTheWay> BundleSwap::swapLockInTheWay(const QString& bundle)
{
    const AppFolder folder = appFolder(bundle);
    struct stat st {};
    if (!folder.safe
        || ::fstatat(folder.fd.fd, BundleNames(folder.name).lock().constData(), &st, AT_SYMLINK_NOFOLLOW) != 0
        || isLockFile(st, false))
        return std::nullopt;
    return lockInTheWay(folder, entryKindOf(st));
}

std::optional<UpdateError> BundleSwap::replace(const QString& bundle, const QString& staged, const Seal::Keys& keys,
                                               const QString& arch, const ReplaceOptions& options, bool* noSpace)
{
    const QFileInfo info(QDir::cleanPath(QFileInfo(staged).absoluteFilePath()));
    Fd folder(::open(native(info.absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.fd < 0 || info.fileName().isEmpty()) {
        if (noSpace)
            *noSpace = false;
        return UpdateError::replaceFailed;
    }
    return replace(bundle, folder.fd, native(info.fileName()), keys, arch, options, noSpace);
}

std::optional<UpdateError> BundleSwap::replace(const QString& bundle, int stagedFolder, const QByteArray& stagedName,
                                               const Seal::Keys& keys, const QString& arch,
                                               const ReplaceOptions& options, bool* noSpace)
{
    if (noSpace)
        *noSpace = false;
    // The folder is opened once: every later step names entries in it
    // through this descriptor, and it must not let others rename them.
    AppFolder folder = appFolder(bundle);
    if (!folder.safe || stagedName.isEmpty() || stagedName.contains('/'))
        return UpdateError::replaceFailed;
    const Fd parentFd = std::move(folder.fd);
    const QString parent = folder.path;
    const QByteArray name = folder.name;
    struct stat st {};
    // From recovery to the last step, under the lock beside the bundle: the
    // version read before the exchange is still the one installed at it.
    const BundleNames names(name);
    const auto swapping = SwapLock::await(parentFd.fd, names, options.waitingForLock);
    if (!swapping || !recoverAt(parentFd.fd, parent, name).present
        || ::fstatat(parentFd.fd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode))
        return UpdateError::replaceFailed;
    if (options.afterRecovery)
        options.afterRecovery();
    const QString now = currentPath(parentFd.fd);
    const QString folderPath = now.isEmpty() ? parent : now;
    // Where Restore puts the previous copy back: beside the app, not in the
    // hidden directory, which is gone by then.
    const QString restoreAs = joined(folderPath, QFile::decodeName(names.previous()));

    const QByteArray hiddenName = makeHidden(parentFd.fd, names.hiddenPrefix());
    if (hiddenName.isEmpty()) {
        if (noSpace)
            *noSpace = UserFile::isNoSpace(errno);
        return UpdateError::replaceFailed;
    }
    const QString hidden = parent + u'/' + QFile::decodeName(hiddenName);
    Fd hiddenFd(::openat(parentFd.fd, hiddenName.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat hiddenSt {};
    if (hiddenFd.fd < 0 || ::fstat(hiddenFd.fd, &hiddenSt) != 0 || !S_ISDIR(hiddenSt.st_mode)
        || hiddenSt.st_uid != ::getuid() || (hiddenSt.st_mode & 077) != 0) {
        ::unlinkat(parentFd.fd, hiddenName.constData(), AT_REMOVEDIR);
        return UpdateError::replaceFailed;
    }
    // What came in from the staged folder by a rename, as it came.
    struct stat arrived {};
    bool renamedIn = false;
    // What this run copied in from another filesystem, whole or in part,
    // until it stands at the app's name.
    struct stat made {};
    bool madeHere = false;
    // Nothing in the hidden directory that may have been installed is
    // deleted: the staged copy goes back to its folder, any other copy to
    // the trash. Only a copy this run made that never stood at the app's
    // name is removed, so a failure leaves the disk as free as it found it.
    // The directory goes once empty, while its name still holds it.
    auto drop = [&] {
        bool empty = true;
        if (const auto entries = entryNames(hiddenFd.fd)) {
            for (const QByteArray& entry : *entries) {
                if (renamedIn && isAt(hiddenFd.fd, entry.constData(), arrived)
                    && UserFile::renameNoReplace(hiddenFd.fd, entry.constData(), stagedFolder, stagedName.constData())
                        == 0)
                    continue;
                if (madeHere && isAt(hiddenFd.fd, entry.constData(), made)) {
                    removeTreeAt(hiddenFd.fd, entry.constData());
                    if (!isAt(hiddenFd.fd, entry.constData(), made))
                        continue;
                }
                // Restored, the previous copy comes back beside the app, and
                // any other never over it.
                const QString as =
                    entry == previousName ? restoreAs : joined(folderPath, QFile::decodeName(names.update()));
                if (!toTrash(hiddenFd.fd, entry.constData(), as))
                    empty = false;
            }
        }
        if (empty && isAt(parentFd.fd, hiddenName.constData(), hiddenSt))
            ::unlinkat(parentFd.fd, hiddenName.constData(), AT_REMOVEDIR);
    };

    if (::renameat(stagedFolder, stagedName.constData(), hiddenFd.fd, incomingName) == 0) {
        renamedIn = ::fstatat(hiddenFd.fd, incomingName, &arrived, AT_SYMLINK_NOFOLLOW) == 0;
    } else {
        const int error = errno != EXDEV ? errno
                                         : copyTree(pathOf(stagedFolder) + u'/' + QFile::decodeName(stagedName),
                                                    pathOf(hiddenFd.fd) + u'/' + QLatin1String(incomingName));
        // Whatever stands there now, whole or cut short, is this run's
        // copy: no one else may write in the hidden directory.
        madeHere = ::fstatat(hiddenFd.fd, incomingName, &made, AT_SYMLINK_NOFOLLOW) == 0;
        if (error) {
            if (noSpace)
                *noSpace = UserFile::isNoSpace(error);
            drop();
            return UpdateError::replaceFailed;
        }
    }
    // The staged copy lay in the work directory since it was verified;
    // what is swapped in is what is checked here, through one descriptor,
    // in a directory only we can write.
    Fd incomingFd(::openat(hiddenFd.fd, incomingName, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat checked {};
    if (incomingFd.fd < 0 || ::fstat(incomingFd.fd, &checked) != 0) {
        drop();
        return UpdateError::replaceFailed;
    }
    if (checked.st_uid != ::getuid() || !ownedTree(incomingFd.fd, 0)
        || Seal::check(pathOf(incomingFd.fd), keys, arch) != Seal::Verdict::ok) {
        drop();
        return UpdateError::signatureInvalid;
    }

    if (options.beforeExchange)
        options.beforeExchange(hidden);
    if (!isAt(hiddenFd.fd, incomingName, checked)) {
        drop();
        return UpdateError::signatureInvalid;
    }
    // The installed copy is there, and its version is read now, under the
    // lock every install holds: whatever was staged, only a newer copy goes
    // in.
    if (!bundleAt(parentFd.fd, name.constData())) {
        drop();
        return UpdateError::replaceFailed;
    }
    const auto installedVersion = versionAt(parentFd.fd, name.constData());
    const auto stagedVersion = versionAt(hiddenFd.fd, incomingName);
    if (!stagedVersion || !(installedVersion.value_or(AppVersion{{0}}) < *stagedVersion)) {
        drop();
        return UpdateError::versionMismatch;
    }
    if (options.afterVersionCheck)
        options.afterVersionCheck();

    bool exchanged = !options.twoRenames
        && exchangeAt(hiddenFd.fd, incomingName, parentFd.fd, name.constData()) == 0;
    if (exchanged) {
        madeHere = false;
        if (!isAt(parentFd.fd, name.constData(), checked)) {
            // Something else stood at the bundle's name: put it back.
            if (exchangeAt(hiddenFd.fd, incomingName, parentFd.fd, name.constData()) == 0)
                drop();
            return UpdateError::signatureInvalid;
        }
        ::renameat(hiddenFd.fd, incomingName, hiddenFd.fd, previousName);
    } else if (options.twoRenames || errno == EINVAL || errno == ENOSYS || errno == ENOTSUP || errno == EXDEV) {
        // No atomic exchange on this filesystem (overlayfs refuses one with
        // a copy in its lower layer as EXDEV): two renames, rolled back when
        // the second fails.
        if (::renameat(parentFd.fd, name.constData(), hiddenFd.fd, previousName) != 0) {
            drop();
            return UpdateError::replaceFailed;
        }
        if (options.betweenRenames)
            options.betweenRenames(hidden);
        const bool moved = ::renameat(hiddenFd.fd, incomingName, parentFd.fd, name.constData()) == 0;
        if (moved)
            madeHere = false;
        if (!moved || !isAt(parentFd.fd, name.constData(), checked)) {
            if (moved)
                ::renameat(parentFd.fd, name.constData(), hiddenFd.fd, incomingName);
            if (UserFile::renameNoReplace(hiddenFd.fd, previousName, parentFd.fd, name.constData()) == 0)
                drop();
            return moved ? UpdateError::signatureInvalid : UpdateError::replaceFailed;
        }
    } else {
        drop();
        return UpdateError::replaceFailed;
    }

    // Where no trash takes the copy it stays, and the next start says where.
    struct stat previous {};
    const bool renamed = ::fstatat(hiddenFd.fd, previousName, &previous, AT_SYMLINK_NOFOLLOW) == 0;
    if (toTrash(hiddenFd.fd, renamed ? previousName : incomingName, restoreAs)
        && isAt(parentFd.fd, hiddenName.constData(), hiddenSt))
        ::unlinkat(parentFd.fd, hiddenName.constData(), AT_REMOVEDIR);
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
