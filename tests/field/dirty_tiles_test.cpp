#include "field/dirty_tiles.h"
#include "field/dot_sprites.h"

#include <QImage>
#include <QPainter>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

// The tiles a rectangle touches on the canvas, the slow way.
QRegion tilesOf(const QRectF& rect, QSize canvas)
{
    const QRectF r = rect.intersected(QRectF(QPointF(), QSizeF(canvas)));
    if (r.isEmpty())
        return {};
    const int t = DirtyTiles::tile;
    const int left = int(std::floor(r.left())) / t * t;
    const int top = int(std::floor(r.top())) / t * t;
    const int right = (int(std::ceil(r.right())) + t - 1) / t * t;
    const int bottom = (int(std::ceil(r.bottom())) + t - 1) / t * t;
    return QRegion(QRect(left, top, right - left, bottom - top)).intersected(QRect(QPoint(), canvas));
}

} // namespace

TEST(DirtyTiles, GivesBackTheTilesItsRectanglesTouchAsOneRegion)
{
    DirtyTiles tiles;
    tiles.resize(QSize(100, 50)); // the last column and row are cut short
    EXPECT_TRUE(tiles.empty());
    EXPECT_TRUE(tiles.region().isEmpty());
    tiles.add(QRectF(3.5, 3.5, 2, 2));
    tiles.add(QRectF(20, 0, 10, 10));
    tiles.add(QRectF(95, 45, 40, 40));
    tiles.add(QRectF(-30, -30, 10, 10));
    tiles.add(QRectF(std::numeric_limits<double>::quiet_NaN(), 0, 5, 5));
    tiles.add(QRectF(50, 20, 0, 5));
    const QRegion expected = QRegion(0, 0, 8, 8) + QRegion(16, 0, 16, 16) + QRegion(88, 40, 12, 10);
    EXPECT_TRUE((tiles.region() ^ expected).isEmpty());
    EXPECT_TRUE(tiles.intersects(QRectF(7, 7, 1, 1)));
    EXPECT_FALSE(tiles.intersects(QRectF(8.5, 8.5, 5, 5)));
    EXPECT_EQ(tiles.bounds(QRectF(0, 0, 40, 12)), QRectF(0, 0, 32, 12));
    EXPECT_TRUE(tiles.bounds(QRectF(40, 20, 10, 10)).isEmpty());
    EXPECT_FALSE(tiles.full());
    // Runs on a row, counted within the rectangle: a run it enters partway
    // counts, one it does not reach does not.
    EXPECT_EQ(tiles.runs(QRectF(0, 0, 40, 8)), 2);
    EXPECT_EQ(tiles.runs(QRectF(20, 0, 20, 16)), 1);
    EXPECT_EQ(tiles.runs(QRectF(0, 0, 100, 50)), 2);
    EXPECT_EQ(tiles.runs(QRectF(40, 20, 10, 10)), 0);

    // A frame marks its border, not the middle.
    tiles.clear();
    EXPECT_TRUE(tiles.empty());
    tiles.addFrame(QRectF(10, 10, 60, 36), QRectF(26, 18, 30, 20));
    EXPECT_TRUE(tiles.intersects(QRectF(12, 12, 1, 1)));
    EXPECT_FALSE(tiles.intersects(QRectF(33, 25, 14, 6)));

    tiles.add(QRectF(0, 0, 100, 50));
    EXPECT_TRUE(tiles.full());
    EXPECT_TRUE((tiles.region() ^ QRegion(0, 0, 100, 50)).isEmpty());
}

TEST(DirtyTiles, ScatteredDotsMakeTheSameRegionAsTheirTiles)
{
    QRandomGenerator random(7);
    const QSize canvas(403, 301);
    DirtyTiles tiles;
    tiles.resize(canvas);
    QRegion expected;
    for (int i = 0; i < 300; ++i) {
        const auto between = [&](double low, double high) { return low + random.bounded(high - low); };
        const QRectF dot(between(-20, 420), between(-20, 320), between(0.5, 9), between(0.5, 9));
        tiles.add(dot);
        expected += tilesOf(dot, canvas);
    }
    const QRegion region = tiles.region();
    EXPECT_TRUE((region ^ expected).isEmpty());
    // In bands, as a region keeps them: a band's rectangles share their rows.
    for (const QRect& r : region)
        for (const QRect& o : region)
            if (r != o && r.intersects(o))
                ADD_FAILURE() << "overlapping rectangles";
}

TEST(DotSprites, PlaceADotWithinASixteenthOfAPixel)
{
    const DotSprites::Place at = DotSprites::place(QPointF(10.3, 20.97), 1.3);
    EXPECT_EQ(at.topLeft, QPoint(8, 18));
    EXPECT_EQ(at.phaseX, 4);
    EXPECT_EQ(at.phaseY, 15);
    const QPointF centre = QPointF(at.topLeft) + DotSprites::centreIn(1.3, at.phaseX, at.phaseY);
    EXPECT_NEAR(centre.x(), 10.3, 1.0 / 32);
    EXPECT_NEAR(centre.y(), 20.97, 1.0 / 32);

    // A copied dot looks like a filled one, at the painter's opacity.
    const QColor color = QColor::fromRgbF(0.3f, 0.7f, 1.0f, 0.6f);
    DotSprites sprites;
    for (const QPointF c : {QPointF(6.2, 7.9), QPointF(9.5, 5.03), QPointF(12.99, 12.01)}) {
        QImage filled(20, 20, QImage::Format_ARGB32_Premultiplied);
        QImage copied(20, 20, QImage::Format_ARGB32_Premultiplied);
        filled.fill(Qt::black);
        copied.fill(Qt::black);
        QPainter f(&filled);
        f.setRenderHint(QPainter::Antialiasing);
        f.setPen(Qt::NoPen);
        f.setBrush(color);
        f.setOpacity(0.7);
        f.drawEllipse(c, 1.3, 1.3);
        f.end();
        QPainter s(&copied);
        s.setOpacity(0.7);
        sprites.draw(s, color, 1.3, c);
        s.end();
        int lit = 0;
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 20; ++x) {
                const QColor a = filled.pixelColor(x, y);
                const QColor b = copied.pixelColor(x, y);
                EXPECT_LE(std::abs(a.blue() - b.blue()), 8) << x << "," << y;
                EXPECT_LE(std::abs(a.green() - b.green()), 8) << x << "," << y;
                lit += a.blue() > 0;
            }
        EXPECT_GE(lit, 4);
    }
}
