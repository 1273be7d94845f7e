#include "ui/card.h"

#include "ui/theme.h"

#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

Card::Card(QWidget* parent)
    : QWidget(parent), rows_(new QVBoxLayout(this))
{
    rows_->setContentsMargins(0, 0, 0, 0);
    rows_->setSpacing(0);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Minimum);
}

void Card::add(QWidget* row)
{
    rows_->addWidget(row);
}

void Card::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box(rect());
    QPainterPath ground;
    ground.addRoundedRect(box, radius, radius);
    p.fillPath(ground, Theme::panel());
    // The border stays inside the card.
    p.setPen(QPen(Theme::line(), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(box.adjusted(0.5, 0.5, -0.5, -0.5), radius - 0.5, radius - 0.5);
}
