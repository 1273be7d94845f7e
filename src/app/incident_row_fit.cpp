#include "app/incident_row_fit.h"

#include <algorithm>

namespace {

using Fit = IncidentRowFit;

// One row, with the time never fuller and the duration column never wider
// than the list allows.
Fit fitOne(const Fit::Widths& natural, double width, Fit::Time leastTime, double widestColumn,
           double widestDuration)
{
    Fit f;
    f.time = leastTime;
    f.subject = natural.subject;
    f.title = natural.title;
    f.contributors = natural.contributors;
    f.peak = natural.peak;
    f.durationColumn = widestColumn;
    const auto over = [&] { return f.needed(natural) - width; };
    const auto narrow = [&](double& item, double floor) {
        if (over() > 0 && item > floor)
            item = std::max(floor, item - over());
    };
    const auto drop = [&](double& item) {
        if (over() > 0)
            item = 0;
    };
    const auto shorten = [&](Fit::Time to) {
        if (over() > 0 && f.time < to)
            f.time = to;
    };

    narrow(f.contributors, Fit::contributorsFloor);
    drop(f.contributors);
    if (over() > 0)
        f.durationColumn = std::max(widestDuration, f.durationColumn - over());
    narrow(f.title, Fit::titleFloor);
    shorten(Fit::Time::clock);
    narrow(f.peak, Fit::peakFloor);
    shorten(Fit::Time::none);
    drop(f.title);
    if (over() > 0) {
        // The subject and the peak share what is left, the subject keeping
        // at least half of it.
        const double shared = std::max(0.0, f.subject + f.peak - over());
        f.subject = std::min(f.subject, std::max(shared / 2, shared - f.peak));
        f.peak = shared - f.subject;
    }

    // A text that went leaves room the narrowed ones take back: the
    // figure first, then the title, then the contributors.
    for (auto [item, whole] : {std::pair{&f.peak, natural.peak}, std::pair{&f.title, natural.title},
                               std::pair{&f.contributors, natural.contributors}}) {
        if (*item <= 0 || *item >= whole)
            continue;
        *item = std::min(whole, *item - over());
    }
    return f;
}

} // namespace

double IncidentRowFit::timeWidth(const Widths& natural) const
{
    switch (time) {
    case Time::full: return natural.time;
    case Time::clock: return natural.clock;
    case Time::none: break;
    }
    return 0;
}

double IncidentRowFit::needed(const Widths& natural) const
{
    double leading = 0;
    int shown = 0;
    for (double item : {timeWidth(natural), subject, title, contributors}) {
        if (item <= 0)
            continue;
        leading += item;
        ++shown;
    }
    if (shown > 0)
        leading += spacing * (shown - 1) + minimumSpacer;
    return leadingLeft + leading + peak + spacing + durationColumn + margin;
}

std::vector<IncidentRowFit> IncidentRowFit::fit(const std::vector<Widths>& rows, double width)
{
    double widestDuration = 0;
    for (const Widths& row : rows)
        widestDuration = std::max(widestDuration, row.duration);
    widestDuration = std::min(widestDuration, durationWidth);

    // Each row on its own first; then every row takes the shortest time
    // and the narrowest column any of them needed.
    Time time = Time::full;
    double column = durationWidth;
    for (const Widths& row : rows) {
        const IncidentRowFit alone = fitOne(row, width, Time::full, durationWidth, widestDuration);
        time = std::max(time, alone.time);
        column = std::min(column, alone.durationColumn);
    }
    std::vector<IncidentRowFit> fits;
    fits.reserve(rows.size());
    for (const Widths& row : rows)
        fits.push_back(fitOne(row, width, time, column, widestDuration));
    return fits;
}
