#include "field/reactor_layer_view.h"

#include "ui/fonts.h"
#include "ui/frame_clock.h"
#include "ui/motion.h"
#include "ui/theme.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>
#include <optional>

namespace {

constexpr TimingCurve easeOut{0, 0, 0.58, 1};
constexpr double pulseFrom = 0.41;

QPointF onCircle(QPointF c, double radius, double degrees)
{
    const double a = degrees * std::numbers::pi / 180;
    return {c.x() + radius * std::cos(a), c.y() + radius * std::sin(a)};
}

QRectF square(QPointF c, double half)
{
    return {c.x() - half, c.y() - half, 2 * half, 2 * half};
}

// Clockwise from `start` to `end` in the gauge's angles; Qt's run the other
// way.
void addArc(QPainterPath& path, QPointF c, double radius, double start, double end)
{
    const QRectF box = square(c, radius);
    path.arcMoveTo(box, -start);
    path.arcTo(box, -start, -(end - start));
}

QColor withAlpha(QColor c, double alpha)
{
    c.setAlphaF(float(alpha));
    return c;
}

// The bands at every sector, as the unlit tracks and the lit image share
// them.
void strokeBands(QPainter& p, const ReactorGeometry& g, const std::function<QColor(int)>& color)
{
    const double band = g.band();
    for (int k = 0; k < ReactorGeometry::bands; ++k) {
        QPainterPath path;
        const double radius = ReactorGeometry::innerEdge * g.r + band * (k + 0.5);
        for (const auto& s : g.sectors)
            addArc(path, g.centre, radius, s.start, s.end);
        QPen pen(color(k), std::max(band - 1.6, 0.1));
        pen.setCapStyle(Qt::FlatCap);
        p.strokePath(path, pen);
    }
}

} // namespace

const std::array<QColor, 4>& ReactorLayerView::memColors()
{
    static const std::array<QColor, 4> colors{Theme::mem(), QColor(0x2F, 0x6F, 0xC4),
                                              Theme::warn(), Theme::faint()};
    return colors;
}

ReactorLayerView::ReactorLayerView(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

ReactorLayerView::~ReactorLayerView()
{
    FrameClock::shared().unsubscribe(this);
    if (watchedWindow_)
        watchedWindow_->removeEventFilter(this);
}

void ReactorLayerView::apply(const Model& model)
{
    if (model == model_)
        return;
    const bool animated = model.kinds == model_.kinds && !model_.cores.empty() && isVisible();
    std::vector<double> to(model.cores.size());
    for (std::size_t i = 0; i < to.size(); ++i) {
        const double u = model.cores[i];
        to[i] = std::isfinite(u) ? std::clamp(u, ReactorGeometry::minLoad, 1.0)
                                 : ReactorGeometry::minLoad;
    }
    model_ = model;
    if (animated) {
        from_ = shown_;
        from_.resize(to.size(), ReactorGeometry::minLoad);
        progress_ = 0;
    } else {
        from_ = to;
        progress_ = 1;
    }
    shown_ = from_;
    to_ = std::move(to);
    sceneDirty_ = true;
    update();
    startClock();
}

bool ReactorLayerView::live() const
{
    const QWidget* w = window();
    return isVisible() && w && !w->isMinimized();
}

bool ReactorLayerView::ticking() const
{
    return live() || progress_ < 1;
}

void ReactorLayerView::startClock()
{
    if (ticking() && !FrameClock::shared().subscribed(this))
        FrameClock::shared().subscribe(this, [this](double dt) { return frame(dt); });
}

QRectF ReactorLayerView::pulseBox() const
{
    const ReactorGeometry g(size(), {});
    return square(g.centre, ReactorGeometry::pulseRadius * g.r + 2);
}

std::array<int, 3> ReactorLayerView::pulseRadii() const
{
    const double radius = ReactorGeometry(size(), {}).r * ReactorGeometry::pulseRadius
        * devicePixelRatioF();
    std::array<int, 3> out{};
    for (int i = 0; i < 3; ++i) {
        double t = phase_ - i / 3.0;
        t -= std::floor(t);
        out[std::size_t(i)] = int(std::lround(radius * (pulseFrom + (1 - pulseFrom) * easeOut.value(t))));
    }
    return out;
}

std::vector<int> ReactorLayerView::wedgeExtents() const
{
    const double depth = ReactorGeometry(size(), {}).r * ReactorGeometry::depth * devicePixelRatioF();
    std::vector<int> out(shown_.size());
    for (std::size_t i = 0; i < shown_.size(); ++i)
        out[i] = int(std::lround(shown_[i] * depth));
    return out;
}

bool ReactorLayerView::frame(double dt)
{
    if (!std::isfinite(dt) || dt < 0)
        dt = 0;
    const bool pulsing = live();
    if (pulsing) {
        phase_ += dt * pulseSpeed();
        phase_ -= std::floor(phase_);
    }
    bool settled = false;
    if (progress_ < 1) {
        progress_ = std::min(1.0, progress_ + dt / wedgeDuration);
        const double e = easeOut.value(progress_);
        for (std::size_t i = 0; i < shown_.size() && i < to_.size(); ++i)
            shown_[i] = from_[i] + (to_[i] - from_[i]) * e;
        settled = progress_ >= 1;
        if (settled)
            shown_ = to_;
    }
    pending_ += dt;
    if (pending_ + 1e-9 < 1 / pulseRate && !settled)
        return ticking();
    pending_ = 0;
    if (pulsing) {
        const auto radii = pulseRadii();
        if (radii != paintedPulse_) {
            paintedPulse_ = radii;
            ++pulseRepaints_;
            update(pulseBox().toAlignedRect().adjusted(-1, -1, 1, 1));
        }
    }
    // The wedges repaint only when one of them has moved a device pixel.
    std::vector<int> extents = wedgeExtents();
    if (settled || extents != paintedWedges_) {
        paintedWedges_ = std::move(extents);
        sceneDirty_ = true;
        update(litBox_.toAlignedRect().adjusted(-1, -1, 1, 1));
    }
    return ticking();
}

void ReactorLayerView::rebuildIfNeeded(double ratio)
{
    if (width() <= 20)
        return;
    const Built now{width(), height(), model_.kinds.size(), ratio};
    if (now == built_)
        return;
    built_ = now;
    const ReactorGeometry g(size(), model_.kinds);
    const double r = g.r;

    base_ = QImage((QSizeF(size()) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    base_.setDevicePixelRatio(ratio);
    base_.fill(Qt::transparent);
    {
        QPainter p(&base_);
        p.setRenderHint(QPainter::Antialiasing);
        for (const bool major : {false, true}) {
            QPainterPath ticks;
            for (int i = 0; i < 120; ++i) {
                if ((i % 5 == 0) != major)
                    continue;
                const double inner = (major ? 0.985 : 0.993) * r;
                ticks.moveTo(onCircle(g.centre, inner, i * 3.0));
                ticks.lineTo(onCircle(g.centre, r + 3, i * 3.0));
            }
            p.strokePath(ticks, QPen(withAlpha(Theme::faint(), major ? 0.7 : 0.3), 1));
        }
        const QColor track = withAlpha(Qt::white, 0.045);
        strokeBands(p, g, [&](int) { return track; });
        // The memory ring's track; the glow never reaches it, so it may lie
        // here under everything.
        p.setPen(QPen(withAlpha(Qt::white, 0.05), ReactorGeometry::memWidth * r));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(square(g.centre, ReactorGeometry::memRadius * r));
        p.setFont(Fonts::font(8.5, QFont::DemiBold));
        p.setPen(Theme::faint());
        for (const CoreKind kind : {CoreKind::efficiency, CoreKind::performance}) {
            std::optional<double> first;
            double last = 0;
            for (std::size_t i = 0; i < g.sectors.size(); ++i) {
                if (model_.kinds[i] != kind)
                    continue;
                if (!first)
                    first = g.sectors[i].start;
                last = g.sectors[i].end;
            }
            if (!first)
                continue;
            const QPointF at = onCircle(g.centre, ReactorGeometry::innerEdge * r - 9, (*first + last) / 2);
            p.drawText(QRectF(at.x() - 10, at.y() - 10, 20, 20), Qt::AlignCenter,
                       kind == CoreKind::efficiency ? QStringLiteral("E") : QStringLiteral("P"));
        }
    }

    // On whole device pixels, so the wedges' brush is a plain copy of the
    // image, never resampled.
    litBox_ = square(g.centre, ReactorGeometry::outerEdge * r + 2);
    litBox_.moveTopLeft(QPointF(std::floor(litBox_.x() * ratio) / ratio,
                                std::floor(litBox_.y() * ratio) / ratio));
    const int side = int(std::ceil(litBox_.width() * ratio));
    lit_ = QImage(side, side, QImage::Format_ARGB32_Premultiplied);
    lit_.fill(Qt::transparent);
    if (!lit_.isNull()) {
        QPainter p(&lit_);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(ratio, ratio);
        p.translate(-litBox_.topLeft());
        strokeBands(p, g, [](int k) {
            return Theme::heat((k + 0.5) / ReactorGeometry::bands);
        });
    }
    ringRatio_ = 0;
    paintedWedges_.clear();
    sceneDirty_ = true;
}

void ReactorLayerView::buildRing(double ratio)
{
    const QColor color = Theme::heat(model_.cpu);
    if (ringRatio_ == ratio && ringColor_ == color)
        return;
    ringRatio_ = ratio;
    ringColor_ = color;
    const QRectF box = pulseBox();
    const int side = std::max(1, int(std::ceil(box.width() * ratio)));
    ring_ = QImage(side, side, QImage::Format_ARGB32_Premultiplied);
    ring_.fill(Qt::transparent);
    QPainter p(&ring_);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(ratio, ratio);
    p.setPen(QPen(color, 1.2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(0, 0, box.width(), box.height()).adjusted(2, 2, -2, -2));
}

void ReactorLayerView::paintScene(double ratio)
{
    sceneDirty_ = false;
    const ReactorGeometry g(size(), model_.kinds);
    scene_ = base_;
    QPainter p(&scene_);
    p.setRenderHint(QPainter::Antialiasing);

    // Glow: the CPU's heat fading from the middle to the box's edges.
    const QRectF glowBox = pulseBox();
    const QColor heat = Theme::heat(model_.cpu);
    QRadialGradient glow(g.centre, glowBox.width() / 2);
    glow.setColorAt(0, withAlpha(heat, 0.16));
    glow.setColorAt(1, withAlpha(heat, 0));
    p.fillRect(glowBox, glow);

    // Memory ring: each category's arc over the track, clockwise from the
    // top with flat ends.
    const double memR = ReactorGeometry::memRadius * g.r;
    QPen pen(Qt::white, ReactorGeometry::memWidth * g.r);
    pen.setCapStyle(Qt::FlatCap);
    p.setBrush(Qt::NoBrush);
    const auto segments = ReactorGeometry::memSegments(model_.mem);
    for (std::size_t i = 0; i < segments.size(); ++i) {
        if (!segments[i].visible())
            continue;
        pen.setColor(memColors()[i]);
        p.setPen(pen);
        QPainterPath arc;
        addArc(arc, g.centre, memR, -90 + segments[i].a * 360, -90 + segments[i].b * 360);
        p.drawPath(arc);
    }

    // Lit wedges: the heat image as a brush, filled as far out as each
    // core's load.
    if (lit_.isNull() || shown_.empty())
        return;
    QPainterPath wedges;
    wedges.setFillRule(Qt::WindingFill);
    const QRectF inner = square(g.centre, ReactorGeometry::innerEdge * g.r);
    for (std::size_t i = 0; i < g.sectors.size(); ++i) {
        const auto& s = g.sectors[i];
        const QRectF outer = square(g.centre, g.wedgeRadius(i < shown_.size() ? shown_[i] : 0));
        wedges.arcMoveTo(outer, -s.start);
        wedges.arcTo(outer, -s.start, -(s.end - s.start));
        wedges.arcTo(inner, -s.end, s.end - s.start);
        wedges.closeSubpath();
    }
    QBrush brush(lit_);
    QTransform place;
    place.translate(litBox_.x(), litBox_.y());
    place.scale(1 / ratio, 1 / ratio);
    brush.setTransform(place);
    p.fillPath(wedges, brush);
}

void ReactorLayerView::paintEvent(QPaintEvent*)
{
    const double ratio = devicePixelRatioF();
    rebuildIfNeeded(ratio);
    if (built_.width == 0)
        return;
    // The pulse never reaches the memory ring or the wedges, so everything
    // but the pulse is one picture, redrawn only when a sample or the
    // wedges' easing changes it.
    if (sceneDirty_)
        paintScene(ratio);
    QPainter p(this);
    p.drawImage(QPointF(0, 0), scene_);
    if (!live())
        return;
    // Pulse: three copies of one ring, a third of a cycle apart.
    buildRing(ratio);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    const QPointF centre = pulseBox().center();
    const double half = pulseBox().width() / 2;
    for (int i = 0; i < 3; ++i) {
        double t = phase_ - i / 3.0;
        t -= std::floor(t);
        const double e = easeOut.value(t);
        p.setOpacity(0.5 * (1 - e));
        p.drawImage(square(centre, half * (pulseFrom + (1 - pulseFrom) * e)), ring_);
    }
}

void ReactorLayerView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    paintedPulse_ = {-1, -1, -1};
}

void ReactorLayerView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    QWidget* w = window();
    if (w != watchedWindow_) {
        if (watchedWindow_)
            watchedWindow_->removeEventFilter(this);
        watchedWindow_ = w;
        if (w && w != this)
            w->installEventFilter(this);
    }
    startClock();
}

void ReactorLayerView::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    // The pulse keeps its phase and carries on from there when shown again.
    if (progress_ < 1) {
        shown_ = to_;
        progress_ = 1;
        sceneDirty_ = true;
    }
    FrameClock::shared().unsubscribe(this);
}

bool ReactorLayerView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == watchedWindow_
        && (event->type() == QEvent::WindowStateChange || event->type() == QEvent::Show))
        startClock();
    return QWidget::eventFilter(watched, event);
}
