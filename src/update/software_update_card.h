#pragma once
// The updater's block in the About pane: the running version with the
// updater's status, one action (check now, or view the pending update),
// the switch for automatic checks, and links to the release notes. It
// shows no panel of its own: it opens the main window with the update
// panel.

#include "ui/refresh_gate.h"
#include "update/updater.h"

#include <QColor>
#include <QDateTime>
#include <QWidget>

#include <functional>
#include <optional>

class Monitor;
class PressButton;
class QLabel;
class ToggleRow;

class SoftwareUpdateCard : public QWidget {
    Q_OBJECT

public:
    // `showMain` opens the main window (or brings it forward).
    SoftwareUpdateCard(Monitor& monitor, Updater& updater, std::function<void()> showMain,
                       QWidget* parent = nullptr);

    // The status line for the updater's fields, and its colour.
    static QString status(const Updater::State& state, const std::optional<Release>& pending,
                          const std::optional<QString>& requiredSystem, const std::optional<QDateTime>& lastCheck);
    static QColor statusColor(const Updater::State& state);
    // "Not checked yet", or the last check's date and time in the
    // language's own locale.
    static QString lastCheckText(const std::optional<QDateTime>& lastCheck);

    QString versionText() const;
    QString statusText() const;
    PressButton* actionButton() const { return action_; }
    ToggleRow* autoCheckRow() const { return autoCheck_; }
    // The "What's new in this version" link, while the running version's
    // notes are known.
    PressButton* whatsNewButton() const { return whatsNew_; }

private:
    void refresh();
    void act();

    Monitor& monitor_;
    Updater& updater_;
    std::function<void()> showMain_;
    QLabel* version_ = nullptr;
    QLabel* status_ = nullptr;
    PressButton* action_ = nullptr;
    ToggleRow* autoCheck_ = nullptr;
    PressButton* whatsNew_ = nullptr;
    RefreshGate refreshGate_{this, [this] { refresh(); }};
};
