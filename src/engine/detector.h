#pragma once
// The incident engine. Each process tick the sampler hands it a snapshot;
// it asks the rules what holds, follows every condition over time, opens an
// incident once a condition has held for its hold time, raises its peak and
// severity while it lasts, closes it ten seconds after the condition was
// last seen, and keeps the list (newest first, at most 400) in the store.
//
// Created on the main thread; used only on the sampler's thread afterwards,
// so it takes no lock.

#include "engine/incident_rules.h"
#include "engine/incident_store.h"
#include "core/date.h"
#include "core/demo_mode.h"
#include "core/incident.h"
#include "core/preferences.h"
#include "core/records.h"

#include <QHash>
#include <QString>
#include <QUuid>

#include <functional>
#include <optional>
#include <vector>

class Detector {
public:
    using Condition = IncidentRules::Condition;
    using Mark = IncidentRules::Mark;

    // The life of one condition.
    struct Track {
        double first = 0;             // now when the condition was first seen in this track
        double last = 0;              // now of the latest pass in which it held
        std::optional<QUuid> incident; // absent while the hold has not passed
    };

    static constexpr std::size_t maxIncidents = 400;
    static constexpr double closeAfter = 10; // seconds without the condition

    // storePath empty means the default place (IncidentStore::defaultPath()).
    // In demo mode the store is neither read nor written. wallClock dates
    // the incidents' start and end (Date::now when empty). Reads the store
    // at once.
    explicit Detector(const QString& storePath = QString(), bool demo = DemoMode::isOn(),
                      std::function<Date()> wallClock = {});

    // One evaluation at monotonic time now (seconds). Returns the incidents
    // it opened, in the order it opened them.
    std::vector<Incident> evaluate(const Snapshot& snapshot, double now);
    // Drops every ended incident and writes the store.
    void clear();

    Preferences prefs;
    std::vector<Incident> incidents; // newest first
    QHash<QString, Track> tracks;

    // The rules' history (marks, group counts, last mark time).
    const IncidentRules& rules() const { return rules_; }
    // Empty when the list lives in memory only.
    QString storePath() const { return store_ ? store_->path() : QString(); }
    // Where the store, unreadable, was set aside when it was read; empty
    // when it was not. Fixed once the detector is made, so any thread may ask.
    QString storeKeptAs() const { return store_ ? store_->keptAs() : QString(); }

private:
    std::vector<Condition> collect(const Snapshot& snapshot, double now);
    void save();
    Date wallNow() const;
    Incident* find(const QUuid& id);

    IncidentRules rules_;
    std::optional<IncidentStore> store_;
    std::function<Date()> wallClock_;
};
