#include "ui/hairline.h"

#include "ui/theme.h"

#include <QPainter>

Hairline::Hairline(QWidget* parent)
    : QWidget(parent)
{
    setFixedHeight(1);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void Hairline::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(QRect(indent, 0, std::max(0, width() - indent), 1), Theme::line());
}
