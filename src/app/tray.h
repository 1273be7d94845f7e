#pragma once
// The tray icon: the core bars of the latest snapshot in the colour of the
// worst open incident, the load in the tooltip, the panel on a click and a
// small menu on a right click (some hosts never send the click). It exists
// only where the desktop has a tray; without one the app runs as a plain
// window.

// moc cannot parse the standard library's concepts, reached through
// <compare>; it needs none of these.
#ifndef Q_MOC_RUN
#include "core/incident.h"
#endif
#include "app/menu_panel.h"
#include "core/l10n.h"
#include "ui/refresh_gate.h"

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class Monitor;
class QAction;
class QMenu;
class QSystemTrayIcon;

class Tray : public QObject {
    Q_OBJECT

public:
    // What the icon shows; it is rendered again only when this changes.
    struct Model {
        std::vector<double> cores;
        std::optional<Severity> alert;
        QString toolTip;
        bool operator==(const Model&) const = default;
    };
    static Model build(const Monitor& monitor);
    // Square sizes the icon is rendered at; the host picks one.
    static constexpr int sides[] = {16, 22, 24, 32, 48};
    static QIcon icon(const std::vector<double>& cores, std::optional<Severity> alert);

    static bool available();

    // `openMain` shows and activates the main window.
    Tray(Monitor& monitor, std::function<void()> openMain, QObject* parent = nullptr);
    ~Tray() override;

    QSystemTrayIcon& trayIcon() { return *icon_; }
    QMenu& menu() { return *menu_; }
    QAction* openAction() const { return open_; }
    QAction* quitAction() const { return quit_; }
    MenuPanel* panel() const { return panel_.data(); }
    const Model& model() const { return model_; }
    // How often the glyph has been drawn.
    int renders() const { return renders_; }

    // A click on the icon: opens the panel at the icon, or at the pointer
    // where the host does not say where the icon is; closes it when open.
    void togglePanel();
    void openPanel();

    // What a click on the icon does. A popup panel closes on any press
    // outside it, and on some hosts that press is the very click on the
    // icon, which then arrives with the panel already gone: a click that
    // soon after the panel closed closes it too, rather than opening it
    // again.
    enum class Click { open, close };
    static constexpr double reopenGuard = 0.4; // seconds
    static Click clickAction(bool panelVisible, std::optional<double> panelHiddenAt, double now);

    // Hides and shows the icon, so that it docks into a tray that has just
    // replaced another (or a tray watcher that restarted learns of it).
    void redock();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dropPanel();

private:
    void scheduleRefresh();
    void refresh();
    void retranslate();
    void rebuildPanel();

    Monitor& monitor_;
    std::function<void()> openMain_;
    std::unique_ptr<QSystemTrayIcon> icon_;
    std::unique_ptr<QMenu> menu_;
    QAction* open_ = nullptr;
    QAction* quit_ = nullptr;
    QPointer<MenuPanel> panel_;
    std::optional<double> panelHiddenAt_;
    bool chinese_ = false;
    // The panel's identity: the language preference, not what it resolves to.
    AppLanguage panelLanguage_ = AppLanguage::system;
    Model model_;
    int renders_ = 0;
    RefreshGate refreshGate_{this, [this] { refresh(); }};
};
