#include "ui/shrink_label.h"

#include "ui/theme.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

ShrinkLabel::ShrinkLabel(QWidget* parent)
    : QWidget(parent), font_(Fonts::font(11)), color_(Theme::text())
{
}

ShrinkLabel::ShrinkLabel(const QString& text, const QFont& font, const QColor& color,
                         double minimumScale, QWidget* parent)
    : QWidget(parent), text_(text), font_(font), color_(color), minimumScale_(minimumScale)
{
}

void ShrinkLabel::setText(const QString& text)
{
    if (text == text_)
        return;
    text_ = text;
    changed(true);
}

void ShrinkLabel::setFont(const QFont& font)
{
    if (font == font_)
        return;
    font_ = font;
    changed(true);
}

void ShrinkLabel::setColor(const QColor& color)
{
    if (color == color_)
        return;
    color_ = color;
    update();
}

void ShrinkLabel::setMinimumScale(double scale)
{
    if (scale == minimumScale_)
        return;
    minimumScale_ = scale;
    changed(true);
}

void ShrinkLabel::setElideMode(Qt::TextElideMode mode)
{
    if (mode == elide_)
        return;
    elide_ = mode;
    changed(false);
}

void ShrinkLabel::setAlignment(Qt::Alignment alignment)
{
    if (alignment == alignment_)
        return;
    alignment_ = alignment;
    update();
}

void ShrinkLabel::changed(bool geometry)
{
    fittedWidth_ = -1;
    if (geometry)
        updateGeometry();
    update();
}

const Fonts::Fitted& ShrinkLabel::fitted() const
{
    const double available = contentsRect().width();
    if (available != fittedWidth_) {
        fitted_ = Fonts::shrinkToFit(text_, font_, available, minimumScale_, elide_);
        fittedWidth_ = available;
    }
    return fitted_;
}

QSize ShrinkLabel::sizeHint() const
{
    const QFontMetricsF metrics(font_);
    const QMargins m = contentsMargins();
    return QSize(static_cast<int>(std::ceil(metrics.horizontalAdvance(text_))) + m.left() + m.right(),
                 static_cast<int>(std::ceil(metrics.height())) + m.top() + m.bottom());
}

QSize ShrinkLabel::minimumSizeHint() const
{
    // Any width will do: the text shrinks, then elides.
    return QSize(0, sizeHint().height());
}

void ShrinkLabel::paintEvent(QPaintEvent*)
{
    const Fonts::Fitted& f = fitted();
    if (f.text.isEmpty())
        return;
    QPainter painter(this);
    painter.setFont(f.font);
    painter.setPen(color_);
    painter.drawText(contentsRect(), int(alignment_) | Qt::TextSingleLine, f.text);
}
