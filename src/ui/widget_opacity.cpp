#include "ui/widget_opacity.h"

#include <QGraphicsOpacityEffect>
#include <QWidget>

#include <algorithm>

namespace WidgetOpacity {

void set(QWidget* widget, double opacity)
{
    opacity = std::clamp(opacity, 0.0, 1.0);
    auto* effect = qobject_cast<QGraphicsOpacityEffect*>(widget->graphicsEffect());
    if (opacity >= 1) {
        if (effect)
            widget->setGraphicsEffect(nullptr);
        return;
    }
    if (!effect) {
        effect = new QGraphicsOpacityEffect(widget);
        widget->setGraphicsEffect(effect);
    }
    effect->setOpacity(opacity);
}

void setHidingAtZero(QWidget* widget, double opacity)
{
    widget->setVisible(opacity > 0);
    set(widget, opacity);
}

} // namespace WidgetOpacity
