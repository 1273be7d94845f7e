#include "ui/press_style.h"

#include "ui/motion.h"

#include <QPainterPath>
#include <QRectF>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

double mix(double a, double b, double t)
{
    return a + (b - a) * t;
}

struct Scales {
    double pressed, hover;
};

Scales scalesOf(PressStyle::Kind kind)
{
    switch (kind) {
    case PressStyle::Kind::surface:
    case PressStyle::Kind::text:
        return {0.97, 1};
    case PressStyle::Kind::icon:
        return {0.94, 1.04};
    case PressStyle::Kind::row:
        break;
    }
    return {1, 1};
}

} // namespace

// Each value runs from rest to its hover value by the hover amount, then
// towards its pressed value by the press amount, so that a press wins over
// a hover and a spring's overshoot on release carries through.
double PressStyle::washOpacity(double hover, double press) const
{
    if (!hasWash())
        return 0;
    return std::clamp(mix(mix(0, 0.055, hover), 0.09, press), 0.0, 1.0);
}

double PressStyle::scale(double hover, double press, bool reduceMotion) const
{
    if (reduceMotion)
        return 1;
    const Scales s = scalesOf(kind);
    return mix(mix(1, s.hover, hover), s.pressed, press);
}

double PressStyle::labelBrightness(double hover, double press) const
{
    const double lift = kind == Kind::text ? 0.14 * hover : 0;
    return lift - 0.05 * press;
}

double PressStyle::washBrightness(double press)
{
    return -0.05 * press;
}

QPainterPath PressStyle::washShape(const QRectF& rect) const
{
    QPainterPath path;
    if (!hasWash() || rect.isEmpty())
        return path;
    const double half = std::min(rect.width(), rect.height()) / 2;
    const double r = std::isinf(radius) ? half : std::clamp(radius, 0.0, half);
    path.addRoundedRect(rect, r, r);
    return path;
}

void PressMotion::setPressed(bool pressed, bool reduceMotion)
{
    if (pressed == pressed_)
        return;
    pressed_ = pressed;
    const double quick = Motion::quick();
    if (pressed) {
        phase_ = Phase::easing;
        from_ = value_;
        elapsed_ = 0;
        if (!(pressDuration(quick) > 0)) {
            value_ = 1;
            velocity_ = 0;
            phase_ = Phase::rest;
        }
        return;
    }
    spring_ = Spring(releaseResponse(quick), value_, releaseDamping(reduceMotion));
    spring_.velocity = velocity_;
    spring_.target = 0;
    phase_ = Phase::springing;
}

void PressMotion::finish()
{
    phase_ = Phase::rest;
    value_ = pressed_ ? 1 : 0;
    velocity_ = 0;
}

bool PressMotion::step(double dt)
{
    if (!(dt > 0) || phase_ == Phase::rest)
        return moving();
    const double before = value_;
    if (phase_ == Phase::easing) {
        const double duration = pressDuration(Motion::quick());
        elapsed_ += dt;
        const double t = elapsed_ / duration;
        value_ = from_ + (1 - from_) * Motion::ease().value(t);
        velocity_ = (value_ - before) / dt;
        if (t >= 1) {
            value_ = 1;
            velocity_ = 0;
            phase_ = Phase::rest;
        }
        return moving();
    }
    spring_.step(dt);
    value_ = spring_.position;
    velocity_ = spring_.velocity;
    if (spring_.resting()) {
        value_ = 0;
        velocity_ = 0;
        phase_ = Phase::rest;
    }
    return moving();
}
