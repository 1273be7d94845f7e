#pragma once
// Small round dots, filled once per colour, size and sixteenth of a device
// pixel and then copied into place. Filling a tiny antialiased circle takes
// the painter a path, a rasteriser pass and, when the opacity changes from
// one dot to the next, a new brush set-up; a copy of a few pixels takes the
// painter's opacity for nothing. The picture is the same within a
// thirty-second of a pixel.

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QPointF>

#include <vector>

class QPainter;

class DotSprites {
public:
    static constexpr int phases = 16;

    // Where a dot of `radius` centred at `centre` lands, in device pixels:
    // the top-left pixel of its sprite and the sprite's sub-pixel phase.
    struct Place {
        QPoint topLeft;
        int phaseX = 0;
        int phaseY = 0;
        bool operator==(const Place&) const = default;
    };
    static Place place(QPointF centre, double radius);
    // The sprite's centre within its own pixels for a phase.
    static QPointF centreIn(double radius, int phaseX, int phaseY);

    // The dot of `color` and `radius` (device pixels) at that phase.
    const QImage& sprite(const QColor& color, double radius, int phaseX, int phaseY);

    // Draws one dot centred at `centre`, in device pixels, at the painter's
    // opacity. The painter must map its coordinates one to one onto device
    // pixels (a world transform of 1 / its device pixel ratio).
    void draw(QPainter& p, const QColor& color, double radius, QPointF centre);

private:
    struct Set {
        QRgb color = 0;
        double radius = 0;
        std::vector<QImage> images; // phases × phases, filled on first use
    };
    std::vector<Set> sets_;
};
