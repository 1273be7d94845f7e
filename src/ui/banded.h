#pragma once
// Qt's raster engine hands a blit or fill of more than about ninety rows to
// its thread pool and waits for it, which costs more in wake-ups than the
// copy itself. These draw the same in bands of fewer rows, on this thread.

#include <QBrush>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QPointF>
#include <QRect>

namespace Banded {

constexpr int rows = 64;

// At `at` in the painter's coordinates, at the picture's own pixel ratio.
void drawImage(QPainter& p, const QPointF& at, const QImage& image);
void drawPixmap(QPainter& p, const QPointF& at, const QPixmap& pixmap);
void fillRect(QPainter& p, const QRect& rect, const QBrush& brush);

} // namespace Banded
