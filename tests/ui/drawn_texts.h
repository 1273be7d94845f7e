#pragma once
// What a widget draws as text: each text with its font and its box in the
// widget's coordinates, and whether a clip or the widget's own edge cuts
// into it. A text cut short on purpose ends in an ellipsis; one cut by a
// clip is a fault the eye would see.

#include "ui/text_paint_engine.h"

#include <QRegion>
#include <QWidget>

#include <vector>

struct DrawnText {
    QString text;
    QFont font;
    QRectF box; // its line: the advance, ascent to descent
    bool cut = false;
    bool elided() const { return text.contains(QChar(0x2026)); }
};

class DrawnTexts final : public TextPaintDevice {
public:
    // Every text `widget` paints itself (not its children).
    std::vector<DrawnText> of(QWidget& widget) { return render(widget, QWidget::DrawWindowBackground); }
    // Every text `widget` and its children paint.
    std::vector<DrawnText> all(QWidget& widget)
    {
        return render(widget, QWidget::DrawWindowBackground | QWidget::DrawChildren);
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

private:
    std::vector<DrawnText> render(QWidget& widget, QWidget::RenderFlags flags)
    {
        engine_.drawn.clear();
        engine_.ellipses.clear();
        engine_.bounds = QRectF(QPointF(0, 0), QSizeF(widget.size()));
        widget.render(this, QPoint(), QRegion(), flags);
        return engine_.drawn;
    }

    struct Engine final : TextPaintEngine {
        std::vector<DrawnText> drawn;
        QRectF bounds;

        void started(const Run& run) override
        {
            drawn.push_back({run.text, run.font, run.line, cuts(run.line)});
        }
        void joined(const Run& run) override
        {
            DrawnText& last = drawn.back();
            last.text += run.text;
            last.box |= run.line;
            last.cut = last.cut || cuts(run.line);
        }
        bool cuts(const QRectF& box) const
        {
            QRectF room = bounds;
            if (const auto clip = clipRect())
                room &= *clip;
            const QRectF loose = room.adjusted(-0.5, -0.5, 0.5, 0.5);
            return box.left() < loose.left() || box.right() > loose.right();
        }
    };
    mutable Engine engine_;
};
