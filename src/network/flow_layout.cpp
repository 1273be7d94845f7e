#include "network/flow_layout.h"

#include "core/fmt.h"
#include "network/flow_graph.h"

#include <QFontMetricsF>

#include <algorithm>
#include <cmath>
#include <utility>

namespace FlowLayout {

namespace {

QString rates(const FlowNode& node)
{
    return QStringLiteral("↓%1/s ↑%2/s").arg(Fmt::bytes(node.rateIn), Fmt::bytes(node.rateOut));
}

} // namespace

Header header(double width, const std::vector<double>& chipWidths, double countWidth, double briefWidth,
              double legendWidth)
{
    using Count = Header::Count;
    Header h;
    double x = padding;
    for (double chip : chipWidths) {
        h.chips.push_back(x);
        x += chip + gap;
    }
    // Where the last chip ends; with no chip, the padding.
    const double chipsEnd = chipWidths.empty() ? padding : x - gap;
    const double end = width - padding;
    auto widthOf = [&](Count c) {
        return c == Count::full ? countWidth : c == Count::brief ? briefWidth : 0;
    };
    // In order of preference; the first that fits is shown.
    const std::pair<Count, bool> choices[] = {{Count::full, true},  {Count::full, false},
                                              {Count::brief, true}, {Count::brief, false},
                                              {Count::none, true},  {Count::none, false}};
    for (const auto& [count, legend] : choices) {
        const double counted = widthOf(count);
        if (count != Count::none && counted <= 0)
            continue;
        double span = counted + (legend ? legendWidth : 0);
        if (counted > 0 && legend)
            span += gap;
        if (span > 0 && chipsEnd + gap + span > end)
            continue;
        h.countShown = count;
        h.legendShown = legend;
        break;
    }
    h.legend = end - legendWidth;
    h.count = (h.legendShown ? h.legend - gap : end) - widthOf(h.countShown);
    return h;
}

Columns columns(double width, double labelWidth, double appNeed, double hostNeed)
{
    Columns c;
    const double full = std::max(labelWidth, 0.0);
    const double room = std::max(0.0, width - 2 * padding - ribbonsNarrowest);
    double app = full, host = full;
    if (room < 2 * full) {
        const double half = room / 2;
        const double a = std::clamp(appNeed, 0.0, full), h = std::clamp(hostNeed, 0.0, full);
        app = host = half;
        if (a < half && h > half) {
            app = std::max(a, room - h);
            host = room - app;
        } else if (h < half && a > half) {
            host = std::max(h, room - a);
            app = room - host;
        }
    }
    // Whole pixels, so the rows and the ribbon area meet without a seam.
    c.appWidth = std::floor(app);
    c.hostWidth = std::floor(host);
    c.app = padding;
    c.ribbons = c.app + c.appWidth;
    c.host = std::max(c.ribbons, width - padding - c.hostWidth);
    c.ribbonsWidth = c.host - c.ribbons;
    return c;
}

double need(const std::vector<FlowNode>& nodes, bool host, const QFontMetricsF& title,
            const QFontMetricsF& detail)
{
    double widest = 0;
    for (const FlowNode& node : nodes) {
        widest = std::max(widest, title.horizontalAdvance(node.title));
        if (node.rateIn + node.rateOut > 0)
            widest = std::max(widest, detail.horizontalAdvance(rates(node)));
    }
    return widest + (host ? dot : iconSize) + spacing;
}

QString fittedDetail(const FlowNode& node, double room, const QFontMetricsF& metrics)
{
    auto fits = [&](const QString& text) { return metrics.horizontalAdvance(text) <= room; };
    if (node.rateIn + node.rateOut <= 0)
        return metrics.elidedText(node.detail, Qt::ElideRight, room);

    const QString in = QStringLiteral("↓") + Fmt::bytes(node.rateIn);
    const QString out = QStringLiteral("↑") + Fmt::bytes(node.rateOut);
    const QString both = rates(node);
    const QString full = node.detail.isEmpty() ? both : both + QStringLiteral("  ") + node.detail;
    if (fits(full))
        return full;
    if (!node.detail.isEmpty()) {
        const QString lead = both + QStringLiteral("  ");
        const QString rest
            = metrics.elidedText(node.detail, Qt::ElideRight, room - metrics.horizontalAdvance(lead));
        // Three letters and the ellipsis, or the detail is better left out.
        if (rest.size() >= 4 && rest != node.detail)
            return lead + rest;
    }
    const QString shortRates = in + QStringLiteral(" ") + out;
    const QString larger = node.rateOut > node.rateIn ? out : in;
    for (const QString& text : {both, shortRates, larger})
        if (fits(text))
            return text;
    return {};
}

} // namespace FlowLayout
