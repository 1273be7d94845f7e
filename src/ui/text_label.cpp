#include "ui/text_label.h"

namespace TextLabel {

QLabel* make(const QString& text, const QFont& font, const QColor& color, bool wrap, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(font);
    label->setText(text);
    label->setWordWrap(wrap);
    if (wrap) {
        label->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);
        // Any height the layout gives beyond the text's own goes below it.
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }
    setColor(label, color);
    return label;
}

void setColor(QLabel* label, const QColor& color)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
}

} // namespace TextLabel
