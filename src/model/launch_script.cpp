#include "model/launch_script.h"

#include <QByteArray>
#include <QStringList>

#include <charconv>
#include <cmath>
#include <system_error>

std::optional<double> LaunchScript::parseDelay(const QString& text)
{
    // from_chars ignores the locale, so "2.5" means the same everywhere.
    const QByteArray utf8 = text.toUtf8();
    const char* first = utf8.constData();
    const char* last = first + utf8.size();
    double value = 0;
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc{} || end != last || utf8.isEmpty())
        return std::nullopt;
    return value;
}

std::vector<LaunchScript::Entry> LaunchScript::parse(const QString& text)
{
    std::vector<Entry> entries;
    const QStringList pieces = text.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString& piece : pieces) {
        const QStringList parts = piece.split(QLatin1Char('@'), Qt::SkipEmptyParts);
        if (parts.size() != 2)
            continue;
        const std::optional<double> delay = parseDelay(parts[1]);
        // A delay that never comes due or lies in the past schedules nothing.
        if (!delay || !std::isfinite(*delay) || *delay < 0)
            continue;
        entries.push_back({parts[0], *delay});
    }
    return entries;
}
