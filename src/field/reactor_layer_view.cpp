#include "field/reactor_layer_view.h"

#include "ui/fonts.h"
#include "ui/frame_clock.h"
#include "ui/motion.h"
#include "ui/theme.h"

#include <QEvent>
#include <QLinearGradient>
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

using Theme::flatBrush;
using Theme::withAlpha;

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

// How far through its growth the pulse copy `i` is, 0 to 1.
double pulseTime(double phase, int i)
{
    double t = phase - i / 3.0;
    return t - std::floor(t);
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
    // The base image carries the ground, so nothing behind repaints with
    // each pulse frame.
    setAttribute(Qt::WA_OpaquePaintEvent);
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
    groundDirty_ = true;
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

int ReactorLayerView::pulseStep() const
{
    // Each copy grows by this many device pixels a cycle, on average one
    // every 1/growth of a cycle: the pulse moves on a frame only once the
    // phase has gone that far.
    const double growth = ReactorGeometry(size(), {}).r * ReactorGeometry::pulseRadius
        * (1 - pulseFrom) * devicePixelRatioF();
    return int(std::floor(phase_ * std::max(growth, 1.0)));
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
    static const bool noPulse = qEnvironmentVariableIsSet("R2_NOPULSE");
    const bool pulsing = live() && !noPulse;
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
        const int step = pulseStep();
        if (step != paintedPulse_) {
            paintedPulse_ = step;
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
    const Built now{width(), height(), model_.kinds.size(), ratio,
                    palette().color(QPalette::Window)};
    if (now == built_)
        return;
    built_ = now;
    const ReactorGeometry g(size(), model_.kinds);
    const double r = g.r;

    base_ = QImage((QSizeF(size()) * ratio).toSize(), QImage::Format_RGB32);
    base_.setDevicePixelRatio(ratio);
    base_.fill(built_.ground);
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
    indexLit(g, ratio);
    paintedWedges_.clear();
    groundDirty_ = true;
    sceneDirty_ = true;
}

void ReactorLayerView::indexLit(const ReactorGeometry& g, double ratio)
{
    // Every lit pixel once, with the sector it belongs to (the nearest by
    // angle, so the soft edges between sectors go with their own) and its
    // distance from the centre; a wedge step then needs no rasteriser.
    litPixels_.clear();
    if (lit_.isNull() || g.sectors.empty())
        return;
    const int x0 = int(std::lround(litBox_.x() * ratio));
    const int y0 = int(std::lround(litBox_.y() * ratio));
    const double cx = g.centre.x() * ratio;
    const double cy = g.centre.y() * ratio;
    const int stride = int(base_.bytesPerLine() / 4);
    for (int y = 0; y < lit_.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(lit_.constScanLine(y));
        for (int x = 0; x < lit_.width(); ++x) {
            const int sx = x0 + x;
            const int sy = y0 + y;
            if (qAlpha(row[x]) == 0 || sx < 0 || sy < 0 || sx >= base_.width() || sy >= base_.height())
                continue;
            const double dx = sx + 0.5 - cx;
            const double dy = sy + 0.5 - cy;
            const double angle = std::atan2(dy, dx) * 180 / std::numbers::pi;
            std::size_t nearest = 0;
            double best = 1e9;
            for (std::size_t i = 0; i < g.sectors.size(); ++i) {
                double d = angle - (g.sectors[i].start + g.sectors[i].end) / 2;
                d -= 360 * std::round(d / 360);
                if (std::abs(d) < best) {
                    best = std::abs(d);
                    nearest = i;
                }
            }
            litPixels_.push_back({sy * stride + sx, row[x], std::uint32_t(nearest),
                                  float(std::hypot(dx, dy))});
        }
    }
}

void ReactorLayerView::paintGround()
{
    groundDirty_ = false;
    const ReactorGeometry g(size(), model_.kinds);
    ground_ = base_.copy();
    QPainter p(&ground_);
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
        pen.setBrush(flatBrush(memColors()[i]));
        p.setPen(pen);
        QPainterPath arc;
        addArc(arc, g.centre, memR, -90 + segments[i].a * 360, -90 + segments[i].b * 360);
        p.drawPath(arc);
    }
}

void ReactorLayerView::paintScene(double ratio)
{
    if (groundDirty_) {
        paintGround();
        scene_ = ground_.copy();
    }
    sceneDirty_ = false;
    if (scene_.isNull())
        return;
    // Lit wedges: each lit pixel of the heat image over the ground, as far
    // out as its core's load, with a soft last pixel.
    const ReactorGeometry g(size(), model_.kinds);
    std::vector<float> reach(g.sectors.size());
    for (std::size_t i = 0; i < reach.size(); ++i)
        reach[i] = float(g.wedgeRadius(i < shown_.size() ? shown_[i] : 0) * ratio) + 0.5f;
    auto* out = reinterpret_cast<QRgb*>(scene_.bits());
    const auto* under = reinterpret_cast<const QRgb*>(ground_.constBits());
    for (const LitPixel& px : litPixels_) {
        const QRgb back = under[px.offset];
        const float cover = std::clamp(reach[px.sector] - px.distance, 0.0f, 1.0f);
        if (cover <= 0) {
            out[px.offset] = back;
            continue;
        }
        const int k = int(cover * 256);
        const int a = (qAlpha(px.color) * k) >> 8;
        const auto mix = [&](int lit, int bg) { return ((lit * k) >> 8) + (bg * (255 - a) + 127) / 255; };
        out[px.offset] = qRgb(mix(qRed(px.color), qRed(back)), mix(qGreen(px.color), qGreen(back)),
                              mix(qBlue(px.color), qBlue(back)));
    }
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
    // Pulse: three copies of one ring a third of a cycle apart, each
    // growing and fading, its line thinning as a scaled ring would. They
    // are stamped into the picture for this blit and lifted off after it.
    stamped_.clear();
    if (live()) {
        const QColor color = Theme::heat(model_.cpu);
        const double half = pulseBox().width() / 2;
        for (int i = 0; i < 3; ++i) {
            const double e = easeOut.value(pulseTime(phase_, i));
            const double scale = pulseFrom + (1 - pulseFrom) * e;
            stampRing((half - 2) * scale * ratio, 1.2 * scale * ratio, color, 0.5 * (1 - e));
        }
    }
    QPainter p(this);
    p.drawImage(QPointF(0, 0), scene_);
    p.end();
    auto* out = reinterpret_cast<QRgb*>(scene_.bits());
    for (auto it = stamped_.rbegin(); it != stamped_.rend(); ++it)
        out[it->first] = it->second;
    stamped_.clear();
}

void ReactorLayerView::stampRing(double radius, double width, const QColor& color, double alpha)
{
    // Each pixel takes the share of its radial extent, [d - 0.5, d + 0.5],
    // that lies on the ring's line.
    if (scene_.isNull() || alpha <= 0 || width <= 0)
        return;
    const double ratio = scene_.devicePixelRatio();
    const QPointF centre = pulseBox().center() * ratio;
    const double inner = radius - width / 2;
    const double outer = radius + width / 2;
    const int stride = int(scene_.bytesPerLine() / 4);
    auto* out = reinterpret_cast<QRgb*>(scene_.bits());
    const int top = std::max(0, int(std::floor(centre.y() - outer - 1)));
    const int bottom = std::min(scene_.height() - 1, int(std::ceil(centre.y() + outer + 1)));
    const int red = color.red(), green = color.green(), blue = color.blue();
    for (int y = top; y <= bottom; ++y) {
        const double dy = y + 0.5 - centre.y();
        const double far = outer + 0.5;
        if (std::abs(dy) > far)
            continue;
        const double reach = std::sqrt(far * far - dy * dy);
        const double near = inner - 0.5;
        const double hole = std::abs(dy) < near ? std::sqrt(near * near - dy * dy) : 0;
        int done = -1; // the last column the left half stamped
        for (const int side : {-1, 1}) {
            const double from = centre.x() + side * hole;
            const double to = centre.x() + side * reach;
            int x0 = int(std::floor(std::min(from, to))) - 1;
            int x1 = int(std::ceil(std::max(from, to))) + 1;
            x0 = std::max(x0, 0);
            x1 = std::min(x1, scene_.width() - 1);
            // The two halves meet on the rows past the hole.
            x0 = std::max(x0, done + 1);
            done = x1;
            for (int x = x0; x <= x1; ++x) {
                const double d = std::hypot(x + 0.5 - centre.x(), dy);
                const double cover = std::min(d + 0.5, outer) - std::max(d - 0.5, inner);
                if (cover <= 0)
                    continue;
                const int k = int(std::lround(256 * alpha * std::min(cover, 1.0)));
                if (k <= 0)
                    continue;
                QRgb& px = out[y * stride + x];
                stamped_.emplace_back(y * stride + x, px);
                const auto mix = [k](int fg, int bg) { return bg + (((fg - bg) * k) >> 8); };
                px = qRgb(mix(red, qRed(px)), mix(green, qGreen(px)), mix(blue, qBlue(px)));
            }
        }
    }
}

void ReactorLayerView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    paintedPulse_ = -1;
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
