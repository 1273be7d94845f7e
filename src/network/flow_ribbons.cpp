#include "network/flow_ribbons.h"

#include "ui/theme.h"

#include <QHash>

#include <algorithm>
#include <cmath>

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
