#pragma once
// The muted process names, each with its icon while the process runs and
// an Unmute button. Names are added from the inspector; here they go.
// Names may be hand-edited into the settings file, so each is shown
// cleaned like a process's own name, and unmuting removes it as stored.

// moc cannot parse the standard library's concepts, which these reach.
#ifndef Q_MOC_RUN
#include "core/records.h"
#endif
#include "settings/muted_list.h"
#include "ui/refresh_gate.h"

#include <QString>
#include <QStringList>
#include <QWidget>

#include <optional>
#include <vector>

class Card;
class Monitor;

class IgnoredPane : public QWidget {
    Q_OBJECT

public:
    using Row = MutedList::Row;
    // One row per entry, in list order, with the bundle path of the first
    // group of exactly that name.
    static std::vector<Row> rows(const QStringList& ignored, const std::vector<GroupSample>& groups);

    explicit IgnoredPane(Monitor& monitor, QWidget* parent = nullptr);

    const std::vector<Row>& shown() const;
    MutedList* list() const { return list_; }
    bool showsEmptyState() const;

private:
    void refresh();
    void unmute(const QString& name);

    Monitor& monitor_;
    Card* card_;
    QWidget* empty_;
    MutedList* list_;
    RefreshGate refreshGate_{this, [this] { refresh(); }};
};
