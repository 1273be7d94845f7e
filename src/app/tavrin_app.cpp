#include "app/tavrin_app.h"

#include "app/main_window.h"
#include "app/tray.h"
#include "platform/defaults.h"
#include "platform/tray_watch.h"
#include "core/build_info.h"
#include "settings/diagnostics.h"
#include "settings/settings_view.h"
#include "update/bundle_info.h"
#include "update/software_update_card.h"
#include "update/update_rules.h"
#include "ui/emblem.h"
#include "ui/theme.h"

#include <QApplication>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOption>
#include <QToolTip>

namespace {

// Fusion paints every desktop alike. Its menu dividers are shades darker
// than the menu, which on a dark menu is no line at all; they take the
// theme's hairline instead.
class ShellStyle : public QProxyStyle {
public:
    ShellStyle()
        : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion")))
    {
    }

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override
    {
        const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
        if (element == CE_MenuItem && item && item->menuItemType == QStyleOptionMenuItem::Separator
            && item->text.isEmpty()) {
            const QRect& r = item->rect;
            painter->fillRect(QRect(r.left() + 6, r.center().y(), r.width() - 12, 1), Theme::line());
            return;
        }
        QProxyStyle::drawControl(element, option, painter, widget);
    }
};

} // namespace

Diagnostics::UpdateStatus TavrinApp::updateStatus(const Updater& updater)
{
    using Kind = Updater::State::Kind;
    const Updater::State& state = updater.state();
    QString text = QString::fromLatin1(state.name());
    switch (state.kind) {
    case Kind::downloading:
        text += QLatin1Char('(') + QString::number(state.fraction, 'g', QLocale::FloatingPointShortest)
            + QLatin1Char(')');
        break;
    case Kind::failed:
        text += QStringLiteral("(message: \"") + state.message + QStringLiteral("\", manual: ")
            + (state.manual ? QStringLiteral("true") : QStringLiteral("false")) + QLatin1Char(')');
        break;
    case Kind::available:
        text += QStringLiteral("(version: ") + state.release.version
            + (state.release.build ? QStringLiteral(", build: ") + QString::number(*state.release.build)
                                   : QString())
            + QStringLiteral(", date: ") + state.release.date + QLatin1Char(')');
        break;
    default:
        break;
    }
    Diagnostics::UpdateStatus status;
    status.state = text;
    status.checks = !UpdateRules::feedIsUnset(updater.feedURL());
    if (const auto& last = updater.lastCheck())
        status.lastCheck = Date::fromUnix(static_cast<double>(last->toMSecsSinceEpoch()) / 1000.0);
    return status;
}

TavrinApp::TavrinApp()
    : TavrinApp(std::make_unique<Monitor>())
{
}

TavrinApp::TavrinApp(std::unique_ptr<Monitor> monitor)
    : TavrinApp(std::move(monitor), std::make_unique<TrayWatch>(), &Tray::available)
{
}

TavrinApp::TavrinApp(std::unique_ptr<Monitor> monitor, std::unique_ptr<TrayWatch> trayWatch,
                     std::function<bool()> trayUsable)
    : monitor_(std::move(monitor))
    , trayWatch_(std::move(trayWatch))
    , trayUsable_(std::move(trayUsable))
{
    applyTheme();
    // Task bars and window switchers show the emblem; the desktop entry of
    // this id, where installed, is the one the windows belong to.
    QApplication::setWindowIcon(Emblem::appIcon());
    QGuiApplication::setDesktopFileName(QStringLiteral(TAVRIN_APP_ID));
    // Sampling begins before any window exists.
    monitor_->start();
    // The updater asks the preferences afresh before each periodic check.
    updater_ = std::make_unique<Updater>();
    updater_->start([monitor = monitor_.get()] { return monitor->prefs().autoCheckUpdates; });
    // A build without a site checks for nothing unless started with a feed
    // of its own; the views that cannot ask the updater ask this.
    BuildInfo::setChecksForUpdates(!UpdateRules::feedIsUnset(updater_->feedURL()));
    // What the report and the About pane say of this copy comes from its
    // bundle; a development build has none.
    if (const auto bundle = BundleInfo::runningBundle()) {
        if (const auto info = BundleInfo::read(*bundle))
            BuildInfo::install(info->version,
                               info->build > 0 ? std::optional(QString::number(info->build)) : std::nullopt,
                               info->source);
    }
    Diagnostics::setUpdateSource([updater = updater_.get()] { return updateStatus(*updater); });
    for (auto signal : {&Updater::stateChanged, &Updater::lastCheckChanged})
        connect(updater_.get(), signal, &Diagnostics::updateNotifier(), &Diagnostics::UpdateNotifier::changed);
    // The program stays in the tray with its window closed only while a
    // tray exists; elsewhere closing the window ends it, so nothing is left
    // running out of sight.
    followTray();
    connect(trayWatch_.get(), &TrayWatch::changed, this, &TavrinApp::followTray);

    window_ = std::make_unique<MainWindow>(*monitor_, *updater_);
    connect(window_.get(), &MainWindow::settingsRequested, this, &TavrinApp::openSettings);
    connect(window_.get(), &MainWindow::updatesRequested, this, [this] {
        showMain();
        updater_->setPanel(Updater::Panel{Updater::Panel::Kind::update, {}});
        updater_->check();
    });
}

void TavrinApp::followTray()
{
    // Qt settles, on its first question, whether it docks through the bus
    // or into an X11 tray, and keeps to it for the whole process. So it is
    // asked only once the watch has seen a tray (asking with none there
    // would shut out a bus tray that comes later), the kind there at that
    // moment is the kind it took, and from then on only a tray of that kind
    // counts. Qt still has the last word: a tray it cannot use is no tray.
    bool usable = false;
    if (trayWatch_->available()) {
        if (!busTray_)
            busTray_ = trayWatch_->statusNotifier();
        usable = (*busTray_ ? trayWatch_->statusNotifier() : trayWatch_->xembed()) && trayUsable_();
    }
    if (usable && tray_) {
        tray_->redock();
    } else if (usable) {
        tray_ = std::make_unique<Tray>(*monitor_, [this] { showMain(); });
    } else if (tray_) {
        tray_.reset();
        // Nothing would be left to open the window from: it comes back
        // rather than the program ending behind the user's back (a panel
        // that restarts takes its tray with it for a moment).
        const bool shown = (window_ && window_->isVisible()) || (settings_ && settings_->isVisible());
        if (window_ && !shown)
            showMain();
    }
    QApplication::setQuitOnLastWindowClosed(!hasTray());
}

TavrinApp::~TavrinApp()
{
    Diagnostics::setUpdateSource({});
    delete settings_.data();
    // The windows go before the Monitor their views read.
    tray_.reset();
    window_.reset();
}

void TavrinApp::showMain()
{
    const bool opening = !window_->isVisible();
    // A start in the same session asks for the window: one left minimized
    // comes back too.
    window_->setWindowState(window_->windowState() & ~Qt::WindowMinimized);
    window_->show();
    window_->raise();
    window_->activateWindow();
    if (opening && Defaults::standard().boolValue(QStringLiteral("settings")))
        openSettings();
}

void TavrinApp::openSettings()
{
    if (!settings_) {
        std::function<QWidget*(QWidget*)> updateCard;
        if (updater_)
            updateCard = [this](QWidget* owner) {
                return new SoftwareUpdateCard(*monitor_, *updater_, [this] { showMain(); }, owner);
            };
        auto* view = new SettingsView(*monitor_, std::move(updateCard), [this] { showMain(); });
        view->setWindowFlag(Qt::Window);
        view->setAttribute(Qt::WA_DeleteOnClose);
        settings_ = view;
    }
    settings_->show();
    settings_->raise();
    settings_->activateWindow();
}

QPalette TavrinApp::palette()
{
    QPalette palette;
    const auto both = [&palette](QPalette::ColorRole role, const QColor& colour) {
        palette.setColor(QPalette::All, role, colour);
    };
    both(QPalette::Window, Theme::panel());
    both(QPalette::WindowText, Theme::text());
    both(QPalette::Base, Theme::bg());
    both(QPalette::AlternateBase, Theme::panel());
    both(QPalette::Text, Theme::text());
    both(QPalette::PlaceholderText, Theme::faint());
    both(QPalette::Button, Theme::raised());
    both(QPalette::ButtonText, Theme::text());
    both(QPalette::BrightText, Theme::crit());
    both(QPalette::ToolTipBase, Theme::raised());
    both(QPalette::ToolTipText, Theme::text());
    both(QPalette::Highlight, Theme::line().lighter(150));
    both(QPalette::HighlightedText, Theme::text());
    both(QPalette::Link, Theme::mem());
    both(QPalette::LinkVisited, Theme::mem());
    // The bevels and separators the style draws.
    both(QPalette::Light, Theme::line().lighter(130));
    both(QPalette::Midlight, Theme::line());
    both(QPalette::Mid, Theme::line());
    both(QPalette::Dark, Theme::bg());
    both(QPalette::Shadow, QColor(0, 0, 0));
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText,
                                     QPalette::HighlightedText})
        palette.setColor(QPalette::Disabled, role, Theme::faint());
    return palette;
}

void TavrinApp::applyTheme()
{
    // One style for every desktop, so the palette is painted the same way
    // whatever theme the desktop runs; the style goes first, since setting
    // it brings its own palette.
    if (!dynamic_cast<ShellStyle*>(QApplication::style()))
        QApplication::setStyle(new ShellStyle);
    QApplication::setPalette(palette());
    QToolTip::setPalette(palette());
}
