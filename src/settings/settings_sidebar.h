#pragma once
// The settings window's sidebar: the word-mark, one row per pane with the
// muted count on its row, and the footer. The selection highlight glides
// between rows on the layout spring.

#include "platform/defaults.h"
#include "settings/settings_view.h"
#include "ui/animation.h"
#include "ui/refresh_gate.h"

#include <QWidget>

#include <functional>
#include <vector>

class PressButton;
class QLabel;

class SettingsSidebar : public QWidget {
    Q_OBJECT

public:
    SettingsSidebar(Monitor& monitor, SettingsView::Pane selected,
                    std::function<void(SettingsView::Pane)> choose, QWidget* parent = nullptr);

    void select(SettingsView::Pane pane);
    PressButton* row(SettingsView::Pane pane) const;
    // The badge on the muted row, 0 when it shows none.
    int mutedBadge() const { return badge_; }
    QRectF highlight() const { return highlight_.value(); }
    QString footerText() const;
    // The footer: changes save on their own, or why the last one did not.
    static QString footerText(Defaults::Failure failure, const QString& file);

protected:
    // ↑ and ↓ choose the pane above or below the selected one, and the
    // keyboard goes with it; at either end nothing moves.
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void refresh();
    QRectF target() const;
    void settle();

    Monitor& monitor_;
    std::function<void(SettingsView::Pane)> choose_;
    SettingsView::Pane selected_;
    std::vector<PressButton*> rows_;
    QLabel* footer_ = nullptr;
    int badge_ = 0;
    AnimatedRect highlight_;
    bool gliding_ = false;
    RefreshGate refreshGate_{this, [this] { refresh(); }};
};
