#pragma once
// The muted process names, each with its icon while the process runs and
// an Unmute button. Names are added from the inspector; here they go.

// moc cannot parse the standard library's concepts, which these reach.
#ifndef Q_MOC_RUN
#include "core/records.h"
#endif
#include "ui/refresh_gate.h"

#include <QString>
#include <QStringList>
#include <QWidget>

#include <optional>
#include <vector>

class Card;
class Monitor;
class PressButton;
class ProcessIcon;

class IgnoredPane : public QWidget {
    Q_OBJECT

public:
    struct Row {
        QString name;
        std::optional<QString> bundlePath; // of the first group of that exact name
        bool operator==(const Row&) const = default;
    };
    // One row per entry, in list order.
    static std::vector<Row> rows(const QStringList& ignored, const std::vector<GroupSample>& groups);

    explicit IgnoredPane(Monitor& monitor, QWidget* parent = nullptr);

    const std::vector<Row>& shown() const { return rows_; }
    // The Unmute button of a row, for tests.
    PressButton* unmuteButton(int index) const;
    bool showsEmptyState() const;

private:
    void refresh();
    void rebuild();
    void unmute(const QString& name);

    Monitor& monitor_;
    Card* card_;
    QWidget* empty_ = nullptr;
    std::vector<Row> rows_;
    std::vector<QWidget*> rowWidgets_;
    std::vector<ProcessIcon*> icons_;
    std::vector<PressButton*> buttons_;
    RefreshGate refreshGate_{this, [this] { refresh(); }};
};
