#include "platform/defaults.h"

#include "platform/user_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QTemporaryFile>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString standardPath()
{
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/Tavrin/Tavrin.conf");
}

std::unique_ptr<Defaults>& instance()
{
    static std::unique_ptr<Defaults> defaults;
    return defaults;
}

std::mutex& instanceLock()
{
    static std::mutex lock;
    return lock;
}

std::optional<QByteArray> asData(const QVariant& v)
{
    if (v.typeId() == QMetaType::QByteArray)
        return v.toByteArray();
    if (v.canConvert<QString>())
        return v.toString().toUtf8();
    return std::nullopt;
}

} // namespace

Defaults& Defaults::standard()
{
    std::lock_guard guard(instanceLock());
    auto& defaults = instance();
    if (!defaults)
        defaults = std::make_unique<Defaults>(standardPath());
    return *defaults;
}

void Defaults::useFile(const QString& path)
{
    std::lock_guard guard(instanceLock());
    instance() = std::make_unique<Defaults>(path);
}

void Defaults::setArguments(const QStringList& arguments)
{
    Defaults& defaults = standard();
    std::lock_guard guard(defaults.lock_);
    defaults.arguments_ = parseArguments(arguments);
}

QHash<QString, QString> Defaults::parseArguments(const QStringList& arguments)
{
    QHash<QString, QString> domain;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (arg.size() < 2 || arg[0] != u'-' || i + 1 >= arguments.size())
            continue;
        // A value may itself start with '-' ("-motionScale -1"), so the
        // next word is always taken.
        domain.insert(arg.mid(1), arguments[i + 1]);
        ++i;
    }
    return domain;
}

bool Defaults::isUtf8(const QByteArray& bytes)
{
    // Overlong forms, surrogates, stray bytes and a sequence cut at the end
    // are all errors to it; the decoding alone finds them.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    [[maybe_unused]] const QString text = decoder.decode(bytes);
    return !decoder.hasError();
}

Defaults::Defaults(const QString& path) : path_(path)
{
    // Only a regular file of sane size is handed to QSettings; anything
    // else is unreadable, like a file that does not parse. So is one that
    // is not UTF-8: read as Latin-1, its next write would change bytes the
    // user never touched.
    std::string content;
    const auto state = UserFile::read(QFile::encodeName(path).toStdString(), maxBytes, &content);
    if (state == UserFile::State::refused
        || !isUtf8(QByteArray::fromRawData(content.data(), qsizetype(content.size())))) {
        aside_ = Aside::move;
        return;
    }
    auto store = std::make_unique<QSettings>(path, QSettings::IniFormat);
    // QSettings parses on first use; its status means nothing before.
    store->contains(QStringLiteral("General"));
    if (store->status() == QSettings::FormatError) {
        aside_ = Aside::move;
        return;
    }
    store_ = std::move(store);
}

void Defaults::keepUnread(const QString& key)
{
    std::lock_guard guard(lock_);
    if (aside_ != Aside::none || !store_)
        return;
    aside_ = Aside::copy;
    unreadKey_ = key;
}

bool Defaults::writable()
{
    if (aside_ == Aside::none)
        return true;
    const std::string base = QFile::encodeName(unreadablePath()).toStdString();
    const std::string path = QFile::encodeName(path_).toStdString();
    // Keep the user's file: everything they set is still in it, only we
    // could not read it. A copy kept by an earlier run is never replaced.
    const UserFile::Kept kept = aside_ == Aside::move ? UserFile::moveAside(path, base)
                                                      : UserFile::copyAside(path, base, maxBytes);
    if (!kept.ok) {
        asideError_ = kept.error;
        return false;
    }
    asideError_ = 0;
    if (!kept.path.empty()) {
        keptAs_ = QFile::decodeName(QByteArray::fromStdString(kept.path));
        if (aside_ == Aside::move)
            qWarning("Tavrin: the settings file %s could not be read; it is kept as %s",
                     qUtf8Printable(path_), qUtf8Printable(keptAs_));
        else
            qWarning("Tavrin: the value \"%s\" in %s could not be read; the file is kept as %s",
                     qUtf8Printable(unreadKey_), qUtf8Printable(path_), qUtf8Printable(keptAs_));
    }
    // A moved file leaves the path to a new one; a copied file was read,
    // and the store goes on with the values that were understood.
    if (aside_ == Aside::move)
        store_ = std::make_unique<QSettings>(path_, QSettings::IniFormat);
    aside_ = Aside::none;
    return true;
}

bool Defaults::keepAside()
{
    std::lock_guard guard(lock_);
    return writable();
}

bool Defaults::unreadable() const
{
    std::lock_guard guard(lock_);
    return aside_ != Aside::none || !keptAs_.isEmpty();
}

QString Defaults::keptAs() const
{
    std::lock_guard guard(lock_);
    return keptAs_;
}

Defaults::Failure Defaults::asideFailure() const
{
    if (UserFile::isNoSpace(asideError_))
        return Failure::diskFull;
    return Failure::notKept;
}

bool Defaults::commit()
{
    if (!writable()) {
        failure_ = asideFailure();
        return false;
    }
    if (storeFailed_)
        store_ = std::make_unique<QSettings>(path_, QSettings::IniFormat);
    for (auto it = pending_.constBegin(); it != pending_.constEnd(); ++it) {
        if (it->isValid())
            store_->setValue(it.key(), *it);
        else
            store_->remove(it.key());
    }
    store_->sync();
    storeFailed_ = store_->status() != QSettings::NoError;
    if (storeFailed_) {
        failure_ = diagnose();
        return false;
    }
    pending_.clear();
    failure_ = Failure::none;
    return true;
}

Defaults::Failure Defaults::diagnose() const
{
    // The nearest folder that exists tells which disk would have held it.
    QDir folder = QFileInfo(path_).absoluteDir();
    while (!folder.exists() && folder.cdUp()) {
    }
    const QStorageInfo disk(folder);
    if (disk.isValid() && disk.isReady() && disk.bytesAvailable() < 4096)
        return Failure::diskFull;
    return Failure::notWritable;
}

Defaults::Failure Defaults::lastFailure() const
{
    std::lock_guard guard(lock_);
    return failure_;
}

QString Defaults::unreadablePath() const
{
    return path_ + QStringLiteral(".unreadable");
}

std::optional<QVariant> Defaults::lookup(const QString& key) const
{
    std::lock_guard guard(lock_);
    if (auto it = arguments_.constFind(key); it != arguments_.constEnd())
        return QVariant(*it);
    if (auto it = pending_.constFind(key); it != pending_.constEnd()) {
        if (!it->isValid())
            return std::nullopt;
        return *it;
    }
    if (!store_ || !store_->contains(key))
        return std::nullopt;
    return store_->value(key);
}

bool Defaults::contains(const QString& key) const
{
    return lookup(key).has_value();
}

bool Defaults::isArgument(const QString& key) const
{
    std::lock_guard guard(lock_);
    return arguments_.contains(key);
}

std::optional<bool> Defaults::parseBool(const QString& text)
{
    const QString t = text.trimmed().toLower();
    if (t == u"yes" || t == u"true" || t == u"y" || t == u"t")
        return true;
    if (t == u"no" || t == u"false" || t == u"n" || t == u"f")
        return false;
    if (auto n = parseDouble(t))
        return *n != 0;
    return std::nullopt;
}

std::optional<qint64> Defaults::parseInt(const QString& text)
{
    const QByteArray bytes = text.trimmed().toUtf8();
    const char* first = bytes.constData();
    const char* last = first + bytes.size();
    if (first != last && *first == '+')
        ++first;
    qint64 value = 0;
    auto [end, ec] = std::from_chars(first, last, value);
    if (ec == std::errc() && end == last)
        return value;
    // "2.0" and "1e3" still name whole numbers.
    if (auto d = parseDouble(text); d && std::isfinite(*d)
        && *d >= -9.2e18 && *d <= 9.2e18)
        return static_cast<qint64>(*d);
    return std::nullopt;
}

std::optional<double> Defaults::parseDouble(const QString& text)
{
    const QByteArray bytes = text.trimmed().toUtf8();
    const char* first = bytes.constData();
    const char* last = first + bytes.size();
    if (first != last && *first == '+')
        ++first;
    double value = 0;
    auto [end, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || end != last || first == last)
        return std::nullopt;
    return value;
}

bool Defaults::boolValue(const QString& key, bool fallback) const
{
    auto v = lookup(key);
    if (!v)
        return fallback;
    if (v->typeId() == QMetaType::Bool)
        return v->toBool();
    return parseBool(v->toString()).value_or(fallback);
}

qint64 Defaults::intValue(const QString& key, qint64 fallback) const
{
    auto v = lookup(key);
    if (!v)
        return fallback;
    if (v->typeId() == QMetaType::Bool)
        return v->toBool() ? 1 : 0;
    return parseInt(v->toString()).value_or(fallback);
}

double Defaults::doubleValue(const QString& key, double fallback) const
{
    auto v = lookup(key);
    if (!v)
        return fallback;
    if (v->typeId() == QMetaType::Bool)
        return v->toBool() ? 1 : 0;
    return parseDouble(v->toString()).value_or(fallback);
}

QString Defaults::stringValue(const QString& key, const QString& fallback) const
{
    auto v = lookup(key);
    if (!v)
        return fallback;
    // A hand-written INI value with a bare comma reads back as a list.
    if (v->typeId() == QMetaType::QStringList)
        return v->toStringList().join(u',');
    if (!v->canConvert<QString>())
        return fallback;
    return v->toString();
}

std::optional<QByteArray> Defaults::data(const QString& key) const
{
    auto v = lookup(key);
    if (!v)
        return std::nullopt;
    return asData(*v);
}

bool Defaults::refreshSeen()
{
    std::string bytes;
    if (UserFile::read(QFile::encodeName(path_).toStdString(), maxBytes, &bytes)
        != UserFile::State::regular) {
        seenBytes_.reset();
        seenValues_.clear();
        return false;
    }
    if (seenBytes_ && *seenBytes_ == bytes)
        return true;
    seenBytes_.reset();
    seenValues_.clear();
    // QSettings keeps one parse of each path for the whole process and
    // reads it again only when the size or time differ; a copy of the
    // bytes under a name never used before is parsed afresh.
    QTemporaryFile copy(QDir::tempPath() + QStringLiteral("/tavrin-settings-XXXXXX"));
    if (!copy.open() || copy.write(bytes.data(), qint64(bytes.size())) != qint64(bytes.size())
        || !copy.flush())
        return false;
    seenBytes_ = std::move(bytes);
    const QSettings parsed(copy.fileName(), QSettings::IniFormat);
    for (const QString& key : parsed.allKeys())
        seenValues_.insert(key, parsed.value(key));
    if (parsed.status() != QSettings::NoError)
        seenValues_.clear();
    return true;
}

std::optional<QByteArray> Defaults::storedData(const QString& key)
{
    std::lock_guard guard(lock_);
    return readBack(key);
}

std::optional<QByteArray> Defaults::readBack(const QString& key)
{
    if (!refreshSeen())
        return std::nullopt;
    const auto it = seenValues_.constFind(key);
    if (it == seenValues_.constEnd())
        return std::nullopt;
    return asData(*it);
}

bool Defaults::update(const QString& key, const Change& change)
{
    std::lock_guard guard(lock_);
    // Held while this copy reads the value back and writes it; a copy
    // stopped while it holds the lock delays a write by two seconds at most.
    QDir().mkpath(QFileInfo(lockPath()).absolutePath());
    const UserFile::Lock writing(QFile::encodeName(lockPath()).toStdString(), 200);
    const std::optional<QVariant> value = change(readBack(key));
    if (!value)
        return false;
    pending_.insert(key, *value);
    if (!commit())
        return false;
    refreshSeen();
    return true;
}

QString Defaults::lockPath() const
{
    return path_ + QStringLiteral(".flock");
}

bool Defaults::set(const QString& key, const QVariant& value)
{
    std::lock_guard guard(lock_);
    pending_.insert(key, value);
    return commit();
}

bool Defaults::remove(const QString& key)
{
    std::lock_guard guard(lock_);
    pending_.insert(key, QVariant());
    return commit();
}

void Defaults::sync()
{
    std::lock_guard guard(lock_);
    if (!pending_.isEmpty())
        commit();
    else if (store_)
        store_->sync();
}

QString Defaults::fileName() const
{
    return path_;
}
