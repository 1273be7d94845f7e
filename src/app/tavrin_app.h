#pragma once
// The application object: creates the Monitor and starts it before any
// window exists, puts the icon in the tray where the desktop has one, then
// shows the main window and, on request, the settings window. Everything
// lives until the process ends.

#include "model/monitor.h"
#ifndef Q_MOC_RUN
#include "settings/diagnostics.h"
#endif
#include "update/updater.h"

#include <QObject>
#include <QPalette>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class MainWindow;
class Tray;
class TrayWatch;


class TavrinApp : public QObject {
    Q_OBJECT

public:
    // The Monitor of the standard defaults (the live machine, or the demo).
    TavrinApp();
    // A given Monitor, already built and not yet started (tests).
    explicit TavrinApp(std::unique_ptr<Monitor> monitor);
    // A given tray watch too, and the check that Qt can put an icon in the
    // tray the watch reports (tests stand in for both).
    TavrinApp(std::unique_ptr<Monitor> monitor, std::unique_ptr<TrayWatch> trayWatch,
              std::function<bool()> trayUsable);
    ~TavrinApp() override;

    Monitor& monitor() { return *monitor_; }
    // The one updater, started with the Monitor; the views read it.
    Updater& updater() { return *updater_; }
    MainWindow* mainWindow() const { return window_.get(); }
    QWidget* settingsWindow() const { return settings_; }

    // Whether a tray icon stands in for the closed window. Without one,
    // closing the last window ends the program. Follows the tray as it
    // comes and goes.
    bool hasTray() const { return tray_ != nullptr; }
    Tray* tray() const { return tray_.get(); }

    // Shows the main window; each time it opens from hidden, the
    // "settings" default is read, and the settings window opens with it.
    void showMain();
    void openSettings();

    // The dark palette that every window, menu, tooltip and alert of the
    // application takes, and the style that paints it.
    static QPalette palette();
    static void applyTheme();

    // The updater's state as the diagnostics report writes it.
    static Diagnostics::UpdateStatus updateStatus(const Updater& updater);

private:
    void followTray();

    std::unique_ptr<Monitor> monitor_;
    std::unique_ptr<Updater> updater_;
    std::unique_ptr<TrayWatch> trayWatch_;
    std::function<bool()> trayUsable_;
    // The kind of tray Qt settled on: the bus's (true) or X11's.
    std::optional<bool> busTray_;
    std::unique_ptr<MainWindow> window_;
    std::unique_ptr<Tray> tray_;
    QPointer<QWidget> settings_;
};
