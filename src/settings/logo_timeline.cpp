#include "settings/logo_timeline.h"

#include "ui/motion.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace LogoTimeline {

namespace {

constexpr TimingCurve entrance{0.22, 1, 0.36, 1};
constexpr TimingCurve easeOut{0, 0, 0.58, 1};

double cubic(double s, double a, double b)
{
    const double r = 1 - s;
    return 3 * r * r * s * a + 3 * r * s * s * b + s * s * s;
}

// Progress of a basic animation that begins at `begin` and lasts
// `duration`: 0 before, 1 after.
double progress(double t, double begin, double duration)
{
    if (t <= begin)
        return 0;
    if (duration <= 0 || t >= begin + duration)
        return 1;
    return (t - begin) / duration;
}

QColor mix(const QColor& a, const QColor& b, double f)
{
    auto lerp = [f](double x, double y) { return x + (y - x) * f; };
    return QColor::fromRgbF(static_cast<float>(lerp(a.redF(), b.redF())),
                            static_cast<float>(lerp(a.greenF(), b.greenF())),
                            static_cast<float>(lerp(a.blueF(), b.blueF())),
                            static_cast<float>(lerp(a.alphaF(), b.alphaF())));
}

} // namespace

double timeForProgress(double progress)
{
    double lo = 0, hi = 1;
    for (int i = 0; i < 40; ++i) {
        const double s = (lo + hi) / 2;
        if (cubic(s, 0, 1) < progress)
            lo = s;
        else
            hi = s;
    }
    return cubic((lo + hi) / 2, 0.5, 0.15);
}

std::vector<double> passes(int index)
{
    const double p = static_cast<double>(((index % tickCount) + tickCount) % tickCount) / tickCount;
    const double q = std::fmod(p + 0.5, 1.0);
    std::vector<double> result{p, q};
    if (p == 0 || q == 0)
        result.push_back(1.0);
    std::sort(result.begin(), result.end());
    return result;
}

QColor Flash::at(double t) const
{
    if (times.empty())
        return idle();
    if (t <= times.front())
        return colors.front();
    for (std::size_t k = 1; k < times.size(); ++k) {
        if (t < times[k]) {
            const double f = (t - times[k - 1]) / (times[k] - times[k - 1]);
            return mix(colors[k - 1], colors[k], f);
        }
    }
    return colors.back();
}

Flash flashSchedule(int index)
{
    Flash flash;
    flash.colors.push_back(idle());
    flash.times.push_back(0);
    for (double q : passes(index)) {
        const double hit = sweepStart + sweepDuration * timeForProgress(q);
        const double rise = std::max(flash.times.back() + 0.001, hit - 0.05);
        flash.colors.push_back(idle());
        flash.times.push_back(rise);
        flash.colors.push_back(mint());
        flash.times.push_back(std::max(rise + 0.001, hit));
        if (q < 1) {
            flash.colors.push_back(idle());
            flash.times.push_back(std::max(rise + 0.002, hit) + flashFade);
        }
    }
    flash.colors.push_back(finalColor(index));
    flash.times.push_back(settleColors);
    for (std::size_t k = 1; k < flash.times.size(); ++k) {
        if (flash.times[k] <= flash.times[k - 1])
            flash.times[k] = flash.times[k - 1] + 0.001;
    }
    return flash;
}

double spring(double t, double duration, double bounce)
{
    if (t <= 0)
        return 0;
    if (duration <= 0)
        return 1;
    const double omega = 2 * std::numbers::pi / duration;
    const double zeta = std::clamp(1 - bounce, 0.0, 1.0);
    if (zeta >= 1)
        return 1 - (1 + omega * t) * std::exp(-omega * t);
    const double wd = omega * std::sqrt(1 - zeta * zeta);
    const double decay = std::exp(-zeta * omega * t);
    return 1 - decay * (std::cos(wd * t) + zeta * omega / wd * std::sin(wd * t));
}

double springSettle(double duration, double bounce)
{
    if (duration <= 0)
        return 0;
    const double omega = 2 * std::numbers::pi / duration;
    const double zeta = std::clamp(1 - bounce, 0.05, 1.0);
    // Until the swing is within a thousandth of the way.
    return std::log(1000.0 * 2) / (zeta * omega);
}

double entranceEnd(const Durations& d, bool reduced)
{
    if (reduced)
        return d.emphasized;
    const double core = lead + springSettle(d.quick * 1.5, 0.28);
    const double grow = lead + growStart + springSettle(d.standard, 0.1);
    const double ticks = lead + tickFadeStart + tickStagger * (tickCount - 1) + d.quick;
    return std::max({core, grow, ticks, lead + settleColors, lead + sweepStart + sweepDuration});
}

namespace {

// The schedules depend on nothing but the tick: made once.
const std::array<Flash, tickCount>& schedules()
{
    static const std::array<Flash, tickCount> all = [] {
        std::array<Flash, tickCount> result;
        for (int i = 0; i < tickCount; ++i)
            result[static_cast<std::size_t>(i)] = flashSchedule(i);
        return result;
    }();
    return all;
}

} // namespace

State stateAt(double t, const Durations& d, bool reduced)
{
    State s;
    for (int i = 0; i < tickCount; ++i) {
        s.tickOpacity[static_cast<std::size_t>(i)] = 1;
        s.tickColor[static_cast<std::size_t>(i)] = finalColor(i);
        s.tickOuter[static_cast<std::size_t>(i)] = restingOuter(i);
    }
    if (reduced) {
        s.opacity = entrance.value(progress(t, 0, d.emphasized));
        return s;
    }
    const double u = t - lead; // time since the motion began

    s.coreScale = 0.2 + 0.8 * spring(u, d.quick * 1.5, 0.28);
    s.coreOpacity = entrance.value(progress(u, 0, d.quick));

    const double sweep = TimingCurve{0.5, 0, 0.15, 1}.value(progress(u, sweepStart, sweepDuration));
    s.beamsAngle = -360.0 + 360.0 * sweep;
    s.beamsOpacity = entrance.value(progress(u, beamsFadeStart, d.standard));

    for (int i = 0; i < tickCount; ++i) {
        const auto k = static_cast<std::size_t>(i);
        s.tickOpacity[k] = entrance.value(progress(u, tickFadeStart + tickStagger * i, d.quick));
        const Flash& flash = schedules()[k];
        s.tickColor[k] = u >= flash.duration() ? finalColor(i) : flash.at(std::max(u, 0.0));
        if (Emblem::tickClass(i) <= 1) {
            const double grown = spring(u - growStart, d.standard, 0.1);
            s.tickOuter[k] = grownFrom + (restingOuter(i) - grownFrom) * grown;
        }
    }

    if (u >= pulseStart) {
        const double phase = std::fmod(u - pulseStart, pulsePeriod) / pulsePeriod;
        const double eased = easeOut.value(phase);
        s.ringScale = 1 + (pulseScale - 1) * eased;
        s.ringOpacity = pulseOpacity * (1 - eased);
    }
    return s;
}

} // namespace LogoTimeline
