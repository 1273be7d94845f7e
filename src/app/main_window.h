#pragma once
// The main window: a decorated window with a menu bar ("Tavrin", "View",
// "Help") over the root view. A change of language replaces the root view
// and the menu texts; the Monitor keeps mode, filter and selection. Closing
// the window hides it.

#include "core/l10n.h"
#include "model/monitor.h"

#include <QMainWindow>
#include <QPointer>

class QAction;
class QMenu;
class RootView;
class ViewMenu;

class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    static constexpr int defaultWidth = 1400;
    static constexpr int defaultHeight = 880;

    explicit MainWindow(Monitor& monitor, QWidget* parent = nullptr);

    RootView* root() const;
    ViewMenu* viewMenu() const { return view_; }
    QMenu* appMenu() const { return app_; }
    QMenu* helpMenu() const { return help_; }
    QAction* settingsAction() const { return settings_; }
    QAction* updatesAction() const { return updates_; }
    QAction* quitAction() const { return quit_; }
    // How many times the content was built (tests).
    int builds() const { return builds_; }

signals:
    void settingsRequested();
    void updatesRequested();

private:
    void rebuild();
    void retitle();

    Monitor& monitor_;
    AppLanguage language_;
    QPointer<RootView> root_;
    QMenu* app_ = nullptr;
    ViewMenu* view_ = nullptr;
    QMenu* help_ = nullptr;
    QAction* settings_ = nullptr;
    QAction* updates_ = nullptr;
    QAction* quit_ = nullptr;
    QAction* helpItem_ = nullptr;
    int builds_ = 0;
};
