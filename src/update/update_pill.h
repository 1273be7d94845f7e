#pragma once
// The header's outlined update button. It takes no room until a release is
// pending; then it offers the download (or the restart once staged) and
// opens the update panel. It starts nothing itself.

#include "ui/press_button.h"
#include "ui/refresh_gate.h"
#include "update/update_view_model.h"

class Updater;

class UpdatePill : public PressButton {
    Q_OBJECT

public:
    static constexpr double radius = 6;
    static constexpr int height = 22;

    explicit UpdatePill(Updater& updater, QWidget* parent = nullptr);

    const std::optional<UpdateViewModel::PillForm>& form() const { return form_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refresh();

    Updater& updater_;
    std::optional<UpdateViewModel::PillForm> form_;
    RefreshGate refreshGate_{this, [this] { refresh(); }};
};
