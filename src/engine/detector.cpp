#include "engine/detector.h"

#include "core/fmt.h"

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace {

// The first three groups by a figure, highest first; equal figures keep the
// snapshot's order.
template <typename Figure, typename Text>
QStringList topThree(const std::vector<GroupSample>& groups, Figure figure, Text text)
{
    std::vector<std::size_t> order(groups.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    // A NaN would break the sort's ordering; it ranks last.
    auto key = [&](std::size_t i) {
        const double v = figure(groups[i]);
        return std::isnan(v) ? -std::numeric_limits<double>::infinity() : v;
    };
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return key(a) > key(b); });
    QStringList out;
    for (std::size_t k = 0; k < order.size() && k < 3; ++k) {
        const GroupSample& g = groups[order[k]];
        out << g.name + u' ' + text(g);
    }
    return out;
}

} // namespace

Detector::Detector(const QString& storePath, bool demo, std::function<Date()> wallClock)
    : wallClock_(std::move(wallClock))
{
    if (demo)
        return;
    const QString path = storePath.isEmpty() ? IncidentStore::defaultPath() : storePath;
    if (path.isEmpty())
        return;
    store_.emplace(path);
    incidents = store_->load();
}

std::vector<Detector::Condition> Detector::collect(const Snapshot& snapshot, double now)
{
    return rules_.collect(snapshot, now, prefs);
}

Date Detector::wallNow() const
{
    return wallClock_ ? wallClock_() : Date::now();
}

Incident* Detector::find(const QUuid& id)
{
    auto it = std::find_if(incidents.begin(), incidents.end(),
                           [&](const Incident& i) { return i.id == id; });
    return it == incidents.end() ? nullptr : &*it;
}

std::vector<Incident> Detector::evaluate(const Snapshot& snapshot, double now)
{
    const std::vector<Condition> conditions = collect(snapshot, now);
    // One wall-clock reading dates every opening and closing of this pass.
    std::optional<Date> wall;
    auto passTime = [&] {
        if (!wall)
            wall = wallNow();
        return *wall;
    };

    // The contributor lists are only needed when a system incident opens.
    std::optional<QStringList> cpuList, memList;
    auto contributors = [&](Incident::Kind kind) -> QStringList {
        if (kind == Incident::Kind::systemCPU) {
            if (!cpuList)
                cpuList = topThree(
                    snapshot.groups, [](const GroupSample& g) { return g.cpu; },
                    [](const GroupSample& g) { return IncidentRules::percentText(g.cpu); });
            return *cpuList;
        }
        if (kind == Incident::Kind::memoryPressure) {
            if (!memList)
                memList = topThree(
                    snapshot.groups, [](const GroupSample& g) { return double(g.mem); },
                    [](const GroupSample& g) { return Fmt::bytes(double(g.mem)); });
            return *memList;
        }
        return {};
    };

    bool changed = false;
    std::vector<Incident> opened;
    for (const Condition& c : conditions) {
        auto it = tracks.find(c.key);
        if (it == tracks.end())
            it = tracks.insert(c.key, Track{now, now, std::nullopt});
        Track& track = *it;
        track.last = now;

        if (Incident* current = track.incident ? find(*track.incident) : nullptr) {
            // Peak and severity only ever rise; the peak's text goes with it.
            if (current->peak < c.value) {
                current->peak = c.value;
                current->peakText = c.valueText;
            }
            if (current->severity < c.severity)
                current->severity = c.severity;
        } else if (now - track.first >= c.hold) {
            Incident incident;
            incident.kind = c.kind;
            incident.severity = c.severity;
            incident.subject = c.subject;
            incident.groupKey = c.groupKey;
            incident.pid = c.pid;
            incident.peakText = c.valueText;
            incident.peak = c.value;
            incident.contributors = contributors(c.kind);
            incident.start = passTime();
            track.incident = incident.id;
            incidents.insert(incidents.begin(), incident);
            opened.push_back(std::move(incident));
            changed = true;
        }
    }

    // Runs after the updates above, so a condition seen again on this pass
    // keeps its track however long its gap was.
    for (auto it = tracks.begin(); it != tracks.end();) {
        if (now - it->last > closeAfter) {
            if (it->incident) {
                if (Incident* i = find(*it->incident)) {
                    i->end = passTime();
                    changed = true;
                }
            }
            it = tracks.erase(it);
        } else {
            ++it;
        }
    }

    if (incidents.size() > maxIncidents)
        incidents.erase(incidents.begin() + maxIncidents, incidents.end());

    if (changed)
        save();
    return opened;
}

void Detector::clear()
{
    std::erase_if(incidents, [](const Incident& i) { return !i.isOpen(); });
    save();
}

void Detector::save()
{
    // Failures are silent: the list in memory stays, and the next change
    // writes the whole list again.
    if (store_)
        store_->save(incidents);
}
