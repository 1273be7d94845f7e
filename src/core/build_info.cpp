#include "core/build_info.h"

namespace {

std::optional<QString> nonEmpty(const std::optional<QString>& text)
{
    if (!text || text->trimmed().isEmpty())
        return std::nullopt;
    return text->trimmed();
}

struct Installed {
    std::optional<QString> version, build, commit;
    std::optional<bool> checks;
};

Installed& installed()
{
    static Installed value;
    return value;
}

} // namespace

namespace BuildInfo {

std::optional<QString> shortVersion()
{
    return installed().version;
}

std::optional<QString> buildNumber()
{
    return installed().build;
}

std::optional<QString> sourceCommit()
{
    return installed().commit;
}

QUrl site()
{
    QString text = QString::fromUtf8(TAVRIN_SITE_TEXT);
    if (!text.endsWith(QLatin1Char('/')))
        text += QLatin1Char('/');
    return QUrl(text);
}

bool hasUpdateSite()
{
    const QString host = site().host().toLower();
    return !host.isEmpty() && host != u"invalid" && !host.endsWith(u".invalid");
}

bool checksForUpdates()
{
    return installed().checks.value_or(hasUpdateSite());
}

void setChecksForUpdates(bool checks)
{
    installed().checks = checks;
}

void install(std::optional<QString> version, std::optional<QString> build, std::optional<QString> commit)
{
    installed().version = nonEmpty(version);
    installed().build = nonEmpty(build);
    installed().commit = nonEmpty(commit);
}

QString versionText(const std::optional<QString>& version, const std::optional<QString>& build)
{
    if (!version)
        return QStringLiteral("dev");
    return *version + QStringLiteral(" (") + build.value_or(QStringLiteral("?")) + QLatin1Char(')');
}

QString versionText()
{
    return versionText(shortVersion(), buildNumber());
}

} // namespace BuildInfo
