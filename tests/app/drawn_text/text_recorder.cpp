#include "text_recorder.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QPainter>

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

// The shared engine, with the widget each text is drawn by and where it
// shows.
class TextEngine : public TextPaintEngine {
public:
    QWidget* root = nullptr;
    double ratio = 1;
    PaintWatch watch;
    std::vector<DrawnText> texts;

protected:
    bool mayJoin() const override { return watch.current == texts.back().widget; }

    void started(const Run& run) override
    {
        const QWidget* widget = watch.current;
        DrawnText drawn;
        drawn.text = run.text;
        drawn.box = run.ink;
        drawn.widget = widget;
        drawn.widgetName = nameOf(widget);
        const QRectF own = widget ? QRectF(widget->mapTo(root, QPoint(0, 0)), QSizeF(widget->size()))
                                  : QRectF(QPointF(), QSizeF(root->size()));
        drawn.own = QRectF(own.topLeft() * ratio, own.size() * ratio);
        const auto clip = clipRect();
        drawn.room = clip ? drawn.own.intersected(*clip) : drawn.own;
        drawn.scrolls = widget && qobject_cast<const QAbstractScrollArea*>(widget->parentWidget())
            && static_cast<const QAbstractScrollArea*>(widget->parentWidget())->viewport() == widget;
        texts.push_back(drawn);
        finish(texts.back());
    }

    void joined(const Run& run) override
    {
        DrawnText& last = texts.back();
        last.text += run.text;
        if (run.blank)
            return;
        last.box = last.box.united(run.ink);
        finish(last);
    }

private:
    // Where the text shows: within what the painter's clip and the widget's
    // visible region (its ancestors' rectangles, less the opaque widgets
    // over it) leave of it.
    void finish(DrawnText& drawn)
    {
        const QRegion system = systemClip();
        QRegion visible = system.isEmpty() ? QRegion(drawn.box.toAlignedRect()) : system;
        if (const auto clip = clipRect())
            visible &= QRegion(clip->toAlignedRect());
        visible &= QRegion(drawn.box.toAlignedRect());
        drawn.shown = visible.isEmpty() ? QRectF() : drawn.box.intersected(QRectF(visible.boundingRect()));
    }
};

TextRecorder::TextRecorder(QSize size, double ratio)
    : TextPaintDevice(size, ratio)
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

std::vector<TextFinding> cuts(const std::vector<DrawnText>& texts, double pixel, const QRegion& covers)
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
        // What a panel lying over the text leaves of it is all it can show.
        QRectF bare = t.box;
        if (!covers.isEmpty()) {
            const QRegion left = QRegion(t.box.toAlignedRect()) - covers;
            bare = left.isEmpty() ? QRectF() : t.box.intersected(QRectF(left.boundingRect()));
        }
        const bool hidden = !t.shown.isEmpty() && !bare.isEmpty()
            && (t.shown.left() > bare.left() + tolerance || t.shown.right() < bare.right() - tolerance);
        const bool tooLow = !t.scrolls
            && (t.box.top() < t.own.top() - tolerance || t.box.bottom() > t.own.bottom() + tolerance);
        if (outOfRoom || hidden || tooLow)
            found.push_back({TextFinding::Kind::cut, t, {}});
    }
    return found;
}
