#pragma once
// The 40-pixel strip across the top of the main window: the word-mark, a
// line about the machine, the system's own CPU and memory use, the status
// pill, a slot for the update pill, the freeze toggle and the settings
// button. The machine line and the own-use line move only with each new
// snapshot, so both stand still while the display is frozen.

#include "ui/refresh_gate.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <cstdint>

class FreezeToggle;
struct HostInfo;
class Monitor;
class QAbstractButton;
class QHBoxLayout;
class ShrinkLabel;
class StatusPill;

class HeaderBar : public QWidget {
    Q_OBJECT

public:
    struct Model {
        QString machine;      // "<name> · <chip> · up <uptime>"
        QString self;         // "self <cpu> · <memory>"
        QString selfHelp;
        bool frozen = false;
        QString freezeLabel;  // "Freeze" / "Frozen"
        QString freezeSymbol; // "pause.fill" / "play.fill"
        QString freezeHelp;
        QString settingsHelp;

        bool operator==(const Model&) const = default;
    };

    // In the current language. The uptime runs to the latest take-over
    // (`Monitor::sampleDate`), not to the clock, so it freezes with the
    // figures and jumps ahead on resume.
    static Model build(const Monitor& monitor);
    static QString machineLine(const HostInfo& host, double uptime);
    static QString selfLine(double cpu, uint64_t mem);
    // One decimal below 100 %, none from 100 on.
    static QString cpuText(double percent);

    // Geometry, in pixels.
    static constexpr int barHeight = 40;
    static constexpr int spacing = 12;
    static constexpr int trailing = 12;
    // Room left of the word-mark. A decorated window keeps its title-bar
    // buttons out of the header, so a small blank is enough.
    static constexpr int titleBarBlank = 12;
    static constexpr double controlHeight = 22;
    static constexpr double controlRadius = 6;

    explicit HeaderBar(Monitor& monitor, QWidget* parent = nullptr);

    // The window places the update pill here, between the status pill and
    // the freeze toggle; the header takes it over. The pill hides itself
    // while no update is pending, and then takes no room.
    void setUpdatePill(QWidget* pill);
    QWidget* updatePill() const { return updatePill_; }

    const Model& model() const { return model_; }
    StatusPill* statusPill() const { return pill_; }
    QAbstractButton* freezeToggle() const;
    QAbstractButton* settingsButton() const { return settings_; }
    const ShrinkLabel* machineLabel() const { return machine_; }
    const ShrinkLabel* selfLabel() const { return self_; }

signals:
    // The settings button was pressed; the application opens its settings
    // window.
    void settingsRequested();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void scheduleRefresh();
    void refresh();

    Monitor& monitor_;
    Model model_;
    QHBoxLayout* row_ = nullptr;
    ShrinkLabel* wordmark_ = nullptr;
    ShrinkLabel* machine_ = nullptr;
    ShrinkLabel* self_ = nullptr;
    StatusPill* pill_ = nullptr;
    QPointer<QWidget> updatePill_;
    FreezeToggle* freeze_ = nullptr;
    QAbstractButton* settings_ = nullptr;
    RefreshGate refreshGate_{this, [this] { refresh(); }};
};
