#pragma once
// Builders for the detector's tests: snapshots with just the figures a
// rule reads, and thresholds fixed whatever the machine's memory.

#include "core/preferences.h"
#include "core/records.h"

#include <QString>

#include <initializer_list>

namespace detector_test {

inline constexpr double GiB = 1073741824.0;
inline constexpr double MiB = 1048576.0;

inline ProcSample proc(int32_t pid, const char* name = "worker")
{
    ProcSample p;
    p.pid = pid;
    p.name = QString::fromUtf8(name);
    return p;
}

inline GroupSample group(const char* key, const char* name, std::initializer_list<ProcSample> members)
{
    GroupSample g(QString::fromUtf8(key), QString::fromUtf8(name), std::nullopt);
    for (ProcSample p : members) {
        p.groupKey = g.key;
        p.groupName = g.name;
        g.add(p);
    }
    return g;
}

inline GroupSample groupOf(const char* key, const char* name, int count, int32_t firstPid)
{
    GroupSample g(QString::fromUtf8(key), QString::fromUtf8(name), std::nullopt);
    for (int i = 0; i < count; ++i)
        g.add(proc(firstPid + i));
    return g;
}

inline Snapshot snapshot(std::vector<GroupSample> groups = {})
{
    Snapshot s;
    s.system.fileMax = 100000;
    s.groups = std::move(groups);
    return s;
}

inline Preferences prefs()
{
    Preferences p;
    p.thresholds.systemCPU = 85;
    p.thresholds.processCPU = 150;
    p.thresholds.memoryGB = 8;
    p.thresholds.memoryGrowthGB = 1;
    p.thresholds.threads = 400;
    p.thresholds.fds = 1024;
    p.thresholds.downloadMB = 5;
    p.thresholds.uploadMB = 2;
    return p;
}

} // namespace detector_test
