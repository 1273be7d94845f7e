#include "field/reactor_layer_view.h"
#include "field/reactor_readout.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using Kinds = std::vector<CoreKind>;
constexpr CoreKind E = CoreKind::efficiency;
constexpr CoreKind P = CoreKind::performance;

double farthest(QPointF c, const QRectF& b)
{
    return std::hypot(std::max(std::abs(b.left() - c.x()), std::abs(b.right() - c.x())),
                      std::max(std::abs(b.top() - c.y()), std::abs(b.bottom() - c.y())));
}

double nearest(QPointF c, const QRectF& b)
{
    return std::hypot(std::clamp(c.x(), b.left(), b.right()) - c.x(),
                      std::clamp(c.y(), b.top(), b.bottom()) - c.y());
}

// The readout of a gauge `size` big as the gauge lays it out, with its own
// fonts and the widest figures it shows.
ReactorReadout layout(QSizeF size, const Kinds& kinds, const QString& percent = QStringLiteral("100"),
                      const QString& detail = QStringLiteral("GPU 100%  LOAD 12.5"))
{
    return ReactorReadout::layout(ReactorGeometry(size, kinds), kinds,
                                  ReactorLayerView::readoutMeasure(percent, detail));
}

} // namespace

// At every height the instruments column gives the gauge, from a short
// window's sliver up to its full 330 and beyond: the figures keep inside
// the memory ring, each letter keeps to the gap between the memory ring and
// the core ring, and no two texts meet.
TEST(ReactorReadoutTest, TextsStayInsideTheirRingsAndApart)
{
    for (const Kinds& kinds : {Kinds{E, E, E, E, P, P, P, P, P, P, P, P, P, P, P, P}, Kinds(8, P)}) {
        for (double height = 30; height <= 600; height += 6) {
            const QSizeF size(height > 330 ? height : 368, height);
            SCOPED_TRACE(QStringLiteral("%1 x %2, %3 cores").arg(size.width()).arg(height).arg(kinds.size()).toStdString());
            const ReactorGeometry g(size, kinds);
            const ReactorReadout readout = layout(size, kinds);
            const double memInner = (ReactorGeometry::memRadius - ReactorGeometry::memWidth / 2) * g.r;
            const double memOuter = (ReactorGeometry::memRadius + ReactorGeometry::memWidth / 2) * g.r;
            const double coreInner = ReactorGeometry::innerEdge * g.r;
            for (const auto* line : {&readout.caption, &readout.figure, &readout.detail}) {
                if (*line) {
                    EXPECT_LT(farthest(g.centre, (*line)->box), memInner - 1);
                }
            }
            for (const auto& letter : readout.letters) {
                EXPECT_GT(nearest(g.centre, letter.box), memOuter + 0.5);
                EXPECT_LT(farthest(g.centre, letter.box), coreInner - 0.5);
            }
            const auto boxes = readout.boxes();
            for (std::size_t i = 0; i < boxes.size(); ++i) {
                EXPECT_FALSE(boxes[i].isEmpty());
                for (std::size_t j = i + 1; j < boxes.size(); ++j)
                    EXPECT_FALSE(boxes[i].intersects(boxes[j])) << i << " meets " << j;
            }
            // Wherever the ring is more than a dot, the figure shows.
            if (g.r >= 30) {
                EXPECT_TRUE(readout.figure);
            }
        }
    }

    // Full size: every line at the design's sizes and both letters.
    const ReactorReadout full = layout({368, 330}, {E, E, P, P});
    EXPECT_EQ(full.scale, 1);
    ASSERT_TRUE(full.caption && full.figure && full.detail);
    EXPECT_EQ(full.figure->size, ReactorReadout::figureSize);
    EXPECT_EQ(full.detail->size, ReactorReadout::detailSize);
    ASSERT_EQ(full.letters.size(), 2u);
    EXPECT_EQ(full.letters[0].kind, E);
    EXPECT_EQ(full.letters[1].kind, P);
    EXPECT_EQ(full.letters[0].size, ReactorReadout::letterSize);

    // The gauge of a 1024 x 600 window: the figure shrinks, still large,
    // under its caption; the GPU and load line, too long for the ring,
    // leaves rather than shrink past reading.
    const ReactorReadout small = layout({368, 120}, Kinds(8, P));
    ASSERT_TRUE(small.caption && small.figure);
    EXPECT_GE(small.figure->size, 20);
    EXPECT_GE(small.caption->size, ReactorReadout::captionFloor);
    EXPECT_FALSE(small.detail);

    // Narrower figures keep the size the widest ones get, so the readout
    // does not jump as the load moves between 9 and 10 per cent.
    for (const QSizeF size : {QSizeF(368, 120), QSizeF(368, 200), QSizeF(368, 330)}) {
        const ReactorReadout wide = layout(size, Kinds(8, P));
        const ReactorReadout narrow = layout(size, Kinds(8, P), QStringLiteral("7"), QStringLiteral("GPU 7%  LOAD 1.3"));
        EXPECT_EQ(narrow.scale, wide.scale);
        EXPECT_EQ(narrow.detail.has_value(), wide.detail.has_value());
    }
}
