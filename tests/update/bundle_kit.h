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
#include <QString>

#include <openssl/evp.h>
#include <openssl/pem.h>

#include <sys/stat.h>

#include <memory>

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
