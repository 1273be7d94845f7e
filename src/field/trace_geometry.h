#pragma once
// Where the scrolling traces put things: the sample window, the half-minute
// ticks, the scale ladder, the glide's progress and the sample under the
// pointer, and the fill of a capacity bar. Pure arithmetic, no painting.

#include "core/date.h"
#include "core/records.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace TraceGeometry {

// Sample steps shown across a trace; the window holds one more sample.
inline constexpr int visible = 120;
inline constexpr int window = visible + 1;
// The plot's edges: the upper series stops this far below the top, the
// lower one this far above the bottom.
inline constexpr double topInset = 4;
inline constexpr double bottomInset = 3;
// The smallest scale a value is divided by.
inline constexpr double minimumScale = 1e-9;

// A double as an int that never is undefined behaviour: NaN gives
// `fallback`, and values beyond the range of int are clamped to it.
int toInt(double value, int fallback = 0);
// Rounded to the nearest whole number (halves away from zero), then as toInt.
int roundToInt(double value, int fallback = 0);

// 118 steps fill the width, so the window reaches one step past each edge.
double step(double width);
// x of value `j` (0 = oldest) of `count`: the newest lies at width + step.
double sampleX(double width, int count, int j);

struct Plot {
    double baseline = 0;
    double upper = 0; // height the first series rises above the baseline
    double lower = 0; // height the later series hang below it
};
Plot plot(double height, int seriesCount);
// Fractions of the upper plot at which the dashed grid lines lie.
std::vector<double> gridFractions(int seriesCount);
// y of a value (a fraction of the scale, capped at 1) of series `index`.
double valueY(const Plot& plot, int index, double value);

// The half-minute number of a date: :00 and :30 of the wall clock start one.
int64_t halfMinute(Date date);
// Positions in `samples` (0 = oldest) whose half minute differs from the
// sample before.
std::vector<int> ticks(const std::vector<SystemSample>& samples);

// Full scale of an automatic row from the peak of its visible samples:
// 1.15 × peak raised to the next rung of 64 KiB … 4 GiB (× 4 each), or the
// raised peak itself above the top rung. No samples give the lowest rung.
double ladderScale(double peak, bool anySamples);

// How far the glide towards the newest sample has gone, 0…1. An interval
// that is not positive (or a date that is not a number) counts as a jump:
// the glide is over.
double glideFraction(Date now, Date sampleDate, double interval);

// The index in a history of `count` samples under the pointer at `hoverX`
// of a trace `width` wide, with the glide at `frac`; none outside it.
std::optional<int> hoverIndex(double width, double hoverX, int count, double frac);
// x of the newest sample with the glide at `frac`.
double newestX(double width, double frac);

// Share of a capacity bar: count of max(limit, 1), capped at 1.
double capacityFraction(int64_t count, int64_t limit);

// The memory pressure level's name in the current language.
QString pressureName(int64_t level);

} // namespace TraceGeometry
