#pragma once
// The parts of a canvas to repaint, kept as a grid of small square tiles.
// Hundreds of little rectangles (a dot's old and new place, a tick's) cost
// Qt dearly as a region built one union at a time, and a painter walking
// such a region asks for every shape whether it meets it. Marking tiles
// costs next to nothing, the region comes out in one pass, already in
// bands, and whether a shape meets it is a look at the few tiles under it.

#include <QRectF>
#include <QRegion>
#include <QSize>

#include <cstdint>
#include <vector>

class DirtyTiles {
public:
    static constexpr int tile = 8;

    // A grid covering `size`, empty.
    void resize(QSize size);
    QSize size() const { return size_; }
    void clear();
    bool empty() const { return !any_; }

    // Marks every tile the rectangle touches; what lies outside the canvas
    // is dropped.
    void add(const QRectF& rect);
    void add(const QRegion& region);
    // The rectangle `outer` less `inner`, which lies inside it.
    void addFrame(const QRectF& outer, const QRectF& inner);

    // Whether any tile the rectangle touches is marked.
    bool intersects(const QRectF& rect) const;
    // The part of the rectangle the marked tiles it touches cover, or an
    // empty rectangle.
    QRectF bounds(const QRectF& rect) const;
    // Every tile is marked.
    bool full() const;

    // The marked tiles as a region, clipped to the canvas.
    QRegion region() const;
    // The most runs of marked tiles on any one row of tiles the rectangle
    // touches, counting only the part within it.
    int runs(const QRectF& rect) const;

private:
    struct Span {
        int left = 0, top = 0, right = 0, bottom = 0; // tile indices, inclusive
    };
    bool span(const QRectF& rect, Span& out) const;

    QSize size_;
    int columns_ = 0;
    int rows_ = 0;
    std::vector<uint8_t> marks_;
    bool any_ = false;
};
