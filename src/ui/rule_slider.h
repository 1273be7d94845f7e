#pragma once
// The threshold slider of the alert rules: a track, a fill in the rule's
// colour, a mark at the default, a dot at the machine's current peak and a
// knob. A press or drag anywhere on it writes the snapped value under the
// pointer; the knob grows and glows while held.

#include "ui/animation.h"
#include "ui/binding.h"

#include <QColor>
#include <QWidget>

#include <optional>

class RuleSlider : public QWidget {
    Q_OBJECT

public:
    struct Range {
        double lower = 0;
        double upper = 1;
        bool operator==(const Range&) const = default;
    };

    static constexpr double height = 26;
    static constexpr double knobSize = 14;
    static constexpr double heldKnobSize = 16;
    static constexpr double margin = knobSize / 2; // the track's ends

    RuleSlider(Binding<double> value, Range range, double step, double fallback,
               std::optional<double> live, const QColor& color, QWidget* parent = nullptr);

    // Where a value sits on the track, 0 to 1, clamped to the range.
    static double position(double value, Range range);
    // The value written for a pointer at `x` on a slider `width` wide:
    // snapped to whole multiples of `step` (counted from zero, halves away
    // from zero), then clamped to the range.
    static double valueAt(double x, double width, Range range, double step);

    double value() const { return value_; }
    bool dragging() const { return dragging_; }
    const std::optional<double>& live() const { return live_; }
    void setLive(const std::optional<double>& live);
    // Reads the binding again; a change from outside glides the knob.
    void sync();
    bool moving() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void drag(double x);
    void setDragging(bool dragging);
    void animate();
    void settle();

    Binding<double> binding_;
    Range range_;
    double step_;
    double fallback_;
    std::optional<double> live_;
    QColor color_;
    double value_ = 0;
    bool dragging_ = false;
    // The knob's place (0 to 1 of the track), size and glow, and the live
    // dot's place.
    AnimatedValue knob_{0};
    AnimatedValue size_{knobSize};
    AnimatedValue glow_{0};
    AnimatedValue liveAt_{0};
};
