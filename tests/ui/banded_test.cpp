// Drawing in bands lands every row where one whole blit would put it, at
// any pixel ratio and offset.

#include "ui/banded.h"

#include <gtest/gtest.h>

namespace {

QImage picture(double ratio)
{
    // Taller than the thread pool's threshold, and no two rows alike.
    QImage image(57, 211, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb((x * 7 + y) % 256, (y * 3) % 256, (x + y * 5) % 256));
    image.setDevicePixelRatio(ratio);
    return image;
}

QImage canvas(double ratio)
{
    QImage out(QSize(180, 260) * ratio, QImage::Format_RGB32);
    out.setDevicePixelRatio(ratio);
    out.fill(Qt::black);
    return out;
}

} // namespace

TEST(Banded, DrawsWhatOneBlitDraws)
{
    for (const double ratio : {1.0, 2.0}) {
        for (const QPointF at : {QPointF(0, 0), QPointF(13, 7.5)}) {
            const QImage image = picture(ratio);
            QImage whole = canvas(ratio), banded = canvas(ratio), pixmapped = canvas(ratio);
            {
                QPainter p(&whole);
                p.drawImage(at, image);
            }
            {
                QPainter p(&banded);
                Banded::drawImage(p, at, image);
            }
            {
                QPainter p(&pixmapped);
                Banded::drawPixmap(p, at, QPixmap::fromImage(image));
            }
            EXPECT_EQ(banded, whole) << ratio << " " << at.y();
            EXPECT_EQ(pixmapped, whole) << ratio << " " << at.y();
        }
    }
    QImage filled = canvas(1), whole = canvas(1);
    {
        QPainter p(&filled);
        Banded::fillRect(p, QRect(3, 5, 100, 200), QColor(10, 200, 30));
    }
    {
        QPainter p(&whole);
        p.fillRect(QRect(3, 5, 100, 200), QColor(10, 200, 30));
    }
    EXPECT_EQ(filled, whole);
}
