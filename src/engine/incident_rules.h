#pragma once
// The rule pass of the detector: which rules a snapshot breaches right now,
// and the short per-process and per-group history that the growth and burst
// rules compare with. It opens and closes nothing; the Detector turns its
// conditions into incidents.

#include "core/incident.h"
#include "core/preferences.h"
#include "core/records.h"

#include <QHash>
#include <QSet>
#include <QString>

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

class IncidentRules {
public:
    // One breached rule on one pass.
    struct Condition {
        QString key;                     // identity of the rule instance from pass to pass
        Incident::Kind kind = Incident::Kind::systemCPU;
        Severity severity = Severity::warn;
        double hold = 0;                 // seconds it must keep holding before an incident opens
        QString subject;
        std::optional<QString> groupKey;
        std::optional<int32_t> pid;
        double value = 0;
        QString valueText;
    };

    // One remembered reading of a process.
    struct Mark {
        double t = 0;
        uint64_t mem = 0;
        int64_t threads = 0;
        int64_t fds = 0;
    };

    static constexpr double markSpacing = 5;   // seconds between mark passes
    static constexpr std::size_t maxMarks = 12; // per process, and counts per group

    // Every rule breached by the snapshot at monotonic time now, in the order
    // the rules are applied. Updates the marks on a mark pass.
    std::vector<Condition> collect(const Snapshot& snapshot, double now, const Preferences& prefs);

    // "%.1f%%" below 100, "%.0f%%" from 100: the pattern is chosen before
    // rounding, so 99.96 reads 100.0%.
    static QString percentText(double cpu);

    std::unordered_map<int32_t, std::vector<Mark>> marks;             // oldest first
    QHash<QString, std::vector<std::pair<double, int64_t>>> groupCounts; // (time, members), oldest first
    double lastMark = 0;
    // Keys of every group present (muted ones included) at the last mark
    // pass; absent before the first one.
    std::optional<QSet<QString>> markedGroups;
};
