#include "ui/banded.h"

#include <algorithm>

namespace {

// Source rows are device pixels; each band lands where it would in one
// whole blit.
template <typename Picture, typename Draw>
void inBands(const QPointF& at, const Picture& picture, Draw draw)
{
    const double ratio = picture.devicePixelRatio() > 0 ? picture.devicePixelRatio() : 1;
    for (int y = 0; y < picture.height(); y += Banded::rows) {
        const int n = std::min(Banded::rows, picture.height() - y);
        draw(QRectF(at.x(), at.y() + y / ratio, picture.width() / ratio, n / ratio),
             QRectF(0, y, picture.width(), n));
    }
}

} // namespace

namespace Banded {

void drawImage(QPainter& p, const QPointF& at, const QImage& image)
{
    inBands(at, image, [&](const QRectF& to, const QRectF& from) { p.drawImage(to, image, from); });
}

void drawPixmap(QPainter& p, const QPointF& at, const QPixmap& pixmap)
{
    inBands(at, pixmap, [&](const QRectF& to, const QRectF& from) { p.drawPixmap(to, pixmap, from); });
}

void fillRect(QPainter& p, const QRect& rect, const QBrush& brush)
{
    for (int y = rect.top(); y <= rect.bottom(); y += rows)
        p.fillRect(QRect(rect.left(), y, rect.width(), std::min(rows, rect.bottom() + 1 - y)), brush);
}

} // namespace Banded
