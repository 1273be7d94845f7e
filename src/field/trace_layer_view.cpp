#include "field/trace_layer_view.h"

#include "field/repaint_counter.h"
#include "field/trace_geometry.h"
#include "ui/banded.h"
#include "ui/fonts.h"
#include "ui/frame_clock.h"
#include "ui/theme.h"

#include <QLinearGradient>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {

using Theme::flatBrush;
using Theme::withAlpha;

QFont readoutFont()
{
    return Fonts::mono(9.5);
}

} // namespace

TraceLayerView::TraceLayerView(std::vector<QColor> colors, QWidget* parent)
    : QWidget(parent), colors_(std::move(colors))
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
}

TraceLayerView::~TraceLayerView()
{
    FrameClock::shared().unsubscribe(this);
}

void TraceLayerView::apply(const Model& model)
{
    if (model == model_)
        return;
    const bool slide = model.stamp != model_.stamp;
    const bool shifted = slide && !contentStale_ && shiftedByOne(model_, model);
    model_ = model;
    if (shifted)
        ++pendingShifts_;
    else
        contentStale_ = true;
    if (slide) {
        glide_ = 0;
        glideStart_ = Scheduler::current().now();
        glideDuration_ = model.interval;
        // No interval to glide over: the new sample is simply there.
        if (!(glideDuration_ > 0) || !std::isfinite(glideDuration_) || !isVisible()
            || window()->isMinimized()) {
            finishGlide();
        } else {
            gliding_ = true;
            scheduleCrossing();
        }
    }
    update();
}

void TraceLayerView::setOverlay(std::optional<Overlay> overlay)
{
    if (overlay == overlay_)
        return;
    overlay_ = std::move(overlay);
    update();
}

bool TraceLayerView::shiftedByOne(const Model& before, const Model& after)
{
    // The new model is the old one moved one sample to the left with one
    // new sample at the end (the oldest dropped, or kept while the history
    // is still filling up): every value and every tick but the newest few
    // is where the drawing already has it.
    if (before.series.size() != after.series.size() || before.series.empty())
        return false;
    const std::size_t count = after.series.front().size();
    const std::size_t dropped = before.series.front().size() == count ? 1 : 0;
    if (count < 2 || before.series.front().size() + 1 - dropped != count)
        return false;
    for (std::size_t s = 0; s < after.series.size(); ++s) {
        const auto& a = before.series[s];
        const auto& b = after.series[s];
        if (b.size() != count || a.size() + 1 - dropped != count)
            return false;
        for (std::size_t k = 0; k + 1 < count; ++k) {
            // Equal, or both missing.
            const double was = a[k + dropped];
            if (!(b[k] == was) && !(std::isnan(b[k]) && std::isnan(was)))
                return false;
        }
    }
    const int fresh = int(count) - freshPoints;
    std::vector<int> moved;
    for (int t : before.ticks)
        if (t - int(dropped) >= 0 && t - int(dropped) < fresh)
            moved.push_back(t - int(dropped));
    std::vector<int> kept;
    for (int t : after.ticks)
        if (t >= 0 && t < fresh)
            kept.push_back(t);
    return moved == kept;
}

double TraceLayerView::shiftOffset() const
{
    return stripShifts_ * TraceGeometry::step(width());
}

int TraceLayerView::glidePixels() const
{
    const double ratio = artRatio_ > 0 ? artRatio_ : devicePixelRatioF();
    const double offset = shiftOffset();
    return TraceGeometry::roundToInt((offset + glide_ * TraceGeometry::step(width())) * ratio)
        - TraceGeometry::roundToInt(offset * ratio);
}

bool TraceLayerView::gliding() const
{
    return gliding_;
}

// The glide is linear, so the moment the drawing reaches its next whole
// device pixel is known in advance: snooze on the frame clock until then
// rather than take every frame of a step that moves two or three pixels a
// second.
void TraceLayerView::scheduleCrossing()
{
    const double ratio = artRatio_ > 0 ? artRatio_ : devicePixelRatioF();
    const double step = TraceGeometry::step(width());
    const double offset = shiftOffset();
    // Progress at which the rounded offset becomes one more than now; the
    // end of the glide when no whole pixel is left before it.
    double target = 1;
    if (step * ratio > 0 && std::isfinite(step * ratio)) {
        const double pixel = TraceGeometry::roundToInt(offset * ratio) + glidePixels() + 0.5;
        target = std::clamp((pixel / ratio - offset) / step, 0.0, 1.0);
    }
    const double due = glideStart_ + target * glideDuration_;
    // A hair past the crossing, so rounding has surely moved by then. The
    // step may come a little late, on a frame the gauge's pulse takes
    // anyway: a glide of a few pixels a second does not show the lag, and
    // the window repaints once for both.
    const double wait = std::max(0.0, due - Scheduler::current().now()) + 1e-4;
    if (!FrameClock::shared().subscribed(this))
        FrameClock::shared().subscribe(this, [this](double) { return crossed(); });
    FrameClock::shared().snooze(this, wait, crossingSlack);
}

bool TraceLayerView::crossed()
{
    if (!gliding_)
        return false;
    const double elapsed = Scheduler::current().now() - glideStart_;
    glide_ = std::clamp(elapsed / glideDuration_, 0.0, 1.0);
    if (glidePixels() != paintedPixels_)
        update();
    if (glide_ < 1) {
        scheduleCrossing();
        return true;
    }
    finishGlide();
    return false;
}

void TraceLayerView::finishGlide()
{
    FrameClock::shared().unsubscribe(this);
    gliding_ = false;
    glide_ = 1;
}

void TraceLayerView::hideEvent(QHideEvent* event)
{
    // Nothing glides unseen; the next sample starts from where this one ends.
    if (gliding())
        finishGlide();
    QWidget::hideEvent(event);
}

void TraceLayerView::mouseMoveEvent(QMouseEvent* event)
{
    emit pointerMoved(event->position().x());
}

void TraceLayerView::leaveEvent(QEvent* event)
{
    emit pointerLeft();
    QWidget::leaveEvent(event);
}

void TraceLayerView::ensureArt()
{
    const double ratio = devicePixelRatioF();
    if (artSize_ != size() || artRatio_ != ratio || groundSeries_ != model_.series.size()) {
        artSize_ = size();
        artRatio_ = ratio;
        drawGround();
        drawFrame();
        contentStale_ = true;
    }
    if (!contentStale_ && pendingShifts_ > 0) {
        const double step = TraceGeometry::step(width());
        // Narrow traces have no room for the newest points' strokes
        // between the redrawn band and the points that change.
        if (step * (stripShifts_ + pendingShifts_) > stripRoom || pendingShifts_ > 1 || step < 1.5)
            contentStale_ = true;
        else
            drawNewest();
    }
    if (contentStale_) {
        drawContent();
        contentStale_ = false;
    }
    pendingShifts_ = 0;
}

void TraceLayerView::drawGround()
{
    ground_ = QPixmap(artSize_ * artRatio_);
    ground_.setDevicePixelRatio(artRatio_);
    ground_.fill(Theme::bg());
    groundSeries_ = model_.series.size();
    const double w = width();
    const double h = height();
    if (w <= 10 || h <= 10)
        return;
    QPainter p(&ground_);
    QPen pen(Theme::line(), 1);
    pen.setDashPattern({2, 4});
    p.setPen(pen);
    const int n = int(model_.series.size());
    const auto plot = TraceGeometry::plot(h, n);
    for (double f : TraceGeometry::gridFractions(n)) {
        const double y = std::round(plot.baseline - plot.upper * f) + 0.5;
        p.drawLine(QPointF(0, y), QPointF(w, y));
    }
}

void TraceLayerView::drawFrame()
{
    frame_ = QPixmap(artSize_ * artRatio_);
    frame_.setDevicePixelRatio(artRatio_);
    frame_.fill(Qt::transparent);
    QPainter p(&frame_);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box(0, 0, width(), height());
    // The column's ground outside the rounded corners, so the square drawing
    // underneath reads as clipped to the shape.
    QPainterPath outside;
    outside.addRect(box);
    QPainterPath shape;
    shape.addRoundedRect(box, cornerRadius, cornerRadius);
    p.fillPath(outside.subtracted(shape), Theme::panel());
    p.setPen(QPen(Theme::line(), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(box.adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius - 0.5, cornerRadius - 0.5);
}

void TraceLayerView::drawContent()
{
    ++rebuilds_;
    RepaintCounter::count("trace drawn afresh");
    const double w = width();
    const double h = height();
    const double step = TraceGeometry::step(w);
    // Two steps of room each side: the drawing reaches one step past the
    // edges and glides by one more; to the right, room for new samples to
    // be added in place before the strip is drawn afresh.
    const int margin = TraceGeometry::toInt(std::ceil(2 * step)) + 1;
    contentLeft_ = -margin;
    stripShifts_ = 0;
    const QSize logical(std::max(1, int(w) + 2 * margin + int(stripRoom)), std::max(1, int(h)));
    content_ = QPixmap(logical * artRatio_);
    content_.setDevicePixelRatio(artRatio_);
    content_.fill(Qt::transparent);
    if (w <= 10 || h <= 10)
        return;
    QPainter p(&content_);
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(margin, 0);
    drawSeries(p, 0, 0);
}

void TraceLayerView::drawNewest()
{
    ++stripShifts_;
    const double w = width();
    const double h = height();
    if (w <= 10 || h <= 10 || model_.series.empty())
        return;
    const int count = int(model_.series.front().size());
    // Everything right of the point `freshPoints` from the end is drawn
    // again; the strokes and fill left of it are what a full drawing makes.
    const double from = -contentLeft_ + shiftOffset() + TraceGeometry::sampleX(w, count, count - freshPoints);
    const double left = std::floor(from * artRatio_) / artRatio_;
    QPainter p(&content_);
    const QRectF band(left, 0, content_.width() / artRatio_ - left, content_.height() / artRatio_);
    p.setClipRect(band);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.fillRect(band, Qt::transparent);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(-contentLeft_ + shiftOffset(), 0);
    drawSeries(p, std::max(0, count - 2 * freshPoints), shiftOffset());
}

void TraceLayerView::drawSeries(QPainter& p, int first, double offset) const
{
    const double w = width();
    const double h = height();
    const int n = int(model_.series.size());
    const int count = n > 0 ? int(model_.series.front().size()) : 0;
    const auto plot = TraceGeometry::plot(h, n);

    p.setPen(QPen(flatBrush(withAlpha(Theme::line(), 0.8)), 1));
    for (int t : model_.ticks) {
        if (t < first || t >= count)
            continue;
        // On a pixel's middle wherever the strip has moved to.
        const double x = std::round(TraceGeometry::sampleX(w, count, t) + offset) - offset + 0.5;
        p.drawLine(QPointF(x, 0), QPointF(x, h));
    }

    const int drawn = std::min<int>(n, int(colors_.size()));
    for (int i = 0; i < drawn; ++i) {
        const auto& values = model_.series[std::size_t(i)];
        if (values.size() < 2)
            continue;
        const int points = int(values.size());
        auto at = [&](int k) {
            double v = values[std::size_t(k)];
            if (std::isnan(v))
                v = 0;
            return QPointF(TraceGeometry::sampleX(w, points, k), TraceGeometry::valueY(plot, i, v));
        };
        // Smoothed through the midpoints: each point is the control of the
        // curve from the midpoint before it to the one after. A drawing from
        // a later point starts at its midpoint and matches the whole one
        // from there on.
        const int start = std::clamp(first, 0, points - 2);
        QPainterPath line(start == 0 ? at(0) : (at(start - 1) + at(start)) / 2);
        for (int k = start; k + 1 < points; ++k) {
            const QPointF a = at(k);
            const QPointF b = at(k + 1);
            line.quadTo(a, (a + b) / 2);
        }
        line.lineTo(at(points - 1));

        QPainterPath fill = line;
        fill.lineTo(at(points - 1).x(), plot.baseline);
        fill.lineTo(line.elementAt(0).x, plot.baseline);
        fill.closeSubpath();

        const QColor& color = colors_[std::size_t(i)];
        QLinearGradient gradient;
        if (i == 0) {
            gradient = QLinearGradient(0, plot.baseline - plot.upper, 0, plot.baseline);
            gradient.setColorAt(0, withAlpha(color, 0.26));
            gradient.setColorAt(1, withAlpha(color, 0.02));
        } else {
            gradient = QLinearGradient(0, plot.baseline, 0, plot.baseline + plot.lower);
            gradient.setColorAt(0, withAlpha(color, 0.02));
            gradient.setColorAt(1, withAlpha(color, 0.26));
        }
        p.fillPath(fill, gradient);

        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(flatBrush(withAlpha(color, 0.18)), 4.5, Qt::SolidLine, Qt::FlatCap,
                      Qt::RoundJoin));
        p.drawPath(line);
        p.setPen(QPen(flatBrush(withAlpha(color, 1.0)), 1.3, Qt::SolidLine, Qt::FlatCap,
                      Qt::RoundJoin));
        p.drawPath(line);
    }
}

void TraceLayerView::paintEvent(QPaintEvent*)
{
    RepaintCounter::count("trace");
    ensureArt();
    QPainter p(this);
    Banded::drawPixmap(p, QPointF(0, 0), ground_);
    paintedPixels_ = glidePixels();
    const int shift = TraceGeometry::roundToInt(shiftOffset() * artRatio_) + paintedPixels_;
    Banded::drawPixmap(p, QPointF(contentLeft_ - shift / artRatio_, 0), content_);
    Banded::drawPixmap(p, QPointF(0, 0), frame_);
    if (overlay_)
        paintOverlay(p);
}

void TraceLayerView::paintOverlay(QPainter& p) const
{
    const Overlay& o = *overlay_;
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(QRectF(o.x - 0.5, 0, 1, height()), withAlpha(Theme::text(), 0.35));
    p.setPen(Qt::NoPen);
    for (const auto& dot : o.dots) {
        p.setBrush(dot.color);
        p.drawEllipse(dot.centre, 2.5, 2.5);
    }
    if (o.text.isEmpty())
        return;
    const QFont font = readoutFont();
    const QFontMetricsF metrics(font);
    const double textWidth = metrics.horizontalAdvance(o.text);
    const QRectF box(3, 2, textWidth + 6, metrics.height() + 2);
    p.setBrush(withAlpha(Theme::bg(), 0.85));
    p.drawRoundedRect(box, 3, 3);
    p.setFont(font);
    p.setPen(Theme::text());
    p.drawText(box.adjusted(3, 1, -3, -1), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
               o.text);
}
