#include "app/main_window.h"

#include "app/help_commands.h"
#include "update/updater.h"

#include "app/root_view.h"
#include "app/view_menu.h"
#include "ui/scheduler.h"

#include <QAction>
#include <QApplication>
#include <QLayout>
#include <QMenuBar>
#include <QScreen>
#include <QShowEvent>
#include <QWindow>

#include <algorithm>

MainWindow::Placement MainWindow::place(const QRect& available, const QMargins& frame, int menuBar)
{
    const QSize own(RootView::minimumWidth, RootView::minimumHeight);
    const int roomWidth = available.width() - frame.left() - frame.right();
    const int roomHeight = available.height() - frame.top() - frame.bottom();
    // No screen to speak of: the window's own sizes, where the system puts it.
    if (roomWidth <= menuBar || roomHeight <= menuBar)
        return {own, QRect(0, 0, defaultWidth, defaultHeight)};

    Placement result;
    result.minimum = QSize(std::min(own.width(), roomWidth),
                           std::min(own.height(), roomHeight - menuBar));
    const QSize size(std::min(defaultWidth, roomWidth), std::min(defaultHeight, roomHeight));
    const int x = available.left() + (roomWidth - size.width()) / 2 + frame.left();
    const int y = available.top() + (roomHeight - size.height()) / 2 + frame.top();
    result.geometry = QRect(QPoint(x, y), size);
    return result;
}

MainWindow::MainWindow(Monitor& monitor, Updater& updater, QWidget* parent)
    : QMainWindow(parent)
    , monitor_(monitor)
    , updater_(updater)
    , language_(monitor.prefs().language)
{
    setWindowTitle(QStringLiteral("Tavrin"));

    // The colours come from the application's palette, which every menu
    // and alert shares.
    QMenuBar* bar = menuBar();
    app_ = bar->addMenu(QStringLiteral("Tavrin"));
    settings_ = app_->addAction(QString());
    settings_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    settings_->setMenuRole(QAction::PreferencesRole);
    connect(settings_, &QAction::triggered, this, &MainWindow::settingsRequested);
    updates_ = app_->addAction(QString());
    connect(updates_, &QAction::triggered, this, &MainWindow::updatesRequested);
    // No second check while one is under way, or a download or install.
    const auto followUpdater = [this] { updates_->setEnabled(!updater_.state().busy()); };
    connect(&updater, &Updater::stateChanged, this, followUpdater);
    followUpdater();
    app_->addSeparator();
    quit_ = app_->addAction(QString());
    quit_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit_->setMenuRole(QAction::QuitRole);
    connect(quit_, &QAction::triggered, qApp, &QApplication::quit, Qt::QueuedConnection);

    view_ = new ViewMenu(monitor, this);
    bar->addMenu(view_);

    help_ = bar->addMenu(QString());
    helpCommands_ = new HelpCommands(monitor, help_);

    retitle();
    fit(assumedFrame);
    rebuild();

    // The content's identity is the language: a change builds it anew, on
    // a later turn, since the control that changed it may sit inside.
    connect(&monitor, &Monitor::prefsChanged, this, [this] {
        if (monitor_.prefs().language != language_)
            languageGate_.schedule();
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
    helpCommands_->rebuild();
}

void MainWindow::relanguage()
{
    // Changed and changed back within one turn: nothing to build.
    if (monitor_.prefs().language == language_)
        return;
    language_ = monitor_.prefs().language;
    retitle();
    rebuild();
}

void MainWindow::rebuild()
{
    // The old content goes first: it takes down the hooks its views
    // installed on the Monitor before the new views install theirs. The
    // welcome tour goes on where it stood.
    std::optional<WelcomeView::Place> tour;
    if (root_) {
        tour = root_->tourPlace();
        QWidget* old = takeCentralWidget();
        delete old;
    }
    root_ = new RootView(monitor_, updater_, this, tour);
    root_->setMinimumSize(minimum_);
    connect(root_, &RootView::settingsRequested, this, &MainWindow::settingsRequested);
    setCentralWidget(root_);
    // In place and shown at once: the window is never painted between the
    // old content and the new.
    if (isVisible()) {
        layout()->activate();
        root_->show();
    }
    ++builds_;
}

void MainWindow::fit(const QMargins& frame)
{
    QScreen* screen = this->screen();
    const QRect available = screen ? screen->availableGeometry() : QRect();
    const Placement placement = place(available, frame, menuBar()->sizeHint().height());
    minimum_ = placement.minimum;
    if (root_)
        root_->setMinimumSize(minimum_);
    setGeometry(placement.geometry);
}

void MainWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (event->spontaneous() || placed_)
        return;
    placed_ = true;
    Scheduler::current().after(0, this, [this] { refit(); });
}

void MainWindow::moveEvent(QMoveEvent* event)
{
    QMainWindow::moveEvent(event);
    // A window manager moves the window as it frames it.
    if (placed_ && !framed_)
        refit();
}

void MainWindow::refit()
{
    // The first placement only assumed a frame. Once the window manager
    // has framed the window its frame is known, and the window is placed
    // again with it; without a window manager there is none, and the
    // assumed title bar's room stays free.
    const QMargins frame = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    if (framed_ || frame.isNull())
        return;
    framed_ = true;
    if (frame != assumedFrame)
        fit(frame);
}
