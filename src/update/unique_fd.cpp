#include "update/unique_fd.h"

#include "core/utf8.h"

#include <QByteArrayList>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#if __has_include(<linux/openat2.h>)
#include <linux/openat2.h>
#endif

#include <memory>

UniqueFd::~UniqueFd()
{
    if (fd >= 0)
        ::close(fd);
}

std::optional<std::vector<QByteArray>> entryNames(int dirFd)
{
    const int own = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (own < 0)
        return std::nullopt;
    struct CloseDir {
        void operator()(DIR* d) const { ::closedir(d); }
    };
    std::unique_ptr<DIR, CloseDir> dir(::fdopendir(own));
    if (!dir) {
        ::close(own);
        return std::nullopt;
    }
    std::vector<QByteArray> names;
    while (const dirent* d = ::readdir(dir.get())) {
        const QByteArray name(d->d_name);
        if (name != "." && name != "..")
            names.push_back(name);
    }
    return names;
}

UniqueFd openBeneath(int dirFd, const QByteArray& relative, int flags)
{
    flags = (flags & ~O_CREAT) | O_CLOEXEC;
    if (relative.isEmpty() || relative.startsWith('/')) {
        errno = EXDEV;
        return UniqueFd();
    }
#if defined(SYS_openat2) && defined(RESOLVE_BENEATH)
    open_how how {};
    how.flags = uint64_t(flags);
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    const int fd = int(::syscall(SYS_openat2, dirFd, relative.constData(), &how, sizeof how));
    if (fd >= 0 || errno != ENOSYS)
        return UniqueFd(fd);
#endif
    // An older kernel: part by part, none of them a link or "..".
    const QList<QByteArray> parts = relative.split('/');
    UniqueFd at;
    int from = dirFd;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QByteArray& part = parts[i];
        if (part == "..") {
            errno = EXDEV;
            return UniqueFd();
        }
        const bool last = i + 1 == parts.size();
        if ((part.isEmpty() || part == ".") && !last)
            continue;
        UniqueFd next(::openat(from, part.isEmpty() ? "." : part.constData(),
                               last ? flags | O_NOFOLLOW : O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (next.fd < 0)
            return UniqueFd();
        at = std::move(next);
        from = at.fd;
    }
    return at;
}

RegularFile openRegular(const QByteArray& path)
{
    RegularFile r;
    r.file = UniqueFd(::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (r.file.fd < 0 || ::fstat(r.file.fd, &r.st) != 0) {
        r.error = errno;
        r.file = UniqueFd();
    } else if (!S_ISREG(r.st.st_mode)) {
        r.notAFile = true;
        r.file = UniqueFd();
    }
    return r;
}

bool isUtf8(const QByteArray& name)
{
    for (qsizetype at = 0; at < name.size();) {
        const qsizetype n = utf8Sequence(name, at);
        if (n == 0)
            return false;
        at += n;
    }
    return true;
}

QString shownName(const QByteArray& name)
{
    QString out;
    for (qsizetype at = 0; at < name.size();) {
        const qsizetype n = utf8Sequence(name, at);
        const uchar c = uchar(name[at]);
        if (n == 0 || c < 0x20 || c == 0x7f) {
            out += QStringLiteral("\\x%1").arg(uint(c), 2, 16, QLatin1Char('0'));
            ++at;
        } else {
            out += QString::fromUtf8(name.constData() + at, n);
            at += n;
        }
    }
    return out;
}
