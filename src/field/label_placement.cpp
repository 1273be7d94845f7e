#include "field/label_placement.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace LabelPlacement {

namespace {

const QChar ellipsis(0x2026);

// The text's first `n` characters, never half a pair, with an ellipsis.
QString cut(const QString& text, qsizetype n)
{
    if (n > 0 && n < text.size() && text.at(n - 1).isHighSurrogate())
        --n;
    QString kept = text.left(n);
    while (!kept.isEmpty() && kept.back().isSpace())
        kept.chop(1);
    return kept.isEmpty() ? QString() : kept + ellipsis;
}

// The widest half-width a line of `bubble` centred at `cx` and lying from
// `top` to `bottom` may take without meeting `other`'s ring; negative
// when even a line of no width meets it.
double ringLimit(double cx, double top, double bottom, const Bubble& other)
{
    const double inner = std::max(0.0, other.radius - ringReach);
    const double outer = other.radius + ringReach;
    const double dx = std::abs(other.centre.x() - cx);
    // Across from the line's nearest and farthest rows.
    const double nearY = std::max({0.0, top - other.centre.y(), other.centre.y() - bottom});
    const double farY = std::max(std::abs(other.centre.y() - top), std::abs(other.centre.y() - bottom));
    if (nearY > outer)
        return std::numeric_limits<double>::infinity();
    // The box meets the ring once its nearest point comes inside the outer
    // edge while its farthest corner still lies beyond the inner one; both
    // only grow more true as the line widens.
    const double reachOuter = dx - std::sqrt(outer * outer - nearY * nearY);
    const double reachInner = farY >= inner ? 0 : std::sqrt(inner * inner - farY * farY) - dx;
    const double from = std::max({reachOuter, reachInner, 0.0});
    return from > 0 ? from : -1;
}

// Likewise for a label already placed.
double boxLimit(double cx, double top, double bottom, const QRectF& placed)
{
    if (placed.top() >= bottom || placed.bottom() <= top)
        return std::numeric_limits<double>::infinity();
    if (cx >= placed.left() - gap && cx <= placed.right() + gap)
        return -1;
    return (cx < placed.left() ? placed.left() - cx : cx - placed.right()) - gap;
}

} // namespace

QString shorten(const Line& line, double width, const Measure& measure)
{
    if (line.text.isEmpty() || !(width > 0))
        return {};
    if (line.width <= width)
        return line.text;
    if (line.words) {
        // Each whole word from the end goes before the ellipsis does.
        for (qsizetype end = line.text.size() - 1; end > 0; --end) {
            if (!line.text.at(end).isSpace() || line.text.at(end - 1).isSpace())
                continue;
            const QString shorter = cut(line.text, end);
            if (!shorter.isEmpty() && measure(line, shorter) <= width)
                return shorter;
        }
        return {};
    }
    // The longest prefix that fits, found by halving: widths grow with
    // every character kept.
    qsizetype low = fewestKept, high = line.text.size() - 1;
    if (high < low)
        return {};
    QString best;
    while (low <= high) {
        const qsizetype mid = (low + high) / 2;
        const QString shorter = cut(line.text, mid);
        if (measure(line, shorter) <= width) {
            best = shorter;
            low = mid + 1;
        } else {
            high = mid - 1;
        }
    }
    // A name cut through a pair of halves keeps fewer than it counted.
    QString kept = best;
    kept.chop(1);
    if (kept.size() < fewestKept)
        return {};
    return best;
}

QRectF box(const Bubble& bubble, const Line& line, double width)
{
    return {bubble.centre.x() - width / 2, bubble.centre.y() + line.top, width, line.height};
}

std::vector<Shown> place(const std::vector<Bubble>& bubbles, const QRectF& bounds,
                         const std::vector<QRectF>& taken, const Measure& measure)
{
    std::vector<Shown> shown(bubbles.size());
    std::vector<std::size_t> order(bubbles.size());
    std::iota(order.begin(), order.end(), std::size_t(0));
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return bubbles[a].rank < bubbles[b].rank; });
    // What larger bubbles already show.
    std::vector<QRectF> placed = taken;
    placed.reserve(taken.size() + 2 * bubbles.size());
    for (std::size_t at = 0; at < order.size(); ++at) {
        const std::size_t i = order[at];
        const Bubble& bubble = bubbles[i];
        // A bubble's own two lines stack as they were designed to.
        const std::size_t others = placed.size();
        const auto fit = [&](const Line& line) -> QString {
            if (line.text.isEmpty())
                return {};
            const double cx = bubble.centre.x();
            const double top = bubble.centre.y() + line.top;
            const double bottom = top + line.height;
            if (top < bounds.top() || bottom > bounds.bottom())
                return {};
            double half = std::min({line.room / 2, line.width / 2, cx - bounds.left(), bounds.right() - cx});
            for (std::size_t k = 0; k < others; ++k)
                half = std::min(half, boxLimit(cx, top, bottom, placed[k]));
            // The rings of larger bubbles; a smaller one's ring crossing
            // this label is the smaller one's to put up with.
            for (std::size_t k = 0; k < at && half >= 0; ++k)
                half = std::min(half, ringLimit(cx, top, bottom, bubbles[order[k]]));
            if (half <= 0)
                return {};
            const QString text = shorten(line, 2 * half, measure);
            if (!text.isEmpty())
                placed.push_back(box(bubble, line, text == line.text ? line.width : measure(line, text)));
            return text;
        };
        shown[i].name = fit(bubble.name);
        // Figures without the name they belong to say nothing.
        if (!shown[i].name.isEmpty())
            shown[i].value = fit(bubble.value);
    }
    return shown;
}

} // namespace LabelPlacement
