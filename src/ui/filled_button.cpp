#include "ui/filled_button.h"

#include <QPainter>
#include <QPainterPath>

FilledButton::FilledButton(PressStyle style, const QColor& fill, std::optional<QColor> edge,
                           QWidget* parent)
    : PressButton(style, parent)
    , fill_(fill)
    , edge_(edge)
{
}

void FilledButton::paintEvent(QPaintEvent* event)
{
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const double scale = currentScale();
        const QRectF box = restingRect();
        p.translate(box.center());
        p.scale(scale, scale);
        p.translate(-box.center());
        QPainterPath shape;
        const double radius = std::min(style().radius, box.height() / 2);
        shape.addRoundedRect(box.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
        p.setBrush(fill_);
        p.setPen(edge_ ? QPen(*edge_, 1) : QPen(Qt::NoPen));
        p.drawPath(shape);
    }
    PressButton::paintEvent(event);
}
