#include "ui/fonts.h"

#include "core/fmt.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QFontMetricsF>

#include <algorithm>
#include <cmath>

namespace Fonts {

namespace {

const QString uiFamily = QStringLiteral("Inter");
const QString monoFamily = QStringLiteral("JetBrains Mono");
const QString chineseFamily = QStringLiteral("WenQuanYi Micro Hei");

struct Resolved {
    QStringList ui, mono;
    bool uiInstalled = false, monoInstalled = false;
};

const Resolved& resolved()
{
    static const Resolved value = [] {
        Resolved r;
        r.uiInstalled = QFontDatabase::hasFamily(uiFamily);
        r.monoInstalled = QFontDatabase::hasFamily(monoFamily);
        r.ui << (r.uiInstalled ? uiFamily
                               : QFontDatabase::systemFont(QFontDatabase::GeneralFont).family());
        r.mono << (r.monoInstalled ? monoFamily
                                   : QFontDatabase::systemFont(QFontDatabase::FixedFont).family());
        // Named explicitly so Chinese text never depends on fontconfig's
        // choice of fallback, which may be a bitmap face.
        if (QFontDatabase::hasFamily(chineseFamily)) {
            r.ui << chineseFamily;
            r.mono << chineseFamily;
        }
        return r;
    }();
    return value;
}

} // namespace

QStringList families(Face face)
{
    return face == Face::mono ? resolved().mono : resolved().ui;
}

bool installed(Face face)
{
    return face == Face::mono ? resolved().monoInstalled : resolved().uiInstalled;
}

int stretch(Width width)
{
    // Gentler than QFont::Condensed (75) and Expanded (125): the stretch is
    // synthesised from the regular cut, and strong factors distort its stems.
    switch (width) {
    case Width::condensed:
        return QFont::SemiCondensed;
    case Width::expanded:
        return QFont::SemiExpanded;
    case Width::standard:
        break;
    }
    return QFont::Unstretched;
}

int pixelSize(double size)
{
    if (!std::isfinite(size) || size < 1)
        return 1;
    return static_cast<int>(std::min(std::ceil(size - 1e-9), 4096.0));
}

QFont font(double size, QFont::Weight weight, Face face, Width width, double tracking,
           bool monospacedDigits)
{
    QFont f;
#if QT_VERSION >= QT_VERSION_CHECK(6, 6, 0)
    f.setFamilies(families(face));
    if (monospacedDigits)
        f.setFeature(QFont::Tag("tnum"), 1);
#else
    f.setFamilies(families(monospacedDigits ? Face::mono : face));
#endif
    f.setPixelSize(pixelSize(size));
    f.setWeight(weight);
    f.setStretch(stretch(width));
    if (tracking != 0 && std::isfinite(tracking))
        f.setLetterSpacing(QFont::AbsoluteSpacing, tracking);
    f.setStyleStrategy(QFont::PreferAntialias);
    return f;
}

QString wordMarkText()
{
    return QStringLiteral("TAVRIN");
}

QFont wordMark(double size, double tracking)
{
    return font(size, heavy, Face::ui, Width::expanded, tracking);
}

namespace {

double floorOf(double minimumScale)
{
    return std::isfinite(minimumScale) ? std::clamp(minimumScale, 0.0, 1.0) : 1.0;
}

} // namespace

double fitScale(double naturalWidth, double available, double minimumScale)
{
    const double floor = floorOf(minimumScale);
    if (!(naturalWidth > available))
        return 1;
    if (!(available > 0) || !std::isfinite(naturalWidth))
        return floor;
    return std::clamp(available / naturalWidth, floor, 1.0);
}

namespace {

QFont scaled(const QFont& font, int pixels, int base)
{
    QFont f = font;
    f.setPixelSize(pixels);
    if (font.letterSpacingType() == QFont::AbsoluteSpacing && font.letterSpacing() != 0)
        f.setLetterSpacing(QFont::AbsoluteSpacing, font.letterSpacing() * pixels / base);
    return f;
}

} // namespace

Fitted shrinkToFit(const QString& text, const QFont& font, double available, double minimumScale,
                   Qt::TextElideMode mode)
{
    const double natural = QFontMetricsF(font).horizontalAdvance(text);
    if (natural <= available || text.isEmpty())
        return {font, text, natural};

    const int base = font.pixelSize() > 0 ? font.pixelSize() : QFontInfo(font).pixelSize();
    const double scale = fitScale(natural, available, minimumScale);
    const int least = std::max(1, static_cast<int>(std::ceil(base * scale - 1e-9)));
    const int smallest =
        std::min(base, std::max(1, static_cast<int>(std::ceil(base * floorOf(minimumScale) - 1e-9))));

    // Widths do not scale exactly with the size (hinting, spacing), so the
    // estimate is only where the search starts.
    QFont best = font;
    double width = natural;
    for (int pixels = std::min(least, base); pixels >= smallest; --pixels) {
        best = scaled(font, pixels, base);
        width = QFontMetricsF(best).horizontalAdvance(text);
        if (width <= available)
            return {best, text, width};
    }
    const QFontMetricsF metrics(best);
    const QString cut = elided(metrics, text, mode, std::max(0.0, available));
    return {best, cut, metrics.horizontalAdvance(cut)};
}

QString elided(const QFontMetricsF& metrics, const QString& text, Qt::TextElideMode mode, double width)
{
    const QString shown = metrics.elidedText(text, mode, width);
    return shown == text ? shown : Fmt::tidyCut(shown);
}

QString elided(const QFontMetrics& metrics, const QString& text, Qt::TextElideMode mode, int width)
{
    const QString shown = metrics.elidedText(text, mode, width);
    return shown == text ? shown : Fmt::tidyCut(shown);
}

} // namespace Fonts
