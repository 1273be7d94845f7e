#include "network/chip.h"

#include "ui/fonts.h"
#include "ui/frame_clock.h"
#include "ui/motion.h"
#include "ui/theme.h"

#include <QPainter>
#include <QPainterPath>

namespace {

QColor mix(const QColor& from, const QColor& to, double t)
{
    const QColor a = from.toRgb(), b = to.toRgb();
    auto lerp = [t](float x, float y) { return x + (y - x) * float(t); };
    return QColor::fromRgbF(lerp(a.redF(), b.redF()), lerp(a.greenF(), b.greenF()),
                            lerp(a.blueF(), b.blueF()), lerp(a.alphaF(), b.alphaF()));
}

} // namespace

Chip::Chip(const QString& title, QWidget* parent)
    : PressButton(PressStyle::surface(PressStyle::capsule), title, parent)
{
    setLabelFont(Fonts::font(10.5, QFont::Medium));
    setContentsMargins(padding, 0, padding, 0);
    setFixedHeight(int(height));
    setFixedWidth(sizeHint().width());
}

void Chip::setOn(bool on, bool animated)
{
    if (on == on_ && !amount_.moving())
        return;
    on_ = on;
    const double target = on ? 1 : 0;
    if (!animated || !isVisible()) {
        amount_.set(target);
        FrameClock::shared().unsubscribe(this);
        update();
        return;
    }
    amount_.setTarget(target, Animation::timing(Motion::ease(), Motion::quick()));
    FrameClock::shared().subscribe(this, [this](double dt) {
        const bool moving = amount_.step(dt);
        update();
        return moving;
    });
}

QColor Chip::fill(double amount)
{
    return mix(Theme::panel(), Theme::net(), amount);
}

QColor Chip::border(double amount)
{
    return Theme::withAlpha(Theme::line(), 1 - amount);
}

QColor Chip::textColor(double amount)
{
    return mix(Theme::dim(), Theme::bg(), amount);
}

void Chip::paintLabel(QPainter& p, const QRectF& box, const QColor&)
{
    const double amount = amount_.value();
    const QRectF capsule = box.adjusted(-padding, 0, padding, 0);
    const double radius = capsule.height() / 2;
    QPainterPath shape;
    shape.addRoundedRect(capsule, radius, radius);
    p.fillPath(shape, fill(amount));
    const QColor edge = border(amount);
    if (edge.alphaF() > 0) {
        const QRectF inner = capsule.adjusted(0.5, 0.5, -0.5, -0.5);
        QPainterPath line;
        line.addRoundedRect(inner, inner.height() / 2, inner.height() / 2);
        p.setPen(QPen(edge, 1));
        p.setBrush(Qt::NoBrush);
        p.drawPath(line);
    }
    PressButton::paintLabel(p, box, textColor(amount));
}

void Chip::hideEvent(QHideEvent* event)
{
    amount_.set(on_ ? 1 : 0);
    FrameClock::shared().unsubscribe(this);
    PressButton::hideEvent(event);
}
