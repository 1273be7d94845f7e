#pragma once
// The one-pixel line of a figure's recent values, newest at the right, on a
// fixed 60-point time axis, so a short history grows in from the right. The
// floor keeps small values small instead of filling the height.

#include <QPainterPath>
#include <QRectF>

#include <span>

// Callers pass at most `sparkPoints` values and a positive floor.
constexpr int sparkPoints = 60;
QPainterPath sparkPath(std::span<const double> values, double floor, const QRectF& rect);
