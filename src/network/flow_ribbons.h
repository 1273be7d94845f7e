#pragma once
// The ribbons between the Flows columns as plain values: which rows each
// link joins, how wide and in which colour it is drawn for its traffic,
// its curve, and the running dashes that show the dominant direction.

#include "network/flow_graph.h"

#include <QColor>
#include <QPainterPath>
#include <QPolygonF>
#include <QSize>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <vector>

struct FlowRibbons {
    struct Ribbon {
        QString id;      // from id + "|" + to id
        int from = 0;    // row of the application
        int to = 0;      // row of the host
        double rateIn = 0, rateOut = 0;
        bool dimmed = false;

        bool operator==(const Ribbon&) const = default;
    };

    // How one ribbon is drawn. The base line always shows; the dashed flow
    // line above it only while traffic runs.
    struct Style {
        double width = 1;       // the base line, 1 to 9
        QColor base;            // with its alpha
        double flowWidth = 1.2; // the dashed line
        bool flowing = false;   // traffic runs: the dashes show and move
        double opacity = 1;     // 0.12 while another node has the focus
        double target = 13;     // phase per dash cycle: + toward the apps (download), − upload

        bool operator==(const Style&) const = default;
    };

    // The dash pattern and one cycle's length, in pixels, and the seconds a
    // cycle takes.
    static constexpr double dash = 5;
    static constexpr double gap = 8;
    static constexpr double cycle = dash + gap;
    static constexpr double cycleSeconds = 0.7;
    // Curves start and end this far inside the ribbon area.
    static constexpr double inset = 4;

    // The links of a graph whose ends are both shown, in edge order; those
    // away from `focus` (when set) are dimmed.
    static std::vector<Ribbon> from(const FlowGraph& graph, const std::optional<QString>& focus);

    static Style style(double rateIn, double rateOut, bool dimmed);
    // The curve from the application row to the host row across `width`.
    static QPainterPath path(int from, int to, double rowHeight, double width);

    // The device pixels near one ribbon's curve, found once per place so
    // that a new width only recomputes coverage and a frame only blends
    // its dashes in: each pixel's distance from the curve and how far
    // along the curve it lies, both in pixels of the view.
    struct Texel {
        uint32_t index; // y × image width + x
        float along;
        float distance;
    };
    // The widest line reaches this far from the curve, smoothing included.
    static constexpr double reach = 5.5;
    // `line` is the flattened curve in view pixels; `ratio` the device
    // pixel ratio and `pixels` the image size in device pixels. In pixel
    // order.
    static std::vector<Texel> raster(const QPolygonF& line, double ratio, QSize pixels);
    // How much of a pixel at `distance` a round line of `width` covers,
    // smoothed over one device pixel at its edge.
    static double cover(double width, double distance, double ratio)
    {
        return std::clamp((width / 2 - distance) * ratio + 0.5, 0.0, 1.0);
    }
    // How much of a pixel `along` the ribbon and `distance` from it a
    // dashed line of `width` at `phase` covers. Dashes have round ends, as
    // the still line has, smoothed over one device pixel.
    static double dashCover(double along, double phase, double distance, double width, double ratio);

    // The running dash of one ribbon. Its phase carries on across samples
    // and only starts over when the direction flips or traffic resumes.
    struct Dash {
        double phase = 0;
        double direction = 0; // +1, −1, or 0 while still

        // Follows a new style; true when the dash starts over.
        bool retarget(const Style& style);
        // Moves on by dt seconds; the phase stays within one cycle.
        void advance(double dt);
    };
};

// The style of a ribbon carrying these rates.
inline FlowRibbons::Style ribbonStyle(double rateIn, double rateOut, bool dimmed = false)
{
    return FlowRibbons::style(rateIn, rateOut, dimmed);
}
