#pragma once
// One scrolling system trace: one or two smoothed lines over a dashed grid,
// each with a soft halo and a fill down to its baseline, half-minute ticks,
// and a glide that moves the drawing one sample step to the left over one
// sampling interval. The drawing is cached in a pixmap; the glide only moves
// it, and wakes and repaints only when it moves by a whole device pixel.

#ifndef Q_MOC_RUN
#include "core/date.h"
#include "ui/scheduler.h"
#endif

#include <QColor>
#include <QPixmap>
#include <QPointF>
#include <QWidget>

#include <cstdint>
#include <optional>
#include <vector>

class TraceLayerView : public QWidget {
    Q_OBJECT
public:
    struct Model {
        // One array per plotted quantity, oldest first, as fractions of the
        // row's scale; all of one length.
        std::vector<std::vector<double>> series;
        // Positions in the arrays (0 = oldest) that carry a tick mark.
        std::vector<int> ticks;
        // Seconds the glide takes.
        double interval = 1.0;
        // The sample the model was built from; a new stamp starts a glide.
        Date stamp{-1.0e12};
        bool operator==(const Model&) const = default;
    };

    // What the pointer shows above the trace.
    struct Overlay {
        double x = 0;
        struct Dot {
            QPointF centre;
            QColor color;
            bool operator==(const Dot&) const = default;
        };
        std::vector<Dot> dots;
        QString text;
        bool operator==(const Overlay&) const = default;
    };

    static constexpr double cornerRadius = 4;

    // One colour per series, fixed for the life of the view.
    explicit TraceLayerView(std::vector<QColor> colors, QWidget* parent = nullptr);
    ~TraceLayerView() override;

    // An equal model costs nothing; a new stamp redraws and glides, any
    // other change redraws in place.
    void apply(const Model& model);
    const Model& model() const { return model_; }

    void setOverlay(std::optional<Overlay> overlay);
    const std::optional<Overlay>& overlay() const { return overlay_; }

    // How far the drawing has glided, 0…1 of a step, and in device pixels.
    double glideProgress() const { return glide_; }
    int glidePixels() const;
    bool gliding() const;
    // Times the cached drawing was drawn afresh, rather than extended by a
    // new sample (tests).
    int rebuilds() const { return rebuilds_; }

signals:
    void pointerMoved(double x);
    void pointerLeft();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void scheduleCrossing();
    bool crossed();
    void finishGlide();
    void ensureArt();
    void drawGround();
    void drawContent();
    void drawNewest();
    void drawSeries(QPainter& p, int first, double offset) const;
    static bool shiftedByOne(const Model& before, const Model& after);
    // How far left the strip's drawing has moved since it was drawn afresh.
    double shiftOffset() const;
    void drawFrame();
    void paintOverlay(QPainter& p) const;

    std::vector<QColor> colors_;
    Model model_;
    std::optional<Overlay> overlay_;

    // Glide: progress 0…1 of one step over glideDuration_ seconds from
    // glideStart_. Between whole device pixels nothing is scheduled: a
    // single wake-up is posted for the next one.
    double glide_ = 0;
    double glideStart_ = 0;
    double glideDuration_ = 1;
    bool gliding_ = false;
    int paintedPixels_ = 0;

    // Static art at the device pixel ratio: the ground with its grid, the
    // gliding drawing (wider than the view by two steps each side) and the
    // frame that rounds the corners.
    QPixmap ground_;
    QPixmap content_;
    QPixmap frame_;
    int contentLeft_ = 0;
    // A new sample moves the drawing one step left in the strip and draws
    // only its newest points; after `stripRoom` points of room the strip is
    // drawn afresh.
    static constexpr double stripRoom = 160;
    static constexpr int freshPoints = 5;
    // How late a glide's pixel step may come, to share another's frame.
    static constexpr double crossingSlack = 0.08;
    int stripShifts_ = 0;
    int pendingShifts_ = 0;
    std::size_t groundSeries_ = 0;
    QSize artSize_;
    double artRatio_ = 0;
    bool contentStale_ = true;
    int rebuilds_ = 0;
};
