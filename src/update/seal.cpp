#include "update/seal.h"

#include "update/app_version.h"
#include "update/bundle_info.h"
#include "update/unique_fd.h"
#include "update/zip_archive.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSysInfo>

#include <openssl/evp.h>
#include <openssl/pem.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <map>
#include <memory>

#if __has_include("update_keys.h")
#include "update_keys.h"
#else
#define TAVRIN_DEV_KEYS_PEM {}
#define TAVRIN_RELEASE_KEYS_PEM {}
#endif

namespace {

const QString signatureDir = QStringLiteral("Contents/_CodeSignature");
constexpr const char* bundleName = "Tavrin.app";
constexpr qint64 manifestCap = 32 << 20;
constexpr int maxDepth = 64;

using Fd = UniqueFd;

using PKey = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;

PKey loadKey(const QByteArray& pem, bool isPrivate)
{
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new_mem_buf(pem.constData(), int(pem.size())), BIO_free);
    if (!bio)
        return PKey(nullptr, EVP_PKEY_free);
    EVP_PKEY* key = isPrivate ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr)
                              : PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr);
    PKey out(key, EVP_PKEY_free);
    if (out && EVP_PKEY_id(out.get()) != EVP_PKEY_ED25519)
        out.reset();
    return out;
}

using Entry = Seal::ManifestEntry;

// Judged on the bytes, so a name passes or fails under every locale alike.
bool validName(const QByteArray& name)
{
    return isUtf8(name) && !name.contains('\n');
}

// Sets an opened entry's mode to what expansion will give it, and says so.
bool normalise(int fd, const QString& path, bool dir, Entry& e, QStringList* fixes)
{
    const int wanted = ZipArchive::expandedMode(dir, e.mode);
    if (!fixes || wanted == e.mode)
        return true;
    if (::fchmod(fd, mode_t(wanted)) != 0)
        return false;
    *fixes << QStringLiteral("%1: mode %2 set to %3").arg(path, QString::number(e.mode, 8), QString::number(wanted, 8));
    e.mode = wanted;
    return true;
}

// Walks `dirFd` without following a link; `prefix` is the path so far.
// Everything inside Contents/_CodeSignature is the seal's own and skipped.
// With `fixes`, modes that expansion would not give back are set to the
// ones it will (the sealing side only).
bool walk(int dirFd, const QString& prefix, int depth, std::map<QString, Entry>& out, QString* why,
          QStringList* fixes = nullptr)
{
    if (depth > maxDepth) {
        if (why) *why = QStringLiteral("too deep: ") + prefix;
        return false;
    }
    const auto names = entryNames(dirFd);
    if (!names) {
        if (why) *why = QStringLiteral("cannot list ") + (prefix.isEmpty() ? QStringLiteral("the bundle") : prefix);
        return false;
    }
    for (const QByteArray& name : *names) {
        if (!validName(name)) {
            if (why)
                *why = QStringLiteral("a name that is not UTF-8 or holds a line break: ")
                    + (prefix.isEmpty() ? QString() : prefix + u'/') + shownName(name);
            return false;
        }
        const QString path = prefix.isEmpty() ? QString::fromUtf8(name) : prefix + u'/' + QString::fromUtf8(name);
        if (path == signatureDir)
            continue;
        // The system's reason for the last call that failed on `path`.
        const auto fault = [&](const char* what) {
            if (why) *why = QStringLiteral("%1 %2: %3").arg(QLatin1String(what), path, QString::fromLocal8Bit(std::strerror(errno)));
            return false;
        };
        const auto unreadable = [&] { return fault("cannot read"); };
        struct stat st {};
        if (::fstatat(dirFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            return unreadable();
        Entry e;
        e.mode = int(st.st_mode & 07777);
        if (S_ISLNK(st.st_mode)) {
            char buf[PATH_MAX];
            const ssize_t n = ::readlinkat(dirFd, name.constData(), buf, sizeof buf - 1);
            if (n < 0)
                return unreadable();
            e.type = QStringLiteral("link");
            e.mode = 0;
            e.target = QString::fromUtf8(buf, n);
        } else if (S_ISDIR(st.st_mode)) {
            e.type = QStringLiteral("dir");
            // A folder its owner cannot list or enter is opened by root
            // alone, so it gets its expanded mode before it is opened.
            if (fixes && (e.mode & 0500) != 0500) {
                const int wanted = ZipArchive::expandedMode(true, e.mode);
                if (::fchmodat(dirFd, name.constData(), mode_t(wanted), AT_SYMLINK_NOFOLLOW) != 0)
                    return fault("cannot set the mode of");
                *fixes << QStringLiteral("%1: mode %2 set to %3").arg(path, QString::number(e.mode, 8), QString::number(wanted, 8));
                e.mode = wanted;
            }
            Fd sub(::openat(dirFd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (sub.fd < 0)
                return unreadable();
            if (!normalise(sub.fd, path, true, e, fixes))
                return fault("cannot set the mode of");
            if (!walk(sub.fd, path, depth + 1, out, why, fixes))
                return false;
        } else if (S_ISREG(st.st_mode)) {
            e.type = QStringLiteral("file");
            // Judged by the mode, never by whether this process can open
            // it: root reads any file, the user who installs the copy
            // only one its owner may read.
            if (!(e.mode & S_IRUSR)) {
                if (why) *why = QStringLiteral("a file its owner cannot read (mode %1): %2").arg(QString::number(e.mode, 8), path);
                return false;
            }
            Fd f(::openat(dirFd, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
            struct stat again {};
            if (f.fd < 0 || ::fstat(f.fd, &again) != 0)
                return unreadable();
            if (!S_ISREG(again.st_mode) || again.st_ino != st.st_ino) {
                if (why) *why = QStringLiteral("changed while it was read: ") + path;
                return false;
            }
            e.size = again.st_size;
            if (!normalise(f.fd, path, false, e, fixes))
                return fault("cannot set the mode of");
            auto digest = Seal::sha256File(f.fd);
            if (!digest)
                return unreadable();
            e.sha256 = *digest;
        } else {
            if (why) *why = QStringLiteral("not a file, directory or link: ") + path;
            return false;
        }
        out[path] = e;
    }
    return true;
}

bool walkBundle(const QString& bundle, std::map<QString, Entry>& out, QString* why, QStringList* fixes = nullptr)
{
    Fd root(::open(QFile::encodeName(bundle).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (root.fd < 0) {
        if (why)
            *why = errno == ENOTDIR || errno == ELOOP
                ? QStringLiteral("not a directory: ") + bundle
                : QStringLiteral("cannot read %1: %2").arg(bundle, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    return walk(root.fd, QString(), 0, out, why, fixes);
}

// Follows the link at `path` through the entries as the kernel would, link
// after link: it must end at an entry strictly inside the bundle without
// ever stepping above it. Absolute, dangling and looping links fail, and
// so does one into the seal's own folder, which the entries never list.
bool linkResolvesInside(const std::map<QString, Entry>& entries, const QString& path)
{
    QStringList at = path.split(u'/');
    at.removeLast();
    QStringList todo;
    int hops = 0;
    auto follow = [&](const QString& target) {
        if (target.isEmpty() || target.startsWith(u'/') || ++hops > 40)
            return false;
        todo = target.split(u'/') + todo;
        return true;
    };
    if (!follow(entries.at(path).target))
        return false;
    while (!todo.isEmpty()) {
        const QString piece = todo.takeFirst();
        if (piece.isEmpty() || piece == u".")
            continue;
        if (piece == u"..") {
            if (at.isEmpty())
                return false;
            at.removeLast();
            continue;
        }
        const auto it = entries.find((at + QStringList{piece}).join(u'/'));
        if (it == entries.end())
            return false;
        if (it->second.type == u"link") {
            if (!follow(it->second.target))
                return false;
        } else if (it->second.type == u"file" && !todo.isEmpty()) {
            return false;
        } else {
            at << piece;
        }
    }
    return !at.isEmpty();
}

QString signaturePath(const QString& bundle, const char* name)
{
    return bundle + u'/' + signatureDir + u'/' + QLatin1String(name);
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const bool ok = f.write(bytes) == bytes.size();
    f.close();
    return ok && f.error() == QFile::NoError;
}

// Only the four files of the seal may lie in its directory.
bool signatureDirClean(const QString& bundle)
{
    const QString dir = bundle + u'/' + signatureDir;
    struct stat st {};
    if (::lstat(QFile::encodeName(dir).constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    const QStringList known{QStringLiteral("CodeResources"), QStringLiteral("CodeResources.sig"),
                            QStringLiteral("Notarization"), QStringLiteral("Notarization.sig")};
    for (const QString& name : QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
        if (!known.contains(name))
            return false;
    return true;
}

} // namespace

const Seal::Keys& Seal::builtIn()
{
    static const Keys keys = [] {
        Keys k;
        for (const char* pem : std::initializer_list<const char*> TAVRIN_DEV_KEYS_PEM)
            k.dev.emplace_back(pem);
        for (const char* pem : std::initializer_list<const char*> TAVRIN_RELEASE_KEYS_PEM)
            k.release.emplace_back(pem);
        return k;
    }();
    return keys;
}

QString Seal::architecture() { return QSysInfo::buildCpuArchitecture(); }

QString Seal::sha256(const QByteArray& bytes)
{
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    EVP_Digest(bytes.constData(), size_t(bytes.size()), md, &n, EVP_sha256(), nullptr);
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(md), int(n)).toHex());
}

std::optional<QString> Seal::sha256File(int fd)
{
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1)
        return std::nullopt;
    std::vector<char> buf(1 << 20);
    for (;;) {
        const ssize_t n = ::read(fd, buf.data(), buf.size());
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return std::nullopt;
        }
        EVP_DigestUpdate(ctx.get(), buf.data(), size_t(n));
    }
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    if (EVP_DigestFinal_ex(ctx.get(), md, &n) != 1)
        return std::nullopt;
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(md), int(n)).toHex());
}

std::optional<QByteArray> Seal::sign(const QByteArray& message, const QByteArray& privatePem)
{
    PKey key = loadKey(privatePem, true);
    if (!key)
        return std::nullopt;
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    QByteArray sig(64, '\0');
    size_t len = size_t(sig.size());
    if (!ctx || EVP_DigestSignInit(ctx.get(), nullptr, nullptr, nullptr, key.get()) != 1
        || EVP_DigestSign(ctx.get(), reinterpret_cast<unsigned char*>(sig.data()), &len,
                          reinterpret_cast<const unsigned char*>(message.constData()), size_t(message.size())) != 1)
        return std::nullopt;
    sig.resize(qsizetype(len));
    return sig;
}

bool Seal::verifySignature(const QByteArray& message, const QByteArray& signature,
                           const std::vector<QByteArray>& publicPems)
{
    if (signature.size() != 64)
        return false;
    for (const QByteArray& pem : publicPems) {
        PKey key = loadKey(pem, false);
        if (!key)
            continue;
        std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
        if (ctx && EVP_DigestVerifyInit(ctx.get(), nullptr, nullptr, nullptr, key.get()) == 1
            && EVP_DigestVerify(ctx.get(), reinterpret_cast<const unsigned char*>(signature.constData()),
                                size_t(signature.size()),
                                reinterpret_cast<const unsigned char*>(message.constData()),
                                size_t(message.size())) == 1)
            return true;
    }
    return false;
}

namespace {

// Reads an open file from where it stands, up to `size` bytes: what it held
// (less when it ended sooner), or nothing when a read failed (errno says
// why).
std::optional<QByteArray> readUpTo(int fd, qint64 size)
{
    QByteArray out;
    out.resize(qsizetype(size));
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, out.data() + done, size_t(size - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            break;
        done += n;
    }
    out.truncate(qsizetype(done));
    return out;
}

} // namespace

std::optional<QByteArray> Seal::readPlain(const QString& path, qint64 cap)
{
    Fd f(::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    if (f.fd < 0 || ::fstat(f.fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > cap)
        return std::nullopt;
    // Exactly the size it was opened at: a file that shrank or grew meanwhile
    // is not the one judged.
    auto out = readUpTo(f.fd, st.st_size);
    if (!out || out->size() != st.st_size)
        return std::nullopt;
    char extra;
    if (::read(f.fd, &extra, 1) != 0)
        return std::nullopt;
    return out;
}

UniqueFd Seal::openRegularFile(const QString& path, const QString& what, QString* why, struct stat* st)
{
    RegularFile r = openRegular(QFile::encodeName(path));
    if (st)
        *st = r.st;
    if (r.error && why)
        *why = QStringLiteral("cannot read %1 %2: %3").arg(what, path, QString::fromLocal8Bit(std::strerror(r.error)));
    else if (r.notAFile && why)
        *why = QStringLiteral("%1 %2 is not a regular file").arg(what, path);
    return std::move(r.file);
}

std::optional<QByteArray> Seal::readKeyFile(const QString& path, QString* why)
{
    constexpr qint64 cap = 64 << 10;
    const QString what = QStringLiteral("the key file");
    struct stat st {};
    Fd f = openRegularFile(path, what, why, &st);
    if (f.fd < 0)
        return std::nullopt;
    if (st.st_size > cap) {
        if (why) *why = QStringLiteral("%1 %2 is larger than a key").arg(what, path);
        return std::nullopt;
    }
    auto out = readUpTo(f.fd, st.st_size);
    if (!out && why)
        *why = QStringLiteral("cannot read %1 %2: %3").arg(what, path, QString::fromLocal8Bit(std::strerror(errno)));
    return out;
}

QString Seal::refusal(const std::map<QString, ManifestEntry>& entries)
{
    // The archive also holds the bundle's own folder, and every path in it
    // starts with that folder's name.
    const ZipArchive::Limits caps;
    if (qint64(entries.size()) + 1 > caps.entries)
        return QStringLiteral("more entries than expansion takes");
    qint64 bytes = 0;
    for (const auto& [path, e] : entries) {
        const qsizetype archivePath = qsizetype(std::strlen(bundleName)) + 1 + path.toUtf8().size() + 1;
        if (archivePath > caps.pathLength || path.count(u'/') + 2 > caps.depth)
            return QStringLiteral("a path too long or too deep for expansion: ") + path;
        if (e.size < 0 || e.size > caps.totalBytes - bytes)
            return QStringLiteral("more bytes than expansion writes: ") + path;
        bytes += e.size;
        if (e.type == u"link") {
            if (!linkResolvesInside(entries, path))
                return QStringLiteral("a link that does not resolve inside the bundle: ") + path;
        } else if (e.type == u"file" || e.type == u"dir") {
            if (ZipArchive::expandedMode(e.type == u"dir", e.mode) != e.mode)
                return QStringLiteral("a mode that expansion does not keep: ") + path;
            if (e.type == u"file" && !(e.mode & S_IRUSR))
                return QStringLiteral("a file its owner cannot read: ") + path;
        } else {
            return QStringLiteral("an entry of an unknown kind: ") + path;
        }
    }
    return {};
}

namespace {

std::optional<QByteArray> manifestOf(const QString& bundle, const QString& arch, QString* why, QStringList* fixes)
{
    std::map<QString, Entry> entries;
    if (!walkBundle(bundle, entries, why, fixes))
        return std::nullopt;
    if (const QString refused = Seal::refusal(entries); !refused.isEmpty()) {
        if (why) *why = refused;
        return std::nullopt;
    }
    // Sorted by the UTF-8 bytes of the path, so the order never depends on
    // a locale.
    std::vector<std::pair<QByteArray, const Entry*>> sorted;
    for (const auto& [path, e] : entries)
        sorted.emplace_back(path.toUtf8(), &e);
    std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    QJsonArray files;
    for (const auto& [path, e] : sorted) {
        QJsonObject o{{"path", QString::fromUtf8(path)}, {"type", e->type}};
        if (e->type == u"link") {
            o.insert("target", e->target);
        } else {
            o.insert("mode", e->mode);
        }
        if (e->type == u"file") {
            o.insert("size", e->size);
            o.insert("sha256", e->sha256);
        }
        files.append(o);
    }
    const QJsonObject root{{"architecture", arch}, {"files", files},
                           {"identifier", QString::fromLatin1(Seal::identifier)}, {"team", QString::fromLatin1(Seal::team)}};
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

} // namespace

std::optional<QByteArray> Seal::manifest(const QString& bundle, const QString& arch, QString* why)
{
    return manifestOf(bundle, arch, why, nullptr);
}

bool Seal::seal(const QString& bundle, const QByteArray& devPrivatePem, QString* why, QStringList* normalised)
{
    if (!loadKey(devPrivatePem, true)) {
        if (why) *why = QStringLiteral("the developer key is not an Ed25519 private key");
        return false;
    }
    // The seal's folder is made here, never through a link, and holds
    // nothing but the seal: the check refuses anything else in it.
    const QString dir = bundle + u'/' + signatureDir;
    if (::mkdir(QFile::encodeName(dir).constData(), 0755) != 0 && errno != EEXIST) {
        if (why) *why = QStringLiteral("cannot make %1: %2").arg(dir, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    if (!signatureDirClean(bundle)) {
        if (why) *why = QStringLiteral("Contents/_CodeSignature must be a folder holding only the seal");
        return false;
    }
    QStringList fixes;
    auto bytes = manifestOf(bundle, architecture(), why, &fixes);
    if (normalised)
        *normalised << fixes;
    if (!bytes)
        return false;
    auto sig = sign(*bytes, devPrivatePem);
    if (!sig)
        return false;
    return writeFile(signaturePath(bundle, "CodeResources"), *bytes)
        && writeFile(signaturePath(bundle, "CodeResources.sig"), *sig);
}

bool Seal::attest(const QString& bundle, const QByteArray& releasePrivatePem, QString* why)
{
    auto manifestBytes = readPlain(signaturePath(bundle, "CodeResources"), manifestCap);
    auto info = BundleInfo::read(bundle);
    if (!manifestBytes || !info || !info->version) {
        if (why) *why = QStringLiteral("the bundle is not sealed or has no version in Info.json");
        return false;
    }
    // Verification compares the text as written, so one that only parses
    // once trimmed could never be installed.
    if (!AppVersion::parseExact(*info->version)) {
        if (why) *why = QStringLiteral("the version in Info.json is not dotted numbers alone");
        return false;
    }
    const QJsonObject ticket{{"identifier", QString::fromLatin1(identifier)},
                             {"team", QString::fromLatin1(team)},
                             {"manifest", sha256(*manifestBytes)},
                             {"version", *info->version},
                             {"build", qint64(info->build)},
                             {"source", info->source}};
    const QByteArray bytes = QJsonDocument(ticket).toJson(QJsonDocument::Compact);
    auto sig = sign(bytes, releasePrivatePem);
    if (!sig) {
        if (why) *why = QStringLiteral("the release key is not an Ed25519 private key");
        return false;
    }
    return writeFile(signaturePath(bundle, "Notarization"), bytes)
        && writeFile(signaturePath(bundle, "Notarization.sig"), *sig);
}

Seal::Verdict Seal::check(const QString& bundle, const Keys& keys, const QString& arch)
{
    if (!signatureDirClean(bundle))
        return Verdict::signatureInvalid;
    auto bytes = readPlain(signaturePath(bundle, "CodeResources"), manifestCap);
    auto sig = readPlain(signaturePath(bundle, "CodeResources.sig"), 64);
    if (!bytes || !sig || !verifySignature(*bytes, *sig, keys.dev))
        return Verdict::signatureInvalid;

    // Parse what was signed, independently of how the sealer writes it.
    const auto sealedEntries = parseManifest(*bytes, arch);
    if (!sealedEntries)
        return Verdict::signatureInvalid;
    const std::map<QString, Entry>& sealed = *sealedEntries;

    std::map<QString, Entry> found;
    if (!walkBundle(bundle, found, nullptr) || found.size() != sealed.size())
        return Verdict::signatureInvalid;
    for (const auto& [path, e] : found) {
        auto it = sealed.find(path);
        if (it == sealed.end())
            return Verdict::signatureInvalid;
        const Entry& s = it->second;
        if (s.type != e.type)
            return Verdict::signatureInvalid;
        // Links were followed through the sealed entries when the manifest
        // was read, and the walk has just found exactly those entries.
        if (e.type == u"link") {
            if (s.target != e.target)
                return Verdict::signatureInvalid;
        } else if (s.mode != e.mode || (e.type == u"file" && (s.size != e.size || s.sha256 != e.sha256))) {
            return Verdict::signatureInvalid;
        }
    }

    auto ticket = readPlain(signaturePath(bundle, "Notarization"), 64 << 10);
    auto ticketSig = readPlain(signaturePath(bundle, "Notarization.sig"), 64);
    if (!ticket || !ticketSig || !verifySignature(*ticket, *ticketSig, keys.release))
        return Verdict::notarizationFailed;
    const auto t = parseTicket(*ticket);
    auto info = BundleInfo::read(bundle);
    if (!t || t->manifest != sha256(*bytes) || !info || !info->version || t->version != *info->version
        || t->build != info->build)
        return Verdict::notarizationFailed;
    return Verdict::ok;
}

QString Seal::uncovered(const QString& bundle, const std::vector<ZipArchive::Written>& written)
{
    using Written = ZipArchive::Written;
    const auto shown = [&](const QString& path) { return bundle + u'/' + path; };
    const QString sealFolder = signatureDir + u'/';
    std::map<QString, const Written*> found;
    for (const Written& w : written)
        if (!w.path.isEmpty())
            found[QString::fromUtf8(w.path)] = &w;

    const auto isFile = [&](const QString& path) {
        const auto it = found.find(path);
        return it != found.end() && it->second->kind == Written::Kind::file;
    };
    const QString list = sealFolder + QStringLiteral("CodeResources");
    const QString listSig = sealFolder + QStringLiteral("CodeResources.sig");
    if (!found.count(signatureDir) || found.at(signatureDir)->kind != Written::Kind::folder || !isFile(list)
        || !isFile(listSig))
        return QStringLiteral("the bundle is not sealed: %1 and %2 are not both there").arg(shown(list), shown(listSig));
    // What the check takes in the seal's folder, and nothing else.
    const QStringList known{QStringLiteral("CodeResources"), QStringLiteral("CodeResources.sig"),
                            QStringLiteral("Notarization"), QStringLiteral("Notarization.sig")};
    for (const auto& [path, w] : found)
        if (path.startsWith(sealFolder) && (!known.contains(path.mid(sealFolder.size())) || w->kind != Written::Kind::file))
            return QStringLiteral("the seal's folder holds something besides the seal: ") + shown(path);

    // The list as it was written into the archive.
    const auto bytes = readPlain(bundle + u'/' + list, manifestCap);
    if (!bytes || sha256(*bytes) != found.at(list)->sha256)
        return QStringLiteral("the seal changed while it was zipped: ") + shown(list);
    // Whatever architecture it was sealed for: that the build may run here
    // is the updater's question, not the seal's.
    const QString arch = QJsonDocument::fromJson(*bytes).object().value("architecture").toString();
    const auto sealed = parseManifest(*bytes, arch);
    if (!sealed)
        return QStringLiteral("the seal's list cannot be read: ") + shown(list);

    const QString differs = QStringLiteral("the seal does not match the bundle: %1 %2 after the bundle was sealed");
    for (const auto& [path, w] : found) {
        if (path == signatureDir || path.startsWith(sealFolder))
            continue;
        const auto it = sealed->find(path);
        if (it == sealed->end())
            return differs.arg(shown(path), QStringLiteral("was added"));
        const Entry& s = it->second;
        const bool same = w->kind == Written::Kind::link
            ? s.type == u"link" && s.target == QString::fromUtf8(w->target)
            : w->kind == Written::Kind::folder
            ? s.type == u"dir" && s.mode == w->mode
            : s.type == u"file" && s.mode == w->mode && s.size == w->size && s.sha256 == w->sha256;
        if (!same)
            return differs.arg(shown(path), QStringLiteral("changed"));
    }
    for (const auto& [path, e] : *sealed)
        if (!found.count(path))
            return differs.arg(shown(path), QStringLiteral("was removed"));
    return {};
}

std::optional<std::map<QString, Seal::ManifestEntry>> Seal::parseManifest(const QByteArray& bytes, const QString& arch)
{
    const QJsonDocument doc = QJsonDocument::fromJson(bytes);
    const QJsonObject root = doc.object();
    if (!doc.isObject() || root.value("identifier").toString() != QLatin1String(identifier)
        || root.value("team").toString() != QLatin1String(team) || root.value("architecture").toString() != arch
        || !root.value("files").isArray())
        return std::nullopt;
    std::map<QString, Entry> sealed;
    for (const QJsonValue& v : root.value("files").toArray()) {
        const QJsonObject o = v.toObject();
        Entry e;
        const QString path = o.value("path").toString();
        e.type = o.value("type").toString();
        if (path.isEmpty() || sealed.count(path))
            return std::nullopt;
        if (e.type == u"link") {
            e.target = o.value("target").toString();
        } else if (e.type == u"file" || e.type == u"dir") {
            if (!o.value("mode").isDouble())
                return std::nullopt;
            e.mode = o.value("mode").toInt(-1);
            if (e.type == u"file") {
                if (!o.value("size").isDouble() || !o.value("sha256").isString())
                    return std::nullopt;
                e.size = o.value("size").toInteger(-1);
                e.sha256 = o.value("sha256").toString().toLower();
            }
        } else {
            return std::nullopt;
        }
        sealed[path] = e;
    }
    if (!refusal(sealed).isEmpty())
        return std::nullopt;
    return sealed;
}

std::optional<Seal::Ticket> Seal::parseTicket(const QByteArray& bytes)
{
    const QJsonDocument doc = QJsonDocument::fromJson(bytes);
    const QJsonObject t = doc.object();
    if (!doc.isObject() || t.value("identifier").toString() != QLatin1String(identifier)
        || t.value("team").toString() != QLatin1String(team) || !t.value("manifest").isString()
        || !t.value("version").isString() || !t.value("build").isDouble())
        return std::nullopt;
    return Ticket{t.value("manifest").toString(), t.value("version").toString(), t.value("build").toInteger(-1)};
}
