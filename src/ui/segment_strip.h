#pragma once
// A row of buttons on one rounded ground with a hairline border drawn
// inside it: the toolbar's mode switch and the settings' segmented pickers.
// Subclasses paint what lies between the ground and the border (the
// selection) in paintBetween().

#include <QColor>
#include <QWidget>

class QHBoxLayout;
class QPainter;

class SegmentStrip : public QWidget {
    Q_OBJECT

public:
    static constexpr double spacing = 2; // between items
    static constexpr double inset = 2;   // around the row of items

    QHBoxLayout* row() const { return row_; }
    double radius() const { return radius_; }

    // The ground's corner radius for a box: capped at half its height, so an
    // infinite radius gives a capsule.
    static double cornerRadius(double radius, double height);

protected:
    SegmentStrip(double radius, const QColor& ground, QWidget* parent = nullptr);

    virtual void paintBetween(QPainter& painter);
    void paintEvent(QPaintEvent* event) override;

private:
    double radius_;
    QColor ground_;
    QHBoxLayout* row_;
};
