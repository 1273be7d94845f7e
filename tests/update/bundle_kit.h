#pragma once
// Bundles, keys, archives and feeds made on the spot for the updater's
// tests. Every key is made here; none is ever stored.

#include "update/seal.h"
#include "update/zip_archive.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QString>

#include <archive.h>
#include <archive_entry.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <vector>

struct KeyPair {
    QByteArray privatePem;
    QByteArray publicPem;

    static KeyPair make()
    {
        std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519"),
                                                                EVP_PKEY_free);
        auto pem = [&](bool priv) {
            std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), BIO_free);
            if (priv)
                PEM_write_bio_PrivateKey(bio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr);
            else
                PEM_write_bio_PUBKEY(bio.get(), key.get());
            char* data = nullptr;
            const long n = BIO_get_mem_data(bio.get(), &data);
            return QByteArray(data, int(n));
        };
        return {pem(true), pem(false)};
    }
};

struct TestKeys {
    KeyPair dev = KeyPair::make();
    KeyPair release = KeyPair::make();
    Seal::Keys trust() const { return {{dev.publicPem}, {release.publicPem}}; }
};

inline void writeFile(const QString& path, const QByteArray& bytes, int mode = 0644)
{
    QDir().mkpath(path.section(u'/', 0, -2));
    QFile f(path);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(bytes);
    f.close();
    ::chmod(QFile::encodeName(path).constData(), mode_t(mode));
}

inline QByteArray readFile(const QString& path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

// A bundle of the given version whose program writes a marker file when
// it runs: Contents/Info.json, Contents/bin/tavrin, a library and a link.
inline void makeBundle(const QString& bundle, const QString& version, qint64 build = 0,
                       const QByteArray& payload = "library bytes")
{
    QJsonObject info{{"CFBundleIdentifier", "com.morvadel.Tavrin"},
                     {"CFBundleShortVersionString", version},
                     {"TavrinSourceCommit", "0123abc"},
                     {"CFBundleExecutable", "tavrin"}};
    if (build)
        info.insert("CFBundleVersion", QString::number(build));
    writeFile(bundle + "/Contents/Info.json", QJsonDocument(info).toJson());
    writeFile(bundle + "/Contents/bin/tavrin",
              "#!/bin/sh\nprintf '%s\\n' \"" + version.toUtf8() + "\" > \"$HOME/relaunched\"\n", 0755);
    writeFile(bundle + "/Contents/lib/libtavrin.so", payload);
    ::symlink("libtavrin.so", QFile::encodeName(bundle + "/Contents/lib/libtavrin.so.1").constData());
}

inline bool sealAndAttest(const QString& bundle, const TestKeys& keys)
{
    return Seal::seal(bundle, keys.dev.privatePem) && Seal::attest(bundle, keys.release.privatePem);
}

// A file of `bytes` bytes that no compression makes smaller.
inline void writeNoise(const QString& path, int bytes, quint32 seed = 7)
{
    QByteArray data(bytes, '\0');
    QRandomGenerator random(seed);
    for (char& c : data)
        c = char(random.generate());
    writeFile(path, data);
}

// Writes `path` until its filesystem has no room left for another byte.
inline void fillUp(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    const QByteArray block(1 << 16, 'x');
    for (qsizetype size = block.size(); size > 0; size /= 2)
        while (::write(fd, block.constData(), size_t(size)) == size) {
        }
    ::close(fd);
}

// A feed with one release whose download is the given archive.
inline QByteArray feedFor(const QString& version, qint64 build, const QString& url, const QString& zip)
{
    const QByteArray bytes = readFile(zip);
    QJsonObject download{{"url", url}, {"sha256", Seal::sha256(bytes)}, {"size", qint64(bytes.size())}};
    QJsonObject release{{"version", version},
                        {"date", "2026-12-01"},
                        {"title", QJsonObject{{"zh", "新版本"}, {"en", "New version"}}},
                        {"notes", QJsonObject{{"zh", QJsonArray{"改进"}}, {"en", QJsonArray{"Better"}}}},
                        {"download", download}};
    if (build)
        release.insert("build", build);
    return QJsonDocument(QJsonObject{{"releases", QJsonArray{release}}}).toJson();
}

// An archive written entry by entry as given, whatever the updater makes
// of it.
struct ZEntry {
    ZEntry(std::string p, int t = AE_IFREG, std::string d = {}, int m = 0644, std::string l = {}, bool h = false)
        : path(std::move(p)), type(t), data(std::move(d)), mode(m), link(std::move(l)), hard(h)
    {
    }
    std::string path;
    int type;
    std::string data;
    int mode;
    std::string link;  // symlink target, or a hard link's source
    bool hard;
};

inline void writeZip(const QString& zip, const std::vector<ZEntry>& entries)
{
    archive* a = archive_write_new();
    archive_write_set_format_zip(a);
    archive_write_open_filename(a, QFile::encodeName(zip).constData());
    for (const ZEntry& z : entries) {
        archive_entry* e = archive_entry_new();
        archive_entry_set_pathname(e, z.path.c_str());
        archive_entry_set_filetype(e, unsigned(z.type));
        archive_entry_set_perm(e, mode_t(z.mode));
        if (z.hard)
            archive_entry_set_hardlink(e, z.link.c_str());
        else if (z.type == AE_IFLNK)
            archive_entry_set_symlink(e, z.link.c_str());
        archive_entry_set_size(e, la_int64_t(z.data.size()));
        archive_write_header(a, e);
        if (!z.data.empty())
            archive_write_data(a, z.data.data(), z.data.size());
        archive_entry_free(e);
    }
    archive_write_close(a);
    archive_write_free(a);
}

// A point a run on another thread stops at until the test lets it go; let
// go at the latest when the test ends, so no run is left waiting.
struct Gate {
    std::promise<void> open;
    std::shared_future<void> opened = open.get_future().share();
    std::shared_ptr<std::atomic<bool>> reached = std::make_shared<std::atomic<bool>>(false);
    bool isOpen = false;

    std::function<void()> stop() const
    {
        return [reached = reached, opened = opened] {
            *reached = true;
            opened.wait();
        };
    }
    void let()
    {
        if (!std::exchange(isOpen, true))
            open.set_value();
    }
    ~Gate() { let(); }
};
