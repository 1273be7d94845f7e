#include "engine/system_probe.h"

#include "core/demo_mode.h"
#include "platform/memory_info.h"
#include "platform/proc_files.h"
#include "platform/proc_parse.h"
#include "platform/sys_machine.h"

#include <QByteArrayList>

#include <algorithm>

namespace {

// Difference of two 64-bit kernel counters; a counter that fell (iowait
// does) gives 0 rather than a huge unsigned value.
double rise(uint64_t now, uint64_t before)
{
    return now > before ? double(now - before) : 0.0;
}

uint64_t clampedSum(std::initializer_list<int64_t> parts)
{
    int64_t sum = 0;
    for (int64_t p : parts)
        sum += p;
    return sum > 0 ? uint64_t(sum) : 0;
}

int64_t atLeastOne(std::optional<uint64_t> v)
{
    if (!v || *v < 1)
        return 1;
    return *v > uint64_t(INT64_MAX) ? INT64_MAX : int64_t(*v);
}

} // namespace

SystemProbe::SystemProbe(const QString& root)
    : root_(ProcFiles::normaliseRoot(root.toStdString()))
{
    installed_ = root_.empty() ? MemoryInfo::installedMemory() : MemoryInfo::installedMemory(root);
}

SystemSample SystemProbe::sample(double dt)
{
    SystemSample s;
    fault_ = 0;
    readCPU(s);
    readMemory(s);
    readNetBytes(s, dt);
    readDiskBytes(s, dt);
    s.gpu = SysMachine::gpuBusy(root_);
    if (ProcFiles::read(root_ + "/proc/loadavg", buf_))
        s.load = ProcParse::firstDouble(buf_).value_or(0);
    readLimits(s);
    return s;
}

void SystemProbe::readCPU(SystemSample& s)
{
    int error = 0;
    if (!ProcFiles::read(root_ + "/proc/stat", buf_, &error)) {
        fault_ = error ? error : EIO;
        return;
    }
    const ProcParse::Stat stat = ProcParse::stat(buf_);
    if (stat.cores.empty())
        return;
    std::vector<std::array<uint64_t, 4>> ticks;
    std::vector<int> ids;
    ticks.reserve(stat.cores.size());
    ids.reserve(stat.cores.size());
    for (const auto& c : stat.cores) {
        ticks.push_back({c.user, c.system, c.idle, c.nice});
        ids.push_back(c.id);
    }

    // One core going offline as another comes online keeps the count but
    // pairs counters of different cores: prime again then too.
    if (ticks.size() != prevTicks.size() || ids != prevIds_) {
        s.cores.assign(ticks.size(), 0.0);
        prevTicks = std::move(ticks);
        prevIds_ = std::move(ids);
        return;
    }
    double busySum = 0, totalSum = 0, userSum = 0, systemSum = 0;
    s.cores.reserve(ticks.size());
    for (size_t i = 0; i < ticks.size(); ++i) {
        const double user = rise(ticks[i][0], prevTicks[i][0]);
        const double system = rise(ticks[i][1], prevTicks[i][1]);
        const double idle = rise(ticks[i][2], prevTicks[i][2]);
        const double nice = rise(ticks[i][3], prevTicks[i][3]);
        const double busy = user + nice + system;
        const double total = busy + idle;
        s.cores.push_back(total > 0 ? busy / total : 0.0);
        busySum += busy;
        totalSum += total;
        userSum += user + nice;
        systemSum += system;
    }
    if (totalSum > 0) {
        s.cpu = busySum / totalSum;
        s.cpuUser = userSum / totalSum;
        s.cpuSystem = systemSum / totalSum;
    }
    prevTicks = std::move(ticks);
}

void SystemProbe::readMemory(SystemSample& s)
{
    if (installed_ > 0)
        s.memTotal = installed_;
    int error = 0;
    if (!ProcFiles::read(root_ + "/proc/meminfo", buf_, &error)) {
        if (!fault_)
            fault_ = error ? error : EIO;
        return;
    }
    auto f = [&](std::string_view name) -> int64_t {
        const uint64_t v = ProcParse::kbField(buf_, name).value_or(0);
        return v > uint64_t(INT64_MAX) ? INT64_MAX : int64_t(v);
    };
    const int64_t memTotal = f("MemTotal");
    if (installed_ == 0 && memTotal > 0)
        s.memTotal = uint64_t(memTotal);
    const int64_t installed = int64_t(s.memTotal);
    const int64_t shmem = f("Shmem");
    s.memApp = clampedSum({f("AnonPages"), shmem});
    s.memWired = clampedSum({f("SUnreclaim"), f("KernelStack"), f("PageTables"),
                             std::max<int64_t>(0, installed - memTotal)});
    s.memCompressed = clampedSum({f("Zswap"), int64_t(SysMachine::zramUsed(root_))});
    s.memCached = clampedSum({f("Buffers"), f("Cached"), -shmem, f("SReclaimable")});
    s.swapUsed = clampedSum({f("SwapTotal"), -f("SwapFree")});

    std::string psi;
    if (ProcFiles::read(root_ + "/proc/pressure/memory", psi)) {
        const auto p = ProcParse::pressure(psi);
        const double some = p.some.value_or(0), full = p.full.value_or(0);
        s.pressure = (full >= 10 || some >= 40) ? 4 : some >= 10 ? 2 : 1;
    } else if (memTotal > 0) {
        const auto available = ProcParse::kbField(buf_, "MemAvailable");
        if (available) {
            const double share = double(*available) / double(memTotal);
            s.pressure = share < 0.05 ? 4 : share < 0.15 ? 2 : 1;
        }
    }
}

void SystemProbe::readNetBytes(SystemSample& s, double dt)
{
    // Without a reading, or when the set of interfaces changed, there is
    // nothing to compare the next totals with: a whole counter since boot
    // must not pass for one second's traffic.
    std::vector<std::string> physical;
    if (!ProcFiles::read(root_ + "/proc/net/dev", buf_)
        || (physical = SysMachine::physicalInterfaces(root_)).empty()) {
        prevNet.reset();
        return;
    }
    uint64_t received = 0, sent = 0;
    for (const auto& d : ProcParse::netDev(buf_)) {
        if (std::find(physical.begin(), physical.end(), d.name) != physical.end()) {
            received += d.received;
            sent += d.sent;
        }
    }
    if (physical == prevInterfaces && prevNet && dt > 0 && received >= prevNet->first
        && sent >= prevNet->second) {
        s.netIn = double(received - prevNet->first) / dt;
        s.netOut = double(sent - prevNet->second) / dt;
    }
    prevNet = std::pair{received, sent};
    prevInterfaces = std::move(physical);
}

void SystemProbe::readDiskBytes(SystemSample& s, double dt)
{
    const auto bytes = SysMachine::diskBytes(root_);
    if (!bytes) {
        prevDisk.reset();
        return;
    }
    if (prevDisk && dt > 0 && bytes->first >= prevDisk->first && bytes->second >= prevDisk->second) {
        s.diskRead = double(bytes->first - prevDisk->first) / dt;
        s.diskWrite = double(bytes->second - prevDisk->second) / dt;
    }
    prevDisk = bytes;
}

void SystemProbe::readLimits(SystemSample& s)
{
    auto first = [&](const char* path) -> std::optional<uint64_t> {
        if (!ProcFiles::read(root_ + path, buf_))
            return std::nullopt;
        return ProcParse::firstNumber(buf_);
    };
    if (auto files = first("/proc/sys/fs/file-nr"))
        s.fileCount = *files > uint64_t(INT64_MAX) ? INT64_MAX : int64_t(*files);
    s.fileMax = atLeastOne(first("/proc/sys/fs/file-max"));
    s.threadMax = atLeastOne(first("/proc/sys/kernel/threads-max"));
    s.procMax = atLeastOne(first("/proc/sys/kernel/pid_max"));
}

HostInfo SystemProbe::hostInfo()
{
    return hostInfo(QStringLiteral("/"));
}

HostInfo SystemProbe::hostInfo(const QString& rootDir)
{
    HostInfo info;
    if (DemoMode::isOn()) {
        info.name = QStringLiteral("Workstation");
        info.chip = QStringLiteral("16-core hybrid processor");
        info.coreKinds.assign(4, CoreKind::efficiency);
        info.coreKinds.insert(info.coreKinds.end(), 12, CoreKind::performance);
        info.bootTime = Date::now() + -874800.0;
        return info;
    }
    const std::string root = ProcFiles::normaliseRoot(rootDir.toStdString());
    info.bootTime = Date::now();

    if (auto machine = ProcFiles::read(root + "/etc/machine-info")) {
        for (const QByteArray& line : QByteArray::fromStdString(*machine).split('\n')) {
            if (!line.startsWith("PRETTY_HOSTNAME="))
                continue;
            // machine-info is shell syntax: strip one level of quotes.
            QString v = QString::fromUtf8(line.mid(16)).trimmed();
            if (v.size() >= 2 && (v.front() == u'"' || v.front() == u'\'') && v.back() == v.front())
                v = v.mid(1, v.size() - 2);
            info.name = v;
        }
    }
    if (info.name.isEmpty()) {
        if (auto host = ProcFiles::read(root + "/proc/sys/kernel/hostname"))
            info.name = QString::fromUtf8(host->data(), qsizetype(host->size())).trimmed();
    }

    if (auto cpuinfo = ProcFiles::read(root + "/proc/cpuinfo")) {
        if (auto model = ProcParse::textField(*cpuinfo, "model name"))
            info.chip = QString::fromUtf8(model->data(), qsizetype(model->size()));
    }
    if (info.chip.isEmpty()) {
        if (auto model = ProcFiles::read(root + "/proc/device-tree/model")) {
            // The device tree ends its strings with NUL.
            info.chip = QString::fromUtf8(model->c_str()).trimmed();
        }
    }

    if (auto stat = ProcFiles::read(root + "/proc/stat")) {
        const ProcParse::Stat parsed = ProcParse::stat(*stat);
        std::vector<int> ids;
        for (const auto& c : parsed.cores)
            ids.push_back(c.id);
        for (bool e : SysMachine::efficiencyCores(root, ids))
            info.coreKinds.push_back(e ? CoreKind::efficiency : CoreKind::performance);
        if (parsed.bootTime)
            info.bootTime = Date::fromUnix(double(*parsed.bootTime));
    }
    return info;
}
