#pragma once
// The reactor gauge's layout: one sector per core around a ring, grouped by
// core kind, and the memory ring inside it. Pure values, no painting, so the
// gauge and its tip read the same numbers.

#include "core/records.h"

#include <QPointF>
#include <QSizeF>
#include <QString>

#include <array>
#include <optional>
#include <vector>

struct ReactorGeometry {
    struct Sector {
        double start = 0; // degrees, 0 right, clockwise, -90 up
        double end = 0;
        bool operator==(const Sector&) const = default;
    };

    // One memory category as the ring draws it, in fractions of the circle
    // clockwise from 12 o'clock. [start, end) is its share after clamping;
    // [a, b] is the coloured part between its 0.002 gaps, empty when a == b.
    struct MemSegment {
        double start = 0, end = 0;
        double a = 0, b = 0;
        bool visible() const { return b > a; }
    };

    // Fractions of r.
    static constexpr double innerEdge = 0.66;
    static constexpr double outerEdge = 0.97;
    static constexpr double depth = outerEdge - innerEdge;
    static constexpr double memRadius = 0.575;
    static constexpr double memWidth = 0.032;
    static constexpr double pulseRadius = 0.535;
    static constexpr double kindGap = 9;     // degrees between the kinds
    static constexpr double sectorGap = 1.6; // degrees between sectors
    static constexpr double memGap = 0.002;  // of the circle, at each segment end
    static constexpr double minLoad = 0.004;
    static constexpr int maxBands = 14;
    // The narrowest a band may be, in pixels: the 1.6 between bands would
    // leave a thinner one a faint line, so a small ring has fewer bands.
    static constexpr double minBandPitch = 3.4;
    static constexpr double bandGap = 1.6;

    ReactorGeometry(QSizeF size, const std::vector<CoreKind>& kinds);

    QPointF centre;
    double r = 10;
    // Degrees between neighbouring sectors: 1.6, or 0 on a machine with so
    // many cores that 1.6° each would leave no room for the sectors.
    double spacing = sectorGap;
    std::vector<Sector> sectors;

    // The radius a core's lit wedge reaches at `load` (clamped to
    // [0.004, 1]).
    double wedgeRadius(double load) const;
    // The heat bands across the core ring: 14 of them, fewer when the ring
    // is too shallow for 14 to stay readable.
    int bands() const;
    double band() const { return r * depth / bands(); }
    // The width each band is stroked with.
    double bandLine() const { return band() - bandGap; }

    // The four memory categories as drawn: negative or NaN shares count as
    // 0, the running end is capped at 1.
    static std::array<MemSegment, 4> memSegments(const std::array<double, 4>& shares);

    // The four shares of a sample's total (app, wired, compressed, cached);
    // a zero total divides by 1.
    static std::array<double, 4> memShares(const SystemSample& s);

    // The tip text for a point over a core sector or the memory ring.
    std::optional<QString> tip(QPointF p, const SystemSample& s,
                               const std::vector<CoreKind>& kinds) const;

    // The big figure: CPU percent rounded half away from zero.
    static int readoutPercent(double cpu);
};
