#pragma once
// Named interface symbols ("pause.fill", "chevron.down", …) drawn from the
// Material Icons font, or from a path of our own where no glyph fits. Every
// symbol fills its box the same way whatever its glyph's margins, and a name
// without a glyph still draws something visible. Main thread only.

#include <QColor>
#include <QFont>
#include <QPainterPath>
#include <QPixmap>
#include <QRectF>
#include <QStringList>
#include <QStringView>

class QPainter;

namespace Symbols {

// The font the glyphs come from, and whether it is installed.
QString fontFamily();
bool fontInstalled();

// Whether the table knows the name.
bool has(QStringView name);
// Every name the table knows, sorted.
QStringList names();
// The font codepoint behind a name; 0 for drawn symbols and unknown names.
char32_t codepoint(QStringView name);

// The symbol's outline fitted, aspect kept, into the unit square and
// centred there. An unknown name, or a glyph the font lacks, gives the
// fallback mark (a ringed square with a dot), so nothing draws blank.
QPainterPath path(QStringView name);

// Extra outline width, as a fraction of the symbol's size, that gives the
// glyph the weight; the font has one weight and lighter ones draw regular.
double weightStroke(QFont::Weight weight);

// Draws the symbol centred in `box`, sized to the box's height. Under a
// plain translation it comes from the pixmap cache; under rotation or
// scaling it is drawn as a path.
void draw(QPainter& painter, const QRectF& box, QStringView name, const QColor& color,
          QFont::Weight weight = QFont::Normal);

// The symbol in a square of `size` pixels at a device pixel ratio, cached
// for the life of the process (the cache forgets everything when full).
QPixmap pixmap(QStringView name, double size, const QColor& color,
               QFont::Weight weight = QFont::Normal, qreal dpr = 1);

} // namespace Symbols
