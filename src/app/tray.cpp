#include "app/tray.h"

#include "ui/menu_glyph.h"
#include "app/menu_panel.h"
#include "core/l10n.h"
#include "model/monitor.h"
#include "ui/scheduler.h"

#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QMenu>
#include <QSystemTrayIcon>

Tray::Model Tray::build(const Monitor& monitor)
{
    Model model;
    const SystemSample& system = monitor.snapshot().system;
    model.cores = system.cores;
    model.alert = monitor.worstOpen();
    // A tray item has no text beside its icon: the percent goes here, after
    // the app's name.
    model.toolTip = QStringLiteral("Tavrin");
    if (monitor.prefs().menuBarPercent)
        model.toolTip += QStringLiteral(" · ") + MenuGlyph::percentText(system.cpu);
    return model;
}

QIcon Tray::icon(const std::vector<double>& cores, std::optional<Severity> alert)
{
    QIcon result;
    for (int side : sides)
        result.addPixmap(QPixmap::fromImage(MenuGlyph::square(cores, alert, side)));
    return result;
}

bool Tray::available()
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

Tray::Tray(Monitor& monitor, std::function<void()> openMain, QObject* parent)
    : QObject(parent)
    , monitor_(monitor)
    , openMain_(std::move(openMain))
    , icon_(std::make_unique<QSystemTrayIcon>())
    , menu_(std::make_unique<QMenu>())
    , chinese_(L10n::isChinese())
{
    open_ = menu_->addAction(QString(), this, [this] {
        if (panel_)
            panel_->hide();
        openMain_();
    });
    menu_->addSeparator();
    quit_ = menu_->addAction(QString(), qApp, &QApplication::quit, Qt::QueuedConnection);
    icon_->setContextMenu(menu_.get());
    connect(icon_.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger)
                    togglePanel();
            });

    connect(&monitor, &Monitor::snapshotChanged, this, &Tray::scheduleRefresh);
    connect(&monitor, &Monitor::incidentsChanged, this, &Tray::scheduleRefresh);
    connect(&monitor, &Monitor::prefsChanged, this, &Tray::scheduleRefresh);
    retranslate();
    rebuildPanel();
    refresh();
    icon_->show();
}

Tray::~Tray()
{
    dropPanel();
}

// The filter goes before the panel: a widget being destroyed still sends
// its hide event, when it is no longer a panel.
void Tray::dropPanel()
{
    if (!panel_)
        return;
    panel_->removeEventFilter(this);
    delete panel_.data();
}

void Tray::scheduleRefresh()
{
    refreshGate_.schedule();
}

void Tray::refresh()
{
    if (L10n::isChinese() != chinese_) {
        chinese_ = L10n::isChinese();
        retranslate();
    }
    // The panel starts afresh with each language setting, hold and all,
    // also when the setting resolves to the language already shown.
    if (monitor_.prefs().language != panelLanguage_)
        rebuildPanel();
    Model next = build(monitor_);
    if (next == model_ && renders_ > 0)
        return;
    if (next.cores != model_.cores || next.alert != model_.alert || renders_ == 0) {
        icon_->setIcon(icon(next.cores, next.alert));
        ++renders_;
    }
    if (next.toolTip != model_.toolTip)
        icon_->setToolTip(next.toolTip);
    model_ = std::move(next);
}

void Tray::retranslate()
{
    open_->setText(L10n::text("Open Tavrin", "打开 Tavrin"));
    quit_->setText(L10n::text("Quit", "退出"));
}

void Tray::rebuildPanel()
{
    const bool wasOpen = panel_ && panel_->isVisible();
    dropPanel();
    panelLanguage_ = monitor_.prefs().language;
    panel_ = new MenuPanel(monitor_, openMain_);
    panel_->installEventFilter(this);
    if (wasOpen)
        openPanel();
}

bool Tray::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == panel_.data() && event->type() == QEvent::Hide)
        panelHiddenAt_ = Scheduler::current().now();
    return QObject::eventFilter(watched, event);
}

Tray::Click Tray::clickAction(bool panelVisible, std::optional<double> panelHiddenAt, double now)
{
    if (panelVisible)
        return Click::close;
    if (panelHiddenAt && now - *panelHiddenAt >= 0 && now - *panelHiddenAt < reopenGuard)
        return Click::close;
    return Click::open;
}

void Tray::togglePanel()
{
    if (clickAction(panel_->isVisible(), panelHiddenAt_, Scheduler::current().now()) == Click::close) {
        panel_->hide();
        // Closed by this click, not by a press outside: the next click opens.
        panelHiddenAt_.reset();
        return;
    }
    openPanel();
}

void Tray::openPanel()
{
    QRect anchor = icon_->geometry();
    if (!anchor.isValid())
        anchor = QRect(QCursor::pos(), QSize(1, 1));
    panel_->popup(anchor);
}

void Tray::redock()
{
    icon_->hide();
    icon_->show();
}
