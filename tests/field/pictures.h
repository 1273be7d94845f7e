#pragma once
// Comparing two pictures of one size, pixel by pixel.

#include <QImage>

#include <algorithm>
#include <cstdlib>

// The largest difference of one colour channel between the pictures; when
// `differing` is given, it counts the pixels that differ at all.
inline int worstDifference(const QImage& a, const QImage& b, int* differing = nullptr)
{
    int worst = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                              std::abs(qBlue(p) - qBlue(q))});
            if (differing)
                *differing += p != q;
        }
    return worst;
}
