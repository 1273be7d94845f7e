#pragma once
// How the Flows view shares its width: the header's chips, hidden count and
// direction legend, the two node columns with the ribbons between them, and
// how much of a node's rate line its column can show. Pure layout maths, so
// it is tested without painting.

#include <QString>

#include <functional>
#include <vector>

class QFontMetricsF;
struct FlowNode;

namespace FlowLayout {

// The view's left and right padding, and the room between header items.
constexpr double padding = 14;
constexpr double gap = 8;
// The ribbons keep this much before the columns narrow: enough for a curve
// that still reads as one link.
constexpr double ribbonsNarrowest = 48;

// A row: the application's icon or the host's dot beside the text.
constexpr double iconSize = 20;
constexpr double dot = 6;
constexpr double spacing = 8;

// The header row, left edges in view pixels. The chips always stay; the
// legend sits at the right end with the hidden count before it, the count
// in full or, short of room, in brief. Nothing comes nearer than `gap` to a
// chip or to its neighbour: the legend goes first, then the count takes its
// brief form, and with room for neither form the legend may come back.
struct Header {
    enum class Count { none, full, brief };
    std::vector<double> chips;
    double count = 0, legend = 0;
    Count countShown = Count::none;
    bool legendShown = false;

    bool operator==(const Header&) const = default;
};
// The count's widths are 0 while nothing is hidden.
Header header(double width, const std::vector<double>& chipWidths, double countWidth, double briefWidth,
              double legendWidth);

// What a column's rows ask for, icon or dot included: `whole` shows every
// title and rate line in full, `least` every title whole with the rates in
// their short form (no "/s"), the least that still tells every row apart
// without cutting a name.
struct Need {
    double least = 0, whole = 0;
    bool operator==(const Need&) const = default;
};

// The two columns and the ribbon area between them, in whole pixels. The
// columns together keep up to twice `labelWidth` while the ribbons keep
// `ribbonsNarrowest`; the ribbons take what is left. The columns' room goes
// by need, in steps: first each column's least need, then its whole need,
// then up to `labelWidth`. Within the step the room reaches, the widths are
// kept as even as the two needs allow, so a column that needs less gives
// the rest to the other.
struct Columns {
    double app = 0, appWidth = 0;   // the applications
    double host = 0, hostWidth = 0; // the hosts
    double ribbons = 0, ribbonsWidth = 0;

    bool operator==(const Columns&) const = default;
};
Columns columns(double width, double labelWidth, const Need& app, const Need& host);
// With one figure for both needs.
inline Columns columns(double width, double labelWidth, double appNeed, double hostNeed)
{
    return columns(width, labelWidth, Need{appNeed, appNeed}, Need{hostNeed, hostNeed});
}

// What a column's rows need, measured in the rows' fonts, in whole pixels.
Need need(const std::vector<FlowNode>& nodes, bool host, const QFontMetricsF& title,
          const QFontMetricsF& detail);

// The titles of one column as `room` pixels show them, measured by `width`.
// A title that fits stays whole. One that does not is cut so that what
// tells it from the other titles shows: its beginning and end around an
// ellipsis while its end differs from every other title's; else its
// beginning through the first label that differs (the labels of a host
// name, the words of an application's); else that label between two
// ellipses; else its end. Two different titles never read the same: where
// no cut keeps one apart from the rest, its text is empty.
using Measure = std::function<double(const QString&)>;
std::vector<QString> distinctCuts(const std::vector<QString>& titles, double room, const Measure& width);

// A node's second line in `room` pixels of `metrics`. While traffic runs:
// the rates and the detail; then the rates and as much of the detail as
// reads (at least three letters before an ellipsis); then the rates alone;
// then the rates without "/s"; then only the larger direction; then
// nothing. A quiet node shows its detail, elided at the end.
QString fittedDetail(const FlowNode& node, double room, const QFontMetricsF& metrics);

} // namespace FlowLayout
