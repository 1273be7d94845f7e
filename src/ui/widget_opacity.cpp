#include "ui/widget_opacity.h"

#include <QGraphicsOpacityEffect>
#include <QVariant>
#include <QWidget>

#include <algorithm>

namespace WidgetOpacity {

namespace {

// Where a widget keeps its claim, whether it holds now or not.
constexpr const char* groundClaim = "tavrinGroundClaim";

bool drawnWhole(const QWidget* widget)
{
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        if (w->graphicsEffect() && w->graphicsEffect()->isEnabled())
            return false;
        if (w->isWindow())
            break;
    }
    return true;
}

void apply(QWidget* widget)
{
    const bool holds = widget->property(groundClaim).toBool() && drawnWhole(widget);
    if (widget->testAttribute(Qt::WA_OpaquePaintEvent) != holds)
        widget->setAttribute(Qt::WA_OpaquePaintEvent, holds);
}

} // namespace

void set(QWidget* widget, double opacity)
{
    opacity = std::clamp(opacity, 0.0, 1.0);
    auto* effect = qobject_cast<QGraphicsOpacityEffect*>(widget->graphicsEffect());
    if (opacity >= 1) {
        if (effect) {
            widget->setGraphicsEffect(nullptr);
            effectChanged(widget);
        }
        return;
    }
    if (!effect) {
        effect = new QGraphicsOpacityEffect(widget);
        widget->setGraphicsEffect(effect);
        effectChanged(widget);
    }
    effect->setOpacity(opacity);
}

void setHidingAtZero(QWidget* widget, double opacity)
{
    widget->setVisible(opacity > 0);
    set(widget, opacity);
}

void claimGround(QWidget* widget, bool claim)
{
    widget->setProperty(groundClaim, claim);
    apply(widget);
}

void effectChanged(QWidget* widget)
{
    if (widget->property(groundClaim).isValid())
        apply(widget);
    for (QWidget* inside : widget->findChildren<QWidget*>())
        if (inside->property(groundClaim).isValid())
            apply(inside);
}

} // namespace WidgetOpacity
