#include "field/field_sim.h"

#include "ui/motion.h"

#include <QSet>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

namespace {

// Plain square root: hypot's care for overflow costs a fifth of a frame,
// and field coordinates are nowhere near its range.
double length(QPointF v)
{
    return std::sqrt(v.x() * v.x() + v.y() * v.y());
}

} // namespace

FieldSim::FieldSim(Random random)
    : random_(std::move(random))
{
    if (!random_) {
        auto engine = std::make_shared<std::mt19937>(std::random_device{}());
        random_ = [engine] { return std::uniform_real_distribution<double>(0, 1)(*engine); };
    }
}

double FieldSim::draw()
{
    const double v = random_();
    return std::isfinite(v) ? std::clamp(v, 0.0, 1.0) : 0.5;
}

double FieldSim::targetRadius(double mem, double maxMem, double lo)
{
    const double share = maxMem > 0 ? std::clamp(mem / maxMem, 0.0, 1.0) : 0.0;
    return minRadius + lo * std::sqrt(share) / 6;
}

double FieldSim::heatOf(double cpu)
{
    if (!(cpu > 0))
        return 0;
    return std::min(cpu / 400, 1.0);
}

double FieldSim::smoothstep(double x)
{
    x = std::clamp(x, 0.0, 1.0);
    return x * x * (3 - 2 * x);
}

double FieldSim::maxMemOf(const std::vector<GroupSample>& groups)
{
    double most = 1;
    for (const GroupSample& g : groups)
        most = std::max(most, double(g.mem));
    return most;
}

double FieldSim::stepLength(double now) const
{
    if (!last || !std::isfinite(now) || !std::isfinite(*last))
        return firstStep;
    return std::clamp(now - *last, shortestStep, longestStep);
}

void FieldSim::step(const std::vector<GroupSample>& groups, QSizeF size, double now)
{
    const double dt = stepLength(now) / Motion::timeScale();
    last = now;
    advance(groups, size, dt, now);
}

std::optional<QString> FieldSim::hit(QPointF point) const
{
    std::optional<QString> best;
    double bestR = 0;
    for (const auto& [key, body] : bodies) {
        if (length(body.pos - point) > body.r)
            continue;
        if (!best || body.r < bestR) {
            best = key;
            bestR = body.r;
        }
    }
    return best;
}

bool FieldSim::fly(Body& b, double now) const
{
    const Flight& f = *b.flight;
    const double t = std::max(0.0, (now - f.start) / Motion::timeScale());
    const double e = std::exp(-omega * t);
    const double k = (1 + omega * t) * e;
    const double kv = omega * omega * t * e;
    const double s = smoothstep(k / 0.45);
    b.pos = f.to - (f.to - f.from) * k + b.nudge * s;
    b.vel = (f.to - f.from) * kv;
    const double u = 1 - k;
    b.form = f.fromForm + (1 - f.fromForm) * smoothstep((u - 0.3) / 0.7);
    b.alpha = f.fromAlpha + (1 - f.fromAlpha) * smoothstep(2 * u);
    if (k < 0.002) {
        b.form = 1;
        b.alpha = 1;
        b.flight.reset();
        b.nudge = {};
        return false;
    }
    return true;
}

QRectF FieldSim::arena(QSizeF size, const QMarginsF& inset)
{
    QRectF area = QRectF(QPointF(), size).marginsRemoved(inset);
    // Bands that meet leave the view's middle line on that axis.
    if (area.width() < 0)
        area = QRectF(size.width() / 2, area.top(), 0, area.height());
    if (area.height() < 0)
        area = QRectF(area.left(), size.height() / 2, area.width(), 0);
    return area;
}

double FieldSim::advance(const std::vector<GroupSample>& groups, QSizeF size, double dt, double now,
                         bool refresh)
{
    const double width = size.width();
    const double height = size.height();
    const QRectF area = arena(size, inset);
    const QPointF c = area.center();
    const double lo = std::min(area.width(), area.height());
    const double hi = std::max(area.width(), area.height());
    const double maxMem = maxMemOf(groups);

    QSet<QString> seen;
    if (refresh)
        seen.reserve(qsizetype(groups.size()));
    static const std::vector<GroupSample> none;
    for (const GroupSample& g : refresh ? groups : none) {
        seen.insert(g.key);
        auto it = bodies.find(g.key);
        if (it == bodies.end()) {
            const double theta = draw() * 2 * std::numbers::pi;
            Body b;
            b.pos = c + 0.6 * hi * QPointF(std::cos(theta), std::sin(theta));
            it = bodies.emplace(g.key, b).first;
        }
        it->second.target = targetRadius(double(g.mem), maxMem, lo);
        it->second.heat = heatOf(g.cpu);
    }
    if (refresh)
        std::erase_if(bodies, [&](const auto& entry) { return !seen.contains(entry.first); });

    if (collapse) {
        collapseFrame(now);
        return 0;
    }
    if (dissolve) {
        dissolveFrame(now);
        return 0;
    }

    // The map's order is the frame's order; its nodes stay put while the
    // frame runs, so the pairs below can hold them directly.
    std::vector<std::pair<const QString*, Body*>> order;
    std::vector<QPointF> before;
    order.reserve(bodies.size());
    before.reserve(bodies.size());
    for (auto& [key, body] : bodies) {
        order.emplace_back(&key, &body);
        before.push_back(body.pos);
    }

    const double g = std::min(6 * dt, 1.0);
    const double f = std::min(12 * dt, 1.0);
    const double a = std::min(8 * dt, 1.0);
    const double damping = std::pow(0.04, dt);
    bool flying = false;
    for (auto [key, b] : order) {
        b->grown += g * (b->target - b->grown);
        if (b->flight) {
            flying = fly(*b, now) || flying;
        } else {
            if (b->form < 1)
                b->form = b->form > 0.995 ? 1 : b->form + f * (1 - b->form);
            if (b->alpha < 1)
                b->alpha = b->alpha > 0.99 ? 1 : b->alpha + a * (1 - b->alpha);
            if (dragging && *key == *dragging) {
                b->vel = (dragPoint - b->pos) / dt * 0.5;
                b->pos = dragPoint;
            } else if (pinned && *key == *pinned) {
                b->vel = {};
            } else {
                const double k = 1.6 + 5 * b->heat;
                QPointF v = b->vel + (c - b->pos) * k * dt;
                if (!quiet) {
                    const double jx = draw() * 2 - 1;
                    const double jy = draw() * 2 - 1;
                    v += QPointF(jx, jy) * 260 * b->heat * dt;
                }
                b->vel = v * damping;
                b->pos += b->vel * dt;
            }
        }
        b->r = minRadius + (b->grown - minRadius) * b->form;
    }

    auto held = [&](const QString* key) {
        return (dragging && *key == *dragging) || (pinned && *key == *pinned);
    };
    // The pairs are scanned over a compact copy of what the test needs;
    // only overlapping pairs touch the bodies, and the copy follows them.
    const std::size_t n = order.size();
    struct Probe {
        double x, y, r;
        bool flying, held;
    };
    std::vector<Probe> probes(n);
    for (std::size_t i = 0; i < n; ++i) {
        const Body& b = *order[i].second;
        probes[i] = {b.pos.x(), b.pos.y(), b.r, b.flight.has_value(), held(order[i].first)};
    }
    double widest = 0;
    for (const Probe& p : probes)
        widest = std::max(widest, p.r);
    // Each pass sweeps the bodies from left to right and stops looking once
    // the next body lies further right than any partner could reach. The
    // pair keeps its map order for the correction's roles.
    std::vector<std::pair<double, std::size_t>> byX(n);
    for (int pass = 0; pass < 2; ++pass) {
        for (std::size_t i = 0; i < n; ++i)
            byX[i] = {probes[i].x, i};
        std::sort(byX.begin(), byX.end());
        for (std::size_t a = 0; a < n; ++a) {
            const std::size_t ia = byX[a].second;
            const double bound = probes[ia].r + widest + gap;
            for (std::size_t b = a + 1; b < n; ++b) {
                const std::size_t ib = byX[b].second;
                if (probes[ib].x - probes[ia].x >= bound)
                    break;
                const std::size_t i = std::min(ia, ib);
                const std::size_t j = std::max(ia, ib);
                const Probe& pi = probes[i];
                const Probe& pj = probes[j];
                if (pi.flying != pj.flying)
                    continue;
                const double reach = pi.r + pj.r + gap;
                // Far apart on either axis: no overlap, no square root.
                if (std::abs(pj.x - pi.x) >= reach || std::abs(pj.y - pi.y) >= reach)
                    continue;
                Body& bi = *order[i].second;
                Body& bj = *order[j].second;
                separate(bi, bj, pi.held, pj.held);
                probes[i].x = bi.pos.x();
                probes[i].y = bi.pos.y();
                probes[j].x = bj.pos.x();
                probes[j].y = bj.pos.y();
            }
        }
    }

    for (auto [key, b] : order) {
        if ((dragging && *key == *dragging) || b->flight)
            continue;
        const double r = b->r;
        const QPointF p = b->pos;
        if (!(-r < p.x() && p.x() < width + r && -r < p.y() && p.y() < height + r))
            continue;
        b->pos.setX(std::min(std::max(p.x(), std::min(area.left() + r, c.x())),
                             std::max(area.right() - r, c.x())));
        b->pos.setY(std::min(std::max(p.y(), std::min(area.top() + r, c.y())),
                             std::max(area.bottom() - r, c.y())));
    }

    // Rest is judged by how far a body really went this frame: one leaning
    // on its neighbours or on an edge is pulled and pushed back every frame
    // and goes nowhere, whatever its velocity says.
    double fastest = 0;
    bool resting = !dragging && !flying;
    for (std::size_t i = 0; i < order.size(); ++i) {
        const Body& b = *order[i].second;
        const QPointF moved = b.pos - before[i];
        const double speed = (std::abs(moved.x()) + std::abs(moved.y())) / dt;
        fastest = std::max(fastest, speed);
        resting = resting && speed < 3 && std::abs(b.target - b.grown) < 0.3 && b.heat < 0.05
            && b.form == 1 && b.alpha == 1;
    }
    settled = resting;
    return fastest;
}

void FieldSim::separate(Body& bi, Body& bj, bool iHeld, bool jHeld)
{
    const QPointF delta = bj.pos - bi.pos;
    const double sum = bi.r + bj.r;
    const double dist = std::max(length(delta), 0.01);
    const double overlap = sum + gap - dist;
    if (overlap <= 0 || !(sum > 0))
        return;
    const QPointF normal = delta / dist;
    double wi = bj.r / sum;
    double wj = bi.r / sum;
    if (!bi.flight) {
        if (iHeld) {
            wi = 0;
            wj = 1;
        }
        if (jHeld) {
            wi = 1;
            wj = 0;
        }
        bi.pos -= normal * overlap * wi;
        bj.pos += normal * overlap * wj;
        // A body that gives way loses its speed into the other: leaning on
        // a neighbour is rest, not motion, or a packed field never settles.
        const auto stop = [](Body& b, QPointF into) {
            const double towards = b.vel.x() * into.x() + b.vel.y() * into.y();
            if (towards > 0)
                b.vel -= into * towards;
        };
        if (wi > 0)
            stop(bi, normal);
        if (wj > 0)
            stop(bj, -normal);
        return;
    }
    const double p = 0.6 * overlap;
    bi.pos -= normal * p * wi;
    bi.nudge -= normal * p * wi;
    bj.pos += normal * p * wj;
    bj.nudge += normal * p * wj;
}

std::map<QString, QPointF> FieldSim::settle(const std::vector<GroupSample>& groups, QSizeF size,
                                            const std::map<QString, QPointF>& hint,
                                            const QMarginsF& inset)
{
    FieldSim sim([] { return 0.5; });
    sim.quiet = true;
    sim.inset = inset;
    const double maxMem = maxMemOf(groups);
    const QRectF area = arena(size, inset);
    const QPointF c = area.center();
    const double lo = std::min(area.width(), area.height());

    std::vector<const GroupSample*> byMem;
    byMem.reserve(groups.size());
    for (const GroupSample& g : groups)
        byMem.push_back(&g);
    std::stable_sort(byMem.begin(), byMem.end(),
                     [](const GroupSample* a, const GroupSample* b) { return a->mem > b->mem; });

    double acc = 0;
    for (std::size_t i = 0; i < byMem.size(); ++i) {
        const GroupSample& g = *byMem[i];
        const double radius = std::sqrt(1.25 * acc);
        const double theta = double(i) * 2.399963;
        QPointF p(c.x() + radius * std::cos(theta), c.y() + 0.8 * radius * std::sin(theta));
        if (auto it = hint.find(g.key); it != hint.end())
            p = it->second;
        const double t = targetRadius(double(g.mem), maxMem, lo);
        Body b;
        b.pos = p;
        b.r = b.grown = b.target = t;
        sim.bodies[g.key] = b;
        acc += (t + 3) * (t + 3);
    }

    constexpr double longAgo = -1e9;
    for (int i = 0; i < 480; ++i) {
        // The first frame sizes and heats the bodies; the groups do not
        // change after that.
        if (sim.advance(groups, size, firstStep, longAgo, i == 0) < 2)
            break;
    }

    std::map<QString, QPointF> result;
    for (const auto& [key, body] : sim.bodies)
        result.emplace(key, body.pos);
    return result;
}
