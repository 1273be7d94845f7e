#include "model/launch_script.h"

#include "platform/defaults.h"

#include <QStringList>

#include <cmath>

std::optional<double> LaunchScript::parseDelay(const QString& text)
{
    // The same locale-free number reading as every default value, but
    // blanks around the number are not part of one.
    if (text.isEmpty() || text.front().isSpace() || text.back().isSpace())
        return std::nullopt;
    return Defaults::parseDouble(text);
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
