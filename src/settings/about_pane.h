#pragma once
// The settings window's About pane: the build and what the monitor itself
// costs, the software-update card, where every reading comes from, the
// privacy promise, the incident log on disk, and the welcome tour again.

#include "model/monitor.h"
#include "ui/refresh_gate.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <optional>
#include <utility>
#include <vector>

class QLabel;

class AboutPane : public QWidget {
    Q_OBJECT

public:
    // Builds the software-update card, when the application has one.
    using CardFactory = std::function<QWidget*(QWidget* parent)>;

    // `showMain` brings the main window up and to the front.
    explicit AboutPane(Monitor& monitor, CardFactory updateCard = {}, std::function<void()> showMain = {},
                       QWidget* parent = nullptr);

    // What is measured and where it comes from, in the current language.
    static std::vector<std::pair<QString, QString>> sources();

    // The five overview figures, in order: version, build, own CPU, own
    // memory, incidents logged.
    struct Overview {
        QString version, build, cpu, memory, incidents;
        bool operator==(const Overview&) const = default;
    };
    static Overview overview(const Monitor& monitor, const std::optional<QString>& version,
                             const std::optional<QString>& build);
    static QString ownCPU(double percent);

    const Overview& shown() const { return shown_; }

    // "Show in File Manager": the incident log selected, or its folder.
    void revealLog();
    // "Show welcome again": the main window to the front, then the tour.
    void showWelcome();

private:
    void refresh();

    Monitor& monitor_;
    std::function<void()> showMain_;
    Overview shown_;
    std::vector<QLabel*> figures_;
    RefreshGate gate_{this, [this] { refresh(); }};
};
