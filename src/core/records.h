#pragma once
// The value records of one sample of the machine. They are built on the
// sampler's thread and handed whole to the main thread; QString shares its
// data with an atomic count, so copies cross threads without locks.

#include "core/date.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

struct ProcSample {
    // Longest name a record holds, in UTF-8 bytes.
    static constexpr int maxNameBytes = 255;
    // Longest owner a name carries, in UTF-8 bytes.
    static constexpr int maxOwnerBytes = 64;
    // A process's own name as a record may hold it: plain by the one rule
    // for outside text (OutsideText::plain), and cut at maxNameBytes on a
    // character boundary. Names come from argv[0] and the like, which any
    // user can set to anything, and end up in incident texts and the store.
    static QString cleanName(QStringView text);
    // The name a process or group shows: `name` made clean, or when that
    // would show nothing (blank, or "\u3164\u3164" in Hangul fillers), the
    // file name of `path` (its executable, its application) when that
    // shows something, else "pid <pid>", else "?". The one place a
    // stand-in for an invisible name is chosen.
    static QString shownName(QStringView name, QStringView path, std::optional<int32_t> pid);
    // The name of another user's process or group as every text shows it,
    // in either language: "kernel (bob)". `owner` is that user's login name
    // (or uid), plain. One form for both languages, since the name is kept
    // in records, the incident store and the muted list.
    static QString withOwner(QStringView name, QStringView owner);

    int32_t pid = 0;
    int32_t ppid = 0;
    QString name;
    QString path;
    QString groupKey;
    QString groupName;
    std::optional<QString> bundlePath;
    std::optional<Date> startTime;
    bool restricted = false;
    // The user the process runs as (its real uid); absent where the source
    // does not tell.
    std::optional<uint32_t> uid;
    // The kernel's state letter from stat ('R', 'S', 'T' for stopped, …);
    // '?' when the source does not know it.
    char state = '?';
    double cpu = 0;        // percent of one core
    uint64_t mem = 0;      // bytes
    int64_t threads = 0;
    int64_t fds = 0;
    double netIn = 0, netOut = 0;
    double diskRead = 0, diskWrite = 0;

    int32_t id() const { return pid; }
    // Stopped by a signal (SIGSTOP, or a pause from this app).
    bool stopped() const { return state == 'T'; }
    bool operator==(const ProcSample&) const = default;
};

struct GroupSample {
    QString key;
    QString name;
    std::optional<QString> bundlePath;
    std::vector<ProcSample> members;
    double cpu = 0;
    uint64_t mem = 0;
    int64_t threads = 0;
    int64_t fds = 0;
    double netIn = 0, netOut = 0;
    double diskRead = 0, diskWrite = 0;

    GroupSample() = default;
    GroupSample(QString key, QString name, std::optional<QString> bundlePath)
        : key(std::move(key)), name(std::move(name)), bundlePath(std::move(bundlePath)) {}

    // Appends the process and adds its figures to the sums; the caller has
    // grouped by groupKey.
    void add(const ProcSample& p);

    const QString& id() const { return key; }
    bool operator==(const GroupSample&) const = default;
};

struct SystemSample {
    Date date = Date::now();
    double cpu = 0, cpuUser = 0, cpuSystem = 0;
    std::vector<double> cores;
    double gpu = 0;
    double load = 0;
    uint64_t memTotal = 1;
    uint64_t memApp = 0, memWired = 0, memCompressed = 0, memCached = 0;
    uint64_t swapUsed = 0;
    int64_t pressure = 1;
    double netIn = 0, netOut = 0;
    double diskRead = 0, diskWrite = 0;
    int64_t fileCount = 0, fileMax = 1;
    int64_t threadCount = 0, threadMax = 1;
    int64_t procCount = 0, procMax = 1;
    QString topCPU, topMem, topNet, topDisk;

    bool operator==(const SystemSample&) const = default;
};

struct Connection {
    enum class Scope : int { internet = 0, lan = 1, loopback = 2 };

    QString id;            // "<pid> <flow identifier>"
    int32_t pid = 0;
    QString remoteHost;
    int64_t remotePort = 0;
    Scope scope = Scope::internet;
    double bytesIn = 0, bytesOut = 0;
    double rateIn = 0, rateOut = 0;
    std::optional<QString> host;

    bool operator==(const Connection&) const = default;
};

struct Listener {
    int32_t pid = 0;
    QString proto;
    int64_t port = 0;
    bool localOnly = false;

    // "<pid>.<proto>.<port>"
    QString id() const;
    bool operator==(const Listener&) const = default;
};

enum class CoreKind { efficiency, performance };

struct HostInfo {
    QString name;
    QString chip;
    std::vector<CoreKind> coreKinds;
    Date bootTime;

    bool operator==(const HostInfo&) const = default;
};

struct Snapshot {
    SystemSample system;
    std::vector<GroupSample> groups;
    std::vector<Connection> connections;
    std::vector<Listener> listeners;
    int64_t netSerial = 0;
    double netInterval = 2.0;
    double interval = 1.0;
    double selfCPU = 0;
    uint64_t selfMem = 0;
    // errno's value when the machine could not be read: the figures are
    // then the last ones that were. 0 when they are fresh.
    int unreadable = 0;

    bool operator==(const Snapshot&) const = default;
};
