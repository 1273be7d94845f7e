#pragma once
// The main window: a decorated window with a menu bar ("Tavrin", "View",
// "Help") over the root view. A change of language replaces the root view
// and the menu texts on the next turn of the event loop, so a control inside
// the window may change the language from its own handler; the Monitor keeps
// mode, filter and selection. Closing the window hides it.

#include "core/l10n.h"
#include "model/monitor.h"
#include "ui/refresh_gate.h"

#include <QMainWindow>
#include <QMargins>
#include <QPointer>
#include <QRect>
#include <QSize>

class HelpCommands;
class QAction;
class QMenu;
class RootView;
class ViewMenu;

class Updater;

class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    static constexpr int defaultWidth = 1400;
    static constexpr int defaultHeight = 880;
    // The decoration a window manager is assumed to add until the real one
    // is known: a title bar.
    static constexpr QMargins assumedFrame{0, 32, 0, 0};

    // Where the window opens on a screen whose free area is `available`,
    // given the window manager's `frame` and the menu bar's height. The
    // window takes its default size or what the screen leaves, centred; the
    // content keeps its own minimum where that fits, and on a smaller screen
    // as much as fits.
    struct Placement {
        QSize minimum;   // the content's
        QRect geometry;  // the window's, without its frame
        bool operator==(const Placement&) const = default;
    };
    static Placement place(const QRect& available, const QMargins& frame, int menuBar);

    MainWindow(Monitor& monitor, Updater& updater, QWidget* parent = nullptr);

    RootView* root() const;
    ViewMenu* viewMenu() const { return view_; }
    QMenu* appMenu() const { return app_; }
    QMenu* helpMenu() const { return help_; }
    QAction* settingsAction() const { return settings_; }
    QAction* updatesAction() const { return updates_; }
    QAction* quitAction() const { return quit_; }
    // How many times the content was built (tests).
    int builds() const { return builds_; }
    // The content's minimum on this window's screen.
    QSize contentMinimum() const { return minimum_; }

signals:
    void settingsRequested();
    void updatesRequested();

protected:
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void relanguage();
    void rebuild();
    void retitle();
    // Sizes and places the window for its screen with the frame it has.
    void fit(const QMargins& frame);
    void refit();

    Monitor& monitor_;
    Updater& updater_;
    AppLanguage language_;
    QPointer<RootView> root_;
    QMenu* app_ = nullptr;
    ViewMenu* view_ = nullptr;
    QMenu* help_ = nullptr;
    QAction* settings_ = nullptr;
    QAction* updates_ = nullptr;
    QAction* quit_ = nullptr;
    HelpCommands* helpCommands_ = nullptr;
    QSize minimum_;
    bool placed_ = false;
    bool framed_ = false;
    int builds_ = 0;
    RefreshGate languageGate_{this, [this] { relanguage(); }};
};
