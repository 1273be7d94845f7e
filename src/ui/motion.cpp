#include "ui/motion.h"

#include "platform/defaults.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace Motion {

double readTimeScale(const Defaults& defaults)
{
    const double scale = defaults.doubleValue(QStringLiteral("motionScale"), 1);
    return std::isfinite(scale) && scale > 0 ? scale : 1;
}

double timeScale()
{
    static const double scale = readTimeScale(Defaults::standard());
    return scale;
}

double quick()
{
    static const double value = 0.17 * timeScale();
    return value;
}

double standard()
{
    static const double value = 0.3 * timeScale();
    return value;
}

double emphasized()
{
    static const double value = 0.42 * timeScale();
    return value;
}

} // namespace Motion

void Spring::step(double dt)
{
    if (!(dt > 0))
        return;
    if (!(response > 0) || !std::isfinite(response)) {
        position = target;
        velocity = 0;
        return;
    }
    const double omega = 2 * std::numbers::pi / response;
    const double zeta = std::clamp(damping, 0.0, 1.0);
    const double x0 = position - target;
    const double v0 = velocity;
    if (zeta >= 1) {
        // Critical: x(t) = (a + b·t)·e^(−ωt) around the target.
        const double b = v0 + omega * x0;
        const double decay = std::exp(-omega * dt);
        position = target + (x0 + b * dt) * decay;
        velocity = (v0 - omega * b * dt) * decay;
        return;
    }
    // Under-damped: x(t) = e^(−ζωt)·(a·cos ω'd t + b·sin ω'd t).
    const double wd = omega * std::sqrt(1 - zeta * zeta);
    const double a = x0;
    const double b = (v0 + zeta * omega * x0) / wd;
    const double decay = std::exp(-zeta * omega * dt);
    const double c = std::cos(wd * dt), s = std::sin(wd * dt);
    position = target + decay * (a * c + b * s);
    velocity = decay * ((b * wd - zeta * omega * a) * c - (a * wd + zeta * omega * b) * s);
}

bool Spring::resting(double tolerance) const
{
    return std::abs(position - target) <= tolerance && std::abs(velocity) <= tolerance;
}

namespace {

// One coordinate of the curve at parameter s, and its derivative.
double bezier(double s, double p1, double p2)
{
    const double u = 1 - s;
    return 3 * u * u * s * p1 + 3 * u * s * s * p2 + s * s * s;
}

double bezierSlope(double s, double p1, double p2)
{
    const double u = 1 - s;
    return 3 * u * u * p1 + 6 * u * s * (p2 - p1) + 3 * s * s * (1 - p2);
}

} // namespace

double TimingCurve::value(double t) const
{
    if (!(t > 0))
        return 0;
    if (t >= 1)
        return 1;
    // Solve x(s) = t for the curve parameter: Newton steps from s = t, then
    // bisection if they fail to settle (flat spots in x).
    double s = t;
    for (int i = 0; i < 8; ++i) {
        const double error = bezier(s, x1, x2) - t;
        if (std::abs(error) < 1e-7)
            return bezier(s, y1, y2);
        const double slope = bezierSlope(s, x1, x2);
        if (std::abs(slope) < 1e-6)
            break;
        s -= error / slope;
        if (s < 0 || s > 1)
            break;
    }
    double lo = 0, hi = 1;
    s = t;
    for (int i = 0; i < 60; ++i) {
        const double x = bezier(s, x1, x2);
        if (std::abs(x - t) < 1e-7)
            break;
        (x < t ? lo : hi) = s;
        s = (lo + hi) / 2;
    }
    return bezier(s, y1, y2);
}
