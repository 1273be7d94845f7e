#include "process/hold_button.h"

#include "core/l10n.h"
#include "process/inspector_model.h"
#include "ui/desktop_settings.h"
#include "ui/fonts.h"
#include "ui/frame_clock.h"
#include "ui/motion.h"
#include "ui/scheduler.h"
#include "ui/sound.h"
#include "ui/symbols.h"
#include "ui/theme.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace {

constexpr TimingCurve linear{0, 0, 1, 1};

QColor mix(const QColor& a, const QColor& b, double t)
{
    t = std::clamp(t, 0.0, 1.0);
    return QColor::fromRgbF(float(a.redF() + (b.redF() - a.redF()) * t), float(a.greenF() + (b.greenF() - a.greenF()) * t),
                            float(a.blueF() + (b.blueF() - a.blueF()) * t),
                            float(a.alphaF() + (b.alphaF() - a.alphaF()) * t));
}

QColor alpha(QColor c, double a)
{
    c.setAlphaF(float(a));
    return c;
}

Animation settleSpring()
{
    // A slight bounce past rest, none under reduce motion.
    const bool reduced = DesktopSettings::instance().reduceMotion();
    return Animation::spring(Motion::quick() * 1.5, reduced ? 1.0 : 0.72);
}

} // namespace

HoldButton::HoldButton(const QString& name, const QString& symbol, const QColor& color, Action action,
                       QWidget* parent)
    : QWidget(parent), name_(name), symbol_(symbol), color_(color), action_(std::move(action))
{
    setMouseTracking(true);
    setAttribute(Qt::WA_Hover);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFixedHeight(int(height));
    refreshHelp();
}

void HoldButton::setName(const QString& name)
{
    if (name == name_)
        return;
    name_ = name;
    refreshHelp();
    update();
}

void HoldButton::setTargets(std::vector<int32_t> targets)
{
    if (targets == targets_)
        return;
    targets_ = std::move(targets);
    refreshHelp();
    update();
}

QString HoldButton::label() const
{
    return holdLabel(name_, shownTargets().size());
}

void HoldButton::refreshHelp()
{
    setToolTip(L10n::text("Hold for 0.7 s to confirm: ", "按住 0.7 秒以确认：") + label());
}

QColor HoldButton::foreground() const
{
    return mix(color_, Theme::bg(), ink_.value());
}

bool HoldButton::reduced() const
{
    return DesktopSettings::instance().reduceMotion();
}

QSize HoldButton::sizeHint() const
{
    return {120, int(height)};
}

void HoldButton::retargetScale(const Animation& animation)
{
    const double target = reduced() ? 1 : pressing_ ? 0.97 : confirmed_ ? 1.03 : 1;
    scale_.setTarget(target, animation);
}

void HoldButton::begin()
{
    const std::uint64_t press = ++press_;
    locked_ = targets_;
    pressing_ = true;
    if (confirmed_) {
        // A new hold right after a completed one starts its own bar.
        setConfirmed(false);
        progress_.set(0);
    }
    retargetScale(Animation::ease(Motion::quick() * 0.6));
    progress_.setTarget(1, Animation::timing(linear, holdSeconds));
    ink_.setTarget(1, Animation::timing(linear, holdSeconds));
    refreshHelp();
    Scheduler::current().after(holdSeconds, this, [this, press] {
        if (press != press_ || !pressing_)
            return;
        // The events that end a press may not all reach a widget; a hold
        // that cannot still be under the pointer ends here instead.
        if (holdable())
            complete();
        else
            end();
    });
    animate();
}

void HoldButton::end()
{
    if (!pressing_)
        return;
    pressing_ = false;
    // The capture outlives this turn, so a completion reported in the same
    // turn still receives it.
    const std::uint64_t press = press_;
    Scheduler::current().after(0, this, [this, press] {
        if (press == press_ && !pressing_) {
            locked_.reset();
            refreshHelp();
            update();
        }
    });
    retargetScale(settleSpring());
    progress_.setTarget(0, Animation::ease(Motion::quick()));
    ink_.setTarget(0, Animation::ease(Motion::quick()));
    animate();
}

void HoldButton::complete()
{
    const std::vector<int32_t> ids = locked_.value_or(targets_);
    locked_.reset();
    pressing_ = false;
    setConfirmed(true);
    progress_.set(1);
    ink_.setTarget(1, settleSpring());
    retargetScale(settleSpring());
    refreshHelp();
    const std::uint64_t press = press_;
    Scheduler::current().after(resetSeconds, this, [this, press] { reset(press); });
    animate();
    Sound::play(Sound::Cue::confirm);
    if (action_)
        action_(ids);
}

void HoldButton::reset(std::uint64_t press)
{
    // A press that began since owns the bar now; its own completion will
    // schedule the next reset.
    if (press != press_)
        return;
    setConfirmed(false);
    progress_.setTarget(0, Animation::ease(Motion::standard()));
    ink_.setTarget(0, Animation::ease(Motion::standard()));
    retargetScale(Animation::ease(Motion::standard()));
    animate();
}

bool HoldButton::holdable() const
{
    if (!isVisible() || !isEnabled())
        return false;
    const QWidget* popup = QApplication::activePopupWidget();
    if (popup && !popup->isAncestorOf(this))
        return false;
    const QWidget* modal = QApplication::activeModalWidget();
    if (modal && !modal->isAncestorOf(this))
        return false;
    const QWidget* grabber = QWidget::mouseGrabber();
    return !grabber || grabber == this;
}

QString HoldButton::shownSymbol() const
{
    return confirmed_ ? QStringLiteral("checkmark") : symbol_;
}

void HoldButton::setConfirmed(bool confirmed)
{
    if (confirmed == confirmed_)
        return;
    previousSymbol_ = shownSymbol();
    confirmed_ = confirmed;
    // The old symbol shrinks and fades as the new one grows in.
    swap_.set(0);
    swap_.setTarget(1, reduced() ? Animation::ease(Motion::quick())
                                 : Animation::spring(Motion::quick() * 1.5, 0.8));
}

void HoldButton::animate()
{
    update();
    // A hidden button is not drawn, so whatever it changes meanwhile (a
    // reset falling due) is simply where it is when it shows again.
    if (!isVisible()) {
        settle();
        return;
    }
    if (FrameClock::shared().subscribed(this))
        return;
    FrameClock::shared().subscribe(this, [this](double dt) {
        const bool moving = stepAll(dt, progress_, ink_, hover_, scale_, swap_);
        update();
        return moving;
    });
}

void HoldButton::hideEvent(QHideEvent* event)
{
    // Hidden mid-press (its page replaced, its panel closed), the button can
    // no longer be held: the press ends here and its completion never runs.
    end();
    settle();
    QWidget::hideEvent(event);
}

void HoldButton::settle()
{
    FrameClock::shared().unsubscribe(this);
    progress_.set(progress_.target());
    ink_.set(ink_.target());
    hover_.set(hover_.target());
    scale_.set(scale_.target());
    swap_.set(swap_.target());
}

void HoldButton::changeEvent(QEvent* event)
{
    if ((event->type() == QEvent::EnabledChange && !isEnabled())
        || (event->type() == QEvent::ActivationChange && !isActiveWindow()))
        end();
    if (event->type() == QEvent::EnabledChange)
        setCursor(isEnabled() ? Qt::PointingHandCursor : Qt::ArrowCursor);
    QWidget::changeEvent(event);
}

bool HoldButton::event(QEvent* event)
{
    if (event->type() == QEvent::UngrabMouse)
        end();
    return QWidget::event(event);
}

void HoldButton::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    pressAt_ = event->position();
    begin();
}

void HoldButton::mouseMoveEvent(QMouseEvent* event)
{
    if (pressing_) {
        const QPointF d = event->position() - pressAt_;
        if (std::hypot(d.x(), d.y()) > maxMovement)
            end();
    }
    QWidget::mouseMoveEvent(event);
}

void HoldButton::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        end();
    QWidget::mouseReleaseEvent(event);
}

void HoldButton::enterEvent(QEnterEvent* event)
{
    hovering_ = true;
    hover_.setTarget(1, Animation::ease(Motion::quick()));
    animate();
    QWidget::enterEvent(event);
}

void HoldButton::leaveEvent(QEvent* event)
{
    hovering_ = false;
    hover_.setTarget(0, Animation::ease(Motion::quick()));
    animate();
    QWidget::leaveEvent(event);
}

void HoldButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    // Not offered: drawn faint, and no pointer invites a hold.
    if (!isEnabled())
        p.setOpacity(0.4);
    const QRectF full = rect();
    const double s = scale_.value();
    p.translate(full.center());
    p.scale(s, s);
    p.translate(-full.center());

    QPainterPath shape;
    shape.addRoundedRect(full, 6, 6);
    p.save();
    p.setClipPath(shape);
    p.fillRect(full, alpha(color_, 0.10 + 0.06 * hover_.value()));
    const double fraction = confirmed_ ? 1 : std::clamp(progress_.value(), 0.0, 1.0);
    p.fillRect(QRectF(full.left(), full.top(), full.width() * fraction, full.height()), color_);
    p.restore();
    p.setPen(QPen(alpha(color_, 0.35 + 0.25 * hover_.value()), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(full.adjusted(0.5, 0.5, -0.5, -0.5), 5.5, 5.5);

    const QColor ink = foreground();
    const QFont font = Fonts::font(11, QFont::Medium);
    const QString text = label();
    const double symbol = symbolSize;
    const double gap = 5;
    const double textWidth = QFontMetricsF(font).horizontalAdvance(text);
    const double available = full.width() - 12 - symbol - gap;
    const double shown = std::min(textWidth, available);
    const double left = full.center().x() - (symbol + gap + shown) / 2;
    const QRectF box(left, full.center().y() - symbol / 2, symbol, symbol);
    const double t = std::clamp(swap_.value(), 0.0, 1.0);
    if (t < 1 && !previousSymbol_.isEmpty()) {
        const bool still = reduced();
        paintSymbol(p, box, previousSymbol_, std::max(0.0, 1 - 2 * t), still ? 1 : 1 - 0.5 * t, ink);
        // The spring may carry the new symbol a little past its size.
        const double grown = still ? 1 : 0.5 + 0.5 * swap_.value();
        paintSymbol(p, box, shownSymbol(), std::clamp((t - 0.2) / 0.8, 0.0, 1.0), grown, ink);
    } else {
        paintSymbol(p, box, shownSymbol(), 1, 1, ink);
    }
    p.setFont(font);
    p.setPen(ink);
    p.drawText(QRectF(left + symbol + gap, full.top(), shown + 1, full.height()), Qt::AlignVCenter | Qt::AlignLeft,
               Fonts::elided(QFontMetricsF(font), text, Qt::ElideRight, shown + 0.5));
}

void HoldButton::paintSymbol(QPainter& p, const QRectF& box, const QString& name, double opacity, double scale,
                             const QColor& ink)
{
    if (opacity <= 0 || scale <= 0)
        return;
    p.save();
    p.setOpacity(p.opacity() * opacity);
    if (scale != 1) {
        p.translate(box.center());
        p.scale(scale, scale);
        p.translate(-box.center());
    }
    Symbols::draw(p, box, name, ink, QFont::DemiBold);
    p.restore();
}
