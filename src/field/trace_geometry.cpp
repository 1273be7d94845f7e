#include "field/trace_geometry.h"

#include "core/l10n.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace TraceGeometry {

int toInt(double value, int fallback)
{
    if (std::isnan(value))
        return fallback;
    constexpr double lo = std::numeric_limits<int>::min();
    constexpr double hi = std::numeric_limits<int>::max();
    return int(std::clamp(value, lo, hi));
}

int roundToInt(double value, int fallback)
{
    return toInt(std::round(value), fallback);
}

double step(double width)
{
    return width / (visible - 2);
}

double sampleX(double width, int count, int j)
{
    const double s = step(width);
    return (width + s) - s * ((count - 1) - j);
}

Plot plot(double height, int seriesCount)
{
    Plot p;
    p.baseline = seriesCount > 1 ? 0.58 * height : height - 1;
    p.upper = p.baseline - topInset;
    p.lower = (height - p.baseline) - bottomInset;
    return p;
}

std::vector<double> gridFractions(int seriesCount)
{
    if (seriesCount < 2)
        return {1.0 / 3, 2.0 / 3};
    return {0, 0.5};
}

double valueY(const Plot& plot, int index, double value)
{
    const double v = std::min(value, 1.0);
    return index == 0 ? plot.baseline - v * plot.upper : plot.baseline + v * plot.lower;
}

int64_t halfMinute(Date date)
{
    const double half = date.sinceReference / 30;
    if (!std::isfinite(half))
        return 0;
    constexpr double limit = 9.0e18;
    return int64_t(std::clamp(std::trunc(half), -limit, limit));
}

std::vector<int> ticks(const std::vector<SystemSample>& samples)
{
    std::vector<int> out;
    for (std::size_t i = 1; i < samples.size(); ++i) {
        if (halfMinute(samples[i - 1].date) != halfMinute(samples[i].date))
            out.push_back(int(i));
    }
    return out;
}

double ladderScale(double peak, bool anySamples)
{
    static constexpr std::array<double, 9> rungs = {64, 256, 1024, 4096, 16384, 65536,
                                                    262144, 1048576, 4194304};
    if (anySamples)
        peak *= 1.15;
    for (double rung : rungs) {
        if (rung * 1024 >= peak)
            return rung * 1024;
    }
    return peak;
}

double glideFraction(Date now, Date sampleDate, double interval)
{
    if (!(interval > 0))
        return 1;
    const double frac = (now - sampleDate) / interval;
    if (std::isnan(frac))
        return 1;
    return frac;
}

double newestX(double width, double frac)
{
    const double s = step(width);
    if (frac < 0)
        return width + s;
    return width + s * (1 - std::min(frac, 1.0));
}

std::optional<int> hoverIndex(double width, double hoverX, int count, double frac)
{
    const double s = step(width);
    if (count <= 0 || !(s > 0))
        return std::nullopt;
    const double offset = std::round((newestX(width, frac) - hoverX) / s);
    // Far outside the trace: no sample, and no overflow on the way.
    if (!std::isfinite(offset) || std::abs(offset) > 1e6)
        return std::nullopt;
    const int index = (count - 1) - int(offset);
    if (index < 0 || index >= count)
        return std::nullopt;
    return index;
}

double capacityFraction(int64_t count, int64_t limit)
{
    const double fraction = double(count) / double(std::max<int64_t>(limit, 1));
    return std::min(fraction, 1.0);
}

QString pressureName(int64_t level)
{
    if (level >= 4)
        return L10n::text("critical", "危急");
    if (level < 2)
        return L10n::text("normal", "正常");
    return L10n::text("warning", "警告");
}

} // namespace TraceGeometry
