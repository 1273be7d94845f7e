#include "network/heat_strip.h"

#include "ui/theme.h"

#include <QPainter>

namespace HeatStrip {

QRectF cellRect(const QRectF& r, int i)
{
    const double w = r.width() / DomainsModel::stripCells;
    return {r.left() + w * i, r.top(), w - 1, r.height()};
}

QPainterPath cells(const QRectF& r, const std::vector<int>& indices)
{
    QPainterPath path;
    for (int i : indices)
        path.addRect(cellRect(r, i));
    return path;
}

double levelOpacity(int level)
{
    switch (level) {
    case 0: return 0.3;
    case 1: return 0.6;
    default: return 1.0;
    }
}

void paint(QPainter& p, const QRectF& r, const std::array<int8_t, DomainsModel::stripCells>& levels)
{
    const QColor ground = Theme::withAlpha(Qt::white, 0.05);
    for (int i = 0; i < DomainsModel::stripCells; ++i) {
        const QRectF cell = cellRect(r, i);
        const int level = levels[std::size_t(i)];
        p.fillRect(cell, ground);
        if (level >= 0)
            p.fillRect(cell, Theme::withAlpha(Theme::net(), levelOpacity(level)));
    }
}

} // namespace HeatStrip
