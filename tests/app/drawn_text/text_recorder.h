#pragma once
// What a window draws as text, recorded instead of painted: the shared
// recording device, with the widget that drew each text and the part of it
// that shows. A window rendered onto it through QWidget::render paints
// every widget as it would on screen; the checks below then say which texts
// run into each other and which are cut short.
//
// Texts painted into a picture first (cached layers) reach the device as a
// picture and are not seen, unless their view draws them as text on any
// device but the raster engine, as the field does its labels.

#include "ui/text_paint_engine.h"

#include <QPointer>
#include <QRectF>
#include <QRegion>
#include <QSize>
#include <QString>
#include <QWidget>

#include <memory>
#include <vector>

class TextEngine;

struct DrawnText {
    QString text;
    QRectF box;      // the glyphs' tight bounds, in device pixels
    QRectF shown;    // the part of the box left by the clips and the widgets over it
    QRectF own;      // the drawing widget's rectangle
    QRectF room;     // the same within its painter's clip
    bool scrolls = false; // drawn by a scroll area's viewport, which cuts rows on purpose
    QPointer<const QWidget> widget;
    QString widgetName; // its class, and its object name when it has one
};

class TextRecorder : public TextPaintDevice {
public:
    // A device of `size` device-independent pixels at `ratio` device pixels
    // to each.
    TextRecorder(QSize size, double ratio);
    ~TextRecorder() override;

    // Renders `window` with its children; the texts of earlier renders go.
    void render(QWidget& window);
    const std::vector<DrawnText>& texts() const;
    // The word-wrapped labels that were drawn shorter than their lines
    // need, each as its whole text in the box it needs.
    const std::vector<DrawnText>& shortLabels() const;

    QPaintEngine* paintEngine() const override;

private:
    std::unique_ptr<TextEngine> engine_;
    std::vector<DrawnText> shortLabels_;
};

// ---- the checks, on what was recorded

struct TextFinding {
    enum class Kind { overlap, cut };
    Kind kind = Kind::overlap;
    DrawnText first;
    DrawnText second; // an overlap's other text
    // What a developer reads: the texts, their boxes and their widgets.
    QString describe() const;
};

// Pairs of texts whose shown parts overlap by more than a pixel each way,
// or that stand on one line less than two pixels apart, so they read as one
// word.
// The same text drawn again within two pixels of itself (a shadow or a
// glow) is one text. `pixel` is the device pixels to a pixel of layout.
std::vector<TextFinding> overlaps(const std::vector<DrawnText>& texts, double pixel = 1);

// Texts cut without an ellipsis to say so: a box that leaves the room it
// was drawn in (its widget's rectangle and the painter's clip) sideways,
// that an ancestor or a widget over it cuts sideways, or that leaves its
// widget at the top or bottom. A scroll area's viewport cuts its rows at
// the top and bottom on purpose, and its ancestors clip what scrolls. A
// text elided down to its ellipsis and one letter at most is cut as well.
// Glyph bounds are whole pixels, rounded outwards: ink may pass its room by
// a pixel and a half of layout.
// `covers` (device pixels) are panels that lie over the content by design:
// a text that passes under one shows up to its edge and is not cut.
std::vector<TextFinding> cuts(const std::vector<DrawnText>& texts, double pixel = 1,
                              const QRegion& covers = {});
