#pragma once
// Tavrin's emblem at rest: a dial of sixteen ticks round a core, with the
// two soft beams where the welcome tour's sweep leaves them. The welcome
// logo animates its way to this state; the application's icon is this
// state on the tour's dark ground. Geometry is on a grid of 64 units
// across, y growing downward, angles clockwise from straight up.

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QString>

#include <array>

class QPainter;
class QRectF;

namespace Emblem {

inline constexpr int tickCount = 16;
// The grid: the emblem is 64 units across.
inline constexpr double units = 64;
// The dial, beams and ticks together, is turned as a whole.
inline constexpr double dialDegrees = 35;
inline constexpr double innerRadius = 18;   // every tick's inner end
inline constexpr double tickWidth = 3.2;    // round-capped strokes
inline constexpr double coreRadius = 6;
// A beam: a wedge from the centre to this radius, this half-wide at its
// end, fading out towards the gradient's end.
inline constexpr double beamReach = 29;
inline constexpr double beamHalfWidth = 2.4;
inline constexpr double beamFadeEnd = 31;
inline constexpr double beamOpacity = 0.55;

QColor mint();
QColor idle();

// Paints the two beams at the painter's origin, along its y axis and the
// opposite way, `u` pixels a unit, at `opacity`. Leaves the painter's
// opacity at `opacity`.
void paintBeams(QPainter& painter, double u, double opacity);

// How many steps tick `index` is from the nearer of ticks 0 and 8: 0 for
// those two, 1 for their neighbours (the principal ticks), up to 4.
int tickClass(int index);

// The resting colour of tick `index` (reduced modulo 8, never negative):
// ticks 0 and 8 mint, their neighbours mint at 0.7, the rest idle.
QColor finalColor(int index);
// The tick's outer end at rest, in units from the centre.
double restingOuter(int index);

// The application's icon: the emblem at rest on a rounded plate of the
// tour's ground, in the edges a Linux desktop asks for.
inline constexpr std::array<int, 8> iconSizes{16, 22, 24, 32, 48, 64, 128, 256};
inline constexpr double plateRadius = 14; // units
inline constexpr double plateEdge = 1;    // units, the line colour

// Paints the icon into the square `box`.
void paintIcon(QPainter& painter, const QRectF& box);
// The icon at `edge` × `edge` pixels, transparent round the plate.
QImage iconImage(int edge);
// Every size of iconSizes, made once.
QIcon appIcon();
// The same icon as SVG text, for desktops that scale it themselves.
QString iconSvg();

} // namespace Emblem
