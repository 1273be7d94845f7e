#pragma once
// What the inspector shows, as plain values: which group and process are
// inspected, the figure tiles, the member and connection rows and the
// listening line. Free of painting and of I/O so it is tested without widgets.

#include "core/incident.h"
#include "core/preferences.h"
#include "core/records.h"
#include "model/monitor.h"
#include "platform/process_signals.h"

#include <QColor>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <vector>

class InteractionHold;

struct Inspection {
    std::optional<GroupSample> group;   // absent: the selected group has gone
    std::optional<ProcSample> process;  // absent: the whole group is inspected
    std::vector<int32_t> pids;
    // Those of `pids` the user may signal: what the group's actions count
    // and reach.
    std::vector<int32_t> signalable;
    Monitor::Series series;
    bool paused = false;
};

// `me` is the user the actions signal as. `stopped` holds the pids this
// inspector paused. Otherwise the kernel's
// state in the sample tells, so a process paused before the column opened
// still reads as paused; `resumed` holds the pids this inspector resumed
// while the latest sample still shows them stopped.
Inspection resolveInspection(const std::optional<GroupSample>& group, std::optional<int32_t> focusPid,
                             const QHash<QString, Monitor::Series>& series, const std::set<int32_t>& stopped,
                             const std::set<int32_t>& resumed = {}, uint32_t me = ProcessSignals::ownUid());

// The note under a process whose threads and handles cannot be read: whose
// process it is, for the user `me`.
QString restrictedNote(const ProcSample& process, uint32_t me = ProcessSignals::ownUid());

// Why what is inspected (the process, else the whole group) cannot be quit
// or paused by the user `me`: whose it is. Nothing when the user may signal
// at least one of its processes, or it has none.
std::optional<QString> signalNote(const GroupSample& group, const std::optional<ProcSample>& process,
                                  uint32_t me = ProcessSignals::ownUid());

// What the user is told when the system refused the action's signal for
// `refused` of the `total` processes it went to, of `name`.
QString refusedText(ProcessSignals::Action action, const QString& name, std::size_t refused, std::size_t total);

struct TileModel {
    QString title;
    QString value;
    std::vector<double> values;
    QColor color;
    double floor = 1;
    bool operator==(const TileModel&) const = default;
};

// "%.1f%%" below 100, "%.0f%%" from 100, judged on the unrounded value.
QString cpuText(double cpu);

std::array<TileModel, 6> tileModels(const GroupSample& group, const std::optional<ProcSample>& process,
                                    const Monitor::Series& series, const Thresholds& thresholds);

QString subtitleCount(std::size_t members);

struct MemberRow {
    int32_t pid = 0;
    QString name;
    QString cpu;
    QString mem;
    bool departed = false;
    bool focused = false;
    bool operator==(const MemberRow&) const = default;
};

constexpr std::size_t maxMemberRows = 10;
constexpr std::size_t maxConnectionRows = 30;

struct MemberList {
    std::vector<MemberRow> rows;
    std::optional<QString> more; // "<n> more" beyond the first ten
    bool operator==(const MemberList&) const = default;
};

// By CPU, highest first, stable; frozen through the hold's "members" slot;
// the first ten.
MemberList memberRows(const GroupSample& group, std::optional<int32_t> focusPid, InteractionHold& hold);

// The line under a capped list: "<n> more" / "另有 <n> 条"; nothing when
// every row shows.
std::optional<QString> moreText(std::size_t total, std::size_t shown);

struct ConnectionRow {
    QString id;
    QString display;
    QString copied; // "host:port", free of the marks that set the host apart
    QString traffic;
    QString help;
    bool active = false;
    bool departed = false;
    bool operator==(const ConnectionRow&) const = default;
};

struct NetworkModel {
    QString count;                  // "<n> open"
    std::optional<QString> listening;
    std::vector<int64_t> ports;     // what "Copy Port Numbers" copies
    std::vector<ConnectionRow> rows; // at most thirty
    std::optional<QString> more;     // "<n> more"
    bool empty = true;
    bool operator==(const NetworkModel&) const = default;
};

NetworkModel networkModel(const Snapshot& snapshot, const std::vector<int32_t>& pids, InteractionHold& hold);

// The group's open incidents, frozen through the hold's "alerts" slot.
std::vector<Incident> alertRows(const std::vector<Incident>& open, const QString& groupKey, int alertsShown,
                                InteractionHold& hold);

// "1 new alert", "2 new alerts" / "2 条新告警"; nothing for 0.
std::optional<QString> newAlertsText(int withheld);

// The parent of `process` in the snapshot, when it is there.
std::optional<ProcSample> parentOf(const Snapshot& snapshot, const ProcSample& process);

// The reveal path: the process's path, else the bundle, else the first
// member's path, else empty.
QString revealPath(const GroupSample& group, const std::optional<ProcSample>& process);

// A command line as one block of visible text: line breaks, tabs and other
// control characters become escapes ("\n", "\t", "\x1b"), and so do the
// line and paragraph separators, the bidirectional controls and the
// invisible marks, so an argument can neither start a line of its own nor
// reorder or hide what is shown around it.
QString visibleCommandLine(const QString& text);

// HoldButton's label: the name, and " ×N" for two or more targets.
QString holdLabel(const QString& name, std::size_t targets);
