#pragma once
// Every process of the machine, once per process tick: who it is, what it
// uses, and the application it belongs to.

#include "core/records.h"
#include "platform/desktop_entries.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace ProcParse {
struct PidStat;
}

class ProcessProbe {
public:
    // pid → (in, out) bytes per second of the latest connection reading.
    using NetRates = std::unordered_map<int32_t, std::pair<double, double>>;
    // pid → (cpu percent, memory bytes) of the latest restricted reading.
    using RestrictedUsage = std::unordered_map<int32_t, std::pair<double, uint64_t>>;

    // On the live machine ("/") the application index is built from the
    // installed desktop entries; any other root starts with an empty one.
    explicit ProcessProbe(const QString& root = QStringLiteral("/"));
    ProcessProbe(const QString& root, DesktopEntries apps);
    ~ProcessProbe();
    ProcessProbe(const ProcessProbe&) = delete;
    ProcessProbe& operator=(const ProcessProbe&) = delete;

    // One sample per live process, in pid order; rates over `dt` seconds.
    // Nothing when the processes could not be read (see fault()); the
    // counters of the last reading then stand for the next.
    std::vector<ProcSample> sample(double dt, const NetRates& net, const RestrictedUsage& restricted);
    // Why the latest sample read nothing (errno's value: /proc could not be
    // opened or listed, or descriptors or memory ran out), 0 when it read.
    int fault() const { return fault_; }

    // Cached identities, including those of ended processes not yet pruned.
    size_t identityCount() const { return identities.size(); }

    // The group of the kernel's own threads. An executable's key is "exe:"
    // and a name, a path, or either behind another user's "uid:N:", so no
    // program, whatever it calls itself, lands in this group.
    static QString kernelGroupKey() { return QStringLiteral("kernel"); }

    // Whose processes are the user's own: their groups are keyed as they
    // are, every other user's carry the owner's uid. geteuid() unless set.
    void setOwnUid(uint32_t uid) { ownUid_ = uid; }

    // The login name of a uid; the system's user database unless replaced.
    using UserLookup = std::function<std::optional<std::string>(uint32_t uid)>;
    void setUserLookup(UserLookup lookup);

private:
    struct Identity {
        uint64_t startAbs = 0; // start time in clock ticks after boot
        std::string comm;      // the kernel's name, which an exec changes
        int32_t ppid = 0;
        QString name, path, groupKey, groupName;
        std::optional<QString> bundlePath;
        std::optional<Date> startTime;
        std::optional<uint32_t> uid;
    };
    struct Counters {
        uint64_t cpuNs = 0, diskR = 0, diskW = 0;
        // What stat showed beside the footprint, to tell whether it may have
        // changed since.
        uint64_t start = 0, faults = 0, rssPages = 0;
        uint64_t footprint = 0;
    };

    Identity identify(int32_t pid, const ProcParse::PidStat& stat);
    // Another user's name as a process of theirs carries it: the login name
    // made plain, or the uid when there is none.
    const QString& ownerName(uint32_t uid);
    int64_t fdCount(int32_t pid);
    std::optional<uint64_t> anonymousBytes(int32_t pid);
    std::string& pidPath(int32_t pid, const char* leaf);
    const char* relPath(int32_t pid, const char* leaf);
    void appendPid(int32_t pid, const char* leaf);

    std::string root_;
    DesktopEntries apps_;
    std::unordered_map<int32_t, Identity> identities;
    std::unordered_map<int32_t, Counters> prev;
    std::vector<int32_t> pids;
    std::unordered_map<int32_t, int64_t> fdCache;
    uint64_t round = 0;
    uint64_t ticksPerSecond_ = 100;
    std::optional<uint64_t> bootTime_;
    int procFd_ = -1; // /proc, kept open from call to call
    std::string path_, text_;
    bool procIsProcfs_ = false;
    uint64_t pageSize_ = 4096;
    uint32_t ownUid_;
    UserLookup userLookup_;
    std::unordered_map<uint32_t, QString> ownerNames_;
    int fault_ = 0;
};
