#pragma once
// Where the Field legend's entries stand in the room the stage gives it:
// in order along a line, wrapping to the next line where an entry would
// not fit, so no entry is cut while a line can hold it whole. The last
// entry is a hint rather than a key: it is left out rather than given a
// line of its own. An entry wider than a whole line is cut to it.

#include <vector>

struct LegendFlow {
    struct Place {
        int entry = 0;
        int line = 0;
        double x = 0;
        double width = 0; // less than the entry's own when it is cut
        bool operator==(const Place&) const = default;
    };

    std::vector<Place> places;
    int lines = 0;
    // The widest line.
    double width = 0;

    // `widths` are the entries' own widths; `room` the width of a line.
    static LegendFlow lay(const std::vector<double>& widths, double room, double spacing);
};
