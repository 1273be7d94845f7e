#pragma once
// The welcome logo's entrance, as a pure function of time: a dial of
// sixteen ticks round a core. The core pops in, two beams sweep one turn,
// each tick flashes as a beam passes it, the principal ticks grow when the
// sweep ends, and a ring then pulses out of the core for as long as the
// logo shows. Times are seconds since the logo started playing; nothing
// here paints.

#include "ui/emblem.h"

#include <QColor>

#include <array>
#include <vector>

namespace LogoTimeline {

// The emblem's resting shapes and colours, shared with the application's
// icon.
using Emblem::dialDegrees;
using Emblem::finalColor;
using Emblem::idle;
using Emblem::innerRadius;
using Emblem::mint;
using Emblem::restingOuter;
using Emblem::tickCount;
using Emblem::units;

// Fixed times, which the animation-speed multiplier leaves alone.
inline constexpr double lead = 0.12;          // from playing to the first motion
inline constexpr double sweepStart = 0.5;     // after the lead
inline constexpr double sweepDuration = 1.7;
inline constexpr double beamsFadeStart = 0.4;
inline constexpr double tickStagger = 0.02;
inline constexpr double tickFadeStart = 0.14;
inline constexpr double flashFade = 0.3;
inline constexpr double growStart = 2.12;     // 0.08 s before the sweep ends
inline constexpr double settleColors = 2.55;
inline constexpr double pulseStart = 2.55;
inline constexpr double pulsePeriod = 2.6;
inline constexpr double pulseScale = 3.4;
inline constexpr double pulseOpacity = 0.4;

// The durations that follow the multiplier: Motion::quick() and
// Motion::standard() (and emphasized() for the reduced entrance).
struct Durations {
    double quick = 0.17;
    double standard = 0.3;
    double emphasized = 0.42;
};

// The principal ticks grow to their length from this outer end.
inline constexpr double grownFrom = 23;

// The fraction of the sweep's duration at which the eased sweep has turned
// `progress` of its angle.
double timeForProgress(double progress);

// The sweep fractions at which a beam passes tick `index`, ascending: i/16
// and half a turn on; a tick at the start is passed again at the end.
std::vector<double> passes(int index);

// One tick's colour keys: times in seconds after the lead, strictly
// increasing, with a colour each; linear between keys.
struct Flash {
    std::vector<double> times;
    std::vector<QColor> colors;
    double duration() const { return times.empty() ? 0 : times.back(); }
    QColor at(double t) const;
};
Flash flashSchedule(int index);

// Everything the painter needs at one moment.
struct State {
    double coreScale = 1;
    double coreOpacity = 1;
    double beamsAngle = 0;   // degrees, the sweep's turn
    double beamsOpacity = 1;
    std::array<double, tickCount> tickOpacity{};
    std::array<QColor, tickCount> tickColor{};
    std::array<double, tickCount> tickOuter{}; // units
    double ringScale = 1;
    double ringOpacity = 0;
    double opacity = 1;      // the whole logo's (the reduced entrance)
    bool operator==(const State&) const = default;
};

// The state at `t` seconds after playing. With `reduced`, the built state
// fading in as a whole, and no ring.
State stateAt(double t, const Durations& durations, bool reduced);

// From this time on only the ring moves.
double entranceEnd(const Durations& durations, bool reduced);

// A spring from 0 to 1 in the perceptual form (duration and bounce), at t.
double spring(double t, double duration, double bounce);
double springSettle(double duration, double bounce);

} // namespace LogoTimeline
