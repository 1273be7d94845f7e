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
    // One call per layer: the ground under every cell, then each level.
    std::array<QRectF, DomainsModel::stripCells> all;
    std::array<std::array<QRectF, DomainsModel::stripCells>, 3> lit;
    std::array<int, 3> count{};
    for (int i = 0; i < DomainsModel::stripCells; ++i) {
        all[std::size_t(i)] = cellRect(r, i);
        const int level = levels[std::size_t(i)];
        if (level >= 0 && level <= 2)
            lit[std::size_t(level)][std::size_t(count[std::size_t(level)]++)] = all[std::size_t(i)];
    }
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(Theme::withAlpha(Qt::white, 0.05));
    p.drawRects(all.data(), int(all.size()));
    for (int level = 0; level < 3; ++level) {
        if (count[std::size_t(level)] == 0)
            continue;
        p.setBrush(Theme::withAlpha(Theme::net(), levelOpacity(level)));
        p.drawRects(lit[std::size_t(level)].data(), count[std::size_t(level)]);
    }
    p.restore();
}

} // namespace HeatStrip
