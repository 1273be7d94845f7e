#pragma once
// What a widget draws as text: each text with its font and its box in the
// widget's coordinates (the runs of one text, in fallback fonts, joined), and whether a clip or the widget's own edge cuts
// into it. A text cut short on purpose ends in an ellipsis; one cut by a
// clip is a fault the eye would see.

#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainterPath>
#include <QRegion>
#include <QTextItem>
#include <QWidget>

#include <cmath>
#include <optional>
#include <vector>

struct DrawnText {
    QString text;
    QFont font;
    QRectF box;
    bool cut = false;
    bool elided() const { return text.contains(QChar(0x2026)); }
};

class DrawnTexts final : public QPaintDevice {
public:
    // Every text `widget` paints itself (not its children).
    std::vector<DrawnText> of(QWidget& widget)
    {
        engine_.drawn.clear();
        engine_.ellipses.clear();
        engine_.bounds = QRectF(QPointF(0, 0), QSizeF(widget.size()));
        engine_.reset();
        widget.render(this, QPoint(), QRegion(), QWidget::DrawWindowBackground);
        return engine_.drawn;
    }

    // The ellipses of the last widget, in its coordinates.
    const std::vector<QRectF>& ellipses() const { return engine_.ellipses; }

    QPaintEngine* paintEngine() const override { return &engine_; }

    // Two texts share some of their width, by more than a rounding.
    static bool overlap(const DrawnText& a, const DrawnText& b)
    {
        const QRectF both = a.box.adjusted(0.5, 0.5, -0.5, -0.5) & b.box.adjusted(0.5, 0.5, -0.5, -0.5);
        return both.width() > 0 && both.height() > 0;
    }

protected:
    int metric(PaintDeviceMetric metric) const override
    {
        switch (metric) {
        case PdmWidth:
        case PdmHeight:
            return 4000;
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY:
            return 96;
        case PdmDepth:
            return 32;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return int(devicePixelRatioFScale());
        default:
            return 0;
        }
    }

private:
    struct Engine final : QPaintEngine {
        Engine() : QPaintEngine(AllFeatures) {}
        bool begin(QPaintDevice*) override { return true; }
        bool end() override { return true; }
        void reset()
        {
            transform = QTransform();
            clip.reset();
            clipEnabled = false;
            changed = true;
        }
        void updateState(const QPaintEngineState& state) override
        {
            const auto flags = state.state();
            changed = true;
            if (flags & DirtyTransform)
                transform = state.transform();
            if (flags & (DirtyClipPath | DirtyClipRegion)) {
                const QRectF area = flags & DirtyClipPath
                    ? transform.map(state.clipPath()).boundingRect()
                    : transform.mapRect(QRectF(state.clipRegion().boundingRect()));
                switch (state.clipOperation()) {
                case Qt::NoClip: clip.reset(); break;
                case Qt::ReplaceClip: clip = area; break;
                case Qt::IntersectClip: clip = clip ? (*clip & area) : area; break;
                }
                clipEnabled = state.clipOperation() != Qt::NoClip;
            }
            if (flags & DirtyClipEnabled)
                clipEnabled = state.isClipEnabled();
        }
        void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
        void drawImage(const QRectF&, const QImage&, const QRectF&, Qt::ImageConversionFlags) override {}
        void drawPath(const QPainterPath&) override {}
        void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
        void drawEllipse(const QRectF& r) override { ellipses.push_back(transform.mapRect(r)); }
        void drawTextItem(const QPointF& at, const QTextItem& item) override
        {
            const QFontMetricsF metrics(item.font());
            const QRectF local(at.x(), at.y() - metrics.ascent(), metrics.horizontalAdvance(item.text()),
                               metrics.ascent() + metrics.descent());
            DrawnText text{item.text(), item.font(), transform.mapRect(local)};
            QRectF room = bounds;
            if (clipEnabled && clip)
                room &= *clip;
            const QRectF loose = room.adjusted(-0.5, -0.5, 0.5, 0.5);
            text.cut = text.box.left() < loose.left() || text.box.right() > loose.right();
            const double baseline = transform.map(at).y();
            // A run that carries on the last one, on its line and with
            // nothing set between them, is the same text.
            if (!changed && !drawn.empty() && std::abs(baseline - lastBaseline) < 0.01
                && std::abs(text.box.left() - drawn.back().box.right()) < 1) {
                DrawnText& last = drawn.back();
                last.text += text.text;
                last.box |= text.box;
                last.cut = last.cut || text.cut;
            } else {
                drawn.push_back(std::move(text));
            }
            lastBaseline = baseline;
            changed = false;
        }
        Type type() const override { return User; }

        std::vector<DrawnText> drawn;
        std::vector<QRectF> ellipses;
        QRectF bounds;
        QTransform transform;
        std::optional<QRectF> clip;
        bool clipEnabled = false;
        bool changed = true;
        double lastBaseline = 0;
    };
    mutable Engine engine_;
};
