#pragma once
// The on/off capsule of the settings. It shows its binding and flips it on
// a click; the knob slides, and the colours follow it, on the press release
// spring (no overshoot under reduce motion).

#include "ui/animation.h"
#include "ui/binding.h"
#include "ui/press_button.h"

class Switch : public PressButton {
    Q_OBJECT

public:
    static constexpr double trackWidth = 34;
    static constexpr double trackHeight = 20;
    static constexpr double knobSize = 14;
    static constexpr double knobMargin = 3;

    explicit Switch(Binding<bool> isOn, QWidget* parent = nullptr);

    // The value shown, as last read from the binding.
    bool isOn() const { return on_; }
    // Reads the binding again; a change slides the knob.
    void sync();
    // Where the knob is, 0 off to 1 on (overshooting a little in between).
    double knob() const { return knob_.value(); }
    bool moving() const { return knob_.moving(); }

    // The knob's spring: quick × 1.5, damping 0.72 (1 under reduce motion).
    static Animation spring(bool reduceMotion);

protected:
    QSizeF labelSize() const override;
    void paintLabel(QPainter& painter, const QRectF& box, const QColor& color) override;
    void hideEvent(QHideEvent* event) override;

private:
    void flip();
    void present(bool on, bool animated);
    void settle();

    Binding<bool> binding_;
    bool on_ = false;
    AnimatedValue knob_{0};
};
