#pragma once
// A capsule toggle of the network views' headers: filled in the network
// colour while on, an outlined panel capsule while off, the change eased
// over Motion::quick. Pressing it only reports the click; the owner sets
// the state.

#include "ui/animation.h"
#include "ui/press_button.h"

class Chip : public PressButton {
    Q_OBJECT

public:
    static constexpr double height = 21;
    static constexpr int padding = 9;

    Chip(const QString& title, QWidget* parent = nullptr);

    bool on() const { return on_; }
    void setOn(bool on, bool animated = true);
    // 0 off, 1 on, as drawn now.
    double onAmount() const { return amount_.value(); }

    // The capsule's fill, border and text at an on amount.
    static QColor fill(double amount);
    static QColor border(double amount);
    static QColor textColor(double amount);

protected:
    void paintLabel(QPainter& painter, const QRectF& box, const QColor& color) override;
    void hideEvent(QHideEvent* event) override;

private:
    bool on_ = false;
    AnimatedValue amount_{0};
};
