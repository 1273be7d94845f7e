#include "app/main_window.h"

#include "app/root_view.h"
#include "app/stand_ins.h"
#include "app/view_menu.h"
#include "ui/theme.h"

#include <QAction>
#include <QApplication>
#include <QMenuBar>

MainWindow::MainWindow(Monitor& monitor, QWidget* parent)
    : QMainWindow(parent)
    , monitor_(monitor)
    , language_(monitor.prefs().language)
{
    setWindowTitle(QStringLiteral("Tavrin"));
    resize(defaultWidth, defaultHeight);

    QMenuBar* bar = menuBar();
    QPalette palette = bar->palette();
    palette.setColor(QPalette::Window, Theme::panel());
    palette.setColor(QPalette::Base, Theme::panel());
    palette.setColor(QPalette::WindowText, Theme::text());
    palette.setColor(QPalette::ButtonText, Theme::text());
    palette.setColor(QPalette::Text, Theme::text());
    palette.setColor(QPalette::Highlight, Theme::raised());
    palette.setColor(QPalette::HighlightedText, Theme::text());
    bar->setPalette(palette);

    app_ = bar->addMenu(QStringLiteral("Tavrin"));
    settings_ = app_->addAction(QString());
    settings_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    settings_->setMenuRole(QAction::PreferencesRole);
    connect(settings_, &QAction::triggered, this, &MainWindow::settingsRequested);
    updates_ = app_->addAction(QString());
    connect(updates_, &QAction::triggered, this, &MainWindow::updatesRequested);
    app_->addSeparator();
    quit_ = app_->addAction(QString());
    quit_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit_->setMenuRole(QAction::QuitRole);
    connect(quit_, &QAction::triggered, qApp, &QApplication::quit, Qt::QueuedConnection);

    view_ = new ViewMenu(monitor, this);
    bar->addMenu(view_);

    help_ = bar->addMenu(QString());
    helpItem_ = help_->addAction(QString());
    helpItem_->setEnabled(false);

    retitle();
    rebuild();

    // The content's identity is the language: a change builds it anew.
    connect(&monitor, &Monitor::prefsChanged, this, [this] {
        if (monitor_.prefs().language == language_)
            return;
        language_ = monitor_.prefs().language;
        retitle();
        rebuild();
    });
}

RootView* MainWindow::root() const
{
    return root_.data();
}

void MainWindow::retitle()
{
    settings_->setText(L10n::text("Settings…", "设置…"));
    updates_->setText(L10n::text("Check for Updates…", "检查更新…"));
    quit_->setText(L10n::text("Quit", "退出"));
    help_->setTitle(L10n::text("Help", "帮助"));
    helpItem_->setText(StandIn::caption("Help", "帮助"));
}

void MainWindow::rebuild()
{
    // The old content goes first: it takes down the hooks its views
    // installed on the Monitor before the new views install theirs.
    if (root_) {
        QWidget* old = takeCentralWidget();
        delete old;
    }
    root_ = new RootView(monitor_, this);
    connect(root_, &RootView::settingsRequested, this, &MainWindow::settingsRequested);
    setCentralWidget(root_);
    ++builds_;
}
