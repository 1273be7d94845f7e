#include "text_recorder.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QEvent>
#include <QFontMetricsF>
#include <QHash>
#include <QLabel>
#include <QPaintEngine>
#include <QPainter>
#include <QPainterPath>
#include <QRawFont>
#include <QTextItem>

#include <algorithm>
#include <cmath>

namespace {

const QChar ellipsis(0x2026);

QString describeBox(const QRectF& r)
{
    return QStringLiteral("[%1,%2 %3x%4]")
        .arg(std::lround(r.left()))
        .arg(std::lround(r.top()))
        .arg(std::lround(r.width()))
        .arg(std::lround(r.height()));
}

// The widget's class, and the nearest of the program's own widgets around
// it when it is one of Qt's: "QLabel in FlowView".
QString nameOf(const QWidget* widget)
{
    if (!widget)
        return QStringLiteral("?");
    const auto own = [](const QWidget* w) { return !QByteArray(w->metaObject()->className()).startsWith('Q'); };
    QString name = QString::fromLatin1(widget->metaObject()->className());
    if (!widget->objectName().isEmpty() && !widget->objectName().startsWith(QLatin1String("qt_")))
        name += QLatin1Char('#') + widget->objectName();
    if (own(widget))
        return name;
    for (const QWidget* w = widget->parentWidget(); w; w = w->parentWidget())
        if (own(w))
            return name + QStringLiteral(" in ") + QString::fromLatin1(w->metaObject()->className());
    return name;
}

// The widget whose paint event runs: every painter on the device belongs
// to it until the next one starts.
class PaintWatch : public QObject {
public:
    const QWidget* current = nullptr;
    std::vector<QPointer<const QWidget>> painted;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && watched->isWidgetType()) {
            current = static_cast<const QWidget*>(watched);
            painted.emplace_back(current);
        }
        return false;
    }
};

} // namespace

class TextEngine : public QPaintEngine {
public:
    TextEngine() : QPaintEngine(QPaintEngine::AllFeatures) {}

    QWidget* root = nullptr;
    double ratio = 1;
    PaintWatch watch;
    std::vector<DrawnText> texts;

    bool begin(QPaintDevice*) override
    {
        transform_ = QTransform();
        clip_ = QRectF();
        hasClip_ = false;
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
        const QWidget* widget = watch.current;
        const QPointF start = transform_.map(p);
        const QPointF end = transform_.map(p + QPointF(item.width(), 0));
        const bool goesOn = joinable_ && widget == texts.back().widget
            && std::abs(start.y() - lastEnd_.y()) < 0.01 && std::abs(start.x() - lastEnd_.x()) < 0.5;
        // Blanks in a face of their own between two runs of a text.
        if (text.trimmed().isEmpty()) {
            if (goesOn) {
                texts.back().text += text;
                lastEnd_ = end;
            }
            return;
        }
        // Blanks have no ink, but a tight rectangle still reaches to where
        // one stands at either end.
        const QFontMetricsF metrics(item.font());
        qsizetype first = 0;
        while (text.at(first).isSpace())
            ++first;
        qsizetype last = text.size();
        while (text.at(last - 1).isSpace())
            --last;
        const QRectF tight = metrics.tightBoundingRect(text.mid(first, last - first))
                                 .translated(metrics.horizontalAdvance(text.left(first)), 0);
        const QRectF box = transform_.mapRect(tight.translated(p));

        // A run that goes on where the last one ended on the same baseline,
        // in another format, script or face (a bold figure in a sentence,
        // Chinese within Latin, a sign the first face lacks), is the rest of
        // the same text.
        if (goesOn
            && (item.font() != lastFont_ || pen_.color() != lastColour_
                || split(texts.back().text, text, item.font()))) {
            DrawnText& last = texts.back();
            last.text += text;
            last.box = last.box.united(box);
            finish(last);
            lastEnd_ = end;
            lastFont_ = item.font();
            lastColour_ = pen_.color();
            return;
        }

        DrawnText drawn;
        drawn.text = text;
        drawn.box = box;
        drawn.widget = widget;
        drawn.widgetName = nameOf(widget);
        const QRectF own = widget ? QRectF(widget->mapTo(root, QPoint(0, 0)), QSizeF(widget->size()))
                                  : QRectF(QPointF(), QSizeF(root->size()));
        drawn.own = QRectF(own.topLeft() * ratio, own.size() * ratio);
        drawn.room = clipEnabled_ && hasClip_ ? drawn.own.intersected(clip_) : drawn.own;
        drawn.scrolls = widget && qobject_cast<const QAbstractScrollArea*>(widget->parentWidget())
            && static_cast<const QAbstractScrollArea*>(widget->parentWidget())->viewport() == widget;
        texts.push_back(drawn);
        joinable_ = true;
        lastEnd_ = end;
        lastFont_ = item.font();
        lastColour_ = pen_.color();
        finish(texts.back());
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
    void drawEllipse(const QRectF&) override { joinable_ = false; }
    void drawEllipse(const QRect&) override { joinable_ = false; }
    void drawPoints(const QPointF*, int) override { joinable_ = false; }
    void drawPoints(const QPoint*, int) override { joinable_ = false; }

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
        case Qt::NoClip:
            hasClip_ = false;
            clip_ = QRectF();
            break;
        case Qt::ReplaceClip:
            hasClip_ = true;
            clip_ = rect;
            break;
        case Qt::IntersectClip:
            clip_ = hasClip_ ? clip_.intersected(rect) : rect;
            hasClip_ = true;
            break;
        }
    }

    // Where the text shows: within what the painter's clip and the widget's
    // visible region (its ancestors' rectangles, less the opaque widgets
    // over it) leave of it.
    void finish(DrawnText& drawn)
    {
        const QRegion system = systemClip();
        QRegion visible = system.isEmpty() ? QRegion(drawn.box.toAlignedRect()) : system;
        if (clipEnabled_ && hasClip_)
            visible &= QRegion(clip_.toAlignedRect());
        visible &= QRegion(drawn.box.toAlignedRect());
        drawn.shown = visible.isEmpty() ? QRectF() : drawn.box.intersected(QRectF(visible.boundingRect()));
    }

    QTransform transform_;
    QRectF clip_;
    bool hasClip_ = false;
    bool clipEnabled_ = false;
    double opacity_ = 1;
    QPen pen_;
    bool joinable_ = false; // the last thing drawn is the last text
    QHash<QString, QRawFont> faces_;
    QPointF lastEnd_;
    QFont lastFont_;
    QColor lastColour_;
};

TextRecorder::TextRecorder(QSize size, double ratio)
    : pixels_(int(std::lround(size.width() * ratio)), int(std::lround(size.height() * ratio)))
    , ratio_(ratio)
    , engine_(std::make_unique<TextEngine>())
{
    engine_->ratio = ratio;
}

TextRecorder::~TextRecorder() = default;

void TextRecorder::render(QWidget& window)
{
    engine_->texts.clear();
    engine_->root = &window;
    engine_->watch.current = nullptr;
    engine_->watch.painted.clear();
    qApp->installEventFilter(&engine_->watch);
    window.render(this, QPoint(), QRegion(), QWidget::DrawWindowBackground | QWidget::DrawChildren);
    qApp->removeEventFilter(&engine_->watch);
    // What nothing of shows was never seen, unless it was drawn out of its
    // own widget's sight.
    std::erase_if(engine_->texts, [](const DrawnText& t) {
        return t.shown.isEmpty() && (t.scrolls || (t.box.top() >= t.own.top() && t.box.bottom() <= t.own.bottom()));
    });

    // A wrapped label too short for its lines leaves the last ones out
    // without drawing them at all; it is known by the height it asks for.
    shortLabels_.clear();
    for (const QPointer<const QWidget>& widget : engine_->watch.painted) {
        const auto* label = qobject_cast<const QLabel*>(widget.data());
        if (!label || !label->wordWrap() || label->text().isEmpty())
            continue;
        const int needed = label->heightForWidth(label->width());
        if (needed <= label->height())
            continue;
        DrawnText t;
        t.text = label->text();
        t.widget = label;
        t.widgetName = nameOf(label);
        const QRectF own(QPointF(label->mapTo(&window, QPoint(0, 0))) * ratio_, QSizeF(label->size()) * ratio_);
        t.own = t.room = t.shown = own;
        t.box = QRectF(own.topLeft(), QSizeF(own.width(), needed * ratio_));
        shortLabels_.push_back(t);
    }
}

const std::vector<DrawnText>& TextRecorder::shortLabels() const
{
    return shortLabels_;
}

const std::vector<DrawnText>& TextRecorder::texts() const
{
    return engine_->texts;
}

QPaintEngine* TextRecorder::paintEngine() const
{
    return engine_.get();
}

int TextRecorder::metric(PaintDeviceMetric metric) const
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

// ---- the checks

QString TextFinding::describe() const
{
    const auto one = [](const DrawnText& t) {
        return QStringLiteral("\"%1\" %2 in %3").arg(t.text, describeBox(t.box), t.widgetName);
    };
    if (kind == Kind::overlap)
        return QStringLiteral("overlap: %1 runs into %2 (shown %3 and %4)")
            .arg(one(first), one(second), describeBox(first.shown), describeBox(second.shown));
    return QStringLiteral("cut: %1, room %2, shown %3")
        .arg(one(first), describeBox(first.room),
             first.shown.isEmpty() ? QStringLiteral("nothing") : describeBox(first.shown));
}

std::vector<TextFinding> overlaps(const std::vector<DrawnText>& texts, double pixel)
{
    std::vector<TextFinding> found;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        for (std::size_t j = i + 1; j < texts.size(); ++j) {
            const DrawnText& a = texts[i];
            const DrawnText& b = texts[j];
            if (a.shown.isEmpty() || b.shown.isEmpty())
                continue;
            // A shadow or glow under the same text.
            if (a.text == b.text && std::abs(a.box.left() - b.box.left()) <= 2 * pixel
                && std::abs(a.box.top() - b.box.top()) <= 2 * pixel)
                continue;
            const QRectF both = a.shown.intersected(b.shown);
            const bool overlapping = both.width() > pixel && both.height() > pixel;
            // On one line, two texts with no gap between them read as one.
            const double shared = std::min(a.shown.bottom(), b.shown.bottom()) - std::max(a.shown.top(), b.shown.top());
            const double gap = std::max(a.shown.left(), b.shown.left()) - std::min(a.shown.right(), b.shown.right());
            const bool touching = shared > 0.5 * std::min(a.shown.height(), b.shown.height()) && gap < 2 * pixel;
            if (overlapping || touching)
                found.push_back({TextFinding::Kind::overlap, a, b});
        }
    }
    return found;
}

std::vector<TextFinding> cuts(const std::vector<DrawnText>& texts, double pixel)
{
    const double tolerance = 1.5 * pixel;
    std::vector<TextFinding> found;
    for (const DrawnText& t : texts) {
        // Cut down to its ellipsis and a letter at most, a text says
        // nothing: it should have given way whole.
        QString kept = t.text;
        kept.remove(ellipsis);
        if (t.text.contains(ellipsis) && kept.trimmed().size() <= 1) {
            found.push_back({TextFinding::Kind::cut, t, {}});
            continue;
        }
        if (t.text.contains(ellipsis) || t.text.contains(QStringLiteral("...")))
            continue;
        const bool outOfRoom = t.box.left() < t.room.left() - tolerance || t.box.right() > t.room.right() + tolerance;
        const bool hidden = !t.shown.isEmpty()
            && (t.shown.left() > t.box.left() + tolerance || t.shown.right() < t.box.right() - tolerance);
        const bool tooLow = !t.scrolls
            && (t.box.top() < t.own.top() - tolerance || t.box.bottom() > t.own.bottom() + tolerance);
        if (outOfRoom || hidden || tooLow)
            found.push_back({TextFinding::Kind::cut, t, {}});
    }
    return found;
}
