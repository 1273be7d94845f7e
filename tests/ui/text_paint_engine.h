#pragma once
// Texts recorded instead of painted: a paint device whose engine follows
// the painter's transform, clip, pen and opacity, drops everything else
// drawn, and hands on each visible text with its boxes. A text drawn in
// several runs (a bold figure in a sentence, Chinese within Latin, a sign
// the first face lacks) reaches the recorder as one text.

#include <QColor>
#include <QFont>
#include <QFontMetricsF>
#include <QHash>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainterPath>
#include <QPen>
#include <QRawFont>
#include <QRectF>
#include <QSize>
#include <QString>
#include <QTextItem>
#include <QTransform>

#include <climits>
#include <cmath>
#include <optional>
#include <vector>

class TextPaintEngine : public QPaintEngine {
public:
    // One run of a text, in device pixels.
    struct Run {
        QString text;
        QFont font;
        QRectF line;  // from the baseline's start, its advance, ascent to descent
        QRectF ink;   // the glyphs' tight bounds; none for blanks
        bool blank = false;
    };

    TextPaintEngine() : QPaintEngine(QPaintEngine::AllFeatures) {}

    // The ellipses drawn (dots between texts), in device pixels.
    std::vector<QRectF> ellipses;

    bool begin(QPaintDevice*) override
    {
        transform_ = QTransform();
        clip_.reset();
        clipEnabled_ = false;
        opacity_ = 1;
        pen_ = QPen();
        joinable_ = false;
        return true;
    }
    bool end() override { return true; }
    Type type() const override { return QPaintEngine::User; }

    void updateState(const QPaintEngineState& state) override
    {
        const QPaintEngine::DirtyFlags flags = state.state();
        if (flags & DirtyTransform)
            transform_ = state.transform();
        if (flags & DirtyPen)
            pen_ = state.pen();
        if (flags & DirtyOpacity)
            opacity_ = state.opacity();
        if (flags & DirtyClipEnabled)
            clipEnabled_ = state.isClipEnabled();
        if (flags & DirtyClipRegion)
            clip(state.clipOperation(), transform_.mapRect(QRectF(state.clipRegion().boundingRect())));
        if (flags & DirtyClipPath)
            clip(state.clipOperation(), transform_.map(state.clipPath()).boundingRect());
    }

    void drawTextItem(const QPointF& p, const QTextItem& item) override
    {
        const QString text = item.text();
        if (text.isEmpty() || pen_.style() == Qt::NoPen || pen_.color().alphaF() * opacity_ < 0.05)
            return;
        const QPointF start = transform_.map(p);
        const QPointF end = transform_.map(p + QPointF(item.width(), 0));
        const bool goesOn = joinable_ && mayJoin() && std::abs(start.y() - lastEnd_.y()) < 0.01
            && std::abs(start.x() - lastEnd_.x()) < 0.5;

        const QFontMetricsF metrics(item.font());
        Run run{text, item.font(),
                transform_.mapRect(QRectF(p.x(), p.y() - metrics.ascent(), metrics.horizontalAdvance(text),
                                          metrics.ascent() + metrics.descent())),
                QRectF(), text.trimmed().isEmpty()};
        // Blanks in a face of their own between two runs of a text.
        if (run.blank) {
            if (goesOn) {
                current_ += text;
                joined(run);
                lastEnd_ = end;
            }
            return;
        }
        // Blanks have no ink, but a tight rectangle still reaches to where
        // one stands at either end.
        qsizetype first = 0;
        while (text.at(first).isSpace())
            ++first;
        qsizetype last = text.size();
        while (text.at(last - 1).isSpace())
            --last;
        const QRectF tight = metrics.tightBoundingRect(text.mid(first, last - first))
                                 .translated(metrics.horizontalAdvance(text.left(first)), 0);
        run.ink = transform_.mapRect(tight.translated(p));

        // A run that goes on where the last one ended on the same baseline,
        // in another format, script or face, is the rest of the same text.
        if (goesOn && (item.font() != lastFont_ || pen_.color() != lastColour_ || split(current_, text, item.font()))) {
            current_ += text;
            joined(run);
        } else {
            current_ = text;
            started(run);
        }
        joinable_ = true;
        lastEnd_ = end;
        lastFont_ = item.font();
        lastColour_ = pen_.color();
    }

    // Nothing else drawn is kept; it only ends the text before it.
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override { joinable_ = false; }
    void drawImage(const QRectF&, const QImage&, const QRectF&, Qt::ImageConversionFlags) override
    {
        joinable_ = false;
    }
    void drawTiledPixmap(const QRectF&, const QPixmap&, const QPointF&) override { joinable_ = false; }
    void drawPath(const QPainterPath&) override { joinable_ = false; }
    void drawPolygon(const QPointF*, int, PolygonDrawMode) override { joinable_ = false; }
    void drawPolygon(const QPoint*, int, PolygonDrawMode) override { joinable_ = false; }
    void drawRects(const QRectF*, int) override { joinable_ = false; }
    void drawRects(const QRect*, int) override { joinable_ = false; }
    void drawLines(const QLineF*, int) override { joinable_ = false; }
    void drawLines(const QLine*, int) override { joinable_ = false; }
    void drawEllipse(const QRectF& r) override
    {
        ellipses.push_back(transform_.mapRect(r));
        joinable_ = false;
    }
    void drawEllipse(const QRect& r) override { drawEllipse(QRectF(r)); }
    void drawPoints(const QPointF*, int) override { joinable_ = false; }
    void drawPoints(const QPoint*, int) override { joinable_ = false; }

protected:
    // A text begins with `run`.
    virtual void started(const Run& run) = 0;
    // `run` is the rest of the text begun last.
    virtual void joined(const Run& run) = 0;
    // Whether the next run may carry on the last text at all.
    virtual bool mayJoin() const { return true; }

    // The painter's clip in device pixels, while one applies.
    std::optional<QRectF> clipRect() const { return clipEnabled_ ? clip_ : std::nullopt; }

private:
    // Whether `after` can be where one text's layout changed script or
    // face: one text in one script and face is drawn as one run.
    bool split(const QString& before, const QString& after, const QFont& font)
    {
        // Signs and digits take the script of the letters around them.
        const auto script = [](const QString& text, bool fromEnd) {
            for (qsizetype i = 0; i < text.size(); ++i) {
                const QChar::Script s = text.at(fromEnd ? text.size() - 1 - i : i).script();
                if (s != QChar::Script_Common && s != QChar::Script_Inherited)
                    return s;
            }
            return QChar::Script_Unknown;
        };
        const QChar::Script was = script(before, true);
        const QChar::Script is = script(after, false);
        if (was != QChar::Script_Unknown && is != QChar::Script_Unknown && was != is)
            return true;
        const QChar a = before.back();
        const QChar b = after.front();
        const QString family = font.families().value(0, font.family());
        auto it = faces_.find(family);
        if (it == faces_.end()) {
            QFont first = font;
            first.setFamilies({family});
            it = faces_.insert(family, QRawFont::fromFont(first));
        }
        return it->supportsCharacter(a) != it->supportsCharacter(b);
    }

    void clip(Qt::ClipOperation operation, const QRectF& rect)
    {
        switch (operation) {
        case Qt::NoClip: clip_.reset(); break;
        case Qt::ReplaceClip: clip_ = rect; break;
        case Qt::IntersectClip: clip_ = clip_ ? clip_->intersected(rect) : rect; break;
        }
    }

    QTransform transform_;
    std::optional<QRectF> clip_;
    bool clipEnabled_ = false;
    double opacity_ = 1;
    QPen pen_;
    bool joinable_ = false; // the last thing drawn is the last text
    QHash<QString, QRawFont> faces_;
    QString current_; // the text begun last, as far as it goes
    QPointF lastEnd_;
    QFont lastFont_;
    QColor lastColour_;
};

// A device of `size` device-independent pixels at `ratio` device pixels to
// each; the one who makes it gives it its engine.
class TextPaintDevice : public QPaintDevice {
public:
    explicit TextPaintDevice(QSize size = QSize(4000, 4000), double ratio = 1)
        : pixels_(int(std::lround(size.width() * ratio)), int(std::lround(size.height() * ratio))), ratio_(ratio)
    {
    }

protected:
    int metric(PaintDeviceMetric metric) const override
    {
        switch (metric) {
        case PdmWidth: return pixels_.width();
        case PdmHeight: return pixels_.height();
        case PdmWidthMM: return int(std::lround(pixels_.width() / ratio_ * 25.4 / 96));
        case PdmHeightMM: return int(std::lround(pixels_.height() / ratio_ * 25.4 / 96));
        case PdmNumColors: return INT_MAX;
        case PdmDepth: return 32;
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY: return 96;
        case PdmDevicePixelRatio: return int(std::lround(ratio_));
        case PdmDevicePixelRatioScaled: return int(std::lround(ratio_ * devicePixelRatioFScale()));
        }
        return 0;
    }

    QSize pixels_;
    double ratio_;
};
