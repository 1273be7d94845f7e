#pragma once
// One detected breach of a rule, and one record of the incident store.

#include "core/date.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <array>
#include <cstdint>
#include <optional>

enum class Severity : int { warn = 1, critical = 2 };

inline bool operator<(Severity a, Severity b) { return int(a) < int(b); }

struct Incident {
    enum class Kind {
        systemCPU, processCPU, memory, memoryGrowth, memoryPressure, threads, threadGrowth,
        fds, fdGrowth, systemFiles, download, upload, processBurst,
    };
    static constexpr std::array allKinds{
        Kind::systemCPU, Kind::processCPU, Kind::memory, Kind::memoryGrowth,
        Kind::memoryPressure, Kind::threads, Kind::threadGrowth, Kind::fds, Kind::fdGrowth,
        Kind::systemFiles, Kind::download, Kind::upload, Kind::processBurst,
    };

    QUuid id = QUuid::createUuid();
    Kind kind = Kind::systemCPU;
    Severity severity = Severity::warn;
    QString subject;
    std::optional<QString> groupKey;
    std::optional<int32_t> pid;
    QString peakText;
    double peak = 0;
    QStringList contributors;
    Date start;
    std::optional<Date> end;

    bool isOpen() const { return !end.has_value(); }
    // The headline in the current language.
    QString title() const;

    QJsonObject toJson() const;
    // Strict: a missing required key, a kind outside the list or a severity
    // other than 1 or 2 gives nothing.
    static std::optional<Incident> fromJson(const QJsonValue& value);

    static QString kindText(Kind kind);
    static std::optional<Kind> kindFromText(const QString& text);

    bool operator==(const Incident&) const = default;
};
