#include "engine/sampler.h"

#include "core/outside_text.h"
#include "engine/demo_source.h"
#include "engine/detector.h"
#include "engine/host_resolver.h"
#include "engine/incident_rules.h"
#include "engine/process_probe.h"
#include "engine/restricted_probe.h"
#include "engine/system_probe.h"
#include "core/demo_mode.h"
#include "core/fmt.h"
#include "platform/serial_queue.h"
#include "platform/uptime.h"

#include <QHash>

#include <ctime>
#include <limits>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

double threadCPU()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// The first group with the greatest value; later equal groups do not win,
// and a figure that is not a number never does.
template <typename Value>
const GroupSample* busiest(const std::vector<GroupSample>& groups, Value value)
{
    const GroupSample* top = &groups.front();
    double best = -std::numeric_limits<double>::infinity();
    for (const GroupSample& g : groups) {
        const double v = double(value(g));
        if (v > best) {
            best = v;
            top = &g;
        }
    }
    return top;
}

} // namespace

Sampler::Options::Options()
    : demo(DemoMode::isOn())
{
}

Sampler::Sampler()
    : Sampler(Options())
{
}

Sampler::Sampler(Options options)
    : options_(std::move(options))
    , system_(std::make_unique<SystemProbe>(options_.root))
    , processes_(std::make_unique<ProcessProbe>(options_.root))
    , restricted_(std::make_unique<RestrictedProbe>())
    , netTop_(std::make_unique<NetTop>())
    , resolver_(std::make_unique<HostResolver>())
    , detector_(std::make_unique<Detector>(options_.storePath, options_.demo))
    , ownPid_(static_cast<int32_t>(::getpid()))
    , queue_(std::make_unique<SerialQueue>("tavrin.sampler"))
{
}

Sampler::~Sampler()
{
    // Stop the ticks before the probes they use go away.
    queue_.reset();
}

void Sampler::setOnUpdate(Callback callback)
{
    std::lock_guard guard(callbackLock_);
    onUpdate_ = std::move(callback);
}

void Sampler::apply(const Preferences& prefs)
{
    queue_->async([this, prefs] {
        detector_->prefs = prefs;
        resolver_->enabled = prefs.resolveHosts;
    });
}

QString Sampler::incidentsKeptAs() const
{
    return detector_->storeKeptAs();
}

void Sampler::clearIncidents()
{
    queue_->async([this] { detector_->clear(); });
}

void Sampler::start()
{
    if (options_.demo) {
        startDemo();
        return;
    }
    restricted_->start();
    netTop_->start();
    queue_->startTimer(1000ms, [this] { tick(); });
}

void Sampler::tickNow()
{
    queue_->async([this] { tick(); });
}

void Sampler::tick()
{
    const double cpuStart = threadCPU();
    const double wallStart = uptime();
    const double now = options_.clock ? options_.clock() : wallStart;
    const double dt = lastTick_ > 0 ? now - lastTick_ : 0;

    SystemSample system = system_->sample(dt);
    int fault = system_->fault();
    const int64_t number = tickCount_++;

    if (number % 2 == 0 && !fault) {
        const double procDt = lastProcTick_ > 0 ? now - lastProcTick_ : 0;
        {
            std::lock_guard guard(netTop_->lock);
            net_ = netTop_->latest;
        }
        for (Connection& c : net_.connections)
            if (c.scope != Connection::Scope::loopback)
                c.host = resolver_->name(c.remoteHost);
        RestrictedProbe::Usage restricted;
        {
            std::lock_guard guard(restricted_->lock);
            restricted = restricted_->latest;
        }
        const std::vector<ProcSample> procs = processes_->sample(procDt, net_.rates, restricted);
        fault = processes_->fault();
        if (!fault) {
            lastProcTick_ = now;
            for (const ProcSample& p : procs)
                if (p.pid == ownPid_)
                    selfUsage_ = {p.cpu, p.mem};
            groups_ = group(procs);
        }
    }

    if (fault) {
        // The last figures read stand, said to be old; zeros would pass
        // for an idle machine and close every incident.
        if (!unreadSince_)
            unreadSince_ = now;
        system = lastSystem_;
    } else {
        lastTick_ = now;
        if (unreadSince_) {
            unreadFor_ += now - *unreadSince_;
            unreadSince_.reset();
        }
        fillTotals(system, groups_);
        lastSystem_ = system;
    }

    Update update;
    Snapshot& s = update.snapshot;
    s.system = std::move(system);
    s.groups = groups_;
    s.connections = net_.connections;
    s.listeners = net_.listeners;
    s.netSerial = net_.serial;
    s.netInterval = net_.interval;
    s.interval = interval;
    s.selfCPU = selfUsage_.first;
    s.selfMem = selfUsage_.second;
    s.unreadable = fault;

    if (number % 2 == 0 && dt > 0 && !fault)
        update.opened = detector_->evaluate(s, now - unreadFor_);
    update.incidents = detector_->incidents;
    deliver(std::move(update), wallStart, cpuStart);
}

void Sampler::startDemo()
{
    // Built on the starting thread, used only on the queue from now on.
    auto source = std::make_shared<DemoSource>();
    // The queue itself, not queue_: a sampler going away mid-prefill has
    // already emptied queue_ while the queue waits for this task.
    SerialQueue* queue = queue_.get();
    queue_->async([this, source, queue] {
        for (Snapshot& s : source->prefill()) {
            const double cpuStart = threadCPU();
            fillTotals(s.system, s.groups);
            deliver(Update{std::move(s), {}, {}}, uptime(), cpuStart);
        }
        queue->startTimer(1000ms, [this, source] { demoTick(*source); });
    });
}

void Sampler::demoTick(DemoSource& source)
{
    const double cpuStart = threadCPU();
    const double start = uptime();
    DemoSource::Frame frame = source.advance(true);
    fillTotals(frame.snapshot.system, frame.snapshot.groups);
    // Rules run on the simulated clock; nothing counts as newly opened, so
    // the demo never raises a notification.
    if (frame.procTick)
        detector_->evaluate(frame.snapshot, frame.clock);
    deliver(Update{std::move(frame.snapshot), detector_->incidents, {}}, start, cpuStart);
}

void Sampler::deliver(Update update, double tickStart, double cpuStart)
{
    lastCost_ = {uptime() - tickStart, threadCPU() - cpuStart};
    Callback callback;
    {
        std::lock_guard guard(callbackLock_);
        callback = onUpdate_;
    }
    if (callback)
        callback(update);
}

std::vector<GroupSample> Sampler::group(const std::vector<ProcSample>& procs)
{
    std::vector<GroupSample> groups;
    QHash<QString, size_t> index;
    index.reserve(static_cast<qsizetype>(procs.size()));
    for (const ProcSample& p : procs) {
        auto it = index.constFind(p.groupKey);
        size_t at;
        if (it == index.constEnd()) {
            at = groups.size();
            index.insert(p.groupKey, at);
            groups.emplace_back(p.groupKey, p.groupName, p.bundlePath);
        } else {
            at = *it;
        }
        groups[at].add(p);
    }
    return groups;
}

void Sampler::fillTotals(SystemSample& system, const std::vector<GroupSample>& groups)
{
    int64_t procs = 0, threads = 0;
    for (const GroupSample& g : groups) {
        procs += static_cast<int64_t>(g.members.size());
        threads += g.threads;
    }
    system.procCount = procs;
    system.threadCount = threads;
    if (groups.empty()) {
        system.topCPU.clear();
        system.topMem.clear();
        system.topNet.clear();
        system.topDisk.clear();
        return;
    }
    const GroupSample* cpu = busiest(groups, [](const GroupSample& g) { return g.cpu; });
    system.topCPU = OutsideText::isolate(cpu->name) + u' ' + IncidentRules::percentText(cpu->cpu);

    const GroupSample* mem = busiest(groups, [](const GroupSample& g) { return g.mem; });
    system.topMem = OutsideText::isolate(mem->name) + u' ' + Fmt::bytes(double(mem->mem));

    auto netOf = [](const GroupSample& g) { return g.netIn + g.netOut; };
    const GroupSample* net = busiest(groups, netOf);
    system.topNet = netOf(*net) > 0
        ? OutsideText::isolate(net->name) + u' ' + Fmt::bytes(netOf(*net)) + QStringLiteral("/s")
        : QString();

    auto diskOf = [](const GroupSample& g) { return g.diskRead + g.diskWrite; };
    const GroupSample* disk = busiest(groups, diskOf);
    system.topDisk = diskOf(*disk) > 0
        ? OutsideText::isolate(disk->name) + u' ' + Fmt::bytes(diskOf(*disk)) + QStringLiteral("/s")
        : QString();
}
