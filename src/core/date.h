#pragma once
// A point in time, kept as seconds since 2001-01-01 00:00:00 UTC so that the
// stored form is the value itself and survives a round trip exactly.

#include <compare>

struct Date {
    static constexpr double unixOffset = 978307200.0; // 1970 → 2001

    double sinceReference = 0;

    static Date now();
    static Date fromUnix(double seconds) { return Date{seconds - unixOffset}; }
    double unix() const { return sinceReference + unixOffset; }

    Date operator+(double seconds) const { return Date{sinceReference + seconds}; }
    double operator-(Date other) const { return sinceReference - other.sinceReference; }
    auto operator<=>(const Date&) const = default;
};
