#include "network/flow_ribbons.h"

#include "ui/theme.h"

#include <QHash>

#include <algorithm>
#include <cmath>
#include <limits>

std::vector<FlowRibbons::Ribbon> FlowRibbons::from(const FlowGraph& graph,
                                                   const std::optional<QString>& focus)
{
    QHash<QString, int> appRow, hostRow;
    for (std::size_t i = 0; i < graph.apps.size(); ++i)
        appRow.insert(graph.apps[i].id, int(i));
    for (std::size_t i = 0; i < graph.hosts.size(); ++i)
        hostRow.insert(graph.hosts[i].id, int(i));

    std::vector<Ribbon> ribbons;
    ribbons.reserve(graph.edges.size());
    for (const FlowEdge& edge : graph.edges) {
        auto a = appRow.constFind(edge.from);
        auto h = hostRow.constFind(edge.to);
        if (a == appRow.constEnd() || h == hostRow.constEnd())
            continue;
        const bool dimmed = focus && *focus != edge.from && *focus != edge.to;
        ribbons.push_back({edge.from + QLatin1Char('|') + edge.to, *a, *h, edge.rateIn,
                           edge.rateOut, dimmed});
    }
    return ribbons;
}

FlowRibbons::Style FlowRibbons::style(double rateIn, double rateOut, bool dimmed)
{
    Style s;
    double total = rateIn + rateOut;
    if (!std::isfinite(total) || total < 0)
        total = 0;
    // A line of 1 at rest, thickening with the logarithm of the rate up to 9.
    const double w = 0.7 * std::log2(total / 1024 + 1);
    s.width = std::min(w, 8.0) + 1;
    s.flowing = total > 0;
    s.base = s.flowing ? Theme::withAlpha(Theme::net(), 0.22) : Theme::withAlpha(Theme::faint(), 0.35);
    s.flowWidth = std::max(0.55 * s.width, 1.2);
    s.opacity = dimmed ? 0.12 : 1;
    s.target = rateOut <= rateIn ? cycle : -cycle;
    return s;
}

QPainterPath FlowRibbons::path(int from, int to, double rowHeight, double width)
{
    const double y0 = (from + 0.5) * rowHeight;
    const double y1 = (to + 0.5) * rowHeight;
    QPainterPath p(QPointF(inset, y0));
    p.cubicTo(QPointF(width / 2, y0), QPointF(width / 2, y1), QPointF(width - inset, y1));
    return p;
}

bool FlowRibbons::Dash::retarget(const Style& style)
{
    const double wanted = style.flowing ? (style.target > 0 ? 1 : -1) : 0;
    if (wanted == direction)
        return false;
    direction = wanted;
    phase = 0;
    return wanted != 0;
}

void FlowRibbons::Dash::advance(double dt)
{
    if (direction == 0 || !(dt > 0))
        return;
    phase = std::fmod(phase + direction * cycle * dt / cycleSeconds, cycle);
    if (phase < 0)
        phase += cycle;
}

std::vector<FlowRibbons::Texel> FlowRibbons::raster(const QPolygonF& line, double ratio, QSize pixels)
{
    std::vector<Texel> texels;
    if (line.size() < 2 || pixels.isEmpty() || !(ratio > 0))
        return texels;
    const QRectF area = QRectF(line.boundingRect()).adjusted(-reach, -reach, reach, reach);
    const int x0 = std::max(0, int(std::floor(area.left() * ratio)));
    const int y0 = std::max(0, int(std::floor(area.top() * ratio)));
    const int x1 = std::min(pixels.width(), int(std::ceil(area.right() * ratio)));
    const int y1 = std::min(pixels.height(), int(std::ceil(area.bottom() * ratio)));
    if (x1 <= x0 || y1 <= y0)
        return texels;
    // The nearest distance to the line of each pixel touched, and where
    // along the line that nearest point lies. The scratch is kept between
    // calls and handed back clean, so a ribbon costs what it covers.
    const float far = std::numeric_limits<float>::infinity();
    static thread_local std::vector<float> nearest, along;
    const std::size_t all = std::size_t(pixels.width()) * std::size_t(pixels.height());
    if (nearest.size() < all) {
        nearest.assign(all, far);
        along.assign(all, 0);
    }
    std::vector<uint32_t> touched;
    const uint32_t stride = uint32_t(pixels.width());

    double start = 0;
    for (qsizetype i = 0; i + 1 < line.size(); ++i) {
        const QPointF a = line[i], b = line[i + 1];
        const QPointF d = b - a;
        const double length = std::hypot(d.x(), d.y());
        // Row by row, only the stretch of the row within reach of the
        // segment: the part of the segment whose height is within reach
        // of the row, widened by the reach.
        const int by0 = std::max(y0, int(std::floor((std::min(a.y(), b.y()) - reach) * ratio)));
        const int by1 = std::min(y1, int(std::ceil((std::max(a.y(), b.y()) + reach) * ratio)));
        for (int y = by0; y < by1; ++y) {
            const double py = (y + 0.5) / ratio;
            double lo = 0, hi = 1;
            if (d.y() != 0) {
                const double ta = (py - reach - a.y()) / d.y(), tb = (py + reach - a.y()) / d.y();
                lo = std::max(0.0, std::min(ta, tb));
                hi = std::min(1.0, std::max(ta, tb));
                if (lo > hi)
                    continue;
            }
            const double xa = a.x() + d.x() * lo, xb = a.x() + d.x() * hi;
            const int bx0 = std::max(x0, int(std::floor((std::min(xa, xb) - reach) * ratio)));
            const int bx1 = std::min(x1, int(std::ceil((std::max(xa, xb) + reach) * ratio)));
            for (int x = bx0; x < bx1; ++x) {
                const double px = (x + 0.5) / ratio;
                double t = length > 0 ? ((px - a.x()) * d.x() + (py - a.y()) * d.y()) / length : 0;
                t = std::clamp(t, 0.0, length);
                const double qx = length > 0 ? a.x() + d.x() * t / length : a.x();
                const double qy = length > 0 ? a.y() + d.y() * t / length : a.y();
                const float dist = float(std::sqrt((px - qx) * (px - qx) + (py - qy) * (py - qy)));
                const uint32_t k = uint32_t(y) * stride + uint32_t(x);
                if (nearest[k] == far)
                    touched.push_back(k);
                if (dist < nearest[k]) {
                    nearest[k] = dist;
                    along[k] = float(start + t);
                }
            }
        }
        start += length;
    }

    // In pixel order, so a frame walks the image forwards.
    std::sort(touched.begin(), touched.end());
    texels.reserve(touched.size());
    for (uint32_t k : touched) {
        if (nearest[k] < reach)
            texels.push_back({k, along[k], nearest[k]});
        nearest[k] = far;
    }
    return texels;
}

double FlowRibbons::dashCover(double along, double phase, double distance, double width, double ratio)
{
    double at = std::fmod(along + phase, cycle);
    if (at < 0)
        at += cycle;
    // How far along the line the pixel lies from the nearest dash.
    const double off = at <= dash ? 0 : std::min(at - dash, cycle - at);
    return cover(width, std::hypot(off, distance), ratio);
}
