#pragma once
// The application object: creates the Monitor and starts it before any
// window exists, puts the icon in the tray where the desktop has one, then
// shows the main window and, on request, the settings window. Everything
// lives until the process ends.

#include "model/monitor.h"

#include <QObject>
#include <QPalette>
#include <QPointer>
#include <QWidget>

#include <memory>

class MainWindow;
class Tray;


class TavrinApp : public QObject {
    Q_OBJECT

public:
    // The Monitor of the standard defaults (the live machine, or the demo).
    TavrinApp();
    // A given Monitor, already built and not yet started (tests).
    explicit TavrinApp(std::unique_ptr<Monitor> monitor);
    ~TavrinApp() override;

    Monitor& monitor() { return *monitor_; }
    MainWindow* mainWindow() const { return window_.get(); }
    QWidget* settingsWindow() const { return settings_; }

    // Whether a tray icon stands in for the closed window. Without one,
    // closing the last window ends the program.
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

private:
    std::unique_ptr<Monitor> monitor_;
    std::unique_ptr<MainWindow> window_;
    std::unique_ptr<Tray> tray_;
    QPointer<QWidget> settings_;
};
