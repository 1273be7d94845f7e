#include "field/reactor_layer_view.h"

#include "field/repaint_counter.h"

#include "ui/banded.h"
#include "ui/fonts.h"
#include "ui/frame_clock.h"
#include "ui/motion.h"
#include "ui/theme.h"
#include "ui/window_watch.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <cstring>
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
    const int bands = g.bands();
    for (int k = 0; k < bands; ++k) {
        QPainterPath path;
        const double radius = ReactorGeometry::innerEdge * g.r + band * (k + 0.5);
        for (const auto& s : g.sectors)
            addArc(path, g.centre, radius, s.start, s.end);
        QPen pen(color(k), std::max(g.bandLine(), 0.1));
        pen.setCapStyle(Qt::FlatCap);
        p.strokePath(path, pen);
    }
}

// Premultiplied ink over an opaque pixel.
QRgb over(QRgb ink, QRgb back)
{
    const int rest = 255 - qAlpha(ink);
    const auto mix = [rest](int fg, int bg) { return fg + (bg * rest + 127) / 255; };
    return qRgb(mix(qRed(ink), qRed(back)), mix(qGreen(ink), qGreen(back)), mix(qBlue(ink), qBlue(back)));
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
    return WindowWatch::seen(this);
}

bool ReactorLayerView::ticking() const
{
    return live() || progress_ < 1;
}

// The pulse never ends, but between its whole-pixel steps there is nothing
// to draw: after each frame the gauge snoozes on the frame clock until the
// next step is due (about 15 frames a second at idle), and takes at most
// 30 a second while the wedges ease.
void ReactorLayerView::startClock()
{
    if (!ticking() || FrameClock::shared().subscribed(this))
        return;
    FrameClock::shared().subscribe(this, [this](double dt) {
        if (!frame(dt))
            return false;
        FrameClock::shared().snooze(this, nextWake());
        return true;
    });
}

void ReactorLayerView::stopClock()
{
    FrameClock::shared().unsubscribe(this);
}

double ReactorLayerView::nextWake() const
{
    const double frame = 1 / pulseRate;
    if (!live())
        return frame - pending_;
    // The cycle fraction at which the pulse next moves a whole pixel.
    const double growth = std::max(pulseGrowth(), 1.0);
    const double next = std::min((std::floor(phase_ * growth) + 1) / growth, 1.0);
    double wait = (next - phase_) / pulseSpeed();
    // Easing wedges ride on the pulse's frames, with no fewer than 15 a
    // second; most of their few pixels go by in the first of them.
    if (progress_ < 1)
        wait = std::min(wait, easeFrame);
    return std::max(frame - pending_, wait);
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
    return int(std::floor(phase_ * std::max(pulseGrowth(), 1.0)));
}

double ReactorLayerView::pulseGrowth() const
{
    return ReactorGeometry(size(), {}).r * ReactorGeometry::pulseRadius * (1 - pulseFrom)
        * devicePixelRatioF();
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
    // A timer may fire a little early; that is still this frame.
    if (pending_ + 2e-3 < 1 / pulseRate && !settled)
        return ticking();
    pending_ = 0;
    if (pulsing) {
        const int step = pulseStep();
        if (step != paintedPulse_) {
            paintedPulse_ = step;
            ++pulseRepaints_;
            update(pulseArea_);
        }
    }
    // The wedges repaint only when one of them has moved a device pixel,
    // and only the sectors that moved; the last frame settles them all.
    std::vector<int> extents = wedgeExtents();
    if (settled || extents != paintedWedges_) {
        const QRegion dirty = changedWedges(extents);
        paintedWedges_ = std::move(extents);
        paintedLoads_ = shown_;
        if (!dirty.isEmpty()) {
            sceneDirty_ = true;
            update(dirty);
        }
    }
    return ticking();
}

QRegion ReactorLayerView::changedWedges(const std::vector<int>& extents) const
{
    const QRect whole = litBox_.toAlignedRect().adjusted(-1, -1, 1, 1);
    if (sectorBoxes_.size() != extents.size() || paintedLoads_.size() != shown_.size())
        return whole;
    const double ratio = built_.ratio > 0 ? built_.ratio : 1;
    QRegion dirty;
    for (std::size_t i = 0; i < extents.size(); ++i) {
        const bool moved = i < paintedWedges_.size() ? extents[i] != paintedWedges_[i] : true;
        if (!moved && shown_[i] == paintedLoads_[i])
            continue;
        const QRect& box = sectorBoxes_[i];
        if (box.isEmpty())
            continue;
        dirty += QRectF(box.x() / ratio, box.y() / ratio, box.width() / ratio, box.height() / ratio)
                     .toAlignedRect()
                     .adjusted(-1, -1, 1, 1);
    }
    return dirty;
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
        // The kinds' letters between the rings, where the readout's
        // layout puts them (a ring too small for one goes without).
        p.setPen(Theme::faint());
        const ReactorReadout letters
            = ReactorReadout::layout(g, model_.kinds, readoutMeasure(percent_, detail_));
        for (const ReactorReadout::Letter& letter : letters.letters) {
            p.setFont(readoutFont(letter.kind == CoreKind::efficiency ? ReactorReadout::Part::letterE
                                                                      : ReactorReadout::Part::letterP,
                                  letter.size));
            p.drawText(letter.pen, letter.kind == CoreKind::efficiency ? QStringLiteral("E") : QStringLiteral("P"));
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
        const int bands = g.bands();
        strokeBands(p, g, [bands](int k) { return Theme::heat((k + 0.5) / bands); });
    }
    indexLit(g, ratio);

    // The pulse's picture covers every pixel a pulse frame repaints.
    pulseArea_ = pulseBox().toAlignedRect().adjusted(-1, -1, 1, 1);
    pulseRect_ = QRect(QPoint(int(std::floor(pulseArea_.left() * ratio)), int(std::floor(pulseArea_.top() * ratio))),
                       QPoint(int(std::ceil((pulseArea_.right() + 1) * ratio)) - 1,
                              int(std::ceil((pulseArea_.bottom() + 1) * ratio)) - 1))
                     .intersected(base_.rect());
    pulse_ = QImage(pulseRect_.size(), QImage::Format_RGB32);
    pulse_.setDevicePixelRatio(ratio);
    ringPixels_.clear();
    if (!pulse_.isNull()) {
        const QPointF centre = pulseBox().center() * ratio - QPointF(pulseRect_.topLeft());
        const double reach = (pulseBox().width() / 2) * ratio + 2;
        const int stride = int(pulse_.bytesPerLine() / 4);
        const int top = std::max(0, int(std::floor(centre.y() - reach)));
        const int bottom = std::min(pulse_.height() - 1, int(std::ceil(centre.y() + reach)));
        const int left = std::max(0, int(std::floor(centre.x() - reach)));
        const int right = std::min(pulse_.width() - 1, int(std::ceil(centre.x() + reach)));
        for (int y = top; y <= bottom; ++y)
            for (int x = left; x <= right; ++x) {
                const double d = std::hypot(x + 0.5 - centre.x(), y + 0.5 - centre.y());
                if (d <= reach)
                    ringPixels_.push_back({float(d), y * stride + x});
            }
        std::sort(ringPixels_.begin(), ringPixels_.end(),
                  [](const RingPixel& a, const RingPixel& b) { return a.distance < b.distance; });
    }
    glowPixels_.clear();
    {
        // The glow's weight at each pixel: 0.16 at the centre down to 0 at
        // the pulse box's half width.
        const QPointF centre = g.centre * ratio;
        const double radius = (pulseBox().width() / 2) * ratio;
        const int stride = int(base_.bytesPerLine() / 4);
        const int top = std::max(0, int(std::floor(centre.y() - radius)));
        const int bottom = std::min(base_.height() - 1, int(std::ceil(centre.y() + radius)));
        const int left = std::max(0, int(std::floor(centre.x() - radius)));
        const int right = std::min(base_.width() - 1, int(std::ceil(centre.x() + radius)));
        for (int y = top; y <= bottom; ++y)
            for (int x = left; x <= right; ++x) {
                const double t = std::hypot(x + 0.5 - centre.x(), y + 0.5 - centre.y()) / radius;
                const int weight = int(std::lround(256 * 0.16 * (1 - t)));
                if (weight > 0)
                    glowPixels_.push_back({y * stride + x, weight});
            }
    }
    readoutDirty_ = true;
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
    sectorStarts_.clear();
    sceneReach_.clear();
    sectorBoxes_.assign(g.sectors.size(), QRect());
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
            sectorBoxes_[nearest] |= QRect(sx, sy, 1, 1);
        }
    }
    // Grouped by sector, each group from the centre out, so a wedge's step
    // finds the pixels between its old and new edge by distance.
    std::sort(litPixels_.begin(), litPixels_.end(), [](const LitPixel& a, const LitPixel& b) {
        return a.sector != b.sector ? a.sector < b.sector : a.distance < b.distance;
    });
    sectorStarts_.assign(g.sectors.size() + 1, litPixels_.size());
    for (std::size_t n = litPixels_.size(); n-- > 0;)
        sectorStarts_[litPixels_[n].sector] = n;
    for (std::size_t i = g.sectors.size(); i-- > 0;)
        sectorStarts_[i] = std::min(sectorStarts_[i], sectorStarts_[i + 1]);
}

void ReactorLayerView::paintGround()
{
    groundDirty_ = false;
    const ReactorGeometry g(size(), model_.kinds);
    ground_ = base_.copy();
    QPainter p(&ground_);
    p.setRenderHint(QPainter::Antialiasing);

    // Glow: the CPU's heat fading from the middle to the box's edges,
    // blended by hand from the weights worked out with the picture (a
    // gradient fill this size goes to Qt's thread pool).
    const QColor heat = Theme::heat(model_.cpu);
    auto* out = reinterpret_cast<QRgb*>(ground_.bits());
    const int red = heat.red(), green = heat.green(), blue = heat.blue();
    for (const GlowPixel& px : glowPixels_) {
        QRgb& back = out[px.offset];
        const int k = px.weight;
        const auto mix = [k](int fg, int bg) { return bg + (((fg - bg) * k) >> 8); };
        back = qRgb(mix(red, qRed(back)), mix(green, qGreen(back)), mix(blue, qBlue(back)));
    }

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
        sceneReach_.clear();
    }
    sceneDirty_ = false;
    if (scene_.isNull())
        return;
    // Lit wedges: each lit pixel of the heat image over the ground, as far
    // out as its core's load, with a soft last pixel. Only the sectors
    // whose reach changed since the picture was last drawn are drawn again.
    const ReactorGeometry g(size(), model_.kinds);
    std::vector<float> reach(g.sectors.size());
    for (std::size_t i = 0; i < reach.size(); ++i)
        reach[i] = float(g.wedgeRadius(i < shown_.size() ? shown_[i] : 0) * ratio) + 0.5f;
    if (sceneReach_.size() != reach.size())
        sceneReach_.assign(reach.size(), -1);
    auto* out = reinterpret_cast<QRgb*>(scene_.bits());
    const auto* under = reinterpret_cast<const QRgb*>(ground_.constBits());
    for (std::size_t i = 0; i + 1 < sectorStarts_.size() && i < reach.size(); ++i) {
        if (reach[i] == sceneReach_[i])
            continue;
        auto from = litPixels_.begin() + std::ptrdiff_t(sectorStarts_[i]);
        auto to = litPixels_.begin() + std::ptrdiff_t(sectorStarts_[i + 1]);
        // Only the pixels between the old edge and the new one change.
        if (sceneReach_[i] >= 0) {
            const float near = std::min(reach[i], sceneReach_[i]) - 1.01f;
            const float far = std::max(reach[i], sceneReach_[i]) + 0.01f;
            const auto byDistance = [](const LitPixel& px, float d) { return px.distance < d; };
            from = std::lower_bound(from, to, near, byDistance);
            to = std::lower_bound(from, to, far, byDistance);
        }
        sceneReach_[i] = reach[i];
        paintWedge(out, under, std::size_t(from - litPixels_.begin()), std::size_t(to - litPixels_.begin()),
                   reach[i]);
    }
}

void ReactorLayerView::paintWedge(QRgb* out, const QRgb* under, std::size_t from, std::size_t to, float reach) const
{
    for (std::size_t n = from; n < to; ++n) {
        const LitPixel& px = litPixels_[n];
        const QRgb back = under[px.offset];
        const float cover = std::clamp(reach - px.distance, 0.0f, 1.0f);
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

void ReactorLayerView::paintEvent(QPaintEvent* event)
{
    RepaintCounter::count("reactor");
    const double ratio = devicePixelRatioF();
    rebuildIfNeeded(ratio);
    if (built_.width == 0)
        return;
    // The pulse never reaches the memory ring or the wedges, so everything
    // but the pulse is one picture, redrawn only when a sample or the
    // wedges' easing changes it.
    if (sceneDirty_)
        paintScene(ratio);
    if (readoutDirty_)
        paintReadout(ratio);
    QPainter p(this);
    // A pulse frame repaints the pulse box alone: only its picture goes
    // to the screen.
    if (!pulseArea_.contains(event->rect()) && !scene_.isNull()) {
        // The figures that reach beyond the box are stamped into the
        // picture for this blit and lifted off after it.
        auto* out = reinterpret_cast<QRgb*>(scene_.bits());
        stamped_.clear();
        for (const auto& [offset, ink] : readoutOutside_) {
            stamped_.emplace_back(offset, out[offset]);
            out[offset] = over(ink, out[offset]);
        }
        Banded::drawImage(p, QPointF(0, 0), scene_);
        for (auto it = stamped_.rbegin(); it != stamped_.rend(); ++it)
            out[it->first] = it->second;
        stamped_.clear();
    }
    if (event->region().intersects(pulseArea_)) {
        composePulse();
        if (!pulse_.isNull())
            Banded::drawImage(p, QPointF(pulseRect_.topLeft()) / ratio, pulse_);
    }
}

// The scene under the box, then three copies of one ring a third of a
// cycle apart, each growing and fading, its line thinning as a scaled
// ring would, then the figures over them.
void ReactorLayerView::composePulse()
{
    if (pulse_.isNull() || scene_.isNull())
        return;
    const std::size_t rowBytes = std::size_t(pulse_.width()) * sizeof(QRgb);
    for (int y = 0; y < pulse_.height(); ++y)
        std::memcpy(pulse_.scanLine(y), scene_.constScanLine(pulseRect_.top() + y) + pulseRect_.left() * 4, rowBytes);
    if (live()) {
        const double ratio = pulse_.devicePixelRatio();
        const QColor color = Theme::heat(model_.cpu);
        const double half = pulseBox().width() / 2;
        for (int i = 0; i < 3; ++i) {
            const double e = easeOut.value(pulseTime(phase_, i));
            const double scale = pulseFrom + (1 - pulseFrom) * e;
            stampRing((half - 2) * scale * ratio, 1.2 * scale * ratio, color, 0.5 * (1 - e));
        }
    }
    auto* out = reinterpret_cast<QRgb*>(pulse_.bits());
    for (const auto& [offset, ink] : readoutPixels_)
        out[offset] = over(ink, out[offset]);
}

void ReactorLayerView::stampRing(double radius, double width, const QColor& color, double alpha)
{
    // Each pixel takes the share of its radial extent, [d - 0.5, d + 0.5],
    // that lies on the ring's line.
    if (pulse_.isNull() || alpha <= 0 || width <= 0)
        return;
    const double inner = radius - width / 2;
    const double outer = radius + width / 2;
    const auto byDistance = [](const RingPixel& a, float d) { return a.distance < d; };
    auto it = std::lower_bound(ringPixels_.begin(), ringPixels_.end(), float(inner - 0.5), byDistance);
    auto* out = reinterpret_cast<QRgb*>(pulse_.bits());
    const int red = color.red(), green = color.green(), blue = color.blue();
    const double a256 = 256 * alpha;
    for (; it != ringPixels_.end() && it->distance < outer + 0.5; ++it) {
        const double d = it->distance;
        const double cover = std::min(d + 0.5, outer) - std::max(d - 0.5, inner);
        if (cover <= 0)
            continue;
        const int k = int(a256 * std::min(cover, 1.0) + 0.5);
        if (k <= 0)
            continue;
        QRgb& px = out[it->offset];
        const auto mix = [k](int fg, int bg) { return bg + (((fg - bg) * k) >> 8); };
        px = qRgb(mix(red, qRed(px)), mix(green, qGreen(px)), mix(blue, qBlue(px)));
    }
}

void ReactorLayerView::setReadout(const QString& percent, const QString& detail)
{
    if (percent == percent_ && detail == detail_)
        return;
    percent_ = percent;
    detail_ = detail;
    readoutDirty_ = true;
    update(readoutBox_.toAlignedRect().adjusted(-1, -1, 1, 1));
}

QFont ReactorLayerView::readoutFont(ReactorReadout::Part part, double size)
{
    using Part = ReactorReadout::Part;
    switch (part) {
    case Part::caption:
        // The panel caption's face, its tracking shrinking with it.
        return Fonts::font(size, QFont::DemiBold, Fonts::Face::ui, Fonts::Width::condensed,
                           1.2 * size / ReactorReadout::captionSize);
    case Part::figure: return Fonts::mono(size, QFont::Light);
    case Part::detail: return Fonts::mono(size);
    default: return Fonts::font(size, QFont::DemiBold);
    }
}

namespace {

// The per-cent sign beside a figure of `size`, on its baseline.
QFont signFont(double size)
{
    return Fonts::mono(size * 15 / ReactorReadout::figureSize);
}

double signGap(double size)
{
    return 2 * size / ReactorReadout::figureSize;
}

// The widest figure and GPU and load line the readout makes room for, so
// the texts keep their size while the figures change.
const QString widestFigure = QStringLiteral("100");
const QString widestDetail = QStringLiteral("GPU 100%  LOAD 10.0");

} // namespace

ReactorReadout::Measure ReactorLayerView::readoutMeasure(const QString& percent, const QString& detail)
{
    using Part = ReactorReadout::Part;
    return [percent, detail](Part part, double size) {
        const QFontMetricsF m(readoutFont(part, size));
        ReactorReadout::Ink ink;
        ink.ascent = m.ascent();
        ink.descent = m.descent();
        const auto inked = [&](const QFontMetricsF& metrics, const QStringList& texts) {
            for (const QString& text : texts) {
                const QRectF box = metrics.tightBoundingRect(text);
                ink.inkTop = std::min(ink.inkTop, box.top());
                ink.inkBottom = std::max(ink.inkBottom, box.bottom());
            }
        };
        switch (part) {
        case Part::caption:
            ink.advance = m.horizontalAdvance(QStringLiteral("CPU"));
            inked(m, {QStringLiteral("CPU")});
            break;
        case Part::figure: {
            const QFontMetricsF sign(signFont(size));
            ink.advance = std::max(m.horizontalAdvance(percent), m.horizontalAdvance(widestFigure))
                + signGap(size) + sign.horizontalAdvance(QStringLiteral("%"));
            inked(m, {percent, widestFigure});
            inked(sign, {QStringLiteral("%")});
            break;
        }
        case Part::detail:
            ink.advance = std::max(m.horizontalAdvance(detail), m.horizontalAdvance(widestDetail));
            inked(m, {detail, widestDetail});
            break;
        case Part::letterE:
        case Part::letterP: {
            const QString letter = part == Part::letterE ? QStringLiteral("E") : QStringLiteral("P");
            ink.advance = m.horizontalAdvance(letter);
            inked(m, {letter});
            break;
        }
        }
        return ink;
    };
}

void ReactorLayerView::paintReadout(double ratio)
{
    readoutDirty_ = false;
    readout_ = ReactorReadout::layout(ReactorGeometry(QSizeF(size()), model_.kinds), model_.kinds,
                                      readoutMeasure(percent_, detail_));
    QRectF inked;
    for (const auto* line : {&readout_.caption, &readout_.figure, &readout_.detail})
        if (*line)
            inked |= (*line)->box;
    const QRectF old = readoutBox_;
    // A pixel round the ink for the antialiased edges.
    readoutBox_ = inked.isEmpty() ? QRectF()
                                  : QRectF(QPointF(std::floor(inked.left() - 1), std::floor(inked.top() - 1)),
                                           QPointF(std::ceil(inked.right() + 1), std::ceil(inked.bottom() + 1)));
    if (old != readoutBox_)
        update(old.toAlignedRect().adjusted(-1, -1, 1, 1));
    readoutPixels_.clear();
    readoutOutside_.clear();
    if (readoutBox_.isEmpty())
        return;
    QImage ink((readoutBox_.size() * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    ink.setDevicePixelRatio(ratio);
    ink.fill(Qt::transparent);
    if (ink.isNull())
        return;
    QPainter p(&ink);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.translate(-readoutBox_.topLeft());
    using Part = ReactorReadout::Part;
    // Each text centred on its line's box, on the line's baseline.
    const auto text = [&](const QFont& font, const QColor& color, QPointF pen, const QString& s) {
        p.setFont(font);
        p.setPen(color);
        p.drawText(pen, s);
    };
    const double cx = width() / 2.0;
    if (readout_.caption) {
        const QFont font = readoutFont(Part::caption, readout_.caption->size);
        const QString cpu = QStringLiteral("CPU");
        text(font, Theme::dim(), QPointF(cx - QFontMetricsF(font).horizontalAdvance(cpu) / 2, readout_.caption->pen.y()),
             cpu);
    }
    if (readout_.figure) {
        const double size = readout_.figure->size;
        const QFont big = readoutFont(Part::figure, size);
        const QFont sign = signFont(size);
        const QString percentSign = QStringLiteral("%");
        const double figureWidth = QFontMetricsF(big).horizontalAdvance(percent_);
        const double rowWidth = figureWidth + signGap(size) + QFontMetricsF(sign).horizontalAdvance(percentSign);
        const double left = cx - rowWidth / 2;
        const double baseline = readout_.figure->pen.y();
        text(big, Theme::text(), QPointF(left, baseline), percent_);
        text(sign, Theme::dim(), QPointF(left + figureWidth + signGap(size), baseline), percentSign);
    }
    if (readout_.detail) {
        const QFont font = readoutFont(Part::detail, readout_.detail->size);
        text(font, Theme::dim(),
             QPointF(cx - QFontMetricsF(font).horizontalAdvance(detail_) / 2, readout_.detail->pen.y()), detail_);
    }
    p.end();

    // Only the inked pixels, at their places in the pulse's picture or,
    // beyond it, in the scene.
    const int x0 = int(std::lround(readoutBox_.x() * ratio));
    const int y0 = int(std::lround(readoutBox_.y() * ratio));
    const int stride = int(base_.bytesPerLine() / 4);
    const int pulseStride = int(pulse_.bytesPerLine() / 4);
    for (int y = 0; y < ink.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(ink.constScanLine(y));
        for (int x = 0; x < ink.width(); ++x) {
            const int sx = x0 + x, sy = y0 + y;
            if (qAlpha(row[x]) == 0 || sx < 0 || sy < 0 || sx >= base_.width() || sy >= base_.height())
                continue;
            if (pulseRect_.contains(sx, sy))
                readoutPixels_.emplace_back((sy - pulseRect_.top()) * pulseStride + sx - pulseRect_.left(), row[x]);
            else
                readoutOutside_.emplace_back(sy * stride + sx, row[x]);
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
    windowWatch_.follow();
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
    stopClock();
}
