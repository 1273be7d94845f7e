#include "ui/animation.h"

#include <algorithm>
#include <cmath>

namespace {

// The curve's slope in progress per unit of time fraction.
double slope(const TimingCurve& curve, double t)
{
    constexpr double h = 1e-4;
    const double a = std::clamp(t - h, 0.0, 1.0);
    const double b = std::clamp(t + h, 0.0, 1.0);
    return b > a ? (curve.value(b) - curve.value(a)) / (b - a) : 0;
}

bool finite(const AnimatedChannels::Vector& v, int count)
{
    for (int i = 0; i < count; ++i)
        if (!std::isfinite(v[i]))
            return false;
    return true;
}

} // namespace

AnimatedChannels::AnimatedChannels(int count, const Vector& value, double tolerance)
    : count_(std::clamp(count, 1, maxChannels)), tolerance_(tolerance), target_(value)
{
}

AnimatedChannels::Vector AnimatedChannels::value() const
{
    Vector v = target_;
    if (springing_)
        for (int i = 0; i < count_; ++i)
            v[i] += offset_[i];
    for (const Segment& s : segments_) {
        const double remaining = 1 - s.curve.value(s.elapsed / s.duration);
        for (int i = 0; i < count_; ++i)
            v[i] -= s.delta[i] * remaining;
    }
    return v;
}

AnimatedChannels::Vector AnimatedChannels::velocity() const
{
    Vector v{};
    if (springing_)
        v = springVelocity_;
    for (const Segment& s : segments_) {
        if (s.elapsed < 0)
            continue;
        const double rate = slope(s.curve, s.elapsed / s.duration) / s.duration;
        for (int i = 0; i < count_; ++i)
            v[i] += s.delta[i] * rate;
    }
    return v;
}

void AnimatedChannels::set(const Vector& value)
{
    target_ = value;
    springing_ = false;
    offset_ = {};
    springVelocity_ = {};
    segments_.clear();
}

void AnimatedChannels::setTarget(const Vector& target, const Animation& animation)
{
    // A target that is not a number cannot be reached; the value stays put.
    if (!finite(target, count_))
        return;
    const bool timed = std::isfinite(animation.duration) && animation.duration > 0;
    if (animation.kind == Animation::Kind::none || !timed) {
        set(target);
        return;
    }
    if (animation.kind == Animation::Kind::spring) {
        const Vector now = value();
        const Vector speed = velocity();
        segments_.clear();
        target_ = target;
        response_ = animation.duration;
        damping_ = animation.damping;
        springing_ = false;
        for (int i = 0; i < count_; ++i) {
            offset_[i] = now[i] - target[i];
            springVelocity_[i] = speed[i];
            if (std::abs(offset_[i]) > tolerance_ || std::abs(speed[i]) > tolerance_)
                springing_ = true;
        }
        if (!springing_) {
            offset_ = {};
            springVelocity_ = {};
        }
        return;
    }

    Vector delta{};
    bool changes = false;
    for (int i = 0; i < count_; ++i) {
        delta[i] = target[i] - target_[i];
        changes = changes || delta[i] != 0;
    }
    if (!changes)
        return;
    if (segments_.size() >= maxSegments) {
        // Retargeted faster than the changes finish: start over from where
        // the value is, giving up only the velocity.
        const Vector now = value();
        segments_.clear();
        for (int i = 0; i < count_; ++i)
            delta[i] = target[i] - (now[i] - (springing_ ? offset_[i] : 0));
    }
    const double delay = std::isfinite(animation.delay) ? std::max(animation.delay, 0.0) : 0;
    segments_.push_back({delta, -delay, animation.duration, animation.curve});
    target_ = target;
}

bool AnimatedChannels::step(double dt)
{
    if (!(dt > 0) || !moving())
        return moving();
    if (springing_) {
        bool resting = true;
        for (int i = 0; i < count_; ++i) {
            Spring spring(response_, offset_[i], damping_);
            spring.velocity = springVelocity_[i];
            spring.target = 0;
            spring.step(dt);
            offset_[i] = spring.position;
            springVelocity_[i] = spring.velocity;
            resting = resting && spring.resting(tolerance_);
        }
        if (resting) {
            springing_ = false;
            offset_ = {};
            springVelocity_ = {};
        }
    }
    for (Segment& s : segments_)
        s.elapsed += dt;
    std::erase_if(segments_, [](const Segment& s) { return s.elapsed >= s.duration; });
    return moving();
}

QColor AnimatedTraits<QColor>::from(const AnimatedChannels::Vector& c)
{
    return QColor::fromRgbF(float(std::clamp(c[0], 0.0, 1.0)), float(std::clamp(c[1], 0.0, 1.0)),
                            float(std::clamp(c[2], 0.0, 1.0)), float(std::clamp(c[3], 0.0, 1.0)));
}
