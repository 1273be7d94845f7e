#pragma once
// One row of the process list: its figures' texts and colours and its
// geometry as pure functions, and the painter that draws a row from them.
// The cell keeps no widget per row; its animated state lives with the list.

#include "core/preferences.h"
#include "core/records.h"
#include "core/incident.h"

#include <QColor>
#include <QRectF>
#include <QString>

#include <array>
#include <optional>
#include <vector>

class QPainter;

struct MetricText {
    QString text;
    QColor color;
    bool operator==(const MetricText&) const = default;
};

namespace ProcessCell {

// The six figure columns, right to left from W − 12: CPU, memory, threads,
// handles, download, upload.
constexpr std::array<double, 6> widths{60, 62, 50, 54, 70, 70};
// The sparkline's column, 10 pixels of it a gap before the CPU figure.
constexpr double sparkColumn = 70;
// A group row's name starts here and is never narrower than nameFloor.
constexpr double groupNameX = 54;
constexpr double nameFloor = 20;
// From this width up every column stands and a group's name and count
// still have nameReadable.
constexpr double fullWidth = 670;
// Columns go before a group's name and its count have less than this:
// about sixteen letters beside the count, so names read.
constexpr double nameReadable = 160;

// The columns a row (and the header over it) shows at a width. At
// fullWidth and above that is all of them; below, the sparkline goes first,
// then the two rates, then handles and threads, then memory, until a
// group's name is readable. CPU always stays.
struct Columns {
    bool spark = true;
    std::array<bool, 6> shown{true, true, true, true, true, true};
    std::array<double, 6> left{}; // of each shown figure column
    double sparkLeft = 0;         // of the sparkline's column
    // The name, its count and dot stay left of this.
    double nameLimit = 0;
    bool operator==(const Columns&) const = default;
};
Columns columns(double width);

std::array<MetricText, 6> metrics(double cpu, uint64_t mem, int64_t threads, int64_t fds,
                                  double netIn, double netOut, bool restricted,
                                  const Thresholds& thresholds);
// A group counts as restricted when all its members are (or it has none).
bool restricted(const GroupSample& group);

struct Layout {
    std::array<QRectF, 6> metrics;
    QRectF spark;
    QRectF pid;
    QPointF chevron;
    QRectF icon;
    QRectF tile; // the letter tile of a group without an icon: 18 × 15
    QRectF name;
    QRectF count;
    QRectF flag;
};

// `nameWidth` is the name text's natural width, `countWidth` that of the
// count text (0 when it is hidden).
// The letter tile's corner radius and letter size.
constexpr double tileRadius = 4.5;
constexpr double tileLetter = 9.5;

Layout cellLayout(double width, double height, bool member, double nameWidth, double countWidth,
                  bool flagVisible);

// The visual state a row animates to.
struct Look {
    QColor background;   // transparent for an unselected group row
    double accent = 0;   // the selection bar of a group row
    double chevron = 0;  // degrees: 90 expanded, 0 collapsed
};
Look look(bool member, bool selected, bool expanded);

// What paint() draws besides the row's sample.
struct Paint {
    const std::vector<double>* spark = nullptr;
    std::optional<Severity> flag;
    bool iconHidden = false;
    QColor background;
    double accent = 0;
    double chevron = 0;
    double wash = 0;
    double opacity = 1;
    const Thresholds* thresholds = nullptr;
    // Off when the caller draws the chrome (background, accent, chevron,
    // wash) itself around a cached picture of the content.
    bool chrome = true;
};

// The parts of a row that animate: background and accent under the
// content, the chevron of a group with several members, the wash over it.
void paintBackground(QPainter& painter, const QRectF& rect, const Paint& paint);
void paintChevron(QPainter& painter, const QRectF& rect, double angle);
void paintWash(QPainter& painter, const QRectF& rect, const Paint& paint);

void paintGroup(QPainter& painter, const QRectF& rect, const GroupSample& group, const Paint& paint);
void paintMember(QPainter& painter, const QRectF& rect, const ProcSample& member, const Paint& paint);

} // namespace ProcessCell
