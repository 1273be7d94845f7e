#pragma once
// Where the reactor's texts go: the CPU figures in the middle of the ring
// and the core kinds' letters between the memory ring and the core ring.
// Pure geometry over measured text sizes, so what the gauge paints and what
// the tests check are the same boxes.
//
// On a small gauge the figures shrink with it; past a size the GPU and load
// line leaves, then the caption, rather than any text reach a ring or
// another text. A letter shrinks to fit its gap and leaves when even its
// smallest size would not.

#include "core/records.h"
#include "field/reactor_geometry.h"

#include <QPointF>
#include <QRectF>

#include <functional>
#include <optional>
#include <vector>

struct ReactorReadout {
    enum class Part { caption, figure, detail, letterE, letterP };

    // One line of text as set at some scale, relative to its pen at the
    // start of the baseline: how far it runs, its line box (ascent above
    // the baseline, descent below) and its ink from `inkTop` (negative,
    // above the baseline) to `inkBottom`.
    struct Ink {
        double advance = 0;
        double ascent = 0, descent = 0;
        double inkTop = 0, inkBottom = 0;
    };
    // The ink of a part's text set `size` pixels high.
    using Measure = std::function<Ink(Part, double size)>;

    // Design sizes, in pixels, and the least each may shrink to.
    static constexpr double figureSize = 50;
    static constexpr double captionSize = 9.5;
    static constexpr double detailSize = 9.5;
    static constexpr double letterSize = 8.5;
    static constexpr double figureFloor = 12;
    // The figure shrinks no further than this to keep the GPU and load
    // line beside it: a larger figure reads better than that line.
    static constexpr double figureFloorWithDetail = 30;
    static constexpr double captionFloor = 7;
    static constexpr double detailFloor = 8;
    static constexpr double letterFloor = 6;
    // Clear space kept between a text and a ring, in pixels: the letters
    // sit in a narrow gap and keep less.
    static constexpr double margin = 1.5;
    static constexpr double letterMargin = 0.75;

    // The pixel size of a part at `scale` of the design: the figure
    // shrinks freely, the small texts no further than their floors.
    static double size(Part part, double scale);

    struct Placed {
        double size = 0; // pixels
        QPointF pen;     // start of the baseline
        QRectF box;      // the ink's extent, a whole advance wide
    };
    struct Letter {
        CoreKind kind = CoreKind::performance;
        double size = 0;
        QPointF pen;
        QRectF box;
    };

    // The figures' scale (0 while none shows) and where each line goes.
    double scale = 0;
    std::optional<Placed> caption, figure, detail;
    std::vector<Letter> letters;

    // The radius the figures keep within (the memory ring's inner edge),
    // and the band the letters keep within (between the memory ring's
    // outer edge and the core ring's inner edge), less the margins.
    static double room(const ReactorGeometry& g);
    static std::pair<double, double> letterBand(const ReactorGeometry& g);

    static ReactorReadout layout(const ReactorGeometry& g, const std::vector<CoreKind>& kinds,
                                 const Measure& measure);

    // Every text box: the figures' lines, then the letters.
    std::vector<QRectF> boxes() const;
};
