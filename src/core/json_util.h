#pragma once
// Strict readers for stored JSON: each returns nothing when the value is not
// exactly of the wanted type, so a decoder can reject the whole record.

#include <QJsonValue>
#include <QString>
#include <QUuid>

#include <cstdint>
#include <optional>

namespace Json {

std::optional<QString> string(const QJsonValue& v);
std::optional<bool> boolean(const QJsonValue& v);
std::optional<double> number(const QJsonValue& v);
// A whole number within [lo, hi]; 2.0 counts, 2.5 does not.
std::optional<int64_t> integer(const QJsonValue& v, int64_t lo = INT64_MIN, int64_t hi = INT64_MAX);

// Upper-case hyphenated form, as the store writes identities.
QString uuidText(const QUuid& id);
std::optional<QUuid> uuid(const QJsonValue& v);

// A missing key and an explicit null both mean absent.
inline bool absent(const QJsonValue& v) { return v.isUndefined() || v.isNull(); }

} // namespace Json
