#include "field/dot_sprites.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

// Room on the sprite's top-left side for the dot's edge.
int margin(double radius)
{
    return int(std::ceil(radius));
}

int edge(double radius)
{
    return 2 * margin(radius) + 2;
}

int phaseOf(double fraction)
{
    return std::clamp(int(fraction * DotSprites::phases), 0, DotSprites::phases - 1);
}

} // namespace

DotSprites::Place DotSprites::place(QPointF centre, double radius)
{
    const double x = std::floor(centre.x());
    const double y = std::floor(centre.y());
    const int m = margin(radius);
    return {QPoint(int(x) - m, int(y) - m), phaseOf(centre.x() - x), phaseOf(centre.y() - y)};
}

QPointF DotSprites::centreIn(double radius, int phaseX, int phaseY)
{
    const double m = margin(radius);
    return {m + (phaseX + 0.5) / phases, m + (phaseY + 0.5) / phases};
}

const QImage& DotSprites::sprite(const QColor& color, double radius, int phaseX, int phaseY)
{
    const QRgb rgba = color.rgba();
    auto set = std::find_if(sets_.begin(), sets_.end(),
                            [&](const Set& s) { return s.color == rgba && s.radius == radius; });
    if (set == sets_.end()) {
        // A theme change or a new screen brings new ones; the old ones go.
        if (sets_.size() >= 8)
            sets_.erase(sets_.begin());
        sets_.push_back({rgba, radius, std::vector<QImage>(phases * phases)});
        set = sets_.end() - 1;
    }
    QImage& image = set->images[size_t(phaseY * phases + phaseX)];
    if (image.isNull()) {
        const int side = edge(radius);
        image = QImage(side, side, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        p.drawEllipse(centreIn(radius, phaseX, phaseY), radius, radius);
    }
    return image;
}

void DotSprites::draw(QPainter& p, const QColor& color, double radius, QPointF centre)
{
    // Far off the canvas (or not a number) there is nothing to draw.
    if (!(std::abs(centre.x()) < 1e6 && std::abs(centre.y()) < 1e6 && radius > 0 && radius < 64))
        return;
    const Place at = place(centre, radius);
    p.drawImage(at.topLeft, sprite(color, radius, at.phaseX, at.phaseY));
}
