#pragma once
// Which of the field's bubble labels show, and how far each is shortened.
// Bubbles crowd each other when the canvas is small: a label that would
// run into another bubble's label or across another bubble's ring gives
// way, first by shortening with an ellipsis, then by hiding. Larger
// bubbles are placed first and keep theirs: a label gives way to the
// labels and rings of larger bubbles only. Pure geometry, no painting:
// text widths come from a measuring function.

#include <QPointF>
#include <QRectF>
#include <QString>

#include <functional>
#include <vector>

namespace LabelPlacement {

// One line of a bubble's labels, centred on the bubble across.
struct Line {
    QString text;       // whole; empty when the bubble shows none
    double width = 0;   // the whole text's width
    double room = 0;    // the widest it may ever be drawn
    double top = 0;     // its line box, from the bubble's centre down
    double height = 0;
    double size = 0;    // its font's pixel size, for the measure
    // Shortens only between words: a figure cut through would read as
    // another figure.
    bool words = false;

    bool operator==(const Line&) const = default;
};

struct Bubble {
    QPointF centre;
    double radius = 0;
    // 0 for the largest bubble; a lower rank is placed first.
    int rank = 0;
    Line name, value;

    bool operator==(const Bubble&) const = default;
};

// What one bubble shows; an empty text is hidden.
struct Shown {
    QString name, value;
    bool operator==(const Shown&) const = default;
};

// The width of `text` in the font of `line`.
using Measure = std::function<double(const Line& line, const QString& text)>;

// Space kept between two labels on one line, and how far either side of
// its ring another bubble's edge reaches.
constexpr double gap = 4;
constexpr double ringReach = 2.5;
// The fewest characters a shortened name keeps before its ellipsis.
constexpr int fewestKept = 3;

// Per bubble, in the order given. Labels keep inside `bounds` and off the
// boxes `taken` by other texts.
std::vector<Shown> place(const std::vector<Bubble>& bubbles, const QRectF& bounds,
                         const std::vector<QRectF>& taken, const Measure& measure);

// The longest form of `line`'s text no wider than `width`: whole, or cut
// with an ellipsis; empty when none fits.
QString shorten(const Line& line, double width, const Measure& measure);

// Where a shown line lies, on the canvas.
QRectF box(const Bubble& bubble, const Line& line, double width);

} // namespace LabelPlacement
