#include "core/incident.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QJsonDocument doc = QJsonDocument::fromJson(bytes);
    const QJsonArray items = doc.isArray() ? doc.array() : QJsonArray{doc.object()};
    for (const QJsonValue& v : items) {
        if (auto incident = Incident::fromJson(v)) {
            (void)incident->title();
            if (Incident::fromJson(incident->toJson()) != incident)
                __builtin_trap();
        }
    }
    return 0;
}
