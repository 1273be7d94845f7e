#include "ui/panel_label.h"

#include "ui/fonts.h"

PanelLabel::PanelLabel(const QString& text, const QColor& color, QWidget* parent)
    : QLabel(parent)
{
    // Captions can carry outside names; never read them as markup.
    setTextFormat(Qt::PlainText);
    setFont(captionFont());
    setText(text);
    setColor(color);
}

void PanelLabel::setColor(const QColor& color)
{
    color_ = color;
    QPalette palette = this->palette();
    palette.setColor(QPalette::WindowText, color);
    setPalette(palette);
}

QFont PanelLabel::captionFont()
{
    return Fonts::font(9.5, QFont::DemiBold, Fonts::Face::ui, Fonts::Width::condensed, 1.2);
}
