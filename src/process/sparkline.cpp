#include "process/sparkline.h"

#include <algorithm>

QPainterPath sparkPath(std::span<const double> values, double floor, const QRectF& rect)
{
    QPainterPath path;
    const std::size_t n = values.size();
    if (n < 2)
        return path;
    const double peak = std::max(*std::max_element(values.begin(), values.end()), floor);
    const double step = rect.width() / (sparkPoints - 1);
    for (std::size_t i = 0; i < n; ++i) {
        const double x = rect.right() - step * double(n - 1 - i);
        const double y = (rect.bottom() - 1) - (values[i] / peak) * (rect.height() - 2);
        if (i == 0)
            path.moveTo(x, y);
        else
            path.lineTo(x, y);
    }
    return path;
}
