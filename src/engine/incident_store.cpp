#include "engine/incident_store.h"

#include "platform/user_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>

IncidentStore::IncidentStore(QString path) : path_(std::move(path)) {}

QString IncidentStore::defaultPath()
{
    // A relative XDG_DATA_HOME is invalid and ignored, as the XDG rules ask.
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base)) {
        const QString home = QDir::homePath();
        if (home.isEmpty() || home == QDir::rootPath())
            return {};
        base = home + QStringLiteral("/.local/share");
    }
    return QDir::cleanPath(base + QStringLiteral("/Tavrin/incidents.json"));
}

std::optional<std::vector<Incident>> IncidentStore::decode(const QByteArray& data)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray())
        return std::nullopt;
    const QJsonArray array = doc.array();
    std::vector<Incident> out;
    out.reserve(std::size_t(array.size()));
    for (const QJsonValue& v : array) {
        auto incident = Incident::fromJson(v);
        if (!incident)
            return std::nullopt;
        out.push_back(std::move(*incident));
    }
    return out;
}

QByteArray IncidentStore::encode(const std::vector<Incident>& incidents)
{
    QJsonArray array;
    for (const Incident& i : incidents)
        array.append(i.toJson());
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

std::vector<Incident> IncidentStore::load()
{
    aside_ = Aside::none;
    keptAs_.clear();
    if (path_.isEmpty())
        return {};
    std::string data;
    const UserFile::State state = UserFile::read(QFile::encodeName(path_).toStdString(), maxBytes, &data);
    if (state == UserFile::State::missing)
        return {};
    // The user is told where a file that could not be read went, so it
    // goes there now rather than before the first write.
    if (state == UserFile::State::refused) {
        aside_ = Aside::move;
        setAsideUnreadable(&keptAs_);
        return {};
    }
    // An empty file holds nothing worth keeping.
    if (data.empty())
        return {};
    auto list = decode(QByteArray::fromRawData(data.data(), qsizetype(data.size())));
    if (!list) {
        aside_ = Aside::copy;
        setAsideUnreadable(&keptAs_);
        return {};
    }
    // The program was not running when these really ended.
    for (Incident& i : *list)
        if (!i.end)
            i.end = i.start;
    return std::move(*list);
}

bool IncidentStore::setAsideUnreadable(QString* keptAs)
{
    const std::string base = QFile::encodeName(unreadablePath()).toStdString();
    const std::string path = QFile::encodeName(path_).toStdString();
    // Copy rather than move, so that a failing write still leaves the store
    // where it was; move only a file that cannot be read to be copied.
    // Neither replaces a copy an earlier run kept.
    UserFile::Kept kept;
    if (aside_ == Aside::copy)
        kept = UserFile::copyAside(path, base, maxBytes);
    if (!kept.ok)
        kept = UserFile::moveAside(path, base);
    if (!kept.ok)
        return false;
    aside_ = Aside::none;
    // A copy an earlier run made was told of then.
    if (keptAs && kept.made)
        *keptAs = QFile::decodeName(QByteArray::fromStdString(kept.path));
    return true;
}

bool IncidentStore::save(const std::vector<Incident>& incidents)
{
    if (path_.isEmpty())
        return false;
    const QByteArray data = encode(incidents);
    QDir().mkpath(QFileInfo(path_).absolutePath());
    if (aside_ != Aside::none && !setAsideUnreadable())
        return false;
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    // Unbuffered, so that a short write (a full disk) shows here: a buffered
    // QSaveFile can commit a truncated file and still report success. An
    // uncommitted QSaveFile removes its temporary file and leaves the store
    // untouched.
    if (file.write(data) != data.size())
        return false;
    return file.commit();
}
