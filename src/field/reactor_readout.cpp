#include "field/reactor_readout.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

using Part = ReactorReadout::Part;

double farthest(QPointF c, const QRectF& box)
{
    const double dx = std::max(std::abs(box.left() - c.x()), std::abs(box.right() - c.x()));
    const double dy = std::max(std::abs(box.top() - c.y()), std::abs(box.bottom() - c.y()));
    return std::hypot(dx, dy);
}

double nearest(QPointF c, const QRectF& box)
{
    const double x = std::clamp(c.x(), box.left(), box.right());
    const double y = std::clamp(c.y(), box.top(), box.bottom());
    return std::hypot(x - c.x(), y - c.y());
}

// The figures' lines at one scale, stacked as the design stacks them (line
// boxes one pixel apart at full size) and centred on the ring by their
// ink; nothing when a box leaves the room or meets a letter.
std::optional<ReactorReadout> stack(const ReactorGeometry& g, const std::vector<Part>& parts, double scale,
                                    const ReactorReadout::Measure& measure,
                                    const std::vector<ReactorReadout::Letter>& letters)
{
    std::vector<ReactorReadout::Ink> inks;
    double y = 0;
    std::vector<double> baselines;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const ReactorReadout::Ink ink = measure(parts[i], ReactorReadout::size(parts[i], scale));
        if (i > 0)
            y += inks.back().descent + scale + ink.ascent;
        baselines.push_back(y);
        inks.push_back(ink);
    }
    const double top = baselines.front() + inks.front().inkTop;
    const double bottom = baselines.back() + inks.back().inkBottom;
    const double shift = g.centre.y() - (top + bottom) / 2;

    ReactorReadout out;
    out.scale = scale;
    const double room = ReactorReadout::room(g);
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const ReactorReadout::Ink& ink = inks[i];
        const double baseline = baselines[i] + shift;
        const double left = g.centre.x() - ink.advance / 2;
        const ReactorReadout::Placed placed{
            ReactorReadout::size(parts[i], scale), QPointF(left, baseline),
            QRectF(left, baseline + ink.inkTop, ink.advance, ink.inkBottom - ink.inkTop)};
        if (farthest(g.centre, placed.box) > room)
            return std::nullopt;
        for (const auto& letter : letters)
            if (placed.box.intersects(letter.box))
                return std::nullopt;
        switch (parts[i]) {
        case Part::caption: out.caption = placed; break;
        case Part::figure: out.figure = placed; break;
        default: out.detail = placed; break;
        }
    }
    return out;
}

} // namespace

double ReactorReadout::size(Part part, double scale)
{
    switch (part) {
    case Part::figure: return figureSize * scale;
    case Part::caption: return std::max(captionFloor, captionSize * scale);
    case Part::detail: return std::max(detailFloor, detailSize * scale);
    default: return std::max(letterFloor, letterSize * scale);
    }
}

double ReactorReadout::room(const ReactorGeometry& g)
{
    return (ReactorGeometry::memRadius - ReactorGeometry::memWidth / 2) * g.r - margin;
}

std::pair<double, double> ReactorReadout::letterBand(const ReactorGeometry& g)
{
    return {(ReactorGeometry::memRadius + ReactorGeometry::memWidth / 2) * g.r + letterMargin,
            ReactorGeometry::innerEdge * g.r - letterMargin};
}

ReactorReadout ReactorReadout::layout(const ReactorGeometry& g, const std::vector<CoreKind>& kinds,
                                      const Measure& measure)
{
    // Letters first: each kind's letter midway between its first sector's
    // start and its last one's end, in the middle of the gap between the
    // rings, as large as that gap allows.
    std::vector<Letter> letters;
    const auto [low, high] = letterBand(g);
    for (const CoreKind kind : {CoreKind::efficiency, CoreKind::performance}) {
        std::optional<double> first;
        double last = 0;
        for (std::size_t i = 0; i < g.sectors.size() && i < kinds.size(); ++i) {
            if (kinds[i] != kind)
                continue;
            if (!first)
                first = g.sectors[i].start;
            last = g.sectors[i].end;
        }
        if (!first)
            continue;
        const double angle = (*first + last) / 2 * std::numbers::pi / 180;
        const QPointF at = g.centre + (low + high) / 2 * QPointF(std::cos(angle), std::sin(angle));
        const Part part = kind == CoreKind::efficiency ? Part::letterE : Part::letterP;
        // Whole pixel sizes, as the fonts are set.
        for (double size = letterSize; size >= letterFloor; size = std::ceil(size) - 1) {
            const Ink ink = measure(part, size);
            const QPointF pen(at.x() - ink.advance / 2, at.y() - (ink.inkTop + ink.inkBottom) / 2);
            const QRectF box(pen.x(), pen.y() + ink.inkTop, ink.advance, ink.inkBottom - ink.inkTop);
            if (farthest(g.centre, box) <= high && nearest(g.centre, box) >= low) {
                letters.push_back({kind, size, pen, box});
                break;
            }
        }
    }

    // Then the figures: all three lines as large as they fit, the small
    // ones never below what can be read and the figure still large;
    // failing that, without the GPU and load line, then the figure alone.
    const std::vector<std::vector<Part>> choices{
        {Part::caption, Part::figure, Part::detail}, {Part::caption, Part::figure}, {Part::figure}};
    for (const auto& parts : choices) {
        // The figure's whole pixel sizes from the design's down to the
        // floor; a larger size never fits where a smaller one does not, so
        // the largest that fits is found by halving.
        const bool detail = std::find(parts.begin(), parts.end(), Part::detail) != parts.end();
        int lo = int(detail ? figureFloorWithDetail : figureFloor), hi = int(figureSize);
        std::optional<ReactorReadout> best;
        while (lo <= hi) {
            const int mid = (lo + hi) / 2;
            if (auto fit = stack(g, parts, mid / figureSize, measure, letters)) {
                best = std::move(fit);
                lo = mid + 1;
            } else {
                hi = mid - 1;
            }
        }
        if (best) {
            best->letters = std::move(letters);
            return *best;
        }
    }
    ReactorReadout none;
    none.letters = std::move(letters);
    return none;
}

std::vector<QRectF> ReactorReadout::boxes() const
{
    std::vector<QRectF> out;
    for (const auto* line : {&caption, &figure, &detail})
        if (*line)
            out.push_back((*line)->box);
    for (const Letter& letter : letters)
        out.push_back(letter.box);
    return out;
}
