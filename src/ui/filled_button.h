#pragma once
// A press button on a filled rounded rectangle, optionally edged: the
// accent buttons of the tour and the panes, and the tour's square Back
// button.

#include "ui/press_button.h"

#include <QColor>

#include <optional>

class FilledButton : public PressButton {
    Q_OBJECT

public:
    FilledButton(PressStyle style, const QColor& fill, std::optional<QColor> edge = std::nullopt,
                 QWidget* parent = nullptr);

    QColor fill() const { return fill_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor fill_;
    std::optional<QColor> edge_;
};
