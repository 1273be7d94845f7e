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
    QRectF name;
    QRectF count;
    QRectF flag;
};

// `nameWidth` is the name text's natural width, `countWidth` that of the
// count text (0 when it is hidden).
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
