#pragma once
// How the texts of the black box's rows share a row's width. The leading
// texts (time, subject, title, contributors) stand in a line after the dot;
// the peak and the duration keep to the trailing edge. When a row is
// short, the parts that tell least give way first: the contributors narrow
// and go, the duration column narrows to the widest duration in the list,
// the title narrows, the time drops its date, the peak narrows, and then
// the time and the title go. The subject keeps its whole name the longest;
// only then do it and the peak share what is left.
//
// The time's form and the duration column are the same on every row, so
// subjects and durations stay in line down the list.

#include <vector>

struct IncidentRowFit {
    // The natural widths, measured in each text's font; 0 for no text.
    struct Widths {
        double time = 0;  // "MM-dd HH:mm:ss"
        double clock = 0; // "HH:mm:ss"
        double subject = 0, title = 0, contributors = 0, peak = 0, duration = 0;
    };

    enum class Time { full, clock, none };

    // What each text is given; 0 leaves it out. A width under the natural
    // one is cut with an ellipsis.
    Time time = Time::full;
    double subject = 0, title = 0, contributors = 0, peak = 0;
    double durationColumn = durationWidth;

    bool operator==(const IncidentRowFit&) const = default;

    // The row's geometry.
    static constexpr double margin = 12;
    static constexpr double dotSize = 7;
    static constexpr double spacing = 10;
    static constexpr double minimumSpacer = 6;
    static constexpr double durationWidth = 76;
    // Below these a text says too little to keep narrowing it.
    static constexpr double titleFloor = 72;
    static constexpr double peakFloor = 64;
    static constexpr double contributorsFloor = 40;

    // The width the leading texts start at.
    static constexpr double leadingLeft = margin + dotSize + spacing;

    double timeWidth(const Widths& natural) const;
    // The least row width at which everything this fit gives is drawn.
    double needed(const Widths& natural) const;

    // Every row of a list in a row of `width`.
    static std::vector<IncidentRowFit> fit(const std::vector<Widths>& rows, double width);
};
