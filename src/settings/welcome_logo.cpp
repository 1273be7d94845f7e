#include "settings/welcome_logo.h"

#include "ui/desktop_settings.h"
#include "ui/frame_clock.h"
#include "ui/motion.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

using namespace LogoTimeline;

WelcomeLogoView::WelcomeLogoView(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFixedSize(side, side);
    durations_ = {Motion::quick(), Motion::standard(), Motion::emphasized()};
    play();
}

WelcomeLogoView::~WelcomeLogoView()
{
    FrameClock::shared().unsubscribe(this);
}

void WelcomeLogoView::play()
{
    reduced_ = DesktopSettings::instance().reduceMotion();
    elapsed_ = 0;
    state_ = stateAt(0, durations_, reduced_);
    ringRadiusPx_ = ringAlpha_ = -1;
    update();
    subscribe();
}

void WelcomeLogoView::seek(double seconds)
{
    elapsed_ = seconds;
    state_ = stateAt(elapsed_, durations_, reduced_);
    update();
}

bool WelcomeLogoView::playing() const
{
    return FrameClock::shared().subscribed(this);
}

void WelcomeLogoView::subscribe()
{
    if (!isVisible())
        return;
    FrameClock::shared().subscribe(this, [this](double dt) { return frame(dt); });
}

void WelcomeLogoView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    subscribe();
}

void WelcomeLogoView::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    FrameClock::shared().unsubscribe(this);
}

void WelcomeLogoView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // A new size replays the entrance, as a rebuilt emblem would.
    if (width() > 10)
        play();
}

QRect WelcomeLogoView::ringRect() const
{
    const double r = Emblem::coreRadius * unit() * pulseScale + 2;
    const QPointF c(width() / 2.0, height() / 2.0);
    return QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r).toAlignedRect();
}

bool WelcomeLogoView::frame(double dt)
{
    const bool wasEntering = elapsed_ <= entranceEnd(durations_, reduced_);
    elapsed_ += dt;
    state_ = stateAt(elapsed_, durations_, reduced_);
    if (wasEntering) {
        update();
        // Under reduce motion nothing moves once the fade is in.
        return !reduced_ || elapsed_ <= entranceEnd(durations_, reduced_);
    }
    const double dpr = devicePixelRatioF();
    const int radiusPx = static_cast<int>(std::floor(Emblem::coreRadius * unit() * state_.ringScale * dpr));
    const int alpha = static_cast<int>(std::lround(state_.ringOpacity * 255 / 2));
    if (radiusPx != ringRadiusPx_ || alpha != ringAlpha_)
        update(ringRect());
    return true;
}

void WelcomeLogoView::paintEvent(QPaintEvent*)
{
    ++paints_;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const double u = unit();
    const QPointF c(width() / 2.0, height() / 2.0);
    const State& s = state_;
    p.setOpacity(s.opacity);

    // The dial: beams under the ticks, all turned by the dial's angle.
    p.save();
    p.translate(c);
    p.rotate(dialDegrees);
    if (s.beamsOpacity > 0) {
        p.save();
        p.rotate(s.beamsAngle);
        Emblem::paintBeams(p, u, s.opacity * Emblem::beamOpacity * s.beamsOpacity);
        p.restore();
        p.setOpacity(s.opacity);
    }
    for (int i = 0; i < tickCount; ++i) {
        const auto k = static_cast<std::size_t>(i);
        if (s.tickOpacity[k] <= 0)
            continue;
        p.save();
        p.rotate(22.5 * i);
        p.setOpacity(s.opacity * s.tickOpacity[k]);
        p.setPen(QPen(s.tickColor[k], Emblem::tickWidth * u, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(0, -s.tickOuter[k] * u), QPointF(0, -innerRadius * u));
        p.restore();
    }
    p.restore();

    // The ring under the core, then the core.
    const double ring = Emblem::coreRadius * u * s.ringScale;
    ringRadiusPx_ = static_cast<int>(std::floor(ring * devicePixelRatioF()));
    ringAlpha_ = static_cast<int>(std::lround(s.ringOpacity * 255 / 2));
    if (s.ringOpacity > 0) {
        p.setOpacity(s.opacity * s.ringOpacity);
        p.setPen(QPen(mint(), 1.2));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(c, ring, ring);
    }
    if (s.coreOpacity > 0) {
        const double r = Emblem::coreRadius * u * s.coreScale;
        p.setOpacity(s.opacity * s.coreOpacity);
        p.setPen(Qt::NoPen);
        p.setBrush(mint());
        p.drawEllipse(c, r, r);
    }
}
