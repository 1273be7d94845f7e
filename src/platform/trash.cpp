#include "platform/trash.h"

#include "platform/folder_chain.h"
#include "platform/proc_files.h"
#include "platform/user_file.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <utility>

namespace {

QByteArray native(const QString& path) { return QFile::encodeName(path); }

struct Fd {
    int fd = -1;
    explicit Fd(int f = -1) : fd(f) {}
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
    Fd(Fd&& o) noexcept : fd(std::exchange(o.fd, -1)) {}
    Fd& operator=(Fd&& o) noexcept
    {
        std::swap(fd, o.fd);
        return *this;
    }
};

constexpr int dirFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

Trash::Moved failed(int error) { return {false, {}, error ? error : EIO}; }

// The folder `name` in the directory open at `at`, made closed to others
// where missing, when it is ours, a folder and not a link, and no one else
// may write in it. `closed` also shuts out readers: a trash holds copies of
// whatever the user threw away.
Fd ownFolder(int at, const char* name, bool closed, bool make = true)
{
    if (make && ::mkdirat(at, name, 0700) != 0 && errno != EEXIST)
        return Fd();
    Fd fd(::openat(at, name, dirFlags));
    struct stat st {};
    if (fd.fd < 0 || ::fstat(fd.fd, &st) != 0) {
        // Another user's, or no folder at all, is no trash of ours, whatever
        // kept us from opening it.
        const int error = errno;
        const bool ours = ::fstatat(at, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode)
            && st.st_uid == ::getuid();
        errno = ours || error == ENOENT ? error : EPERM;
        return Fd();
    }
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid() || (st.st_mode & 022)) {
        errno = EPERM;
        return Fd();
    }
    if (closed && (st.st_mode & 077) && ::fchmod(fd.fd, 0700) != 0)
        return Fd();
    return fd;
}

struct Bin {
    Fd files;
    Fd info;
    QString path;
};

bool openBin(int at, const char* name, const QString& path, Bin& bin)
{
    const Fd root = ownFolder(at, name, true);
    if (root.fd < 0)
        return false;
    bin.files = ownFolder(root.fd, "files", false);
    bin.info = ownFolder(root.fd, "info", false);
    bin.path = path;
    return bin.files.fd >= 0 && bin.info.fd >= 0;
}

// An administrator's shared trash at the top of a filesystem open at
// `topFd`, used only when it is a sticky folder of root's (or ours), not a
// link: in it, no one else can take away the folder of this user's.
Fd sharedTrash(int topFd)
{
    Fd shared(::openat(topFd, ".Trash", dirFlags));
    struct stat st {};
    if (shared.fd < 0 || ::fstat(shared.fd, &st) != 0 || !S_ISDIR(st.st_mode) || !(st.st_mode & S_ISVTX)
        || (st.st_uid != 0 && st.st_uid != ::getuid()))
        return Fd();
    return shared;
}

// "Tavrin.app", then "Tavrin 2.app", "Tavrin 3.app" and on.
QByteArray trashName(const QByteArray& name, int attempt)
{
    if (attempt == 0)
        return name;
    const qsizetype dot = name.lastIndexOf('.');
    const qsizetype cut = dot > 0 ? dot : name.size();
    return name.left(cut) + ' ' + QByteArray::number(attempt + 1) + name.mid(cut);
}

// Claims a name with the info file first, as the freedesktop trash asks, then
// moves the entry under it; the info file goes again when the move fails.
Trash::Moved moveInto(Bin& bin, int dirFd, const QByteArray& name, const QByteArray& as,
                      const QByteArray& pathValue)
{
    const QByteArray text = "[Trash Info]\nPath=" + pathValue + "\nDeletionDate="
        + QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")).toLatin1() + '\n';
    for (int attempt = 0; attempt < UserFile::asideNames; ++attempt) {
        const QByteArray trashed = trashName(as, attempt);
        const QByteArray info = trashed + ".trashinfo";
        Fd out(::openat(bin.info.fd, info.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (out.fd < 0 && errno == EEXIST)
            continue;
        if (out.fd < 0)
            return failed(errno);
        int error = UserFile::writeAll(out.fd, text.constData(), size_t(text.size()));
        if (::close(std::exchange(out.fd, -1)) != 0 && !error)
            error = errno;
        if (!error && UserFile::renameNoReplace(dirFd, name.constData(), bin.files.fd, trashed.constData()) == 0)
            return {true, bin.path + QStringLiteral("/files/") + QFile::decodeName(trashed), 0};
        if (!error)
            error = errno;
        ::unlinkat(bin.info.fd, info.constData(), 0);
        // Something without an info file holds the name in files/.
        if (error != EEXIST)
            return failed(error);
    }
    return failed(EEXIST);
}

// The device of `path`, or of the nearest folder above it that exists:
// where a trash not made yet will lie.
bool deviceOf(QString path, dev_t* dev)
{
    struct stat st {};
    while (::stat(native(path).constData(), &st) != 0) {
        const QString up = QFileInfo(path).path();
        if (up == path || !QDir::isAbsolutePath(up))
            return false;
        path = up;
    }
    *dev = st.st_dev;
    return true;
}

// A mount point as mountinfo writes it: blanks, tabs, line breaks and
// backslashes as three octal digits after a backslash.
QByteArray unescaped(const QByteArray& field)
{
    QByteArray out;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' && field[i + 1] <= '3') {
            out += char(((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) | (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

bool isWithin(const QString& path, const QString& folder)
{
    return folder == u"/" || path == folder || path.startsWith(folder + u'/');
}

// The folder the home trash lies in ($XDG_DATA_HOME), opened once, when
// it and every folder above it are held to the rule of the folders the
// app's copies lie in: whoever could rename one of them could put a trash
// of their own in its place, and what the user restores from it.
Fd homeTrashFolder(const QString& data)
{
    Fd dataFd(::open(native(data).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dataFd.fd >= 0 && FolderChain::unsafeOnPath(dataFd.fd)) {
        errno = EPERM;
        return Fd();
    }
    return dataFd;
}

Trash::Moved toHomeTrash(int dirFd, const QByteArray& name, const QByteArray& as, const QString& path,
                         const QString& data)
{
    QDir().mkpath(data);
    const Fd dataFd = homeTrashFolder(data);
    Bin bin;
    if (dataFd.fd < 0 || !openBin(dataFd.fd, "Trash", data + QStringLiteral("/Trash"), bin))
        return failed(errno);
    return moveInto(bin, dirFd, name, as, Trash::infoPath(path, {}));
}

Trash::Moved toTopTrash(int dirFd, const QByteArray& name, const QByteArray& as, const QString& path,
                        const QString& folder, dev_t device)
{
    const QString top = Trash::topDirectory(folder);
    const Fd topFd(top.isEmpty() ? -1 : ::open(native(top).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat st {};
    if (topFd.fd < 0 || ::fstat(topFd.fd, &st) != 0)
        return failed(errno);
    if (st.st_dev != device)
        return failed(EXDEV);
    const QByteArray uid = QByteArray::number(::getuid());
    const QString base = top == u"/" ? QString() : top;
    Bin bin;
    const Fd shared = sharedTrash(topFd.fd);
    if (shared.fd >= 0
        && openBin(shared.fd, uid.constData(), base + QStringLiteral("/.Trash/") + QString::fromLatin1(uid), bin))
        return moveInto(bin, dirFd, name, as, Trash::infoPath(path, top));
    const QByteArray own = ".Trash-" + uid;
    if (!openBin(topFd.fd, own.constData(), base + u'/' + QString::fromLatin1(own), bin)) {
        // A top that holds no trash of ours and lets us make none has no
        // trash for us at all.
        const int error = errno;
        const bool none = (error == EACCES || error == EPERM)
            && ::fstatat(topFd.fd, own.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT;
        return failed(none ? EPERM : error);
    }
    return moveInto(bin, dirFd, name, as, Trash::infoPath(path, top));
}

} // namespace

QString Trash::topDirectory(const QString& path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    struct stat st {};
    if (canonical.isEmpty() || ::stat(native(canonical).constData(), &st) != 0)
        return {};
    // The deepest mount of this device that holds the path; of two at one
    // point the later, which is the one on top.
    QString best;
    QFile mounts(QStringLiteral("/proc/self/mountinfo"));
    if (mounts.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> lines = mounts.readAll().split('\n');
        for (const QByteArray& line : lines) {
            const QList<QByteArray> fields = line.split(' ');
            if (fields.size() < 5)
                continue;
            const QList<QByteArray> numbers = fields[2].split(':');
            if (numbers.size() != 2 || makedev(numbers[0].toUInt(), numbers[1].toUInt()) != st.st_dev)
                continue;
            const QString point = QFile::decodeName(unescaped(fields[4]));
            if (isWithin(canonical, point) && point.size() >= best.size())
                best = point;
        }
    }
    struct stat at {};
    if (!best.isEmpty() && ::stat(native(best).constData(), &at) == 0 && at.st_dev == st.st_dev)
        return best;
    // Without a readable mount table (or for a folder of a filesystem that
    // is no mount of its own, as a btrfs subvolume): up while the device
    // stays the same.
    QString top = canonical;
    while (top != u"/") {
        const QString up = QFileInfo(top).path();
        if (::stat(native(up).constData(), &at) != 0 || at.st_dev != st.st_dev)
            break;
        top = up;
    }
    return top;
}

QByteArray Trash::infoPath(const QString& path, const QString& top)
{
    QString value = path;
    if (!top.isEmpty() && isWithin(path, top) && path != top)
        value = top == u"/" ? path.mid(1) : path.mid(top.size() + 1);
    return native(value).toPercentEncoding("/");
}

Trash::Moved Trash::put(int dirFd, const QByteArray& name, const QString& restoreAs)
{
    struct stat entry {};
    if (name.isEmpty() || name.contains('/') || ::fstatat(dirFd, name.constData(), &entry, AT_SYMLINK_NOFOLLOW) != 0)
        return failed(errno);
    // The folder's own path, whatever it was called when opened.
    const QString folder = QFile::decodeName(QByteArray::fromStdString(UserFile::currentPath(dirFd)));
    if (folder.isEmpty())
        return failed(errno);
    const QString path = restoreAs.isEmpty() ? (folder == u"/" ? QString() : folder) + u'/' + QFile::decodeName(name)
                                             : QDir::cleanPath(restoreAs);
    const QByteArray as = restoreAs.isEmpty() ? name : native(QFileInfo(path).fileName());
    if (!QDir::isAbsolutePath(path) || as.isEmpty())
        return failed(EINVAL);

    // The home trash takes what lies on its filesystem, and only it: a
    // trash there that is not safe to use leaves the entry where it is.
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    dev_t home = 0;
    if (QDir::isAbsolutePath(data) && deviceOf(data + QStringLiteral("/Trash"), &home) && home == entry.st_dev) {
        const Moved moved = toHomeTrash(dirFd, name, as, path, data);
        // One filesystem seen through two mounts: the rename cannot cross.
        if (moved.ok || moved.error != EXDEV)
            return moved;
    }
    return toTopTrash(dirFd, name, as, path, folder, entry.st_dev);
}

namespace {

// An existing trash folder, as a trash is used: ours, a folder and not a
// link, and no one else may write in it. Nothing is made.
Fd existingFolder(int at, const char* name)
{
    return ownFolder(at, name, false, false);
}

// The Path= value of an info file's text, as written; nothing when it is no
// info file.
std::optional<QByteArray> pathValueOf(const QByteArray& text)
{
    const QList<QByteArray> lines = text.split('\n');
    if (lines.isEmpty() || lines.first() != "[Trash Info]")
        return std::nullopt;
    for (const QByteArray& line : lines)
        if (line.startsWith("Path="))
            return line.mid(5);
    return std::nullopt;
}

int dropOrphansIn(int trashFd, const std::function<bool(const QByteArray&, const QByteArray&)>& ours)
{
    const Fd info = existingFolder(trashFd, "info");
    const Fd files = existingFolder(trashFd, "files");
    if (info.fd < 0 || files.fd < 0)
        return 0;
    // Listed whole first: entries are removed as they are judged.
    QList<QByteArray> names;
    ProcFiles::forEachEntry(info.fd, [&](const char* name) { names.append(QByteArray(name)); });
    int dropped = 0;
    for (const QByteArray& name : names) {
        if (!name.endsWith(".trashinfo"))
            continue;
        struct stat st {};
        const QByteArray entry = name.chopped(10);
        if (entry.isEmpty() || ::fstatat(files.fd, entry.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0
            || errno != ENOENT)
            continue;
        Fd f(::openat(info.fd, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        if (f.fd < 0 || ::fstat(f.fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::getuid()
            || st.st_nlink != 1 || st.st_size > 65536)
            continue;
        QByteArray text(qsizetype(st.st_size), '\0');
        if (::read(f.fd, text.data(), size_t(text.size())) != st.st_size)
            continue;
        const auto path = pathValueOf(text);
        struct stat now {};
        // Removed only while its name still holds the file judged.
        if (path && ours(name, *path) && ::fstatat(info.fd, name.constData(), &now, AT_SYMLINK_NOFOLLOW) == 0
            && now.st_dev == st.st_dev && now.st_ino == st.st_ino && ::unlinkat(info.fd, name.constData(), 0) == 0)
            ++dropped;
    }
    return dropped;
}

} // namespace

int Trash::dropOrphans(int dirFd, const std::function<bool(const QByteArray&, const QByteArray&)>& ours)
{
    int dropped = 0;
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (QDir::isAbsolutePath(data)) {
        const Fd dataFd = homeTrashFolder(data);
        const Fd home = dataFd.fd < 0 ? Fd() : existingFolder(dataFd.fd, "Trash");
        if (home.fd >= 0)
            dropped += dropOrphansIn(home.fd, ours);
    }
    const QString folder = QFile::decodeName(QByteArray::fromStdString(UserFile::currentPath(dirFd)));
    const QString top = folder.isEmpty() ? QString() : topDirectory(folder);
    const Fd topFd(top.isEmpty() ? -1 : ::open(native(top).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (topFd.fd < 0)
        return dropped;
    const QByteArray uid = QByteArray::number(::getuid());
    if (const Fd shared = sharedTrash(topFd.fd); shared.fd >= 0) {
        const Fd mine = existingFolder(shared.fd, uid.constData());
        if (mine.fd >= 0)
            dropped += dropOrphansIn(mine.fd, ours);
    }
    const Fd own = existingFolder(topFd.fd, QByteArray(".Trash-" + uid).constData());
    if (own.fd >= 0)
        dropped += dropOrphansIn(own.fd, ours);
    return dropped;
}
