#include "field/dirty_tiles.h"

#include <algorithm>
#include <cmath>

void DirtyTiles::resize(QSize size)
{
    size_ = size.expandedTo(QSize(0, 0));
    columns_ = (size_.width() + tile - 1) / tile;
    rows_ = (size_.height() + tile - 1) / tile;
    marks_.assign(size_t(columns_) * size_t(rows_), 0);
    any_ = false;
}

void DirtyTiles::clear()
{
    if (any_)
        std::fill(marks_.begin(), marks_.end(), 0);
    any_ = false;
}

bool DirtyTiles::span(const QRectF& rect, Span& out) const
{
    // Rectangles that are empty, not numbers or off the canvas touch nothing.
    if (!(rect.width() > 0 && rect.height() > 0) || columns_ == 0 || rows_ == 0)
        return false;
    const double left = std::floor(rect.left());
    const double top = std::floor(rect.top());
    const double right = std::ceil(rect.right());
    const double bottom = std::ceil(rect.bottom());
    if (!(right > 0 && bottom > 0 && left < size_.width() && top < size_.height()))
        return false;
    out.left = int(std::max(left, 0.0)) / tile;
    out.top = int(std::max(top, 0.0)) / tile;
    out.right = (int(std::min(right, double(size_.width()))) - 1) / tile;
    out.bottom = (int(std::min(bottom, double(size_.height()))) - 1) / tile;
    return true;
}

void DirtyTiles::add(const QRectF& rect)
{
    Span s;
    if (!span(rect, s))
        return;
    for (int y = s.top; y <= s.bottom; ++y) {
        uint8_t* row = marks_.data() + size_t(y) * size_t(columns_);
        std::fill(row + s.left, row + s.right + 1, uint8_t(1));
    }
    any_ = true;
}

void DirtyTiles::add(const QRegion& region)
{
    for (const QRect& r : region)
        add(QRectF(r));
}

void DirtyTiles::addFrame(const QRectF& outer, const QRectF& inner)
{
    const QRectF in = inner.intersected(outer);
    if (in.isEmpty()) {
        add(outer);
        return;
    }
    add(QRectF(outer.left(), outer.top(), outer.width(), in.top() - outer.top()));
    add(QRectF(outer.left(), in.bottom(), outer.width(), outer.bottom() - in.bottom()));
    add(QRectF(outer.left(), in.top(), in.left() - outer.left(), in.height()));
    add(QRectF(in.right(), in.top(), outer.right() - in.right(), in.height()));
}

bool DirtyTiles::intersects(const QRectF& rect) const
{
    Span s;
    if (!any_ || !span(rect, s))
        return false;
    for (int y = s.top; y <= s.bottom; ++y) {
        const uint8_t* row = marks_.data() + size_t(y) * size_t(columns_);
        if (std::find(row + s.left, row + s.right + 1, uint8_t(1)) != row + s.right + 1)
            return true;
    }
    return false;
}

QRectF DirtyTiles::bounds(const QRectF& rect) const
{
    Span s;
    if (!any_ || !span(rect, s))
        return {};
    int left = s.right + 1, right = s.left - 1, top = -1, bottom = -1;
    for (int y = s.top; y <= s.bottom; ++y) {
        const uint8_t* row = marks_.data() + size_t(y) * size_t(columns_);
        for (int x = s.left; x <= s.right; ++x)
            if (row[x]) {
                left = std::min(left, x);
                right = std::max(right, x);
                if (top < 0)
                    top = y;
                bottom = y;
            }
    }
    if (top < 0)
        return {};
    const QRectF covered(left * tile, top * tile, (right + 1 - left) * tile, (bottom + 1 - top) * tile);
    return covered.intersected(rect);
}

bool DirtyTiles::full() const
{
    return any_ && std::find(marks_.begin(), marks_.end(), uint8_t(0)) == marks_.end();
}

QRegion DirtyTiles::region() const
{
    QRegion out;
    if (!any_)
        return out;
    // One band per run of tile rows whose marked runs are the same: the
    // rectangles come out sorted, apart and in bands, as a region keeps them.
    std::vector<QRect> rects;
    std::vector<std::pair<int, int>> runs;
    std::vector<std::pair<int, int>> previous;
    size_t bandStart = 0;
    for (int y = 0; y < rows_; ++y) {
        const uint8_t* row = marks_.data() + size_t(y) * size_t(columns_);
        runs.clear();
        for (int x = 0; x < columns_;) {
            if (!row[x]) {
                ++x;
                continue;
            }
            const int start = x;
            while (x < columns_ && row[x])
                ++x;
            runs.emplace_back(start, x);
        }
        const int top = y * tile;
        const int height = std::min(tile, size_.height() - top);
        if (!runs.empty() && runs == previous) {
            for (size_t i = bandStart; i < rects.size(); ++i)
                rects[i].setBottom(top + height - 1);
            continue;
        }
        bandStart = rects.size();
        for (const auto& [from, to] : runs) {
            const int left = from * tile;
            const int right = std::min(to * tile, size_.width());
            rects.emplace_back(left, top, right - left, height);
        }
        previous = runs;
    }
    out.setRects(rects.data(), int(rects.size()));
    return out;
}

int DirtyTiles::runs(const QRectF& rect) const
{
    Span s;
    if (!any_ || !span(rect, s))
        return 0;
    int most = 0;
    for (int y = s.top; y <= s.bottom; ++y) {
        const uint8_t* row = marks_.data() + size_t(y) * size_t(columns_);
        int count = 0;
        for (int x = s.left; x <= s.right; ++x)
            count += row[x] && (x == s.left || !row[x - 1]);
        most = std::max(most, count);
    }
    return most;
}
