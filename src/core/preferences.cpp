#include "core/preferences.h"

#include "core/json_util.h"
#include "platform/defaults.h"
#include "platform/memory_info.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <cmath>

namespace {

const QString preferencesKey = QStringLiteral("preferences");

// The keys this build reads, at the top and inside "thresholds".
const QStringList knownKeys{
    QStringLiteral("thresholds"), QStringLiteral("notify"),     QStringLiteral("ignored"),
    QStringLiteral("resolveHosts"), QStringLiteral("menuBarPercent"), QStringLiteral("language"),
    QStringLiteral("autoCheckUpdates"), QStringLiteral("sounds"),
};
const QStringList knownThresholdKeys{
    QStringLiteral("systemCPU"), QStringLiteral("processCPU"), QStringLiteral("memoryGB"),
    QStringLiteral("memoryGrowthGB"), QStringLiteral("threads"),  QStringLiteral("fds"),
    QStringLiteral("downloadMB"), QStringLiteral("uploadMB"),
};

// `object` without the keys this build reads.
QJsonObject unknownIn(const QJsonObject& object, const QStringList& known)
{
    QJsonObject out;
    for (auto it = object.constBegin(); it != object.constEnd(); ++it)
        if (!known.contains(it.key()))
            out.insert(it.key(), it.value());
    return out;
}

// `known` written over `kept`, so a key this build writes is never the
// stored one.
QJsonObject over(QJsonObject kept, const QJsonObject& known)
{
    for (auto it = known.constBegin(); it != known.constEnd(); ++it)
        kept.insert(it.key(), it.value());
    return kept;
}

bool allFinite(std::initializer_list<double> values)
{
    return std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
}

} // namespace

Thresholds::Thresholds()
    : Thresholds(forMemory(MemoryInfo::installedMemory()))
{
}

Thresholds Thresholds::forMemory(uint64_t installedBytes)
{
    Thresholds t{Unscaled{}};
    const double gib = static_cast<double>(installedBytes) / 1073741824.0;
    // std::round takes halves away from zero.
    // A very large machine would scale past what a threshold can be set to.
    t.memoryGB = memoryGBRange.clamp(std::max(8.0, std::round(gib * 0.1)));
    t.memoryGrowthGB = memoryGrowthGBRange.clamp(std::max(1.0, std::round(gib * 0.015)));
    return t;
}

Thresholds Thresholds::usable() const
{
    // Installed memory does not change while we run.
    static const Thresholds machine;
    return usable(machine);
}

Thresholds Thresholds::usable(const Thresholds& fallback) const
{
    auto pick = [](auto value, auto other) {
        return std::isfinite(double(value)) && value > 0 ? value : other;
    };
    Thresholds t = *this;
    t.systemCPU = pick(systemCPU, fallback.systemCPU);
    t.processCPU = pick(processCPU, fallback.processCPU);
    t.memoryGB = pick(memoryGB, fallback.memoryGB);
    t.memoryGrowthGB = pick(memoryGrowthGB, fallback.memoryGrowthGB);
    t.threads = pick(threads, fallback.threads);
    t.fds = pick(fds, fallback.fds);
    t.downloadMB = pick(downloadMB, fallback.downloadMB);
    t.uploadMB = pick(uploadMB, fallback.uploadMB);
    return t;
}

QJsonObject Thresholds::toJson() const
{
    return QJsonObject{
        {QStringLiteral("systemCPU"), systemCPU},
        {QStringLiteral("processCPU"), processCPU},
        {QStringLiteral("memoryGB"), memoryGB},
        {QStringLiteral("memoryGrowthGB"), memoryGrowthGB},
        {QStringLiteral("threads"), static_cast<qint64>(threads)},
        {QStringLiteral("fds"), static_cast<qint64>(fds)},
        {QStringLiteral("downloadMB"), downloadMB},
        {QStringLiteral("uploadMB"), uploadMB},
    };
}

Thresholds Thresholds::fromJson(const QJsonObject& o, const Thresholds& fallback)
{
    Thresholds t = fallback;
    // A figure beyond its slider's ends means nothing the pane could show or
    // set (1e-300 MB/s would alert on every idle process), so it is held at
    // the nearer end, and the rules and the pane use the same value.
    auto number = [&o](const char* key, double& field, Range range) {
        if (auto v = Json::number(o.value(QLatin1String(key))); v && std::isfinite(*v))
            field = *v;
        field = std::isfinite(field) ? range.clamp(field) : range.lower;
    };
    auto integer = [&o](const char* key, int64_t& field, Range range) {
        if (auto v = Json::integer(o.value(QLatin1String(key))))
            field = *v;
        field = int64_t(range.clamp(double(field)));
    };
    number("systemCPU", t.systemCPU, systemCPURange);
    number("processCPU", t.processCPU, processCPURange);
    number("memoryGB", t.memoryGB, memoryGBRange);
    number("memoryGrowthGB", t.memoryGrowthGB, memoryGrowthGBRange);
    integer("threads", t.threads, threadsRange);
    integer("fds", t.fds, fdsRange);
    number("downloadMB", t.downloadMB, rateMBRange);
    number("uploadMB", t.uploadMB, rateMBRange);
    return t;
}

QString Preferences::languageText(AppLanguage language)
{
    switch (language) {
    case AppLanguage::zh: return QStringLiteral("zh");
    case AppLanguage::en: return QStringLiteral("en");
    case AppLanguage::system: break;
    }
    return QStringLiteral("system");
}

std::optional<AppLanguage> Preferences::languageFromText(const QString& text)
{
    for (AppLanguage l : allLanguages)
        if (languageText(l) == text)
            return l;
    return std::nullopt;
}

std::optional<QByteArray> Preferences::encode() const
{
    const Thresholds& t = thresholds;
    if (!allFinite({t.systemCPU, t.processCPU, t.memoryGB, t.memoryGrowthGB, t.downloadMB, t.uploadMB}))
        return std::nullopt;
    const QJsonObject o = over(unknown, QJsonObject{
        {QStringLiteral("thresholds"), over(unknownThresholds, t.toJson())},
        {QStringLiteral("notify"), notify},
        {QStringLiteral("ignored"), QJsonArray::fromStringList(ignored)},
        {QStringLiteral("resolveHosts"), resolveHosts},
        {QStringLiteral("menuBarPercent"), menuBarPercent},
        {QStringLiteral("language"), languageText(language)},
        {QStringLiteral("autoCheckUpdates"), autoCheckUpdates},
        {QStringLiteral("sounds"), sounds},
    });
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

std::optional<Preferences> Preferences::decode(const QByteArray& data)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    const QJsonObject o = doc.object();
    Preferences p;

    auto readBool = [&o](const char* key, bool& field) {
        if (auto b = Json::boolean(o.value(QLatin1String(key))))
            field = *b;
    };
    readBool("notify", p.notify);
    readBool("resolveHosts", p.resolveHosts);
    readBool("menuBarPercent", p.menuBarPercent);
    readBool("autoCheckUpdates", p.autoCheckUpdates);
    readBool("sounds", p.sounds);

    if (const QJsonValue v = o.value(QStringLiteral("thresholds")); v.isObject()) {
        p.thresholds = Thresholds::fromJson(v.toObject(), p.thresholds);
        p.unknownThresholds = unknownIn(v.toObject(), knownThresholdKeys);
    }
    p.unknown = unknownIn(o, knownKeys);
    // Names that are not texts, or are only blanks (no process is named
    // so), are dropped one by one; the others stay muted.
    if (const QJsonValue v = o.value(QStringLiteral("ignored")); v.isArray()) {
        for (const QJsonValue& item : v.toArray())
            if (auto name = Json::string(item); name && !name->trimmed().isEmpty())
                p.ignored << *name;
    }
    if (auto text = Json::string(o.value(QStringLiteral("language"))))
        p.language = languageFromText(*text).value_or(p.language);
    return p;
}

Preferences Preferences::load(Defaults& defaults)
{
    auto data = defaults.data(preferencesKey);
    if (!data)
        return Preferences{};
    if (auto decoded = decode(*data))
        return *decoded;
    // Everything the user set may still be in it; only we could not read it.
    defaults.keepUnread(preferencesKey);
    return Preferences{};
}

Preferences Preferences::load()
{
    return load(Defaults::standard());
}

bool Preferences::save(Defaults& defaults) const
{
    if (auto data = encode())
        return defaults.set(preferencesKey, *data);
    return false;
}

bool Preferences::save() const
{
    return save(Defaults::standard());
}

std::optional<Preferences> Preferences::stored(Defaults& defaults)
{
    if (auto data = defaults.storedData(preferencesKey))
        return decode(*data);
    return std::nullopt;
}

std::optional<Preferences> Preferences::saveChanges(Defaults& defaults, const Preferences& base) const
{
    std::optional<Preferences> written;
    const bool saved = defaults.update(preferencesKey, [&](const std::optional<QByteArray>& data)
                                                           -> std::optional<QVariant> {
        // A value that cannot be read gives way to this copy's whole value,
        // as it would with one copy.
        const std::optional<Preferences> onDisk = data ? decode(*data) : std::nullopt;
        const Preferences next = onDisk ? merged(*onDisk, base, *this) : *this;
        const auto bytes = next.encode();
        if (!bytes)
            return std::nullopt;
        written = next;
        return QVariant(*bytes);
    });
    if (!saved)
        return std::nullopt;
    return written;
}

Preferences Preferences::merged(const Preferences& stored, const Preferences& base,
                                const Preferences& mine)
{
    Preferences out = stored;
    auto take = [](auto& field, const auto& baseField, const auto& mineField) {
        if (mineField != baseField)
            field = mineField;
    };
    take(out.notify, base.notify, mine.notify);
    take(out.resolveHosts, base.resolveHosts, mine.resolveHosts);
    take(out.menuBarPercent, base.menuBarPercent, mine.menuBarPercent);
    take(out.language, base.language, mine.language);
    take(out.autoCheckUpdates, base.autoCheckUpdates, mine.autoCheckUpdates);
    take(out.sounds, base.sounds, mine.sounds);

    Thresholds& t = out.thresholds;
    const Thresholds& b = base.thresholds;
    const Thresholds& m = mine.thresholds;
    take(t.systemCPU, b.systemCPU, m.systemCPU);
    take(t.processCPU, b.processCPU, m.processCPU);
    take(t.memoryGB, b.memoryGB, m.memoryGB);
    take(t.memoryGrowthGB, b.memoryGrowthGB, m.memoryGrowthGB);
    take(t.threads, b.threads, m.threads);
    take(t.fds, b.fds, m.fds);
    take(t.downloadMB, b.downloadMB, m.downloadMB);
    take(t.uploadMB, b.uploadMB, m.uploadMB);

    // A name this copy unmuted is unmuted, one it muted is muted; the
    // names the other copies muted or unmuted stay as they left them.
    for (const QString& name : base.ignored)
        if (!mine.ignored.contains(name))
            out.ignored.removeAll(name);
    for (const QString& name : mine.ignored)
        if (!base.ignored.contains(name) && !out.ignored.contains(name))
            out.ignored.append(name);
    return out;
}

QStringList toggledMute(const QStringList& ignored, const QString& name)
{
    QStringList out = ignored;
    if (out.contains(name))
        out.removeAll(name);
    else
        out.append(name);
    return out;
}
