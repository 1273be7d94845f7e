#pragma once
// The fixed dark palette and the heat ramp that colours a load.

#include <QBrush>
#include <QColor>

namespace Theme {

// Surfaces from darkest to lightest.
const QColor& bg();
const QColor& panel();
const QColor& raised();
// Hairlines and borders.
const QColor& line();
// Text in three strengths.
const QColor& text();
const QColor& dim();
const QColor& faint();
// One accent per kind of figure.
const QColor& cpu();
const QColor& mem();
const QColor& net();
const QColor& disk();
// The two severities.
const QColor& warn();
const QColor& crit();

// Green up to 0.55, yellow at 0.8, red at 1 and beyond; below 0 and not a
// number count as idle.
QColor heat(double load);

// `color` at an opacity from 0 to 1.
QColor withAlpha(QColor color, double alpha);

// One colour as a two-stop gradient. Qt's raster engine hands long runs of
// solid-colour spans to its thread pool and waits for them, which costs more
// in wake-ups than the drawing itself; a gradient stays on this thread.
QBrush flatBrush(const QColor& color);

} // namespace Theme
