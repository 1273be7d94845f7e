#pragma once
// The six-minute strip of a domain row: 36 ten-second cells, the current
// one at the right, each lit in the network colour by how much moved in it.

#include "network/domains_model.h"

#include <QPainterPath>
#include <QRectF>

class QPainter;

namespace HeatStrip {

// Cell `i` of a strip in `r`: 1/36 of the width, less a 1 pixel gap.
QRectF cellRect(const QRectF& r, int i);
// One path of the cells at `indices`.
QPainterPath cells(const QRectF& r, const std::vector<int>& indices);
// The opacity of the network colour at a level.
double levelOpacity(int level);
// The faint ground of all cells, then each level's cells.
void paint(QPainter& painter, const QRectF& r, const std::array<int8_t, DomainsModel::stripCells>& levels);

} // namespace HeatStrip
