#include "ui/rule_slider.h"

#include "ui/desktop_settings.h"
#include "ui/frame_clock.h"
#include "ui/motion.h"
#include "ui/switch.h"
#include "ui/theme.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {

// The live dot's glide: ease-out over 0.7 s.
Animation liveGlide()
{
    return Animation::timing(TimingCurve{0, 0, 0.58, 1}, 0.7);
}

// Moves made from outside (a reset) settle like the row's reset spring.
Animation resetSpring()
{
    return DesktopSettings::instance().movement(Animation::spring(Motion::standard(), 0.9));
}

} // namespace

RuleSlider::RuleSlider(Binding<double> value, Range range, double step, double fallback,
                       std::optional<double> live, const QColor& color, QWidget* parent)
    : QWidget(parent)
    , binding_(std::move(value))
    , range_(range)
    , step_(step)
    , fallback_(fallback)
    , live_(live)
    , color_(color)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFixedHeight(int(height));
    value_ = binding_.value();
    knob_.set(position(value_, range_));
    if (live_)
        liveAt_.set(position(*live_, range_));
}

double RuleSlider::position(double value, Range range)
{
    const double span = range.upper - range.lower;
    if (!(span > 0) || std::isnan(value))
        return 0;
    return (std::clamp(value, range.lower, range.upper) - range.lower) / span;
}

double RuleSlider::valueAt(double x, double width, Range range, double step)
{
    const double track = width - knobSize;
    const double along = x - margin;
    double f = track >= 1 ? along / track : along;
    if (std::isnan(f))
        f = 0;
    f = std::clamp(f, 0.0, 1.0);
    const double raw = range.lower + f * (range.upper - range.lower);
    const double snapped = (step > 0 && std::isfinite(step)) ? step * std::round(raw / step) : raw;
    return std::clamp(snapped, range.lower, range.upper);
}

QSize RuleSlider::sizeHint() const
{
    return {200, int(height)};
}

QSize RuleSlider::minimumSizeHint() const
{
    return {int(knobSize) * 2, int(height)};
}

bool RuleSlider::moving() const
{
    return knob_.moving() || size_.moving() || glow_.moving() || liveAt_.moving();
}

void RuleSlider::setLive(const std::optional<double>& live)
{
    if (live == live_)
        return;
    const bool had = live_.has_value();
    live_ = live;
    if (!live_) {
        update();
        return;
    }
    const double at = position(*live_, range_);
    if (!had || !isVisible()) {
        liveAt_.set(at);
        update();
        return;
    }
    liveAt_.setTarget(at, liveGlide());
    animate();
}

void RuleSlider::sync()
{
    const double value = binding_.value();
    if (value == value_ || (std::isnan(value) && std::isnan(value_)))
        return;
    value_ = value;
    if (dragging_ || !isVisible()) {
        knob_.set(position(value_, range_));
        update();
        return;
    }
    knob_.setTarget(position(value_, range_), resetSpring());
    animate();
}

void RuleSlider::drag(double x)
{
    const double next = valueAt(x, width(), range_, step_);
    const bool starting = !dragging_;
    setDragging(true);
    value_ = next;
    if (starting && isVisible()) {
        knob_.setTarget(position(value_, range_),
                        Switch::spring(DesktopSettings::instance().reduceMotion()));
        animate();
    } else if (knob_.moving()) {
        // Still springing to where the press landed: bend towards the pointer.
        knob_.setTarget(position(value_, range_),
                        Switch::spring(DesktopSettings::instance().reduceMotion()));
    } else {
        knob_.set(position(value_, range_));
        update();
    }
    binding_.write(next);
}

void RuleSlider::setDragging(bool dragging)
{
    if (dragging == dragging_)
        return;
    dragging_ = dragging;
    const Animation spring = Switch::spring(DesktopSettings::instance().reduceMotion());
    size_.setTarget(dragging ? heldKnobSize : knobSize, isVisible() ? spring : Animation::none());
    glow_.setTarget(dragging ? 0.6 : 0, isVisible() ? spring : Animation::none());
    animate();
}

void RuleSlider::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    drag(event->position().x());
}

void RuleSlider::mouseMoveEvent(QMouseEvent* event)
{
    if (!(event->buttons() & Qt::LeftButton) || !dragging_)
        return;
    drag(event->position().x());
}

void RuleSlider::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        setDragging(false);
}

void RuleSlider::animate()
{
    if (!isVisible()) {
        settle();
        return;
    }
    FrameClock::shared().subscribe(this, [this](double dt) {
        const bool still = stepAll(dt, knob_, size_, glow_, liveAt_);
        update();
        return still;
    });
}

void RuleSlider::settle()
{
    for (AnimatedValue* v : {&knob_, &size_, &glow_, &liveAt_})
        v->set(v->target());
    FrameClock::shared().unsubscribe(this);
    update();
}

void RuleSlider::hideEvent(QHideEvent* event)
{
    dragging_ = false;
    size_.setTarget(knobSize, Animation::none());
    glow_.setTarget(0, Animation::none());
    settle();
    QWidget::hideEvent(event);
}

void RuleSlider::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const double w = std::max(0.0, width() - knobSize);
    const double middle = height / 2;
    const auto along = [&](double fraction) { return margin + w * fraction; };

    const QRectF track(margin, middle - 2, w, 4);
    QPainterPath groove;
    groove.addRoundedRect(track, 2, 2);
    p.fillPath(groove, Theme::raised());

    const double filled = std::max(0.0, w * position(value_, range_));
    if (filled > 0) {
        QPainterPath fill;
        fill.addRoundedRect(QRectF(margin, middle - 2, filled, 4), 2, 2);
        p.fillPath(fill, Theme::withAlpha(color_, 0.85));
    }

    const double mark = along(position(fallback_, range_));
    p.fillRect(QRectF(mark - 0.75, middle - 5, 1.5, 10), Theme::dim());

    p.setPen(Qt::NoPen);
    if (live_) {
        p.setBrush(Theme::net());
        p.drawEllipse(QPointF(along(liveAt_.value()), middle - 9), 3, 3);
    }

    const double size = size_.value();
    const QPointF centre(along(knob_.value()), middle);
    const double glow = glow_.value();
    if (glow > 0.01) {
        // A soft shadow in the rule's colour, radius 6.
        for (int ring = 3; ring >= 1; --ring) {
            p.setBrush(Theme::withAlpha(color_, glow * 0.22));
            p.drawEllipse(centre, size / 2 + 2.0 * ring, size / 2 + 2.0 * ring);
        }
    }
    p.setBrush(Theme::text());
    p.drawEllipse(centre, size / 2, size / 2);
}
