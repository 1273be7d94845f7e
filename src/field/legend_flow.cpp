#include "field/legend_flow.h"

#include <algorithm>

LegendFlow LegendFlow::lay(const std::vector<double>& widths, double room, double spacing)
{
    LegendFlow flow;
    const int count = int(widths.size());
    double x = 0;
    int line = 0;
    for (int i = 0; i < count; ++i) {
        const double own = widths[std::size_t(i)];
        const bool fresh = x <= 0;
        if (!fresh && x + spacing + own > room) {
            if (i == count - 1 && count > 1)
                break;
            ++line;
            x = 0;
        }
        const double left = x <= 0 ? 0 : x + spacing;
        const double width = std::min(own, std::max(0.0, room));
        flow.places.push_back({i, line, left, width});
        x = left + width;
        flow.width = std::max(flow.width, x);
    }
    flow.lines = flow.places.empty() ? 0 : line + 1;
    return flow;
}
