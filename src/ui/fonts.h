#pragma once
// The kit's two faces and the one way to ask for a font. Sizes are screen
// pixels, never points, so a font looks the same whatever DPI the desktop
// reports; high-DPI screens scale them through the device pixel ratio.

#include <QFont>
#include <QString>
#include <QStringList>

class QFontMetrics;
class QFontMetricsF;

namespace Fonts {

// The interface face and the monospaced one (figures, counts, times).
enum class Face { ui, mono };
// The design's widths. Inter has no condensed or expanded cuts, so these
// become a horizontal stretch of the regular cut.
enum class Width { standard, condensed, expanded };

// Families as installed: Inter and JetBrains Mono, each followed by
// WenQuanYi Micro Hei for Chinese. A face that is missing falls back to the
// desktop's general or fixed font. Resolved once per process; needs the
// application object.
QStringList families(Face face);
bool installed(Face face);

// The stretch factor (percent) of a width.
int stretch(Width width);

// Pixel sizes are whole numbers in Qt; a design size such as 9.5 rounds
// up, never below what the design asked for. At least 1.
int pixelSize(double size);

// A font of `size` pixels. `tracking` is extra space after each character,
// in pixels. `monospacedDigits` gives digits of equal width: Inter's "tnum"
// feature where Qt can switch it on (6.6 on); older Qt sets the whole text
// in the monospaced face instead, whose digits are equal by nature.
QFont font(double size, QFont::Weight weight = QFont::Normal, Face face = Face::ui,
           Width width = Width::standard, double tracking = 0, bool monospacedDigits = false);

// The heavy weight: Inter's 800 cut. Black (900) is a step further and is
// not used.
constexpr QFont::Weight heavy = QFont::ExtraBold;

// The product's name as a word-mark, "TAVRIN" in the heavy weight at the
// expanded width. The header, the settings sidebar and the tour draw it at
// their own sizes and trackings, always in this face.
QString wordMarkText();
QFont wordMark(double size, double tracking);

// Shorthand for the monospaced face.
inline QFont mono(double size, QFont::Weight weight = QFont::Normal, double tracking = 0)
{
    return font(size, weight, Face::mono, Width::standard, tracking);
}

// The scale, between `minimumScale` and 1, at which text `naturalWidth`
// wide fits `available`. Text that fits keeps 1; text that cannot fit even
// at the minimum gets the minimum (it is elided after that).
double fitScale(double naturalWidth, double available, double minimumScale);

// One line of text fitted to a width: first shrunk (in whole pixel sizes,
// never below `minimumScale` of the font's size), then elided with `mode`.
struct Fitted {
    QFont font;
    QString text;
    double width = 0;

    bool operator==(const Fitted&) const = default;
};
Fitted shrinkToFit(const QString& text, const QFont& font, double available, double minimumScale,
                   Qt::TextElideMode mode = Qt::ElideRight);

// `text` elided to `width` as Qt elides it, less a dot or hyphen left
// beside the ellipsis. Every cut the interface draws goes through here.
QString elided(const QFontMetricsF& metrics, const QString& text, Qt::TextElideMode mode, double width);
QString elided(const QFontMetrics& metrics, const QString& text, Qt::TextElideMode mode, int width);

} // namespace Fonts
