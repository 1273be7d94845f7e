#include "core/json_util.h"

#include <cmath>

namespace Json {

std::optional<QString> string(const QJsonValue& v)
{
    if (!v.isString())
        return std::nullopt;
    return v.toString();
}

std::optional<bool> boolean(const QJsonValue& v)
{
    if (!v.isBool())
        return std::nullopt;
    return v.toBool();
}

std::optional<double> number(const QJsonValue& v)
{
    if (!v.isDouble())
        return std::nullopt;
    return v.toDouble();
}

std::optional<int64_t> integer(const QJsonValue& v, int64_t lo, int64_t hi)
{
    if (!v.isDouble())
        return std::nullopt;
    // Integers beyond 2^53 arrive as exact 64-bit values; everything else is
    // a double that must be whole and within range.
    const double d = v.toDouble();
    if (!std::isfinite(d) || std::trunc(d) != d)
        return std::nullopt;
    constexpr qint64 sentinel = INT64_MIN;
    qint64 n = v.toInteger(sentinel);
    if (n == sentinel) {
        if (d < -9.2233720368547758e18 || d >= 9.2233720368547758e18)
            return std::nullopt;
        n = static_cast<qint64>(d);
    }
    if (n < lo || n > hi)
        return std::nullopt;
    return n;
}

QString uuidText(const QUuid& id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}

std::optional<QUuid> uuid(const QJsonValue& v)
{
    auto text = string(v);
    if (!text || text->size() != 36)
        return std::nullopt;
    const QUuid id = QUuid::fromString(*text);
    if (id.isNull() && *text != QStringLiteral("00000000-0000-0000-0000-000000000000"))
        return std::nullopt;
    return id;
}

} // namespace Json
