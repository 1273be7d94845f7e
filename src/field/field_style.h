#pragma once
// How a bubble looks, from its group's figures: colours and alphas, thread
// ticks, labels, traffic dots and their continuous cycle, the detail and
// tooltip texts; and the field's choice of groups, incident flags and list
// row points. Pure functions, no painting.

#include "core/incident.h"
#include "core/records.h"

#include <QColor>
#include <QHash>
#include <QPointF>
#include <QRectF>
#include <QSet>
#include <QString>

#include <map>
#include <optional>
#include <vector>

namespace FieldStyle {

// ---- the disc and its rings
struct Disc {
    QColor fill;
    QColor stroke;
    double width = 1;
    bool operator==(const Disc&) const = default;
};
// `cpu` in percent of one core; emphasised while selected or hovered.
Disc disc(double cpu, bool emphasised);
// Thread ticks: the warning colour from the threshold on.
QColor ticks(int64_t threads, int threadLimit);
// Spin rate of the ticks, in turns per 20 s.
double tickSpeed(double cpu);
// How many ticks: one per 8 threads, at most 72.
int tickCount(int64_t threads);
// Ticks show on bubbles larger than a row icon's ring.
bool ticksShown(int count, double radius);
QColor halo(Severity severity);

// ---- labels
// The name's pixel size, or nothing while the bubble is too small to carry
// labels.
std::optional<double> nameSize(double radius);
// Label boxes relative to the bubble centre.
QRectF nameFrame(double radius, double size);
QRectF detailFrame(double radius);
// "%.0f%%" from 100 % on, "%.1f%%" below.
QString cpuText(double cpu);
// Memory and CPU under the name.
QString detailText(const GroupSample& group);

// ---- traffic particles
// Dots of one stream for a rate in bytes per second: none up to 2 KiB/s,
// then one more per doubling, at most 14. Rates that are not numbers show
// none; an endless rate shows the most.
int dots(double rate);

constexpr double flowPeriod = 1.4;
// Where one dot of a stream is `now` seconds into the field's clock: its
// centre relative to the bubble and its opacity. The cycle runs on from a
// fixed epoch whatever the radius or the dot count does, so a growing
// bubble's dots finish their path.
struct Dot {
    QPointF centre;
    double opacity = 0;
};
Dot dot(int slot, int index, int count, double radius, double seconds);

// ---- the endless motions, as functions of time
// The selection ring's dash offset, 0…7 over 0.6 s.
double marchPhase(double seconds);
// The incident halo's opacity, 0.85 → 0.25 → 0.85 over 1.6 s.
double throb(double seconds);

// ---- the tooltip
QString tooltipText(const GroupSample& group);
// The tip's box for text `textWidth` wide under the pointer at `point`,
// kept 6 px inside the left, right and top edges.
QRectF tooltipFrame(QPointF point, double textWidth, double viewWidth);

// ---- what the field shows
// The 44 largest groups by memory, then the 12 busiest not among them, then
// every pinned row, each once, in that order.
std::vector<GroupSample> chooseGroups(const std::vector<GroupSample>& rows,
                                      const QSet<QString>& pinned);
// The highest open severity per group key; system-wide incidents flag none.
QHash<QString, Severity> mergeFlags(const std::vector<Incident>& open);

// The list rows seen from the field: rows well inside the visible clip land
// there; the others slide away up (-1) or down (+1).
struct RowPoints {
    std::map<QString, QPointF> visible;
    std::map<QString, double> away;
};
RowPoints rowPoints(const QHash<QString, QPointF>& points, const QRectF& clip);

} // namespace FieldStyle
