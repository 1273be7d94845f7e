#pragma once
// The bubble field's physics: one body per application group, sized by its
// memory, pulled towards the centre harder the busier it is, trembling with
// its heat, kept apart from its neighbours, and carried in and out of the
// process list's rows by spring flights. It draws nothing and owns no timer:
// the field's canvas calls step() once a frame with a monotonic time and
// reads the bodies back. Main thread only.

#include "core/records.h"

#include <QMarginsF>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <functional>
#include <map>
#include <optional>
#include <vector>

class FieldSim {
public:
    // A uniform draw from [0, 1); tests pass their own.
    using Random = std::function<double()>;

    struct Flight {
        QPointF from;
        QPointF to;
        double start = 0; // may lie in the future: the body waits
        double fromForm = 0;
        double fromAlpha = 0;
        bool operator==(const Flight&) const = default;
    };

    struct Body {
        QPointF pos;
        QPointF vel;
        double r = 4;
        double grown = 4;
        double target = 4;
        double heat = 0;
        double form = 1;  // 0 = a row icon, 1 = a full bubble
        double alpha = 1;
        std::optional<Flight> flight;
        QPointF nudge;
        bool operator==(const Body&) const = default;
    };

    struct Collapse {
        double start = 0;
        std::map<QString, Body> from;
        std::map<QString, QPointF> anchors;
        std::map<QString, double> away; // +1 down, -1 up
    };

    struct Dissolve {
        double start = 0;
        std::map<QString, Body> from;
        std::map<QString, double> delay;
    };

    static constexpr double minRadius = 9;
    static constexpr double spawnRadius = 4;
    static constexpr double gap = 5;
    static constexpr double firstStep = 1.0 / 60;
    static constexpr double longestStep = 1.0 / 30;
    // Two frames at the same instant, or a clock that stepped back, still
    // move time forward a little: nothing divides by a zero step.
    static constexpr double shortestStep = 0.001;
    // ω of the flight spring: critically damped, period 0.3 s.
    static constexpr double omega = 20.943951023931955;

    explicit FieldSim(Random random = {});

    std::map<QString, Body> bodies;
    std::optional<QString> dragging;
    QPointF dragPoint;
    std::optional<QString> pinned;
    std::optional<Collapse> collapse;
    std::optional<Dissolve> dissolve;
    std::map<QString, QPointF> homes;
    bool quiet = false;
    std::optional<double> last;
    bool settled = false;
    // Bands along the view's edges that resting bodies keep clear of (the
    // legend's, and a little room under the top edge): the live frame
    // gathers them about the middle of the rest and keeps them inside it.
    QMarginsF inset;

    // The part of a view `size` big that the bodies live in.
    static QRectF arena(QSizeF size, const QMarginsF& inset);

    // One frame at monotonic time `now` (seconds).
    void step(const std::vector<GroupSample>& groups, QSizeF size, double now);
    // The key of the smallest body whose circle holds the point.
    std::optional<QString> hit(QPointF point) const;
    // Where the groups come to rest, starting from `hint` where given.
    static std::map<QString, QPointF> settle(const std::vector<GroupSample>& groups, QSizeF size,
                                             const std::map<QString, QPointF>& hint,
                                             const QMarginsF& inset = {});

    // The frame step's time step for `now`: 1/60 s on the first frame, else
    // the time since the last frame held to [1 ms, 1/30 s].
    double stepLength(double now) const;

    // ---- transitions
    // Replaces every body: those with a row point fly out of it, the rest
    // ripple in at their resting places from the centre outwards.
    void enter(const std::vector<GroupSample>& groups, QSizeF size,
               const std::map<QString, QPointF>& rows, const std::map<QString, QPointF>& hint,
               double now);
    // Freezes every body where it is and ends any transition; returns them.
    std::map<QString, Body> retreat();
    // Starts the flight onto the list's rows.
    void beginCollapse(const std::map<QString, QPointF>& anchors,
                       const std::map<QString, double>& away, double now);
    void beginDissolve(QSizeF size, double now);
    // Ends a collapse or dissolve and flies every body home.
    void resumeLive(double now);

    // ---- the pure pieces, public for tests and the canvas
    // Radius a group's memory asks for.
    static double targetRadius(double mem, double maxMem, double lo);
    static double heatOf(double cpu);
    static double smoothstep(double x);
    // The largest memory of `groups` as a double, at least 1.
    static double maxMemOf(const std::vector<GroupSample>& groups);
    // One overlap correction between two bodies that are both free or both
    // flying: they part to keep the gap, the smaller giving way more; a held
    // (dragged or pinned) body stays and the other gives way completely.
    // Flying bodies share 0.6 of it and remember the push in their nudge.
    static void separate(Body& i, Body& j, bool iHeld, bool jHeld);

private:
    // `refresh` false skips spawning, sizing and removing, for frames whose
    // groups are known to be the bodies' own, unchanged.
    // Returns the fastest a body actually moved, in points per second (the
    // two axes added), over the whole frame.
    double advance(const std::vector<GroupSample>& groups, QSizeF size, double dt, double now,
                   bool refresh = true);
    // Evaluates a flight; true while it still moves.
    bool fly(Body& body, double now) const;
    void collapseFrame(double now);
    void dissolveFrame(double now);
    double draw();

    Random random_;
};
