#include "ui/text_face.h"

#include "ui/fonts.h"

#include <QPainter>

#include <cmath>

double TextFace::width(const QString& text)
{
    auto it = widths_.constFind(text);
    if (it != widths_.constEnd())
        return *it;
    if (widths_.size() > limit)
        widths_.clear();
    return *widths_.insert(text, metrics_.horizontalAdvance(text));
}

void TextFace::draw(QPainter& painter, const QRectF& box, const QString& text, Align align,
                    bool elide, Qt::TextElideMode mode)
{
    QString shown = text;
    if (elide && width(text) > box.width())
        shown = Fonts::elided(metrics_, text, mode, box.width());
    auto it = texts_.find(shown);
    if (it == texts_.end()) {
        if (texts_.size() > limit)
            texts_.clear();
        QStaticText prepared(shown);
        prepared.setTextFormat(Qt::PlainText);
        prepared.setPerformanceHint(QStaticText::AggressiveCaching);
        prepared.prepare(QTransform(), font_);
        it = texts_.insert(shown, prepared);
    }
    const QSizeF size = it->size();
    const double x = align == Align::right ? box.right() - size.width()
        : align == Align::centre       ? std::round(box.center().x() - size.width() / 2)
                                       : box.left();
    const double y = box.top() + (box.height() - metrics_.height()) / 2;
    painter.setFont(font_);
    painter.drawStaticText(QPointF(x, y), *it);
}
