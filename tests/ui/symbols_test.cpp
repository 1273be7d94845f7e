// Every symbol the interface names really draws: a glyph of the icon font or
// a path of our own, with ink in its box, distinct from the fallback mark.

#include "ui/fonts.h"
#include "ui/symbols.h"

#include <QImage>
#include <QPainter>
#include <QPixmap>

#include <gtest/gtest.h>

#include <cmath>

namespace {

// Every symbol name the interface's design uses.
const char* const designNames[] = {
    "arrow.clockwise", "arrow.down", "arrow.up", "arrow.up.right", "bell.slash", "bolt.fill",
    "bubble.left.and.text.bubble.right", "checkmark", "chevron.down", "chevron.left",
    "chevron.right", "circle.hexagongrid", "doc.on.doc", "door.left.hand.open",
    "exclamationmark.triangle.fill", "folder", "gearshape", "globe", "info.circle", "list.bullet",
    "magnifyingglass", "pause.fill", "play.fill", "point.3.connected.trianglepath.dotted",
    "slider.horizontal.3", "stop.fill", "waveform.path.ecg", "xmark", "xmark.circle.fill",
};

QImage render(QStringView name, double size, QFont::Weight weight = QFont::Normal)
{
    QImage image(int(std::ceil(size)) + 4, int(std::ceil(size)) + 4, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    Symbols::draw(painter, QRectF(2, 2, size, size), name, Qt::black, weight);
    return image;
}

// Summed coverage, in pixels.
double ink(const QImage& image)
{
    double sum = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            sum += qAlpha(image.pixel(x, y)) / 255.0;
    return sum;
}

// The smallest rectangle holding every pixel of noticeable coverage.
QRect inkBounds(const QImage& image)
{
    QRect bounds;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) > 40)
                bounds |= QRect(x, y, 1, 1);
    return bounds;
}

} // namespace

TEST(Symbols, EveryDesignNameDrawsItsOwnInkAtEverySize)
{
    ASSERT_TRUE(Symbols::fontInstalled()) << "fonts-material-design-icons-iconfont is missing";
    const QImage fallback = render(u"no.such.symbol", 24);
    QStringList seen;
    for (const char* raw : designNames) {
        const QString name = QString::fromLatin1(raw);
        seen << name;
        EXPECT_TRUE(Symbols::has(name)) << raw;
        for (double size : {7.0, 8.5, 12.0, 24.0}) {
            const QImage image = render(name, size);
            // A glyph fills a fair part of its box, never nothing.
            EXPECT_GT(ink(image), size * size * 0.08) << raw << " at " << size;
            const QRect bounds = inkBounds(image);
            EXPECT_GE(std::max(bounds.width(), bounds.height()), size * 0.7) << raw << " at " << size;
            EXPECT_LE(std::max(bounds.width(), bounds.height()), size + 2) << raw << " at " << size;
        }
        EXPECT_NE(render(name, 24), fallback) << raw << " draws the fallback mark";
    }
    // The table holds nothing the design does not name, so it cannot rot.
    seen.sort();
    EXPECT_EQ(Symbols::names(), seen);
}

TEST(Symbols, DistinctNamesDrawDistinctGlyphs)
{
    const QStringList names = Symbols::names();
    for (qsizetype i = 0; i < names.size(); ++i)
        for (qsizetype j = i + 1; j < names.size(); ++j)
            EXPECT_NE(render(names[i], 16), render(names[j], 16)) << qPrintable(names[i]) << " "
                                                                  << qPrintable(names[j]);
}

TEST(Symbols, UnknownNamesDrawAVisibleFallbackMark)
{
    EXPECT_FALSE(Symbols::has(u"no.such.symbol"));
    EXPECT_FALSE(Symbols::has(u""));
    EXPECT_FALSE(Symbols::has(u"checkmark.")); // near misses are not found
    EXPECT_EQ(Symbols::codepoint(u"no.such.symbol"), 0u);
    const QImage mark = render(u"no.such.symbol", 16);
    EXPECT_GT(ink(mark), 16 * 16 * 0.2);
    EXPECT_EQ(render(u"another.unknown", 16), mark);
    EXPECT_FALSE(Symbols::path(u"").isEmpty());
}

TEST(Symbols, WeightThickensTheGlyphWithinItsBox)
{
    const double regular = ink(render(u"chevron.down", 16));
    const double semibold = ink(render(u"chevron.down", 16, QFont::DemiBold));
    const double bold = ink(render(u"chevron.down", 16, QFont::Bold));
    EXPECT_GT(semibold, regular * 1.1);
    EXPECT_GT(bold, semibold);
    // Lighter weights cannot be drawn thinner than the font's only cut.
    EXPECT_EQ(render(u"chevron.down", 16, QFont::Light), render(u"chevron.down", 16));
    const QRect bounds = inkBounds(render(u"xmark", 16, QFont::Black));
    EXPECT_TRUE(QRect(1, 1, 18, 18).contains(bounds)) << bounds.x() << "," << bounds.y() << " "
                                                      << bounds.width() << "x" << bounds.height();
}

TEST(Symbols, PixmapsAreCachedPerNameSizeColourWeightAndRatio)
{
    const QPixmap a = Symbols::pixmap(u"gearshape", 11, Qt::white, QFont::Medium, 2);
    EXPECT_EQ(a.cacheKey(), Symbols::pixmap(u"gearshape", 11, Qt::white, QFont::Medium, 2).cacheKey());
    EXPECT_NE(a.cacheKey(), Symbols::pixmap(u"gearshape", 11, Qt::red, QFont::Medium, 2).cacheKey());
    EXPECT_NE(a.cacheKey(), Symbols::pixmap(u"gearshape", 11, Qt::white, QFont::Bold, 2).cacheKey());
    EXPECT_EQ(a.width(), 22);
    EXPECT_EQ(a.devicePixelRatio(), 2);
    // Fractional sizes round the bitmap up, not the glyph.
    EXPECT_EQ(Symbols::pixmap(u"gearshape", 7.5, Qt::white).width(), 8);
    EXPECT_TRUE(Symbols::pixmap(u"gearshape", 0, Qt::white).isNull());
    EXPECT_TRUE(Symbols::pixmap(u"gearshape", std::nan(""), Qt::white).isNull());
    EXPECT_TRUE(Symbols::pixmap(u"gearshape", 12, Qt::white, QFont::Normal, 0).isNull());
}

TEST(Symbols, RotatedDrawingMatchesTheCachedGlyphTurned)
{
    // A chevron turned a quarter draws as a path: pointing down becomes
    // pointing left, like chevron.left.
    QImage turned(20, 20, QImage::Format_ARGB32_Premultiplied);
    turned.fill(Qt::transparent);
    {
        QPainter painter(&turned);
        painter.translate(10, 10);
        painter.rotate(90);
        Symbols::draw(painter, QRectF(-8, -8, 16, 16), u"chevron.down", Qt::black);
    }
    QImage left(20, 20, QImage::Format_ARGB32_Premultiplied);
    left.fill(Qt::transparent);
    {
        QPainter painter(&left);
        Symbols::draw(painter, QRectF(2, 2, 16, 16), u"chevron.left", Qt::black);
    }
    EXPECT_NEAR(ink(turned), ink(left), ink(left) * 0.15);
    const QRect a = inkBounds(turned), b = inkBounds(left);
    EXPECT_NEAR(a.center().x(), b.center().x(), 1.5);
    EXPECT_NEAR(a.center().y(), b.center().y(), 1.5);
}

// Not a check: writes every symbol with its name to the PNG named by
// TAVRIN_SYMBOL_SHEET, for a person to look at.
TEST(Symbols, SheetForReview)
{
    const QByteArray target = qgetenv("TAVRIN_SYMBOL_SHEET");
    if (target.isEmpty())
        GTEST_SKIP() << "set TAVRIN_SYMBOL_SHEET=/tmp/symbols.png to write the sheet";
    const QStringList names = Symbols::names() << QStringLiteral("no.such.symbol");
    const int rowHeight = 34, columns = 2, columnWidth = 520;
    QImage sheet(columns * columnWidth, int((names.size() + columns - 1) / columns) * rowHeight + 8,
                 QImage::Format_ARGB32_Premultiplied);
    sheet.fill(QColor(0x0C, 0x0F, 0x12));
    QPainter painter(&sheet);
    painter.setFont(Fonts::font(12, QFont::Medium));
    for (qsizetype i = 0; i < names.size(); ++i) {
        const double x = double(i % columns) * columnWidth + 8;
        const double y = double(i / columns) * rowHeight + 8;
        double left = x;
        for (double size : {8.0, 11.0, 16.0, 24.0}) {
            Symbols::draw(painter, QRectF(left, y + (24 - size) / 2, size, size), names[i],
                          QColor(0xE9, 0xED, 0xF0), size < 12 ? QFont::Bold : QFont::Normal);
            left += size + 10;
        }
        painter.setPen(QColor(0x8B, 0x95, 0xA1));
        painter.drawText(QRectF(left + 6, y, columnWidth - (left - x), 24), Qt::AlignVCenter, names[i]);
    }
    painter.end();
    ASSERT_TRUE(sheet.save(QString::fromLocal8Bit(target)));
}
