#pragma once
// The tray's picture: one small bar per core, as tall as that core is busy,
// in the theme's text colour while nothing is wrong and in the warning or
// critical colour while the worst open incident is one. Pure: no state, no
// widgets; the tray re-renders it once per intake, and only on a change.

#include "core/incident.h"

#include <QImage>
#include <QString>

#include <optional>
#include <vector>

class QPainter;

namespace MenuGlyph {

inline constexpr double barWidth = 2;
inline constexpr double gap = 1;
inline constexpr double height = 14;
inline constexpr double trackOpacity = 0.28;
// The dark ground around the tray's bars, on each side.
inline constexpr double backing = 2;

// Width of the picture for `count` loads: at least one bar's room.
double width(std::size_t count);
QColor color(std::optional<Severity> alert);

// Draws the bars with their origin at the painter's top-left, in design
// pixels; bars grow upward from the bottom edge.
void paint(QPainter& painter, const std::vector<double>& cores, std::optional<Severity> alert);

// The picture at a device pixel ratio (its size in design pixels stays).
QImage image(const std::vector<double>& cores, std::optional<Severity> alert, double dpr = 1);

// The picture on its dark ground in a square of `side` pixels, as trays
// want it: centred at its own size when it fits, otherwise scaled down
// uniformly to fit.
QImage square(const std::vector<double>& cores, std::optional<Severity> alert, int side);

// The total load as a whole percent, "37%"; "—" for a load that is not a
// number, which has nothing to round.
QString percentText(double cpu);

} // namespace MenuGlyph
