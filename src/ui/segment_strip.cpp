#include "ui/segment_strip.h"

#include "ui/theme.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

SegmentStrip::SegmentStrip(double radius, const QColor& ground, QWidget* parent)
    : QWidget(parent), radius_(radius), ground_(ground), row_(new QHBoxLayout(this))
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    row_->setContentsMargins(int(inset), int(inset), int(inset), int(inset));
    row_->setSpacing(int(spacing));
}

double SegmentStrip::cornerRadius(double radius, double height)
{
    return std::max(0.0, std::min(radius, height / 2));
}

void SegmentStrip::paintBetween(QPainter&) {}

void SegmentStrip::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box(rect());
    const double r = cornerRadius(radius_, box.height());

    QPainterPath outline;
    outline.addRoundedRect(box, r, r);
    p.fillPath(outline, ground_);

    paintBetween(p);

    // The border lies inside the strip, so it does not grow.
    const QRectF inner = box.adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(QPen(Theme::line(), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(inner, std::max(0.0, r - 0.5), std::max(0.0, r - 0.5));
}
