#pragma once
// The settings window's sidebar: the word-mark, one row per pane with the
// muted count on its row, and the footer. The selection highlight glides
// between rows on the layout spring.

#include "platform/defaults.h"
#include "settings/settings_view.h"
#include "ui/animation.h"
#include "ui/refresh_gate.h"

#include <QFont>
#include <QWidget>

#include <functional>
#include <vector>

class PressButton;
class QLabel;
class ResetNotice;

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
    // The footer's whole text; a long path in it is drawn cut in the middle.
    QString footerText() const;
    // The footer: changes save on their own, or why the last one did not.
    static QString footerText(Defaults::Failure failure, const QString& file);
    // The same with the path it names cut in the middle to fit `width`.
    static QString footerText(Defaults::Failure failure, const QString& file, double width);
    // The word that the settings were reset, while it shows; else none.
    ResetNotice* resetNotice() const;
    // The word that the incident log was set aside, while it shows.
    ResetNotice* incidentsNotice() const;

    // How a row's title and count share the `box` right of its symbol: the
    // count keeps its width at the right end, and the title takes the rest,
    // a little smaller when it would not fit, and is cut only when even
    // that fails. `font` is the title's font at its full size.
    struct RowText {
        QRectF title, count;
        QFont font;
        QString shown; // the title as drawn
    };
    static RowText rowText(const QRectF& box, const QFont& font, const QString& title, const QString& count);
    // The rows' title font and the box right of the symbol.
    static QFont rowFont();
    static QRectF rowTextBox();

protected:
    // ↑ and ↓ choose the pane above or below the selected one, and the
    // keyboard goes with it; at either end nothing moves.
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void refresh();
    void hideNotice(ResetNotice* notice);
    QRectF target() const;
    void settle();

    Monitor& monitor_;
    std::function<void(SettingsView::Pane)> choose_;
    SettingsView::Pane selected_;
    std::vector<PressButton*> rows_;
    QLabel* footer_ = nullptr;
    QString footerWhole_;
    ResetNotice* notice_ = nullptr;
    ResetNotice* incidentsNotice_ = nullptr;
    int badge_ = 0;
    AnimatedRect highlight_;
    bool gliding_ = false;
    RefreshGate refreshGate_{this, [this] { refresh(); }};
};
