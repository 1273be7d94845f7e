#include "engine/demo_source.h"

#include <algorithm>
#include <cmath>
#include <numbers>

// ---- generator and walk ----

uint64_t SplitMix64::next()
{
    state += 0x9E3779B97F4A7C15ull;
    uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double SplitMix64::uniform()
{
    return double(next() >> 11) * 0x1.0p-53;
}

double SplitMix64::gauss()
{
    double sum = 0;
    for (int i = 0; i < 4; ++i)
        sum += uniform();
    return (sum - 2) * 1.732;
}

Wander Wander::start(SplitMix64& rng)
{
    return Wander{0.4 * rng.gauss(), 0};
}

double Wander::step(SplitMix64& rng)
{
    speed = 0.7 * speed + 0.13 * rng.gauss() - 0.08 * value;
    value = std::max(std::min(value + speed, 2.0), -2.0);
    return value;
}

// ---- the simulated machine ----

namespace {

// Simulated pids lie above the kernel's highest possible pid (PID_MAX_LIMIT,
// 2^22 on 64-bit systems), so a signal sent from the process menu in demo
// mode can never reach a real process.
constexpr int32_t firstSystemPid = 4200030;
constexpr int32_t firstOtherPid = 4200600;
constexpr double history = 874800;         // how long ago the base date lies: 10 days and 3 hours
constexpr double bytesPerKiB = 1024;
constexpr double bytesPerMiB = 1048576;
constexpr double bytesPerGiB = 1073741824;

// "TAVRIN" read as a big-endian integer.
constexpr uint64_t seed = 0x54415652494Eull;

// Remainder that is never negative, for tick numbers before the origin.
int64_t modulo(int64_t a, int64_t n)
{
    const int64_t r = a % n;
    return r < 0 ? r + n : r;
}

// Desktop-entry style id of an application group: "Cloud Sync" → "cloud-sync".
QString appId(const QString& groupName)
{
    QString id;
    for (QChar c : groupName) {
        if (c.isLetterOrNumber())
            id += c.toLower();
        else if (c == u' ' && !id.endsWith(u'-'))
            id += u'-';
    }
    return id;
}

QString processPath(const GroupSpec& group, const Role& role, int32_t pid)
{
    switch (group.kind) {
    case GroupKind::app:
        return "/opt/" + appId(group.name) + '/' + role.name;
    case GroupKind::agent:
        return "/usr/bin/" + role.name;
    case GroupKind::tool:
        if (group.name == QStringView(DemoTables::shellName))
            return "/usr/bin/" + group.name;
        return "/usr/local/bin/" + role.name;
    case GroupKind::daemon:
        return "/usr/local/sbin/" + role.name;
    case GroupKind::system:
        if (pid == 0)
            return {};
        if (pid == 1)
            return QStringLiteral("/usr/lib/systemd/systemd");
        return "/usr/libexec/" + role.name;
    }
    return {};
}

} // namespace

DemoSource::DemoSource(Clock clock)
    : clock(std::move(clock)), rng{seed}, origin(this->clock()),
      coreBase{0.30, 0.26, 0.22, 0.19, 0.30, 0.25, 0.20, 0.16,
               0.13, 0.10, 0.08, 0.06, 0.05, 0.04, 0.03, 0.03}
{
    // The order of every draw below fixes the whole random sequence.
    const Date base = origin + -history;
    const double span = history - 120 - 1200;
    int32_t nextSystemPid = firstSystemPid;
    int32_t nextOtherPid = firstOtherPid;
    std::vector<int32_t> shellPids;
    size_t shellCursor = 0;

    const auto& specs = DemoTables::groups();
    const double groupCount = double(specs.size());
    for (size_t i = 0; i < specs.size(); ++i) {
        const GroupSpec& group = specs[i];
        const bool isSystem = group.kind == GroupKind::system;
        const bool isShell = group.name == QStringView(DemoTables::shellName);
        const double u = rng.uniform();
        Date groupStart = base + span * (0.8 * u + double(i)) / groupCount + 120;
        if (isSystem)
            groupStart = base + 0.4 * double(i);
        else if (group.name == QStringView(DemoTables::selfName))
            groupStart = origin + -1;

        std::optional<QString> desktopEntry;
        QString groupKey = "exe:" + group.name;
        if (group.kind == GroupKind::app) {
            desktopEntry = "/usr/share/applications/" + appId(group.name) + ".desktop";
            groupKey = *desktopEntry;
        }

        std::vector<Proc> list;
        for (const Role& role : group.roles) {
            for (int n = 0; n < role.count; ++n) {
                const int k = int(list.size());
                Proc p;
                if (role.name == QStringView(DemoTables::kernelName)) {
                    p.pid = 0;
                } else if (role.name == QStringView(DemoTables::initName)) {
                    p.pid = 1;
                } else if (isSystem) {
                    p.pid = nextSystemPid;
                    nextSystemPid += int32_t(3 + 27 * rng.uniform());
                } else {
                    p.pid = nextOtherPid;
                    nextOtherPid += k == 0 ? int32_t(8 + 32 * rng.uniform())
                                           : int32_t(1 + 3 * rng.uniform());
                }

                if (k > 0) {
                    p.ppid = list.front().pid;
                } else if (p.pid == 0) {
                    p.ppid = 0;
                } else if (isShell) {
                    p.ppid = pidByName.value(QString::fromUtf16(DemoTables::terminalName), 1);
                } else if (group.kind == GroupKind::tool && !shellPids.empty()) {
                    p.ppid = shellPids[shellCursor % shellPids.size()];
                    ++shellCursor;
                } else {
                    p.ppid = 1;
                }
                if (isShell)
                    shellPids.push_back(p.pid);

                p.path = processPath(group, role, p.pid);
                p.name = role.name;
                p.groupName = group.name;
                p.groupKey = groupKey;
                p.bundlePath = desktopEntry;
                p.start = groupStart + 0.6 * k;
                p.restricted = isSystem;
                p.role = role;
                p.activity = Wander::start(rng);
                p.drift = Wander::start(rng);
                p.period = 18 + 32 * rng.uniform();
                p.phase = 2 * std::numbers::pi * rng.uniform();
                if (!pidByName.contains(role.name))
                    pidByName.insert(role.name, p.pid);
                list.push_back(std::move(p));
            }
        }
        procs.push_back(std::move(list));
    }

    agentBasePid = nextOtherPid + 400;

    const QString agentName = QString::fromUtf16(DemoTables::agentName);
    agentTemplate.pid = 0;
    agentTemplate.ppid = shellPids.empty() ? 1 : shellPids.front();
    agentTemplate.name = agentName;
    agentTemplate.path = "/usr/local/bin/" + agentName;
    agentTemplate.groupKey = "exe:" + agentName;
    agentTemplate.groupName = agentName;
    agentTemplate.start = origin;
    agentTemplate.restricted = false;
    agentTemplate.role = Role{agentName, 1, 3, 180, 22, 64, 0, 40, 0.35};
    agentTemplate.activity = Wander::start(rng);
    agentTemplate.drift = Wander::start(rng);
    agentTemplate.period = 30;
    agentTemplate.phase = 0;

    for (const LinkSpec& spec : DemoTables::links()) {
        Link l;
        l.spec = spec;
        const double age = 300 + 5100 * rng.uniform();
        l.wander = Wander::start(rng);
        l.bytesIn = std::max(2000 + 398000 * rng.uniform(), spec.rateIn * bytesPerKiB * age);
        l.bytesOut = std::max(1000 + 59000 * rng.uniform(), spec.rateOut * bytesPerKiB * age);
        links.push_back(std::move(l));
    }

    for (const ListenerSpec& row : DemoTables::listeners()) {
        const auto it = pidByName.constFind(row.owner);
        if (it == pidByName.constEnd())
            continue;
        listeners.push_back(Listener{*it, row.proto, row.port, row.localOnly});
    }

    for (size_t i = 0; i < coreBase.size(); ++i)
        coreWander.push_back(Wander::start(rng));
    gpuWander = Wander::start(rng);
    memWander = Wander::start(rng);
    netWander = Wander::start(rng);
    diskWander = Wander::start(rng);
}

std::vector<Snapshot> DemoSource::prefill()
{
    std::vector<Snapshot> out;
    out.reserve(120);
    for (int i = 0; i < 120; ++i)
        out.push_back(advance(false).snapshot);
    return out;
}

DemoSource::Frame DemoSource::advance(bool live)
{
    const int64_t t = tick;
    tick = t + 1;
    const Date date = live ? clock() : origin + double(t);

    Frame frame;
    if (t % 2 == 0) {
        stepProcesses(t, date);
        if (live)
            netSerial += 1;
        frame.procTick = true;
    }

    Snapshot& s = frame.snapshot;
    s.system = stepSystem(date);
    s.groups = groups;
    s.connections = connections;
    s.listeners = listeners;
    s.netSerial = netSerial;
    s.netInterval = 2.0;
    s.interval = 1.0;
    s.selfCPU = selfUsage.first;
    s.selfMem = selfUsage.second;
    frame.clock = double(t);
    return frame;
}

std::optional<DemoSource::Proc> DemoSource::agent(int64_t t) const
{
    const int64_t m = modulo(t, 72);
    if (m < 6 || m > 57)
        return std::nullopt;
    Proc p = agentTemplate;
    p.pid = agentBasePid + int32_t(((t - m) / 72 + 4) * 173);
    p.start = origin + double(t - m + 6);
    return p;
}

void DemoSource::stepProcesses(int64_t t, Date date)
{
    const int64_t m = modulo(t, 72);
    const int64_t cycle = (t - m) / 72;
    const double p = double(std::min<int64_t>(std::max<int64_t>(m - 16, 0), 30));
    const double tail = double(std::max<int64_t>(m - 46, 0));
    const bool downloadWindow = m >= 38 && m <= 57;
    const std::optional<Proc> agentProc = agent(t);
    const QString agentName = QString::fromUtf16(DemoTables::agentName);

    const auto beaconMinute = int64_t((date.unix() - 5) / 60);
    const bool minuteChanged = beaconMinute != lastBeaconMinute;
    lastBeaconMinute = beaconMinute;

    connections.clear();
    Rates rates;
    for (size_t i = 0; i < links.size(); ++i) {
        Link& link = links[i];
        const LinkSpec& spec = link.spec;
        const double v = link.wander.step(rng);

        const bool agentLink = spec.owner == agentName;
        int32_t pid = 0;
        if (agentLink) {
            if (!agentProc)
                continue;
            pid = agentProc->pid;
        } else {
            const auto it = pidByName.constFind(spec.owner);
            if (it == pidByName.constEnd())
                continue;
            pid = *it;
        }
        if (spec.traffic == Traffic::download && !downloadWindow)
            continue;

        const int64_t epoch = (agentLink || spec.traffic == Traffic::download) ? cycle : 0;
        if (epoch != link.epoch) {
            link.epoch = epoch;
            link.bytesIn = 0;
            link.bytesOut = 0;
        }

        const double f = std::exp(0.4 * v);
        const double lift = std::min(f, 2.2);
        double in = 0, out = 0;
        switch (spec.traffic) {
        case Traffic::steady: {
            const double a = agentLink ? 1 + 3 * p / 30 : 1;
            in = spec.rateIn * bytesPerKiB * lift * a;
            out = spec.rateOut * bytesPerKiB * lift * a;
            break;
        }
        case Traffic::bursty: {
            if (link.burst == 0 && rng.uniform() < 0.03)
                link.burst = 2;
            const double multiplier = link.burst >= 1 ? 5 : 1;
            link.burst = std::max(link.burst - 1, 0);
            in = std::min(spec.rateIn * bytesPerKiB * lift * multiplier, 1363148.8);
            out = spec.rateOut * bytesPerKiB * lift * multiplier;
            break;
        }
        case Traffic::idle:
            break;
        case Traffic::beacon:
            if (minuteChanged) {
                in = spec.rateIn * bytesPerKiB;
                out = spec.rateOut * bytesPerKiB;
            }
            break;
        case Traffic::download:
            in = std::max(22 * (1 + 0.18 * v), 12.0) * bytesPerMiB;
            out = in * 0.012;
            break;
        }
        link.bytesIn += 2 * in;
        link.bytesOut += 2 * out;

        const bool v6 = spec.address.contains(u':');
        const QString localAddress = spec.scope == Connection::Scope::loopback
            ? QStringLiteral("127.0.0.1")
            : v6 ? QStringLiteral("2001:db8:a::24") : QStringLiteral("10.0.1.24");
        const int64_t localPort = 49152 + modulo(int64_t(i) * 397 + link.epoch * 131, 16000);
        const QChar sep = v6 ? u'.' : u':';

        Connection c;
        c.id = QString::number(pid) + (v6 ? QLatin1String(" tcp6 ") : QLatin1String(" tcp4 ")) + localAddress + sep
            + QString::number(localPort) + QLatin1String("<->") + spec.address + sep + QString::number(spec.port);
        c.pid = pid;
        c.remoteHost = spec.address;
        c.remotePort = spec.port;
        c.scope = spec.scope;
        c.bytesIn = link.bytesIn;
        c.bytesOut = link.bytesOut;
        c.rateIn = in;
        c.rateOut = out;
        c.host = spec.host;
        connections.push_back(std::move(c));

        auto& r = rates[pid];
        r.first += in;
        r.second += out;
    }

    groups.clear();
    totals = Totals{};
    const double seconds = double(t);
    for (auto& list : procs) {
        GroupSample g(list.front().groupKey, list.front().groupName, list.front().bundlePath);
        for (Proc& proc : list) {
            const ProcSample sample = reading(proc, seconds, rates);
            if (proc.name == QStringView(DemoTables::selfName))
                selfUsage = {sample.cpu, sample.mem};
            g.add(sample);
        }
        groups.push_back(std::move(g));
    }

    if (agentProc) {
        ProcSample a = reading(agentTemplate, seconds, rates, &*agentProc);
        a.threads = int64_t(22 * p + 2 * tail) + 22;
        a.fds = int64_t(78 * p + 6 * tail) + 64;
        a.cpu = 115 * p / 30 + 3 + 3 * agentTemplate.activity.value;
        a.mem = uint64_t(int64_t(460 * p / 30 + 180)) * uint64_t(bytesPerMiB);
        a.diskWrite = (12 * p / 30 + 1) * a.diskWrite;
        GroupSample g(agentProc->groupKey, agentProc->groupName, std::nullopt);
        g.add(a);
        groups.push_back(std::move(g));
    }

    if (downloadWindow) {
        const auto pidIt = pidByName.constFind(QString::fromUtf16(DemoTables::cloudSyncName));
        if (pidIt != pidByName.constEnd()) {
            const auto rateIt = rates.find(*pidIt);
            const auto groupIt = std::find_if(groups.begin(), groups.end(), [](const GroupSample& g) {
                return g.name == QStringView(DemoTables::cloudSyncName);
            });
            if (rateIt != rates.end() && groupIt != groups.end()) {
                const double extraWrite = 0.9 * rateIt->second.first;
                for (ProcSample& member : groupIt->members) {
                    if (member.pid != *pidIt)
                        continue;
                    member.diskWrite += extraWrite;
                    member.cpu += 14;
                    groupIt->diskWrite += extraWrite;
                    groupIt->cpu += 14;
                    break;
                }
            }
        }
    }

    for (const GroupSample& g : groups) {
        totals.cpu += g.cpu;
        totals.fds += g.fds;
        totals.netIn += g.netIn;
        totals.netOut += g.netOut;
        totals.read += g.diskRead;
        totals.write += g.diskWrite;
        const bool anyOpen = std::any_of(g.members.begin(), g.members.end(),
                                         [](const ProcSample& s) { return !s.restricted; });
        if (anyOpen)
            totals.mem += double(g.mem);
    }
}

ProcSample DemoSource::reading(Proc& proc, double seconds, const Rates& net, const Proc* identity)
{
    const Proc& id = identity ? *identity : proc;
    const double a = proc.activity.step(rng);
    const double d = proc.drift.step(rng);
    const Role& role = proc.role;

    const double wave = std::sin(2 * std::numbers::pi * seconds / proc.period + proc.phase);
    const double level = std::exp(0.8 * role.swing * a) * (1 + 0.35 * role.swing * wave);

    ProcSample s;
    s.pid = id.pid;
    s.ppid = id.ppid;
    s.name = id.name;
    s.path = id.path;
    s.groupKey = id.groupKey;
    s.groupName = id.groupName;
    s.bundlePath = id.bundlePath;
    s.startTime = id.start;
    s.restricted = id.restricted;
    s.cpu = std::min(role.cpu * level, 140.0);
    s.mem = uint64_t(role.memMB * bytesPerMiB * (1 + 0.04 * d));
    if (!id.restricted) {
        s.threads = std::max<int64_t>(role.threads + int64_t(role.threads * 0.05 * d), 1);
        s.fds = std::max<int64_t>(role.fds + int64_t(role.fds * 0.03 * a), 3);
        s.diskRead = role.read * bytesPerKiB * level * level;
        s.diskWrite = role.write * bytesPerKiB * level * level;
    }
    if (const auto it = net.find(id.pid); it != net.end()) {
        s.netIn = it->second.first;
        s.netOut = it->second.second;
    }
    return s;
}

SystemSample DemoSource::stepSystem(Date date)
{
    SystemSample s;
    s.date = date;

    busyCores += (std::min(totals.cpu / 100 + 0.25, 11.0) - busyCores) * 0.55;

    std::vector<double> weights(coreBase.size());
    double weightSum = 0;
    for (size_t i = 0; i < coreBase.size(); ++i) {
        weights[i] = coreBase[i] * std::exp(0.4 * coreWander[i].step(rng));
        weightSum += weights[i];
    }
    s.cores.resize(coreBase.size());
    double coreSum = 0;
    for (size_t i = 0; i < coreBase.size(); ++i) {
        s.cores[i] = std::min(busyCores * weights[i] / weightSum, 0.99);
        coreSum += s.cores[i];
    }
    s.cpu = coreSum / double(coreBase.size());
    s.cpuSystem = s.cpu * 0.26;
    s.cpuUser = s.cpu - s.cpu * 0.26;

    load += (busyCores * 1.1 + 0.6 - load) * 0.03;
    s.load = load;

    const double gv = gpuWander.step(rng);
    s.gpu = std::max(std::min((busyCores - 5) * 0.012 + 0.08 * gv + 0.19, 0.95), 0.03);

    const double mv = memWander.step(rng);
    const double target = totals.mem + 4294967296.0;
    memApp = memApp == 0 ? target : memApp + (target - memApp) * 0.3;
    s.memTotal = 137438953472ull;
    s.memApp = uint64_t(memApp);
    s.memWired = uint64_t((9.4 + 0.2 * mv) * bytesPerGiB);
    s.memCompressed = uint64_t((6.1 - 0.3 * mv) * bytesPerGiB);
    s.memCached = uint64_t((37.5 - 1.2 * mv) * bytesPerGiB);
    s.swapUsed = 1342177280ull;
    s.pressure = 1;

    const double nv = netWander.step(rng);
    const double dv = diskWander.step(rng);
    s.netIn = (totals.netIn + 2400) * (1 + 0.07 * nv);
    s.netOut = (totals.netOut + 1100) * (1 + 0.07 * nv);
    s.diskRead = (totals.read + 48000) * (1 + 0.12 * dv);
    s.diskWrite = (totals.write + 120000) * (1 + 0.12 * dv);

    s.fileCount = totals.fds + 7800;
    s.fileMax = 491520;
    s.threadMax = 81920;
    s.procMax = 16000;
    return s;
}
