#include "ui/theme.h"

#include <QLinearGradient>

#include <algorithm>
#include <array>
#include <cmath>

namespace Theme {

#define TAVRIN_THEME_COLOUR(name, rgb)          \
    const QColor& name()                        \
    {                                           \
        static const QColor colour{QRgb(rgb)};  \
        return colour;                          \
    }

TAVRIN_THEME_COLOUR(bg, 0x07090B)
TAVRIN_THEME_COLOUR(panel, 0x0C0F12)
TAVRIN_THEME_COLOUR(raised, 0x13171C)
TAVRIN_THEME_COLOUR(line, 0x1D232A)
TAVRIN_THEME_COLOUR(text, 0xE9EDF0)
TAVRIN_THEME_COLOUR(dim, 0x8B95A1)
TAVRIN_THEME_COLOUR(faint, 0x4B545F)
TAVRIN_THEME_COLOUR(cpu, 0x4DF0B8)
TAVRIN_THEME_COLOUR(mem, 0x5AB0FF)
TAVRIN_THEME_COLOUR(net, 0xC8F25A)
TAVRIN_THEME_COLOUR(disk, 0xFF9A62)
TAVRIN_THEME_COLOUR(warn, 0xFFD23F)
TAVRIN_THEME_COLOUR(crit, 0xFF4D4D)

#undef TAVRIN_THEME_COLOUR

namespace {

struct Stop {
    double position, red, green, blue;
};

// The ramp's own components; close to, but not, the cpu and crit accents.
constexpr std::array<Stop, 4> stops{{
    {0.0, 0.30, 0.94, 0.72},
    {0.55, 0.30, 0.94, 0.72},
    {0.8, 1.0, 0.82, 0.25},
    {1.0, 1.0, 0.30, 0.30},
}};

} // namespace

QColor heat(double load)
{
    const double x = load >= 0 ? std::min(load, 1.0) : 0;
    const std::size_t lower = x <= 0.55 ? 0 : x <= 0.8 ? 1 : 2;
    const Stop& a = stops[lower];
    const Stop& b = stops[lower + 1];
    const double f = (x - a.position) / std::max(b.position - a.position, 0.0001);
    return QColor::fromRgbF(static_cast<float>(a.red + f * (b.red - a.red)),
                            static_cast<float>(a.green + f * (b.green - a.green)),
                            static_cast<float>(a.blue + f * (b.blue - a.blue)));
}

QColor withAlpha(QColor color, double alpha)
{
    color.setAlphaF(float(alpha));
    return color;
}

QBrush flatBrush(const QColor& color)
{
    QLinearGradient gradient(0, 0, 0, 1);
    gradient.setColorAt(0, color);
    gradient.setColorAt(1, color);
    return QBrush(gradient);
}

} // namespace Theme
