#include "update/zip_archive.h"

#include "platform/user_file.h"
#include "update/unique_fd.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <archive.h>
#include <archive_entry.h>

#include <openssl/evp.h>

#include <fcntl.h>
#include <locale.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

using Fd = UniqueFd;

bool fail(QString* why, const QString& text)
{
    if (why)
        *why = text;
    return false;
}

std::nullopt_t none(QString* why, const QString& text)
{
    fail(why, text);
    return std::nullopt;
}

// libarchive turns names into and out of the charset of the thread's
// locale, and the archive's names are UTF-8 whatever the process's locale
// says: while one of these lives, this thread's names are UTF-8.
class Utf8Names {
public:
    Utf8Names()
    {
        static const locale_t utf8 = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(nullptr));
        if (utf8)
            old = ::uselocale(utf8);
    }
    ~Utf8Names()
    {
        if (old)
            ::uselocale(old);
    }
    Utf8Names(const Utf8Names&) = delete;
    Utf8Names& operator=(const Utf8Names&) = delete;

private:
    locale_t old = locale_t(nullptr);
};

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

// Little-endian fields of an archive in memory; callers check bounds
// against `n` first.
struct Bytes {
    const unsigned char* p;
    size_t n;
    uint32_t u16(uint64_t at) const { return uint32_t(p[at]) | uint32_t(p[at + 1]) << 8; }
    uint32_t u32(uint64_t at) const { return u16(at) | u16(at + 2) << 16; }
    uint64_t u64(uint64_t at) const { return uint64_t(u32(at)) | uint64_t(u32(at + 4)) << 32; }
};

constexpr uint32_t localSig = 0x04034b50;
constexpr uint32_t centralSig = 0x02014b50;
constexpr uint32_t endSig = 0x06054b50;
constexpr uint32_t end64Sig = 0x06064b50;
constexpr uint32_t locatorSig = 0x07064b50;
constexpr uint32_t descriptorSig = 0x08074b50;

struct Refused {
    QString* why;
    std::nullopt_t operator()(const char* text) const
    {
        if (why)
            *why = QString::fromLatin1(text);
        return std::nullopt;
    }
};

// One entry as the central directory lists it.
struct Listed {
    std::string name;
    uint64_t packed = 0;  // bytes of data in the archive
    uint64_t size = 0;    // bytes once expanded
    uint64_t data = 0;    // where its data starts
    uint32_t method = 0;  // 0: stored as it is
};

std::optional<std::vector<Listed>> listing(const unsigned char* data, size_t size, QString* why);

std::vector<std::string> namesOf(std::vector<Listed>&& listed)
{
    std::vector<std::string> names;
    names.reserve(listed.size());
    for (Listed& entry : listed)
        names.push_back(std::move(entry.name));
    return names;
}

} // namespace

std::optional<std::vector<std::string>> ZipArchive::directory(const unsigned char* data, size_t size, QString* why)
{
    auto listed = listing(data, size, why);
    if (!listed)
        return std::nullopt;
    return namesOf(std::move(*listed));
}

namespace {

std::optional<std::vector<Listed>> listing(const unsigned char* data, size_t size, QString* why)
{
    const Bytes b{data, size};
    const Refused refuse{why};

    // The end record, its comment included, ends the file, and only one
    // record may be read that way.
    std::optional<uint64_t> end;
    for (uint64_t back = 0; size >= 22 && back <= 0xffff && back <= size - 22; ++back) {
        const uint64_t at = size - 22 - back;
        if (b.u32(at) == endSig && b.u16(at + 20) == back) {
            if (end)
                return refuse("two end records");
            end = at;
        }
    }
    if (!end)
        return refuse("no end record at the end of the archive");
    const uint64_t e = *end;
    if (b.u16(e + 4) != 0 || b.u16(e + 6) != 0 || b.u16(e + 8) != b.u16(e + 10))
        return refuse("a split archive");
    uint64_t count = b.u16(e + 10);
    uint64_t cdSize = b.u32(e + 12);
    uint64_t cdOffset = b.u32(e + 16);
    uint64_t cdEnd = e;
    if (count == 0xffff || cdSize == 0xffffffff || cdOffset == 0xffffffff) {
        // The 64-bit end record, found through its locator just before.
        if (e < 20 || b.u32(e - 20) != locatorSig || b.u32(e - 16) != 0 || b.u32(e - 4) != 1)
            return refuse("a damaged zip64 locator");
        const uint64_t loc = e - 20;
        const uint64_t z = b.u64(e - 12);
        if (z > loc || loc - z < 56 || b.u32(z) != end64Sig || b.u64(z + 4) != loc - z - 12 || b.u32(z + 16) != 0
            || b.u32(z + 20) != 0 || b.u64(z + 24) != b.u64(z + 32))
            return refuse("a damaged zip64 end record");
        auto agrees = [](uint64_t small, uint64_t wide, uint64_t marker) { return small == marker || small == wide; };
        if (!agrees(count, b.u64(z + 32), 0xffff) || !agrees(cdSize, b.u64(z + 40), 0xffffffff)
            || !agrees(cdOffset, b.u64(z + 48), 0xffffffff))
            return refuse("the two end records differ");
        count = b.u64(z + 32);
        cdSize = b.u64(z + 40);
        cdOffset = b.u64(z + 48);
        cdEnd = z;
    }
    if (cdOffset > cdEnd || cdEnd - cdOffset != cdSize || count > cdSize / 46)
        return refuse("the central directory is not where the end record says");

    std::vector<Listed> names;
    names.reserve(size_t(count));
    uint64_t at = cdOffset;  // the next directory entry
    uint64_t next = 0;       // where the next local header must start
    for (uint64_t i = 0; i < count; ++i) {
        if (cdEnd - at < 46 || b.u32(at) != centralSig)
            return refuse("a damaged central directory");
        const uint32_t flags = b.u16(at + 8);
        const uint32_t method = b.u16(at + 10);
        const uint32_t crc = b.u32(at + 16);
        const uint64_t csize = b.u32(at + 20);
        const uint64_t usize = b.u32(at + 24);
        const uint64_t nameLen = b.u16(at + 28);
        const uint64_t entryLen = 46 + nameLen + b.u16(at + 30) + b.u16(at + 32);
        const uint64_t local = b.u32(at + 42);
        if (cdEnd - at < entryLen)
            return refuse("a damaged central directory");
        if (csize == 0xffffffff || usize == 0xffffffff || local == 0xffffffff || b.u16(at + 34) != 0)
            return refuse("a zip64 or split entry");
        if (flags & 0x41)
            return refuse("an encrypted entry");
        std::string name(reinterpret_cast<const char*>(data + at + 46), size_t(nameLen));
        if (name.empty())
            return refuse("an entry without a name");
        if (!(flags & 0x800) && std::any_of(name.begin(), name.end(), [](char c) { return (c & 0x80) != 0; }))
            return refuse("a name in an unknown character set");
        if ((flags & 0x800) && !isUtf8(QByteArray::fromStdString(name)))
            return refuse("a name marked UTF-8 that is not");

        // Its local header starts where the entry before it ended.
        if (local != next || cdOffset - local < 30 || b.u32(local) != localSig)
            return refuse("local headers out of step with the central directory");
        const uint32_t localFlags = b.u16(local + 6);
        const uint64_t localNameLen = b.u16(local + 26);
        const uint64_t dataStart = local + 30 + localNameLen + b.u16(local + 28);
        if (localNameLen != nameLen || dataStart > cdOffset || std::memcmp(data + local + 30, name.data(), name.size()) != 0)
            return refuse("a local header names another entry");
        if (b.u16(local + 8) != method || ((localFlags ^ flags) & 0x849) != 0
            || (!(flags & 8) && (b.u32(local + 14) != crc || b.u32(local + 18) != csize || b.u32(local + 22) != usize)))
            return refuse("a local header differs from the central directory");
        if (cdOffset - dataStart < csize)
            return refuse("entry data runs into the central directory");
        next = dataStart + csize;
        if (flags & 8) {
            // A data descriptor, with or without its signature, repeating
            // the directory's figures.
            auto descriptor = [&](uint64_t d) {
                return cdOffset - d >= 12 && b.u32(d) == crc && b.u32(d + 4) == csize && b.u32(d + 8) == usize;
            };
            if (cdOffset - next >= 4 && b.u32(next) == descriptorSig && descriptor(next + 4))
                next += 16;
            else if (descriptor(next))
                next += 12;
            else
                return refuse("a data descriptor differs from the central directory");
        }
        names.push_back({std::move(name), csize, usize, dataStart, method});
        at += entryLen;
    }
    if (at != cdEnd || next != cdOffset)
        return refuse("bytes the central directory does not account for");
    return names;
}

// The central directory of the archive open at `fd`, `size` bytes long.
std::optional<std::vector<Listed>> listFile(int fd, int64_t size, QString* why)
{
    if (size <= 0)
        return none(why, QStringLiteral("not a zip archive"));
    void* map = ::mmap(nullptr, size_t(size), PROT_READ, MAP_PRIVATE, fd, 0);
    if (map == MAP_FAILED)
        return none(why, QStringLiteral("cannot read the archive"));
    auto listed = listing(static_cast<const unsigned char*>(map), size_t(size), why);
    ::munmap(map, size_t(size));
    return listed;
}

using Reader = std::unique_ptr<archive, decltype(&archive_read_free)>;

// A reader of the archive open at `fd`, from its first byte.
Reader openReader(int fd)
{
    Reader in(archive_read_new(), archive_read_free);
    archive_read_support_format_zip_seekable(in.get());
    if (::lseek(fd, 0, SEEK_SET) != 0 || archive_read_open_fd(in.get(), fd, 1 << 16) != ARCHIVE_OK)
        in.reset();
    return in;
}

QString tooFar(int64_t budget)
{
    return QStringLiteral("expands to more than %1 bytes, the most an archive of its size may").arg(budget);
}

QString nameText(const std::string& name) { return shownName(QByteArray::fromStdString(name)); }

// libarchive hands out a name marked UTF-8, and a link target beside it,
// in composed form (NFC), whatever bytes the archive holds. The archive's
// own bytes are the name, as the seal lists it; what libarchive read must
// still be the same text.
bool sameText(const std::string& read, const std::string& held)
{
    if (read == held)
        return true;
    const auto text = [](const std::string& s) {
        return QString::fromUtf8(s.data(), qsizetype(s.size())).normalized(QString::NormalizationForm_C);
    };
    return text(read) == text(held);
}

// The entry that libarchive read as `read`, the next one the central
// directory lists: its bytes, or nothing with a reason naming both.
std::optional<std::string> listedName(const std::vector<Listed>& listed, int64_t index, const std::string& read,
                                      QString* why)
{
    if (index >= int64_t(listed.size()))
        return none(why, QStringLiteral("an entry that the central directory does not list: ") + nameText(read));
    const std::string& held = listed[size_t(index)].name;
    if (!sameText(read, held))
        return none(why, QStringLiteral("the central directory lists %1 where the archive holds %2")
                             .arg(nameText(held), nameText(read)));
    return held;
}

// A link's target as the archive holds it. A stored link's data is its
// target, read here byte for byte; one compressed is taken as libarchive
// gives it. Nothing, with a reason, when the two disagree.
std::optional<std::string> linkTarget(int fd, const Listed& listed, const char* read, const ZipArchive::Limits& limits,
                                      QString* why)
{
    const std::string given = read ? read : "";
    if (listed.method != 0)
        return given;
    if (listed.packed > uint64_t(limits.pathLength))
        return none(why, QStringLiteral("link target too long: ") + nameText(listed.name));
    std::string held(size_t(listed.packed), '\0');
    if (::pread(fd, held.data(), held.size(), off_t(listed.data)) != ssize_t(held.size()) || !sameText(given, held))
        return none(why, QStringLiteral("a link whose target the archive does not hold: ") + nameText(listed.name));
    return held;
}

// Everything expansion checks before it writes a byte, on the archive open
// at `fd`: the directory as the bytes say, checked against every local
// header, then what libarchive reads, which must be exactly these entries,
// each of a kind, name and place expansion takes, and together declaring no
// more bytes than the budget. The entries, or nothing with a reason.
std::optional<std::vector<Listed>> precheck(int fd, int64_t size, const ZipArchive::Limits& limits, QString* why)
{
    auto listed = listFile(fd, size, why);
    if (!listed)
        return std::nullopt;
    if (int64_t(listed->size()) > limits.entries)
        return none(why, QStringLiteral("too many entries"));
    if (listed->empty())
        return none(why, QStringLiteral("an empty archive"));

    const int64_t budget = ZipArchive::budget(size, limits);
    const Utf8Names utf8;
    Reader in = openReader(fd);
    if (!in)
        return none(why, QStringLiteral("not a zip archive"));
    const auto refused = [why](const QString& text) { return none(why, text); };
    std::set<std::string> seen;
    std::string top;
    int64_t entries = 0;
    int64_t declared = 0;
    for (;;) {
        archive_entry* entry = nullptr;
        const int r = archive_read_next_header(in.get(), &entry);
        if (r == ARCHIVE_EOF)
            break;
        if (r != ARCHIVE_OK)
            return refused(QStringLiteral("damaged archive"));
        if (++entries > limits.entries)
            return refused(QStringLiteral("too many entries"));
        const char* rawPath = archive_entry_pathname(entry);
        const auto held = listedName(*listed, entries - 1, rawPath ? rawPath : "", why);
        if (!held)
            return std::nullopt;
        const std::string& path = *held;
        const QString shown = nameText(path);
        if (int(path.size()) > limits.pathLength)
            return refused(QStringLiteral("path too long: ") + shown);
        const std::vector<std::string> parts = pieces(path);
        if (parts.empty())
            return refused(QStringLiteral("unsafe path: ") + shown);
        if (int(parts.size()) > limits.depth)
            return refused(QStringLiteral("path too deep: ") + shown);
        std::string key;
        for (const auto& p : parts)
            key += "/" + p;
        if (!seen.insert(key).second)
            return refused(QStringLiteral("duplicate entry: ") + shown);
        if (archive_entry_is_encrypted(entry))
            return refused(QStringLiteral("encrypted entry"));
        if (archive_entry_hardlink(entry))
            return refused(QStringLiteral("hard link"));
        const auto type = archive_entry_filetype(entry);
        if (type != AE_IFREG && type != AE_IFDIR && type != AE_IFLNK)
            return refused(QStringLiteral("not a file, folder or link: ") + shown);
        // One folder holds everything.
        if (top.empty())
            top = parts.front();
        if (parts.front() != top || (parts.size() == 1 && type != AE_IFDIR))
            return refused(QStringLiteral("more than one folder at the top: ") + shown);
        if (type == AE_IFLNK && !linkTarget(fd, (*listed)[size_t(entries - 1)], archive_entry_symlink(entry), limits, why))
            return std::nullopt;
        if (archive_entry_size_is_set(entry)) {
            declared += std::max<int64_t>(archive_entry_size(entry), 0);
            if (declared > budget)
                return refused(tooFar(budget) + QStringLiteral(" (at ") + shown + u')');
        }
    }
    if (entries != int64_t(listed->size()))
        return refused(QStringLiteral("the central directory lists %1, which the archive does not hold")
                           .arg(nameText((*listed)[size_t(entries)].name)));
    return listed;
}

} // namespace

bool ZipArchive::admits(int fd, QString* why, const Limits& limits)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return fail(why, QStringLiteral("no archive"));
    return precheck(fd, st.st_size, limits, why).has_value();
}

bool ZipArchive::expand(const QString& zip, const QString& destination, QString* why, const Limits& limits,
                        bool* noSpace)
{
    if (noSpace)
        *noSpace = false;
    // A write that failed for want of room says so; errno is read first.
    auto writeFailed = [why, noSpace](int error, const QString& text) {
        if (noSpace)
            *noSpace = UserFile::isNoSpace(error);
        return fail(why, text);
    };
    // One descriptor serves every read, so the bytes checked here are the
    // bytes libarchive reads.
    RegularFile archive = openRegular(QFile::encodeName(zip));
    const Fd zipFd = std::move(archive.file);
    const struct stat& zipStat = archive.st;
    if (zipFd.fd < 0)
        return fail(why, QStringLiteral("no archive"));
    const int64_t budget = ZipArchive::budget(zipStat.st_size, limits);

    // A bad entry anywhere refuses the archive before anything is written.
    const auto listed = precheck(zipFd.fd, zipStat.st_size, limits, why);
    if (!listed)
        return false;

    if (::mkdir(QFile::encodeName(destination).constData(), 0700) != 0)
        return writeFailed(errno, QStringLiteral("cannot make the destination"));
    Fd root(::open(QFile::encodeName(destination).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (root.fd < 0)
        return fail(why, QStringLiteral("cannot open the destination"));

    // Then the writing, which still refuses what it meets, and counts the
    // bytes that really come out: sizes in the headers may lie.
    const Utf8Names utf8;
    Reader in = openReader(zipFd.fd);
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
        // The name as the archive holds it, byte for byte.
        const auto held = listedName(*listed, entries++, rawPath ? rawPath : "", nullptr);
        const std::string path = held.value_or(std::string());
        const std::vector<std::string> parts = pieces(path);
        std::string key;
        for (const auto& p : parts)
            key += "/" + p;
        if (!held || parts.empty() || int(parts.size()) > limits.depth || !seen.insert(key).second
            || archive_entry_hardlink(entry) || archive_entry_is_encrypted(entry))
            return fail(why, QStringLiteral("the archive changed while it was read"));

        Fd parent = openParent(root.fd, parts);
        if (parent.fd < 0)
            return writeFailed(errno, QStringLiteral("cannot reach the folder of ") + QString::fromStdString(path));
        const char* name = parts.back().c_str();
        const bool folder = archive_entry_filetype(entry) == AE_IFDIR;
        const mode_t mode = mode_t(expandedMode(folder, int(archive_entry_perm(entry) & 07777)));
        switch (archive_entry_filetype(entry)) {
        case AE_IFDIR:
            // A directory made earlier for a deeper entry is taken as is.
            if (::mkdirat(parent.fd, name, 0700) != 0 && errno != EEXIST)
                return writeFailed(errno, QStringLiteral("cannot make a folder"));
            {
                Fd d(::openat(parent.fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
                if (d.fd < 0 || ::fchmod(d.fd, mode) != 0)
                    return fail(why, QStringLiteral("a folder that is not one"));
            }
            break;
        case AE_IFLNK: {
            const auto target = linkTarget(zipFd.fd, (*listed)[size_t(entries - 1)], archive_entry_symlink(entry),
                                           limits, why);
            if (!target)
                return false;
            if (target->empty() || target->find('\0') != std::string::npos)
                return fail(why, QStringLiteral("cannot make a link"));
            if (::symlinkat(target->c_str(), parent.fd, name) != 0)
                return writeFailed(errno, QStringLiteral("cannot make a link"));
            break;
        }
        case AE_IFREG: {
            Fd f(::openat(parent.fd, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
            if (f.fd < 0)
                return writeFailed(errno, QStringLiteral("cannot write ") + QString::fromStdString(path));
            for (;;) {
                const la_ssize_t n = archive_read_data(in.get(), buf.data(), buf.size());
                if (n == 0)
                    break;
                if (n < 0)
                    return fail(why, QStringLiteral("damaged data in ") + QString::fromStdString(path));
                written += n;
                if (written > budget)
                    return fail(why, tooFar(budget));
                if (const int error = UserFile::writeAll(f.fd, buf.data(), size_t(n)))
                    return writeFailed(error, QStringLiteral("cannot write ") + QString::fromStdString(path));
            }
            if (::fchmod(f.fd, mode) != 0)
                return fail(why, QStringLiteral("cannot set the mode of ") + QString::fromStdString(path));
            break;
        }
        default:
            return fail(why, QStringLiteral("not a file, folder or link: ") + QString::fromStdString(path));
        }
    }
    if (entries != int64_t(listed->size()))
        return fail(why, QStringLiteral("the archive changed while it was read"));
    return true;
}

namespace {

using Writer = std::unique_ptr<archive, decltype(&archive_write_free)>;

// libarchive's own reason, or `fallback` when it gives none.
QString writerError(archive* out, const QString& fallback)
{
    const char* text = archive_error_string(out);
    return text && *text ? fallback + QStringLiteral(": ") + QString::fromUtf8(text) : fallback;
}

// The file system path of an archive name below `base`.
QByteArray pathOf(const QByteArray& base, const QByteArray& name)
{
    return base.endsWith('/') ? base + name : base + '/' + name;
}

// The folder open at `dirFd`, whose archive name is `prefix`, and all it
// holds, appended to `out` as archive names. Read as bytes, so no locale
// decides what a name is, and never through a link.
bool collect(int dirFd, const QByteArray& base, const QByteArray& prefix, int depth, std::vector<QByteArray>& out,
             QString* why)
{
    if (depth > ZipArchive::Limits().depth)
        return fail(why, QStringLiteral("path too deep: ") + shownName(pathOf(base, prefix)));
    const auto names = entryNames(dirFd);
    if (!names)
        return fail(why, QStringLiteral("cannot read ") + shownName(pathOf(base, prefix)));
    for (const QByteArray& name : *names) {
        const QByteArray path = prefix + '/' + name;
        if (!isUtf8(name))
            return fail(why, QStringLiteral("a name that is not UTF-8: ") + shownName(pathOf(base, path)));
        out.push_back(path);
        struct stat st {};
        if (::fstatat(dirFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode))
            continue;  // judged again when it is written
        Fd sub(::openat(dirFd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (sub.fd < 0)
            return fail(why, QStringLiteral("cannot read ") + shownName(pathOf(base, path)));
        if (!collect(sub.fd, base, path, depth + 1, out, why))
            return false;
    }
    return true;
}

// SHA-256 of what goes by, as lower-case hex.
class Digest {
public:
    Digest() { EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr); }
    void add(const char* data, size_t size) { EVP_DigestUpdate(ctx.get(), data, size); }
    QString hex()
    {
        unsigned char md[EVP_MAX_MD_SIZE];
        unsigned int n = 0;
        EVP_DigestFinal_ex(ctx.get(), md, &n);
        return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(md), int(n)).toHex());
    }

private:
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx{EVP_MD_CTX_new(), EVP_MD_CTX_free};
};

// Writes `names` (the folder first, then what it holds), found below
// `base`, as a zip into `fd` from its first byte, and says in `written`
// what went in. Entries named in `stored`, or all with `storeAll`, skip
// compression.
bool writeEntries(int fd, const QByteArray& base, const std::vector<QByteArray>& names, bool storeAll,
                  const std::set<std::string>& stored, std::vector<ZipArchive::Written>& written, QString* why)
{
    using Written = ZipArchive::Written;
    written.clear();
    if (::ftruncate(fd, 0) != 0 || ::lseek(fd, 0, SEEK_SET) != 0)
        return fail(why, QStringLiteral("cannot write the archive: ") + QString::fromLocal8Bit(std::strerror(errno)));
    const Utf8Names utf8;
    Writer out(archive_write_new(), archive_write_free);
    archive_write_set_format_zip(out.get());
    // Names are UTF-8 and flagged so, whatever this process's locale.
    if (archive_write_set_format_option(out.get(), "zip", "hdrcharset", "UTF-8") != ARCHIVE_OK
        || archive_write_open_fd(out.get(), fd) != ARCHIVE_OK)
        return fail(why, writerError(out.get(), QStringLiteral("cannot write the archive")));
    const qsizetype top = names.front().size();
    std::vector<char> buf(1 << 16);
    for (const QByteArray& name : names) {
        const QByteArray native = pathOf(base, name);
        const QString path = shownName(native);
        struct stat st {};
        if (::lstat(native.constData(), &st) != 0)
            return fail(why, QStringLiteral("cannot read ") + path);
        Written w;
        w.path = name.mid(top + 1);
        w.mode = int(st.st_mode & 07777);
        std::unique_ptr<archive_entry, decltype(&archive_entry_free)> e(archive_entry_new(), archive_entry_free);
        archive_entry_set_pathname(e.get(), name.constData());
        archive_entry_set_perm(e.get(), st.st_mode & 07777);
        archive_entry_set_mtime(e.get(), st.st_mtime, 0);
        Fd f;
        if (S_ISDIR(st.st_mode)) {
            w.kind = Written::Kind::folder;
            archive_entry_set_filetype(e.get(), AE_IFDIR);
        } else if (S_ISLNK(st.st_mode)) {
            char target[4096];
            const ssize_t n = ::readlink(native.constData(), target, sizeof target - 1);
            if (n < 0)
                return fail(why, QStringLiteral("cannot read ") + path);
            target[n] = 0;
            w.kind = Written::Kind::link;
            w.mode = 0;
            w.target = QByteArray(target, n);
            archive_entry_set_filetype(e.get(), AE_IFLNK);
            archive_entry_set_symlink(e.get(), target);
        } else if (S_ISREG(st.st_mode)) {
            // Opened without waiting and judged again once open: what
            // stands there now is what is read.
            f = Fd(::open(native.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
            if (f.fd < 0 || ::fstat(f.fd, &st) != 0)
                return fail(why, QStringLiteral("cannot read ") + path);
            if (!S_ISREG(st.st_mode))
                return fail(why, QStringLiteral("changed while it was read: ") + path);
            w.mode = int(st.st_mode & 07777);
            archive_entry_set_perm(e.get(), st.st_mode & 07777);
            archive_entry_set_filetype(e.get(), AE_IFREG);
            archive_entry_set_size(e.get(), st.st_size);
        } else {
            return fail(why, QStringLiteral("not a file, folder or link: ") + path);
        }
        const int method = storeAll || stored.count(name.toStdString()) ? archive_write_zip_set_compression_store(out.get())
                                                                        : archive_write_zip_set_compression_deflate(out.get());
        if (method != ARCHIVE_OK || archive_write_header(out.get(), e.get()) != ARCHIVE_OK)
            return fail(why, writerError(out.get(), QStringLiteral("cannot add ") + path));
        if (f.fd >= 0) {
            Digest digest;
            ssize_t n;
            while ((n = ::read(f.fd, buf.data(), buf.size())) > 0 || (n < 0 && errno == EINTR)) {
                if (n <= 0)
                    continue;
                if (archive_write_data(out.get(), buf.data(), size_t(n)) != n)
                    return fail(why, writerError(out.get(), QStringLiteral("cannot add ") + path));
                digest.add(buf.data(), size_t(n));
                w.size += n;
            }
            if (n < 0)
                return fail(why, QStringLiteral("cannot read ") + path);
            w.sha256 = digest.hex();
        }
        written.push_back(std::move(w));
    }
    if (archive_write_close(out.get()) != ARCHIVE_OK)
        return fail(why, writerError(out.get(), QStringLiteral("cannot write the archive")));
    return true;
}

// Whether `entry` is one of the part files a write to `name` makes:
// ".NAME.<hex>.part".
bool partOf(const QByteArray& entry, const QByteArray& name)
{
    const QByteArray head = '.' + name + '.';
    const QByteArray tail = ".part";
    if (entry.size() <= head.size() + tail.size() || !entry.startsWith(head) || !entry.endsWith(tail))
        return false;
    const QByteArray middle = entry.mid(head.size(), entry.size() - head.size() - tail.size());
    return std::all_of(middle.begin(), middle.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

// A writer holds a lock on its part file from the moment it is made until
// it is renamed or removed, and the kernel lets go of the lock when the
// writer dies. So a part file of `name` in `folder` that can be locked was
// left by a writer that was killed, and is removed; only this user's own
// regular files are touched.
void sweepParts(int folder, const QByteArray& name)
{
    const auto names = entryNames(folder);
    if (!names)
        return;
    for (const QByteArray& entry : *names) {
        if (!partOf(entry, name))
            continue;
        Fd f(::openat(folder, entry.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        struct stat st {};
        if (f.fd < 0 || ::fstat(f.fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()
            || ::flock(f.fd, LOCK_EX | LOCK_NB) != 0)
            continue;
        // Still the file that was locked at that name.
        struct stat now {};
        if (::fstatat(folder, entry.constData(), &now, AT_SYMLINK_NOFOLLOW) == 0 && now.st_dev == st.st_dev
            && now.st_ino == st.st_ino)
            ::unlinkat(folder, entry.constData(), 0);
    }
}

// Whether the folder open at `dir`, or one above it, is the one `inner`
// describes, following ".." as the kernel does, past links and mounts.
bool within(int dir, const struct stat& inner)
{
    Fd at(::dup(dir));
    for (int hops = 0; at.fd >= 0 && hops < 4096; ++hops) {
        struct stat st {};
        if (::fstat(at.fd, &st) != 0)
            return false;
        if (st.st_dev == inner.st_dev && st.st_ino == inner.st_ino)
            return true;
        Fd up(::openat(at.fd, "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
        struct stat upStat {};
        if (up.fd < 0 || ::fstat(up.fd, &upStat) != 0 || (upStat.st_dev == st.st_dev && upStat.st_ino == st.st_ino))
            return false;
        at = std::move(up);
    }
    return false;
}

} // namespace

bool ZipArchive::write(const QString& given, const QString& zip, bool store, QString* why, QStringList* stored,
                       const Judge& judge)
{
    // "Tavrin.app/" names the folder itself: its entries go under its name.
    const QString source = QDir::cleanPath(QFileInfo(given).absoluteFilePath());
    struct stat topStat {};
    if (::lstat(QFile::encodeName(source).constData(), &topStat) != 0 || !S_ISDIR(topStat.st_mode))
        return fail(why, QStringLiteral("not a folder: ") + source);

    // The archive is made beside where it goes, so the rename that puts it
    // there stays on one file system.
    const QFileInfo target(QDir::cleanPath(QFileInfo(zip).absoluteFilePath()));
    const QString folder = target.absolutePath();
    const QByteArray name = QFile::encodeName(target.fileName());
    struct stat zipStat {};
    if (::stat(QFile::encodeName(target.filePath()).constData(), &zipStat) == 0 && !S_ISREG(zipStat.st_mode))
        return fail(why, QStringLiteral("the output %1 is not a regular file").arg(zip));
    Fd folderFd(::open(QFile::encodeName(folder).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (folderFd.fd < 0)
        return fail(why, QStringLiteral("cannot write %1: %2").arg(zip, QString::fromLocal8Bit(std::strerror(errno))));
    // It would hold itself, part written, and the bundle would change.
    if (within(folderFd.fd, topStat))
        return fail(why, QStringLiteral("the output %1 lies inside the bundle %2").arg(zip, source));

    const QByteArray base = QFile::encodeName(QFileInfo(source).absolutePath());
    // The folder's own name is held apart: `collect` appends to `names`,
    // which moves what it holds.
    const QByteArray topName = QFile::encodeName(QFileInfo(source).fileName());
    std::vector<QByteArray> names{topName};
    {
        Fd top(::open(QFile::encodeName(source).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (top.fd < 0)
            return fail(why, QStringLiteral("cannot read ") + source);
        if (!collect(top.fd, base, topName, 1, names, why))
            return false;
    }
    // In the order of their bytes, whatever the locale.
    std::sort(names.begin() + 1, names.end());

    sweepParts(folderFd.fd, name);
    // Made with the mode a plain new file gets, so the umask applies, and
    // locked before a byte is written; still at its name once locked, or a
    // sweep took it in between and another name is tried.
    QByteArray part;
    Fd fd;
    int error = 0;
    for (int tries = 0; fd.fd < 0 && tries < 100; ++tries) {
        part = '.' + name + '.' + QByteArray::number(QRandomGenerator::global()->generate(), 16) + ".part";
        fd = Fd(::openat(folderFd.fd, part.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
        error = errno;
        if (fd.fd < 0 && error != EEXIST)
            break;
        if (fd.fd < 0)
            continue;
        struct stat mine {}, there {};
        if (::flock(fd.fd, LOCK_EX) != 0) {
            error = errno;
            ::unlinkat(folderFd.fd, part.constData(), 0);
            return fail(why, QStringLiteral("cannot lock %1: %2").arg(QString::fromLocal8Bit(part),
                                                                      QString::fromLocal8Bit(std::strerror(error))));
        }
        if (::fstat(fd.fd, &mine) != 0 || ::fstatat(folderFd.fd, part.constData(), &there, AT_SYMLINK_NOFOLLOW) != 0
            || mine.st_dev != there.st_dev || mine.st_ino != there.st_ino)
            fd = Fd();
    }
    if (fd.fd < 0)
        return fail(why, QStringLiteral("cannot write %1: %2").arg(zip, QString::fromLocal8Bit(std::strerror(error))));
    // Whatever fails from here on takes the part written with it.
    struct Remove {
        int dir;
        QByteArray name;
        ~Remove()
        {
            if (!name.isEmpty())
                ::unlinkat(dir, name.constData(), 0);
        }
    } partGuard{folderFd.fd, part};

    std::set<std::string> plain;
    std::vector<Written> written;
    if (!writeEntries(fd.fd, base, names, store, plain, written, why))
        return false;
    // An entry that deflates beyond the ratio makes the whole archive
    // expand too far once it outweighs the rest: each such entry is stored
    // instead, and then no entry, nor the archive, goes past the ratio.
    const Limits limits;
    struct stat made {};
    if (!store && ::fstat(fd.fd, &made) == 0) {
        const auto listed = listFile(fd.fd, made.st_size, why);
        if (!listed)
            return false;
        int64_t total = 0;
        for (const Listed& entry : *listed)
            total += int64_t(entry.size);
        if (total > budget(made.st_size, limits) && total <= limits.totalBytes) {
            for (const Listed& entry : *listed)
                if (entry.size > entry.packed * uint64_t(limits.ratio))
                    plain.insert(entry.name);
            if (!plain.empty() && !writeEntries(fd.fd, base, names, store, plain, written, why))
                return false;
        }
    }
    QString refused;
    if (!admits(fd.fd, &refused, limits))
        return fail(why, QStringLiteral("the updater would refuse this archive: ") + refused);
    if (judge) {
        if (const QString verdict = judge(written); !verdict.isEmpty())
            return fail(why, verdict);
    }
    // Closed before it takes the name, so a late write error still refuses
    // it; a second descriptor holds the lock until then.
    const Fd holder(::dup(fd.fd));
    if (holder.fd < 0 || ::fsync(fd.fd) != 0 || ::close(std::exchange(fd.fd, -1)) != 0
        || ::renameat(folderFd.fd, part.constData(), folderFd.fd, name.constData()) != 0)
        return fail(why, QStringLiteral("cannot write %1: %2").arg(zip, QString::fromLocal8Bit(std::strerror(errno))));
    partGuard.name.clear();
    if (stored)
        for (const std::string& entry : plain)
            *stored << QString::fromStdString(entry);
    return true;
}
