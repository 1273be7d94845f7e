#include "ui/switch.h"

#include "ui/desktop_settings.h"
#include "ui/frame_clock.h"
#include "ui/motion.h"
#include "ui/theme.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace {

QColor mix(const QColor& from, const QColor& to, double t)
{
    t = std::clamp(t, 0.0, 1.0);
    const QColor a = from.toRgb(), b = to.toRgb();
    return QColor::fromRgbF(float(a.redF() + (b.redF() - a.redF()) * t),
                            float(a.greenF() + (b.greenF() - a.greenF()) * t),
                            float(a.blueF() + (b.blueF() - a.blueF()) * t),
                            float(a.alphaF() + (b.alphaF() - a.alphaF()) * t));
}

} // namespace

Switch::Switch(Binding<bool> isOn, QWidget* parent)
    : PressButton(PressStyle::surface(PressStyle::capsule), parent), binding_(std::move(isOn))
{
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setCheckable(false);
    present(binding_.value(), false);
    connect(this, &QAbstractButton::clicked, this, &Switch::flip);
}

Animation Switch::spring(bool reduceMotion)
{
    return Animation::spring(Motion::quick() * 1.5, reduceMotion ? 1 : 0.72);
}

void Switch::flip()
{
    binding_.write(!on_);
    sync();
}

void Switch::sync()
{
    const bool on = binding_.value();
    if (on != on_)
        present(on, isVisible());
}

void Switch::present(bool on, bool animated)
{
    on_ = on;
    setAccessibleName(on ? QStringLiteral("on") : QStringLiteral("off"));
    if (!animated) {
        settle();
        return;
    }
    knob_.setTarget(on ? 1 : 0, spring(DesktopSettings::instance().reduceMotion()));
    FrameClock::shared().subscribe(this, [this](double dt) {
        const bool still = knob_.step(dt);
        update();
        return still;
    });
}

void Switch::settle()
{
    knob_.set(on_ ? 1 : 0);
    FrameClock::shared().unsubscribe(this);
    update();
}

void Switch::hideEvent(QHideEvent* event)
{
    settle();
    PressButton::hideEvent(event);
}

QSizeF Switch::labelSize() const
{
    return {trackWidth, trackHeight};
}

void Switch::paintLabel(QPainter& p, const QRectF& box, const QColor&)
{
    const double t = knob_.value();
    const double shade = std::clamp(t, 0.0, 1.0);
    QRectF track(0, 0, trackWidth, trackHeight);
    track.moveCenter(box.center());
    const double r = trackHeight / 2;

    QPainterPath capsule;
    capsule.addRoundedRect(track, r, r);
    p.fillPath(capsule, mix(Theme::raised(), Theme::cpu(), shade));
    // The off border fades out as the track fills.
    QColor border = Theme::line();
    border.setAlphaF(float(border.alphaF() * (1 - shade)));
    p.setPen(QPen(border, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(track.adjusted(0.5, 0.5, -0.5, -0.5), r - 0.5, r - 0.5);

    const double travel = trackWidth - knobSize - 2 * knobMargin;
    const QRectF knob(track.left() + knobMargin + travel * t, track.top() + knobMargin, knobSize, knobSize);
    p.setPen(Qt::NoPen);
    p.setBrush(mix(Theme::dim(), Theme::bg(), shade));
    p.drawEllipse(knob);
}
