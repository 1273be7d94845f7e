#pragma once
// The floating update card: What's New for the version just installed, or
// the live face of the updater (checking, a new version and its notes,
// download progress, verification, installation, failure, up to date). It
// follows the updater's fields while open; its buttons call download(),
// install() and retry() or close it. Closing stops nothing.

#include "ui/refresh_gate.h"
#include "update/update_view_model.h"
#include "update/updater.h"

#include <QWidget>

class PressButton;
class QLabel;
class QVBoxLayout;

class UpdatePanel : public QWidget {
    Q_OBJECT

public:
    static constexpr int width = 520;
    static constexpr double radius = 12;

    UpdatePanel(Updater& updater, const Updater::Panel& panel, QWidget* parent = nullptr);

    const Updater::Panel& panel() const { return panel_; }
    const UpdateViewModel::Footer& footer() const { return footer_; }
    QString kickerText() const;
    // The primary button of the footer, when it has one.
    PressButton* primaryButton() const { return primary_; }
    // Clears the updater's panel.
    void dismiss();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void rebuild();
    void refresh();
    void act(UpdateViewModel::PanelAction::Kind kind);
    QWidget* buildHeader();
    QWidget* buildNotes(const Release& release);
    QWidget* buildFooter();
    bool escape();

    Updater& updater_;
    Updater::Panel panel_;
    UpdateViewModel::Footer footer_;
    std::optional<Release> shown_;
    QString kicker_;
    QVBoxLayout* column_ = nullptr;
    QWidget* header_ = nullptr;
    PressButton* primary_ = nullptr;
    QWidget* bar_ = nullptr;
    QLabel* percent_ = nullptr;
    RefreshGate refreshGate_{this, [this] { refresh(); }};
};
