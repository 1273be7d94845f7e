#pragma once
// Animation durations and the two motions every view shares: a critically
// damped spring for layout changes and overlays, and one easing curve for
// fades and focus borders.

class Defaults;

// A spring of any damping fraction: 1 (the default, every layout change)
// reaches its target as fast as it can without overshooting; less bounces
// past it. `response` is the period, in seconds, of the undamped
// oscillation (Motion::standard() or Motion::emphasized()). Stepping is
// exact for any step length. It starts at rest on `position`.
struct Spring {
    explicit Spring(double response, double position = 0, double damping = 1)
        : response(response), position(position), target(position), damping(damping) {}

    double response;
    double position;
    double velocity = 0;
    double target;
    double damping;

    void step(double dt);
    // Close enough to the target, and slow enough, to stop the frame clock.
    bool resting(double tolerance = 1e-3) const;
};

// A cubic Bézier easing from (0, 0) to (1, 1) through two control points.
struct TimingCurve {
    double x1, y1, x2, y2;

    // The eased progress at time fraction t (clamped to [0, 1]).
    double value(double t) const;
};

namespace Motion {

// The factor under the defaults key "motionScale" when it is a finite number
// above 0, else 1. Read once per process, like the durations built on it.
double timeScale();
double quick();       // 0.17 s × timeScale
double standard();    // 0.3 s × timeScale
double emphasized();  // 0.42 s × timeScale

// Reads the factor from the given defaults without caching.
double readTimeScale(const Defaults& defaults);

// The easing of fades and focus borders, (0.22, 1) and (0.36, 1): a quick
// start that settles softly.
constexpr TimingCurve ease() { return {0.22, 1, 0.36, 1}; }

} // namespace Motion
