#pragma once
// The press styles' wash for rows that are not buttons (the rows of the
// tray panel, the inspector, the network views and the incident
// drawer): a faint wash under the pointer and, when the row has an action,
// a stronger one from the moment the button goes down until it comes up. A
// click on the row runs the action once.

#include "ui/animation.h"

#include <QPointer>
#include <QWidget>

#include <functional>

class RowFeedback : public QWidget {
    Q_OBJECT

public:
    // Gives `row` the feedback: an overlay that paints the wash over the
    // row's content and takes no pointer events, owned by the row. Without
    // an action the row shows only the hover wash.
    static RowFeedback* apply(QWidget* row, double radius, std::function<void()> action = {});

    // White at this opacity: pressed 0.07, hover 0.035, else 0; the press
    // amount wins over the hover amount.
    static double washOpacity(double hover, double press);

    bool hovering() const { return hovering_; }
    bool pressed() const { return pressed_; }
    double radius() const { return radius_; }
    // The opacity drawn now.
    double currentWash() const { return washOpacity(hover_.value(), press_.value()); }
    bool animating() const { return hover_.moving() || press_.moving(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    RowFeedback(QWidget* row, double radius, std::function<void()> action);
    void setHovering(bool hovering);
    void setPressed(bool pressed);
    void animate();
    void settle();

    QWidget* row_;
    double radius_;
    std::function<void()> action_;
    bool hovering_ = false;
    bool pressed_ = false;
    AnimatedValue hover_{0};
    AnimatedValue press_{0};
};

inline RowFeedback* rowFeedback(QWidget* row, double radius, std::function<void()> action = {})
{
    return RowFeedback::apply(row, radius, std::move(action));
}

// Shows the pointing-hand cursor while the pointer is over `view`. The
// toolkit keeps a cursor per widget, so nothing is left pushed when the view
// is hidden or destroyed under the pointer.
void linkCursor(QWidget* view);
