#include "core/build_info.h"

namespace {

std::optional<QString> nonEmpty(const char* text)
{
    const QString value = QString::fromUtf8(text).trimmed();
    if (value.isEmpty())
        return std::nullopt;
    return value;
}

} // namespace

namespace BuildInfo {

std::optional<QString> shortVersion()
{
    return nonEmpty(TAVRIN_VERSION_TEXT);
}

std::optional<QString> buildNumber()
{
    return nonEmpty(TAVRIN_BUILD_TEXT);
}

std::optional<QString> sourceCommit()
{
    return nonEmpty(TAVRIN_COMMIT_TEXT);
}

QUrl site()
{
    QString text = QString::fromUtf8(TAVRIN_SITE_TEXT);
    if (!text.endsWith(QLatin1Char('/')))
        text += QLatin1Char('/');
    return QUrl(text);
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
