#include "network/flow_ribbons_view.h"

#include "ui/frame_clock.h"
#include "ui/theme.h"
#include "ui/widget_opacity.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>

#include <cmath>
#include <cstring>

namespace {

// `colour` at `alpha` over an opaque pixel.
QRgb blend(QRgb under, const QColor& colour, double alpha)
{
    const int a = int(std::clamp(alpha, 0.0, 1.0) * 256 + 0.5);
    const int keep = 256 - a;
    const int r = (colour.red() * a + qRed(under) * keep) >> 8;
    const int g = (colour.green() * a + qGreen(under) * keep) >> 8;
    const int b = (colour.blue() * a + qBlue(under) * keep) >> 8;
    return qRgb(r, g, b);
}

} // namespace

FlowRibbonsView::FlowRibbonsView(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    WidgetOpacity::claimGround(this);
}

FlowRibbonsView::~FlowRibbonsView()
{
    FrameClock::shared().unsubscribe(this);
}

void FlowRibbonsView::setRibbons(const std::vector<FlowRibbons::Ribbon>& ribbons)
{
    if (ribbons == ribbons_)
        return;
    ribbons_ = ribbons;
    render();
}

void FlowRibbonsView::setPaused(bool paused)
{
    if (paused == paused_)
        return;
    paused_ = paused;
    syncClock();
}

double FlowRibbonsView::phase(const QString& id) const
{
    for (const Drawn& d : drawn_)
        if (d.id == id)
            return d.dash.phase;
    return 0;
}

// Lays the ribbons out for the current size: draws the still lines into
// the base image and finds the pixels of each dashed line. A width of 10 or
// less keeps what was drawn before: the view is being squeezed, not emptied.
void FlowRibbonsView::render()
{
    const double w = width();
    if (w <= 10)
        return;
    builtWidth_ = w;
    ratio_ = std::max(devicePixelRatioF(), 1.0);
    const QSize pixels(int(std::ceil(w * ratio_)), int(std::ceil(std::max(height(), 1) * ratio_)));
    if (base_.size() != pixels) {
        base_ = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        frame_ = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
    }
    if (pixels != placedPixels_ || rowHeight_ != placedRowHeight_) {
        places_.clear();
        placedPixels_ = pixels;
        placedRowHeight_ = rowHeight_;
    }
    QHash<quint64, std::shared_ptr<const std::vector<FlowRibbons::Texel>>> used;
    // Opaque, so copying it to the screen is a plain copy.
    base_.fill(Theme::bg());
    ++baseDraws_;

    QHash<QString, const Drawn*> old;
    old.reserve(qsizetype(drawn_.size()));
    for (const Drawn& d : drawn_)
        old.insert(d.id, &d);

    auto* bits = reinterpret_cast<QRgb*>(base_.bits());
    std::vector<Drawn> next;
    next.reserve(ribbons_.size());
    for (const FlowRibbons::Ribbon& r : ribbons_) {
        Drawn d;
        d.id = r.id;
        d.style = FlowRibbons::style(r.rateIn, r.rateOut, r.dimmed);
        const QPainterPath path = FlowRibbons::path(r.from, r.to, rowHeight_, w);
        const double pad = d.style.width / 2 + 1;
        d.bounds = path.controlPointRect().adjusted(-pad, -pad, pad, pad).toAlignedRect();
        const quint64 key = (quint64(quint32(r.from)) << 32) | quint32(r.to);
        auto place = places_.value(key);
        if (!place) {
            const QList<QPolygonF> lines = path.toSubpathPolygons();
            place = std::make_shared<const std::vector<FlowRibbons::Texel>>(FlowRibbons::raster(
                lines.isEmpty() ? QPolygonF() : lines.first(), ratio_, pixels));
        }
        used.insert(key, place);

        // The base line, blended in once: translucent strokes through the
        // painter cost a millisecond each.
        const QColor base = d.style.base;
        const double alpha = base.alphaF() * d.style.opacity;
        for (const FlowRibbons::Texel& t : *place) {
            const double cover = FlowRibbons::cover(d.style.width, t.distance, ratio_);
            if (cover > 0)
                bits[t.index] = blend(bits[t.index], base, alpha * cover);
            if (!d.style.flowing)
                continue;
            const double flow = FlowRibbons::cover(d.style.flowWidth, t.distance, ratio_);
            if (flow > 0)
                d.texels.push_back({t.index, float(std::fmod(double(t.along), FlowRibbons::cycle)),
                                    float(flow * d.style.opacity), t.distance * t.distance});
        }

        if (const Drawn* before = old.value(r.id)) {
            d.dash = before->dash;
            d.paintedPhase = before->paintedPhase;
        }
        if (d.dash.retarget(d.style))
            d.paintedPhase = 0;
        next.push_back(std::move(d));
    }
    drawn_ = std::move(next);
    places_ = std::move(used);
    update();
    syncClock();
}

QRegion FlowRibbonsView::advance(double dt)
{
    QRegion dirty;
    const double pixel = 1 / ratio_;
    for (Drawn& d : drawn_) {
        if (d.dash.direction == 0)
            continue;
        d.dash.advance(dt);
        double moved = std::fabs(d.dash.phase - d.paintedPhase);
        moved = std::min(moved, FlowRibbons::cycle - moved);
        // Drawn on at the new phase only from a whole pixel on, and then
        // over all of the line: any repaint in between, of any part of it,
        // draws the dashes where the rest of the line shows them.
        if (moved >= pixel) {
            dirty += d.bounds;
            d.paintedPhase = d.dash.phase;
        }
    }
    return dirty;
}

// The frame's hot loop: every pixel of a dashed line, each frame.
void FlowRibbonsView::blendDashes(const Drawn& d, int firstRow, int endRow)
{
    auto* bits = reinterpret_cast<QRgb*>(frame_.bits());
    const uint32_t first = uint32_t(firstRow) * uint32_t(frame_.width());
    const uint32_t end = uint32_t(endRow) * uint32_t(frame_.width());
    const QColor net = Theme::net();
    const int nr = net.red(), ng = net.green(), nb = net.blue();
    const float cycle = float(FlowRibbons::cycle), dash = float(FlowRibbons::dash);
    const float ratio = float(ratio_);
    const float radius = float(d.style.flowWidth / 2);
    const float opacity = float(d.style.opacity);
    // Dashes have round ends, as the still line does: a pixel is covered by
    // how near it lies to the nearest dash's centre segment, smoothed over
    // one device pixel at the edge. FlowRibbons::dashCover, unrolled.
    const float reach = radius + 0.5f / ratio;
    const float phase = float(d.paintedPhase);
    for (const FlowTexel& t : d.texels) {
        if (t.index < first || t.index >= end)
            continue;
        float at = t.along + phase;
        if (at >= cycle)
            at -= cycle;
        float alpha = t.alpha;
        if (at > dash) {
            // Past a dash's end: the round cap, by the distance from the
            // end of the dash's centre line.
            const float off = std::min(at - dash, cycle - at);
            if (off >= reach)
                continue;
            const float on = (radius - std::sqrt(off * off + t.apart2)) * ratio + 0.5f;
            if (on <= 0)
                continue;
            alpha = std::min(on, 1.0f) * opacity;
        }
        const int a = int(alpha * 256 + 0.5f);
        const int keep = 256 - a;
        const QRgb under = bits[t.index];
        bits[t.index] = qRgb((nr * a + qRed(under) * keep) >> 8, (ng * a + qGreen(under) * keep) >> 8,
                             (nb * a + qBlue(under) * keep) >> 8);
    }
}

void FlowRibbonsView::paintRibbons(QPainter& p, const QRect& clip)
{
    if (base_.isNull()) {
        p.fillRect(clip, Theme::bg());
        return;
    }
    const QRect area = clip.intersected(rect());
    if (area.isEmpty())
        return;
    // The rows of the frame that are shown: the base again, then the
    // dashes of the ribbons that cross them.
    const int firstRow = std::max(0, int(std::floor(area.top() * ratio_)));
    const int endRow = std::min(base_.height(), int(std::ceil((area.bottom() + 1) * ratio_)));
    if (endRow <= firstRow)
        return;
    const qsizetype line = base_.bytesPerLine();
    std::memcpy(frame_.scanLine(firstRow), base_.constScanLine(firstRow),
                std::size_t(line) * std::size_t(endRow - firstRow));
    for (Drawn& d : drawn_) {
        if (!d.style.flowing || !d.bounds.intersects(area))
            continue;
        blendDashes(d, firstRow, endRow);
    }
    const QRectF source(area.left() * ratio_, firstRow, area.width() * ratio_, endRow - firstRow);
    p.drawImage(QRectF(area.left(), firstRow / ratio_, area.width(), (endRow - firstRow) / ratio_),
                frame_, source);
}

void FlowRibbonsView::paintEvent(QPaintEvent* event)
{
    QPainter p(this);
    paintRibbons(p, event->rect());
}

void FlowRibbonsView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // The height follows the row count, which comes with a new list; the
    // base must still cover it.
    if (width() != builtWidth_ || base_.height() < int(std::ceil(height() * ratio_)))
        render();
}

bool FlowRibbonsView::live() const
{
    return !paused_ && WindowWatch::seen(this);
}

bool FlowRibbonsView::ticking() const
{
    return FrameClock::shared().subscribed(this);
}

void FlowRibbonsView::syncClock()
{
    bool flowing = false;
    for (const Drawn& d : drawn_)
        flowing = flowing || d.dash.direction != 0;
    FrameClock& clock = FrameClock::shared();
    if (!(flowing && live())) {
        clock.unsubscribe(this);
        return;
    }
    if (clock.subscribed(this))
        return;
    clock.subscribe(this, [this](double dt) {
        const QRegion dirty = advance(dt);
        if (!dirty.isEmpty())
            update(dirty);
        return true;
    });
}

void FlowRibbonsView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    windowWatch_.follow();
    syncClock();
}

void FlowRibbonsView::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    syncClock();
}
