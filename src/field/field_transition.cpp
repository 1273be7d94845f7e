// The field's ways in and out: bubbles flying out of the list's rows or
// rippling in from the centre, flying back onto the rows, dissolving where
// they stand, and returning to live motion from half way through either.

#include "field/field_sim.h"

#include "ui/motion.h"

#include <algorithm>
#include <cmath>

namespace {

double distance(QPointF a, QPointF b)
{
    return std::hypot(a.x() - b.x(), a.y() - b.y());
}

} // namespace

void FieldSim::enter(const std::vector<GroupSample>& groups, QSizeF size,
                     const std::map<QString, QPointF>& rows, const std::map<QString, QPointF>& hint,
                     double now)
{
    const std::map<QString, QPointF> layout = settle(groups, size, hint, inset);
    const QRectF area = arena(size, inset);
    const QPointF c = area.center();
    double maxDist = 1;
    for (const auto& [key, home] : layout)
        maxDist = std::max(maxDist, distance(home, c));
    const double maxMem = maxMemOf(groups);
    const double lo = std::min(area.width(), area.height());
    const double standard = Motion::standard();

    bodies.clear();
    for (const GroupSample& g : groups) {
        auto home = layout.find(g.key);
        if (home == layout.end())
            continue;
        const QPointF h = home->second;
        Body b;
        b.r = minRadius;
        b.grown = b.target = targetRadius(double(g.mem), maxMem, lo);
        b.form = 0;
        if (auto row = rows.find(g.key); row != rows.end()) {
            b.pos = row->second;
            b.alpha = 1;
            b.flight = Flight{row->second, h, now, 0, 1};
        } else {
            const double delay = distance(h, c) / maxDist * 0.3 * standard;
            b.pos = h;
            b.alpha = 0;
            b.flight = Flight{h, h, now + delay, 0, 0};
        }
        bodies[g.key] = b;
    }
    homes = layout;
}

std::map<QString, FieldSim::Body> FieldSim::retreat()
{
    if (!collapse && !dissolve) {
        homes.clear();
        for (const auto& [key, b] : bodies)
            homes[key] = b.flight ? b.flight->to : b.pos;
    }
    dragging.reset();
    pinned.reset();
    for (auto& [key, b] : bodies) {
        b.vel = {};
        b.flight.reset();
    }
    collapse.reset();
    dissolve.reset();
    return bodies;
}

void FieldSim::beginCollapse(const std::map<QString, QPointF>& anchors,
                             const std::map<QString, double>& away, double now)
{
    Collapse next;
    next.start = now;
    next.from = retreat();
    next.anchors = anchors;
    next.away = away;
    collapse = std::move(next);
    settled = false;
}

void FieldSim::collapseFrame(double now)
{
    Collapse& k = *collapse;
    const double t = (now - k.start) / Motion::standard();
    const double e = 1 - std::pow(1 - std::clamp(t / 0.75, 0.0, 1.0), 3);
    const double s = smoothstep(2 * t);
    for (auto& [key, b] : bodies) {
        // A body that joined after the start transitions from the state it
        // had when first met here, not from its own last frame.
        const Body& f = k.from.try_emplace(key, b).first->second;
        if (auto anchor = k.anchors.find(key); anchor != k.anchors.end()) {
            b.pos = f.pos + (anchor->second - f.pos) * e;
            b.form = (1 - e) * f.form;
            b.alpha = f.alpha + e * (1 - f.alpha);
        } else {
            auto way = k.away.find(key);
            const double w = way == k.away.end() ? 0 : way->second;
            b.pos = QPointF(f.pos.x(), f.pos.y() + s * w * 36);
            b.alpha = (1 - s) * f.alpha;
        }
        b.vel = {};
        b.r = minRadius + (b.grown - minRadius) * b.form;
    }
    settled = t >= 1;
}

void FieldSim::beginDissolve(QSizeF size, double now)
{
    Dissolve next;
    next.from = retreat();
    const QPointF c = arena(size, inset).center();
    double maxDist = 1;
    for (const auto& [key, b] : bodies)
        maxDist = std::max(maxDist, distance(b.pos, c));
    const double standard = Motion::standard();
    for (const auto& [key, b] : bodies)
        next.delay[key] = (1 - distance(b.pos, c) / maxDist) * 0.3 * standard;
    next.start = now;
    dissolve = std::move(next);
    settled = false;
}

void FieldSim::dissolveFrame(double now)
{
    Dissolve& d = *dissolve;
    const double elapsed = now - d.start;
    const double span = 0.7 * Motion::standard();
    for (auto& [key, b] : bodies) {
        const Body& f = d.from.try_emplace(key, b).first->second;
        auto delay = d.delay.find(key);
        const double wait = delay == d.delay.end() ? 0 : delay->second;
        const double u = std::clamp((elapsed - wait) / span, 0.0, 1.0);
        const double s = smoothstep(u);
        const double v = smoothstep(2 * (s - 0.5));
        b.form = f.form * (1 - s);
        b.alpha = f.alpha * (1 - v);
        b.r = minRadius + (b.grown - minRadius) * b.form;
    }
    settled = elapsed >= Motion::standard();
}

void FieldSim::resumeLive(double now)
{
    if (!collapse && !dissolve)
        return;
    collapse.reset();
    dissolve.reset();
    for (auto& [key, b] : bodies) {
        auto home = homes.find(key);
        const QPointF to = home == homes.end() ? b.pos : home->second;
        b.flight = Flight{b.pos, to, now, b.form, b.alpha};
    }
    settled = false;
}
