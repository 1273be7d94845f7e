#include "core/incident.h"

#include "core/json_util.h"
#include "core/l10n.h"

#include <QJsonArray>

#include <cmath>

namespace {

struct KindInfo {
    const char* text;
    const char* en;
    const char* zh;
};

// Indexed by Incident::Kind.
constexpr KindInfo kinds[] = {
    {"systemCPU", "Sustained high CPU", "整机 CPU 持续高占用"},
    {"processCPU", "Sustained CPU use", "持续占用 CPU"},
    {"memory", "High memory use", "内存占用过高"},
    {"memoryGrowth", "Memory growing fast", "内存快速增长"},
    {"memoryPressure", "Memory pressure elevated", "内存压力升高"},
    {"threads", "Too many threads", "线程数过多"},
    {"threadGrowth", "Threads growing fast", "线程数快速增长"},
    {"fds", "Too many file handles", "文件句柄过多"},
    {"fdGrowth", "File handles growing fast", "文件句柄快速增长"},
    {"systemFiles", "Open files near system limit", "全局文件句柄接近上限"},
    {"download", "Sustained heavy download", "持续大流量下载"},
    {"upload", "Sustained heavy upload", "持续大流量上传"},
    {"processBurst", "Process count surging", "进程数激增"},
};
static_assert(std::size(kinds) == Incident::allKinds.size());

// The store must stay decodable: JSON has no NaN or infinity.
double finiteOrZero(double v) { return std::isfinite(v) ? v : 0; }

} // namespace

QString Incident::kindText(Kind kind)
{
    return QString::fromLatin1(kinds[static_cast<int>(kind)].text);
}

std::optional<Incident::Kind> Incident::kindFromText(const QString& text)
{
    for (Kind k : allKinds)
        if (text == QLatin1String(kinds[static_cast<int>(k)].text))
            return k;
    return std::nullopt;
}

QString Incident::title() const
{
    if (kind == Kind::memoryPressure && severity == Severity::critical)
        return L10n::text("Critical memory pressure", "内存压力危急");
    const KindInfo& info = kinds[static_cast<int>(kind)];
    return L10n::text(info.en, info.zh);
}

QJsonObject Incident::toJson() const
{
    QJsonObject o;
    o.insert(QStringLiteral("id"), Json::uuidText(id));
    o.insert(QStringLiteral("kind"), kindText(kind));
    o.insert(QStringLiteral("severity"), static_cast<int>(severity));
    o.insert(QStringLiteral("subject"), subject);
    if (groupKey)
        o.insert(QStringLiteral("groupKey"), *groupKey);
    if (pid)
        o.insert(QStringLiteral("pid"), *pid);
    o.insert(QStringLiteral("peakText"), peakText);
    o.insert(QStringLiteral("peak"), finiteOrZero(peak));
    o.insert(QStringLiteral("contributors"), QJsonArray::fromStringList(contributors));
    o.insert(QStringLiteral("start"), finiteOrZero(start.sinceReference));
    if (end)
        o.insert(QStringLiteral("end"), finiteOrZero(end->sinceReference));
    return o;
}

std::optional<Incident> Incident::fromJson(const QJsonValue& value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject o = value.toObject();
    Incident r;

    auto id = Json::uuid(o.value(QStringLiteral("id")));
    auto kindText = Json::string(o.value(QStringLiteral("kind")));
    auto severity = Json::integer(o.value(QStringLiteral("severity")));
    auto subject = Json::string(o.value(QStringLiteral("subject")));
    auto peakText = Json::string(o.value(QStringLiteral("peakText")));
    auto peak = Json::number(o.value(QStringLiteral("peak")));
    auto start = Json::number(o.value(QStringLiteral("start")));
    const QJsonValue contributors = o.value(QStringLiteral("contributors"));
    if (!id || !kindText || !severity || !subject || !peakText || !peak || !start
        || !contributors.isArray())
        return std::nullopt;

    auto kind = kindFromText(*kindText);
    if (!kind || (*severity != 1 && *severity != 2))
        return std::nullopt;

    r.id = *id;
    r.kind = *kind;
    r.severity = static_cast<Severity>(*severity);
    r.subject = *subject;
    r.peakText = *peakText;
    r.peak = *peak;
    r.start = Date{*start};
    for (const QJsonValue& c : contributors.toArray()) {
        auto name = Json::string(c);
        if (!name)
            return std::nullopt;
        r.contributors << *name;
    }

    if (const QJsonValue v = o.value(QStringLiteral("groupKey")); !Json::absent(v)) {
        auto key = Json::string(v);
        if (!key)
            return std::nullopt;
        r.groupKey = *key;
    }
    if (const QJsonValue v = o.value(QStringLiteral("pid")); !Json::absent(v)) {
        auto pid = Json::integer(v, INT32_MIN, INT32_MAX);
        if (!pid)
            return std::nullopt;
        r.pid = static_cast<int32_t>(*pid);
    }
    if (const QJsonValue v = o.value(QStringLiteral("end")); !Json::absent(v)) {
        auto end = Json::number(v);
        if (!end)
            return std::nullopt;
        r.end = Date{*end};
    }
    return r;
}
