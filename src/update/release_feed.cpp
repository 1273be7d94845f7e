#include "update/release_feed.h"

#include "core/json_util.h"
#include "core/outside_text.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

bool same(const QString& a, const QString& b)
{
    return a == b || a.normalized(QString::NormalizationForm_C) == b.normalized(QString::NormalizationForm_C);
}

bool same(const QStringList& a, const QStringList& b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (!same(a[i], b[i]))
            return false;
    return true;
}

std::optional<QStringList> strings(const QJsonValue& v)
{
    if (!v.isArray())
        return std::nullopt;
    QStringList out;
    for (const QJsonValue& item : v.toArray()) {
        auto s = Json::string(item);
        if (!s)
            return std::nullopt;
        out << OutsideText::plain(*s);
    }
    return out;
}

std::optional<Release::Text> text(const QJsonValue& v)
{
    if (!v.isObject())
        return std::nullopt;
    const QJsonObject o = v.toObject();
    auto zh = Json::string(o.value("zh"));
    auto en = Json::string(o.value("en"));
    if (!zh || !en)
        return std::nullopt;
    // The feed is written elsewhere: its words are shown and never trusted
    // to keep the figures beside them in order.
    return Release::Text{OutsideText::plain(*zh), OutsideText::plain(*en)};
}

std::optional<Release::Notes> notes(const QJsonValue& v)
{
    if (!v.isObject())
        return std::nullopt;
    const QJsonObject o = v.toObject();
    auto zh = strings(o.value("zh"));
    auto en = strings(o.value("en"));
    if (!zh || !en)
        return std::nullopt;
    return Release::Notes{*zh, *en};
}

std::optional<Release::Download> download(const QJsonValue& v)
{
    if (!v.isObject())
        return std::nullopt;
    const QJsonObject o = v.toObject();
    auto url = Json::string(o.value("url"));
    auto sha = Json::string(o.value("sha256"));
    auto size = Json::integer(o.value("size"));
    if (!url || !sha || !size)
        return std::nullopt;
    return Release::Download{*url, *sha, *size};
}

std::optional<Release> release(const QJsonValue& v)
{
    if (!v.isObject())
        return std::nullopt;
    const QJsonObject o = v.toObject();
    Release r;
    auto version = Json::string(o.value("version"));
    auto date = Json::string(o.value("date"));
    auto title = text(o.value("title"));
    auto n = notes(o.value("notes"));
    if (!version || !date || !title || !n)
        return std::nullopt;
    r.version = *version;
    r.date = *date;
    r.title = *title;
    r.notes = *n;
    if (!Json::absent(o.value("build"))) {
        auto build = Json::integer(o.value("build"));
        if (!build)
            return std::nullopt;
        r.build = *build;
    }
    if (!Json::absent(o.value("download"))) {
        auto d = download(o.value("download"));
        if (!d)
            return std::nullopt;
        r.download = *d;
    }
    if (!Json::absent(o.value("arch"))) {
        auto arch = Json::string(o.value("arch"));
        if (!arch)
            return std::nullopt;
        r.arch = *arch;
    }
    return r;
}

} // namespace

bool operator==(const Release::Text& a, const Release::Text& b)
{
    return same(a.zh, b.zh) && same(a.en, b.en);
}

bool operator==(const Release::Notes& a, const Release::Notes& b)
{
    return same(a.zh, b.zh) && same(a.en, b.en);
}

bool operator==(const Release::Download& a, const Release::Download& b)
{
    return same(a.url, b.url) && same(a.sha256, b.sha256) && a.size == b.size;
}

bool operator==(const Release& a, const Release& b)
{
    return same(a.version, b.version) && a.build == b.build && same(a.date, b.date) && a.title == b.title
        && a.notes == b.notes && a.download == b.download && a.arch == b.arch;
}

std::optional<AppVersion> Release::key() const
{
    // The version text is compared as written with the bundle's own, so one
    // with blanks around it can never be installed and is never a candidate.
    auto v = AppVersion::parseExact(version);
    if (!v)
        return std::nullopt;
    return v->with(build.value_or(0));
}

std::optional<ReleaseFeed> ReleaseFeed::decode(const QByteArray& json)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    const QJsonObject root = doc.object();
    ReleaseFeed feed;
    const QJsonValue minimum = root.value("minimumSystemVersion");
    if (!Json::absent(minimum)) {
        auto s = Json::string(minimum);
        if (!s)
            return std::nullopt;
        feed.minimumSystemVersion = *s;
    }
    const QJsonValue list = root.value("releases");
    if (!list.isArray())
        return std::nullopt;
    for (const QJsonValue& item : list.toArray()) {
        auto r = release(item);
        if (!r)
            return std::nullopt;
        feed.releases.push_back(std::move(*r));
    }
    return feed;
}

const Release* ReleaseFeed::entryFor(const QString& runningVersion) const
{
    const AppVersion key = AppVersion::parse(runningVersion).value_or(AppVersion{{0}});
    for (const Release& r : releases) {
        auto v = AppVersion::parse(r.version);
        if (v && *v == key)
            return &r;
    }
    return nullptr;
}
