#pragma once
// Animated values: opacities, offsets, scales, points, sizes, rectangles and
// colours that move towards a target on the shared spring or timing curve.
// Values are stepped by their owner, usually from a FrameClock frame, and
// read in paintEvent.
//
// A spring retarget starts from the current value and velocity, so a value
// redirected mid-flight bends smoothly. A curve retarget is additive: the
// motion already under way runs on, and the new change is laid over it.

#include "ui/motion.h"

#include <QColor>
#include <QPointF>
#include <QRectF>
#include <QSizeF>

#include <array>
#include <vector>

// How a value moves to a new target.
struct Animation {
    enum class Kind { none, spring, curve };

    Kind kind = Kind::none;
    // The spring's response, or the curve's duration, in seconds.
    double duration = 0;
    TimingCurve curve = Motion::ease();
    // Seconds before a curve starts moving; springs start at once.
    double delay = 0;
    // The spring's damping fraction: 1 settles without overshoot.
    double damping = 1;

    // Jumps straight to the target.
    static Animation none() { return {}; }
    // The critically damped spring of layout changes (Motion::standard) and
    // overlays (Motion::emphasized); a damping below 1 bounces past the target.
    static Animation spring(double response = Motion::standard(), double damping = 1)
    {
        return {Kind::spring, response, Motion::ease(), 0, damping};
    }
    // The easing of fades and focus borders (Motion::quick by default).
    static Animation ease(double duration = Motion::quick(), double delay = 0)
    {
        return {Kind::curve, duration, Motion::ease(), delay};
    }
    static Animation timing(const TimingCurve& curve, double duration, double delay = 0)
    {
        return {Kind::curve, duration, curve, delay};
    }
    // Kept as it is, or none() when motion is to be left out (reduce motion).
    Animation unless(bool reduced) const { return reduced ? none() : *this; }
};

// Up to four numbers moving together; Animated<T> maps a value type onto it.
class AnimatedChannels {
public:
    static constexpr int maxChannels = 4;
    using Vector = std::array<double, maxChannels>;

    AnimatedChannels(int count, const Vector& value, double tolerance);

    Vector value() const;
    Vector velocity() const;
    const Vector& target() const { return target_; }
    bool moving() const { return springing_ || !segments_.empty(); }

    // Stops where it is told, at rest.
    void set(const Vector& value);
    void setTarget(const Vector& target, const Animation& animation);
    // Advances by dt seconds; true while still moving.
    bool step(double dt);

    // How close to the target, and how slow, a spring must be to rest.
    double tolerance() const { return tolerance_; }
    void setTolerance(double tolerance) { tolerance_ = tolerance; }

    // Curve changes under way (tests and the segment cap).
    std::size_t segments() const { return segments_.size(); }
    static constexpr std::size_t maxSegments = 32;

private:
    struct Segment {
        Vector delta;
        double elapsed;
        double duration;
        TimingCurve curve;
    };

    int count_;
    double tolerance_;
    Vector target_;
    // The spring part: an offset from the target that decays to zero.
    bool springing_ = false;
    double response_ = 0;
    double damping_ = 1;
    Vector offset_{};
    Vector springVelocity_{};
    // The curve part: each change still under way, lagging the target by
    // delta × (1 − progress).
    std::vector<Segment> segments_;
};

// The mapping from a value type onto channels.
template <class T>
struct AnimatedTraits;

template <>
struct AnimatedTraits<double> {
    static constexpr int count = 1;
    static constexpr double tolerance = 1e-3;
    static AnimatedChannels::Vector to(double v) { return {v, 0, 0, 0}; }
    static double from(const AnimatedChannels::Vector& c) { return c[0]; }
};

template <>
struct AnimatedTraits<QPointF> {
    // Positions and sizes rest within a hundredth of a pixel.
    static constexpr int count = 2;
    static constexpr double tolerance = 1e-2;
    static AnimatedChannels::Vector to(const QPointF& p) { return {p.x(), p.y(), 0, 0}; }
    static QPointF from(const AnimatedChannels::Vector& c) { return {c[0], c[1]}; }
};

template <>
struct AnimatedTraits<QSizeF> {
    static constexpr int count = 2;
    static constexpr double tolerance = 1e-2;
    static AnimatedChannels::Vector to(const QSizeF& s) { return {s.width(), s.height(), 0, 0}; }
    static QSizeF from(const AnimatedChannels::Vector& c) { return {c[0], c[1]}; }
};

template <>
struct AnimatedTraits<QRectF> {
    static constexpr int count = 4;
    static constexpr double tolerance = 1e-2;
    static AnimatedChannels::Vector to(const QRectF& r)
    {
        return {r.x(), r.y(), r.width(), r.height()};
    }
    static QRectF from(const AnimatedChannels::Vector& c) { return {c[0], c[1], c[2], c[3]}; }
};

template <>
struct AnimatedTraits<QColor> {
    // Components of straight (not premultiplied) sRGB; half a step of 8 bits.
    static constexpr int count = 4;
    static constexpr double tolerance = 1.0 / 512;
    static AnimatedChannels::Vector to(const QColor& c)
    {
        const QColor rgb = c.toRgb();
        return {rgb.redF(), rgb.greenF(), rgb.blueF(), rgb.alphaF()};
    }
    static QColor from(const AnimatedChannels::Vector& c);
};

template <class T>
class Animated {
    using Traits = AnimatedTraits<T>;

public:
    Animated() : Animated(T{}) {}
    explicit Animated(const T& value) : channels_(Traits::count, Traits::to(value), Traits::tolerance) {}

    T value() const { return Traits::from(channels_.value()); }
    T target() const { return Traits::from(channels_.target()); }
    bool moving() const { return channels_.moving(); }

    // Jumps to `value` and stops.
    void set(const T& value) { channels_.set(Traits::to(value)); }
    void setTarget(const T& target, const Animation& animation = Animation::spring())
    {
        channels_.setTarget(Traits::to(target), animation);
    }
    void setTarget(const T& target, bool animated)
    {
        setTarget(target, animated ? Animation::spring() : Animation::none());
    }
    bool step(double dt) { return channels_.step(dt); }

    AnimatedChannels& channels() { return channels_; }
    const AnimatedChannels& channels() const { return channels_; }

private:
    AnimatedChannels channels_;
};

using AnimatedValue = Animated<double>;
using AnimatedPoint = Animated<QPointF>;
using AnimatedSize = Animated<QSizeF>;
using AnimatedRect = Animated<QRectF>;
using AnimatedColor = Animated<QColor>;

// Steps every value (none is skipped); true while any still moves.
template <class... Values>
bool stepAll(double dt, Values&... values)
{
    return (values.step(dt) | ... | false);
}
