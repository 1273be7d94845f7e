#pragma once
// The settings window's content: a sidebar of six panes and the selected
// pane beside it. There is no Apply button: every pane writes the Monitor's
// preferences, which are applied and saved at once. A language change
// rebuilds everything inside on the next turn of the event loop, keeping
// the selected pane.

#include "ui/animation.h"
#include "ui/refresh_gate.h"

#include <QString>
#include <QWidget>

#include <array>
#include <functional>
#include <optional>

class Defaults;
class Monitor;
class QGraphicsOpacityEffect;
class QLabel;
class QScrollArea;
class SettingsSidebar;

class SettingsView : public QWidget {
    Q_OBJECT

public:
    enum class Pane { general, rules, network, ignored, feedback, about };
    static constexpr std::array allPanes{Pane::general, Pane::rules,    Pane::network,
                                         Pane::ignored, Pane::feedback, Pane::about};

    static QString paneText(Pane pane);
    // Exactly one of the six raw values, else nothing.
    static std::optional<Pane> paneFromText(const QString& text);
    static QString title(Pane pane);
    static QString summary(Pane pane);
    static QString symbol(Pane pane);
    // The defaults key "pane" when it names a pane, else the alert rules.
    static Pane initialPane(const Defaults& defaults);

    static constexpr int windowWidth = 820;
    static constexpr int windowHeight = 600;
    static constexpr int sidebarWidth = 190;
    // The decoration a window manager is assumed to put over the window.
    static constexpr int titleBarAllowance = 32;
    // The window's size on a screen whose free area is `available`.
    static QSize windowSize(const QRect& available);

    // `updateCard` makes the About pane's software update card, and
    // `showMain` brings the main window forward; a window made without a
    // card maker shows that pane without it.
    explicit SettingsView(Monitor& monitor, std::function<QWidget*(QWidget* parent)> updateCard = {},
                          std::function<void()> showMain = {}, QWidget* parent = nullptr);
    ~SettingsView() override;

    Pane pane() const { return pane_; }
    double paneDirection() const { return direction_; }
    void setPane(Pane pane);
    // The widget showing the selected pane's content.
    QWidget* paneWidget() const { return paneWidget_; }
    QString headerTitle() const;
    SettingsSidebar* sidebar() const { return sidebar_; }
    // Rebuilds so far (tests: a language change rebuilds once, later).
    int builds() const { return builds_; }

protected:
    void hideEvent(QHideEvent* event) override;
    void showEvent(QShowEvent* event) override;
    // Esc and the desktop's close keys (Ctrl+W) close the window, whatever
    // inside it had the focus, unless that took the key itself.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void build();
    void buildDetail(bool animated);
    QWidget* makePane(Pane pane, QWidget* parent);
    void relanguage();
    void settle();

    Monitor& monitor_;
    std::function<QWidget*(QWidget* parent)> updateCard_;
    std::function<void()> showMain_;
    Pane pane_;
    double direction_ = 1;
    int language_;
    int builds_ = 0;
    QWidget* content_ = nullptr;
    SettingsSidebar* sidebar_ = nullptr;
    QWidget* detailHost_ = nullptr;
    QWidget* detail_ = nullptr;
    QLabel* title_ = nullptr;
    QWidget* paneWidget_ = nullptr;
    QGraphicsOpacityEffect* fade_ = nullptr;
    AnimatedValue offset_{0};
    AnimatedValue opacity_{1};
    RefreshGate languageGate_{this, [this] { relanguage(); }};
};
