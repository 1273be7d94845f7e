#include "update/zip_archive.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <archive.h>
#include <archive_entry.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

struct Fd {
    int fd = -1;
    explicit Fd(int f = -1) : fd(f) {}
    ~Fd() { if (fd >= 0) ::close(fd); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd(Fd&& o) noexcept : fd(o.fd) { o.fd = -1; }
    Fd& operator=(Fd&& o) noexcept
    {
        std::swap(fd, o.fd);
        return *this;
    }
};

bool fail(QString* why, const QString& text)
{
    if (why)
        *why = text;
    return false;
}

// Splits a relative path into its pieces; empty when it is not a plain
// relative path (absolute, "..", ".", empty pieces, a NUL).
std::vector<std::string> pieces(const std::string& path)
{
    std::vector<std::string> out;
    if (path.empty() || path.front() == '/' || path.find('\0') != std::string::npos)
        return {};
    std::string p = path;
    if (p.back() == '/')
        p.pop_back();
    size_t start = 0;
    while (start <= p.size()) {
        const size_t end = p.find('/', start);
        const std::string piece = p.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (piece.empty() || piece == "." || piece == "..")
            return {};
        out.push_back(piece);
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return out;
}

// Opens (making where missing) the directories leading to an entry, one
// component at a time, never following a link.
Fd openParent(int root, const std::vector<std::string>& parts)
{
    Fd dir(::dup(root));
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        if (::mkdirat(dir.fd, parts[i].c_str(), 0700) != 0 && errno != EEXIST)
            return Fd();
        Fd next(::openat(dir.fd, parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (next.fd < 0)
            return Fd();
        dir = std::move(next);
    }
    return dir;
}

} // namespace

bool ZipArchive::expand(const QString& zip, const QString& destination, QString* why, const Limits& limits)
{
    struct stat zipStat {};
    if (::stat(QFile::encodeName(zip).constData(), &zipStat) != 0 || !S_ISREG(zipStat.st_mode))
        return fail(why, QStringLiteral("no archive"));
    const int64_t budget = std::min<int64_t>(limits.totalBytes, int64_t(zipStat.st_size) * limits.ratio);

    using Reader = std::unique_ptr<archive, decltype(&archive_read_free)>;
    auto open = [&]() -> Reader {
        Reader in(archive_read_new(), archive_read_free);
        archive_read_support_format_zip_seekable(in.get());
        if (archive_read_open_filename(in.get(), QFile::encodeName(zip).constData(), 1 << 16) != ARCHIVE_OK)
            in.reset();
        return in;
    };

    // First the whole directory, before anything is written: a bad entry
    // anywhere refuses the archive.
    {
        Reader in = open();
        if (!in)
            return fail(why, QStringLiteral("not a zip archive"));
        std::set<std::string> seen;
        int64_t entries = 0;
        int64_t declared = 0;
        for (;;) {
            archive_entry* entry = nullptr;
            const int r = archive_read_next_header(in.get(), &entry);
            if (r == ARCHIVE_EOF)
                break;
            if (r != ARCHIVE_OK)
                return fail(why, QStringLiteral("damaged archive"));
            if (++entries > limits.entries)
                return fail(why, QStringLiteral("too many entries"));
            const char* rawPath = archive_entry_pathname(entry);
            const std::string path = rawPath ? rawPath : "";
            if (int(path.size()) > limits.pathLength)
                return fail(why, QStringLiteral("path too long"));
            const std::vector<std::string> parts = pieces(path);
            if (parts.empty())
                return fail(why, QStringLiteral("unsafe path: ") + QString::fromStdString(path));
            if (int(parts.size()) > limits.depth)
                return fail(why, QStringLiteral("path too deep"));
            std::string key;
            for (const auto& p : parts)
                key += "/" + p;
            if (!seen.insert(key).second)
                return fail(why, QStringLiteral("duplicate entry: ") + QString::fromStdString(path));
            if (archive_entry_is_encrypted(entry))
                return fail(why, QStringLiteral("encrypted entry"));
            if (archive_entry_hardlink(entry))
                return fail(why, QStringLiteral("hard link"));
            const auto type = archive_entry_filetype(entry);
            if (type != AE_IFREG && type != AE_IFDIR && type != AE_IFLNK)
                return fail(why, QStringLiteral("not a file, folder or link: ") + QString::fromStdString(path));
            if (archive_entry_size_is_set(entry)) {
                declared += std::max<int64_t>(archive_entry_size(entry), 0);
                if (declared > budget)
                    return fail(why, QStringLiteral("expands too far"));
            }
        }
    }

    if (::mkdir(QFile::encodeName(destination).constData(), 0700) != 0)
        return fail(why, QStringLiteral("cannot make the destination"));
    Fd root(::open(QFile::encodeName(destination).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (root.fd < 0)
        return fail(why, QStringLiteral("cannot open the destination"));

    // Then the writing, which still refuses what it meets, and counts the
    // bytes that really come out: sizes in the headers may lie.
    Reader in = open();
    if (!in)
        return fail(why, QStringLiteral("not a zip archive"));
    std::set<std::string> seen;
    int64_t entries = 0;
    int64_t written = 0;
    std::vector<char> buf(1 << 16);
    for (;;) {
        archive_entry* entry = nullptr;
        const int r = archive_read_next_header(in.get(), &entry);
        if (r == ARCHIVE_EOF)
            break;
        if (r != ARCHIVE_OK)
            return fail(why, QStringLiteral("damaged archive"));
        const char* rawPath = archive_entry_pathname(entry);
        const std::string path = rawPath ? rawPath : "";
        const std::vector<std::string> parts = pieces(path);
        std::string key;
        for (const auto& p : parts)
            key += "/" + p;
        if (++entries > limits.entries || parts.empty() || int(parts.size()) > limits.depth
            || !seen.insert(key).second || archive_entry_hardlink(entry) || archive_entry_is_encrypted(entry))
            return fail(why, QStringLiteral("the archive changed while it was read"));

        Fd parent = openParent(root.fd, parts);
        if (parent.fd < 0)
            return fail(why, QStringLiteral("cannot reach the folder of ") + QString::fromStdString(path));
        const char* name = parts.back().c_str();
        const mode_t mode = archive_entry_perm(entry) & 0755;
        switch (archive_entry_filetype(entry)) {
        case AE_IFDIR:
            // A directory made earlier for a deeper entry is taken as is.
            if (::mkdirat(parent.fd, name, 0700) != 0 && errno != EEXIST)
                return fail(why, QStringLiteral("cannot make a folder"));
            {
                Fd d(::openat(parent.fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
                if (d.fd < 0 || ::fchmod(d.fd, mode | 0700) != 0)
                    return fail(why, QStringLiteral("a folder that is not one"));
            }
            break;
        case AE_IFLNK: {
            const char* target = archive_entry_symlink(entry);
            if (!target || !*target || ::symlinkat(target, parent.fd, name) != 0)
                return fail(why, QStringLiteral("cannot make a link"));
            break;
        }
        case AE_IFREG: {
            Fd f(::openat(parent.fd, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
            if (f.fd < 0)
                return fail(why, QStringLiteral("cannot write ") + QString::fromStdString(path));
            for (;;) {
                const la_ssize_t n = archive_read_data(in.get(), buf.data(), buf.size());
                if (n == 0)
                    break;
                if (n < 0)
                    return fail(why, QStringLiteral("damaged data in ") + QString::fromStdString(path));
                written += n;
                if (written > budget)
                    return fail(why, QStringLiteral("expands too far"));
                for (la_ssize_t done = 0; done < n;) {
                    const ssize_t w = ::write(f.fd, buf.data() + done, size_t(n - done));
                    if (w < 0 && errno == EINTR)
                        continue;
                    if (w <= 0)
                        return fail(why, QStringLiteral("cannot write ") + QString::fromStdString(path));
                    done += w;
                }
            }
            if (::fchmod(f.fd, mode) != 0)
                return fail(why, QStringLiteral("cannot set the mode of ") + QString::fromStdString(path));
            break;
        }
        default:
            return fail(why, QStringLiteral("not a file, folder or link: ") + QString::fromStdString(path));
        }
    }
    return true;
}

bool ZipArchive::write(const QString& source, const QString& zip, bool store, QString* why)
{
    const QFileInfo top(source);
    struct stat topStat {};
    if (::lstat(QFile::encodeName(source).constData(), &topStat) != 0 || !S_ISDIR(topStat.st_mode))
        return fail(why, QStringLiteral("not a folder: ") + source);
    std::unique_ptr<archive, decltype(&archive_write_free)> out(archive_write_new(), archive_write_free);
    archive_write_set_format_zip(out.get());
    if (store)
        archive_write_set_options(out.get(), "zip:compression=store");
    if (archive_write_open_filename(out.get(), QFile::encodeName(zip).constData()) != ARCHIVE_OK)
        return fail(why, QStringLiteral("cannot write ") + zip);

    QStringList paths{source};
    QDirIterator it(source, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        paths << it.next();
    std::sort(paths.begin() + 1, paths.end());
    const QString base = top.absolutePath();
    std::vector<char> buf(1 << 16);
    for (const QString& path : paths) {
        struct stat st {};
        const QByteArray native = QFile::encodeName(path);
        if (::lstat(native.constData(), &st) != 0)
            return fail(why, QStringLiteral("cannot read ") + path);
        const QString name = QFileInfo(path).absoluteFilePath().mid(base.size() + 1);
        std::unique_ptr<archive_entry, decltype(&archive_entry_free)> e(archive_entry_new(), archive_entry_free);
        archive_entry_set_pathname(e.get(), name.toUtf8().constData());
        archive_entry_set_perm(e.get(), st.st_mode & 07777);
        archive_entry_set_mtime(e.get(), st.st_mtime, 0);
        if (S_ISDIR(st.st_mode)) {
            archive_entry_set_filetype(e.get(), AE_IFDIR);
        } else if (S_ISLNK(st.st_mode)) {
            char target[4096];
            const ssize_t n = ::readlink(native.constData(), target, sizeof target - 1);
            if (n < 0)
                return fail(why, QStringLiteral("cannot read ") + path);
            target[n] = 0;
            archive_entry_set_filetype(e.get(), AE_IFLNK);
            archive_entry_set_symlink(e.get(), target);
        } else if (S_ISREG(st.st_mode)) {
            archive_entry_set_filetype(e.get(), AE_IFREG);
            archive_entry_set_size(e.get(), st.st_size);
        } else {
            return fail(why, QStringLiteral("not a file, folder or link: ") + path);
        }
        if (archive_write_header(out.get(), e.get()) != ARCHIVE_OK)
            return fail(why, QString::fromUtf8(archive_error_string(out.get())));
        if (S_ISREG(st.st_mode)) {
            Fd f(::open(native.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
            if (f.fd < 0)
                return fail(why, QStringLiteral("cannot read ") + path);
            ssize_t n;
            while ((n = ::read(f.fd, buf.data(), buf.size())) > 0)
                if (archive_write_data(out.get(), buf.data(), size_t(n)) != n)
                    return fail(why, QString::fromUtf8(archive_error_string(out.get())));
            if (n < 0)
                return fail(why, QStringLiteral("cannot read ") + path);
        }
    }
    if (archive_write_close(out.get()) != ARCHIVE_OK)
        return fail(why, QString::fromUtf8(archive_error_string(out.get())));
    return true;
}
