#include "ui/copy_text.h"

#include "core/l10n.h"
#include "ui/clipboard.h"
#include "ui/fonts.h"
#include "ui/frame_clock.h"
#include "ui/scheduler.h"
#include "ui/sound.h"
#include "ui/symbols.h"
#include "ui/theme.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

CopyText::CopyText(const QString& display, const std::optional<QString>& value, const QFont& font,
                   const QColor& color, Qt::TextElideMode truncation, QWidget* parent)
    : QWidget(parent), display_(display), value_(value), font_(font), color_(color),
      truncation_(truncation)
{
    setToolTip(L10n::text("Click to copy", "点击复制"));
    setAttribute(Qt::WA_Hover);
}

void CopyText::copy()
{
    copyPlain(copiedText());
    Sound::play(Sound::Cue::confirm);
    setCopied(true);
    // Each click ends the confirmation 1.1 s after itself, so a second
    // click within that time is confirmed only until the first one's end.
    Scheduler::current().after(confirmSeconds, this, [this] { setCopied(false); });
}

bool CopyLook::retarget()
{
    const Animation fade = Animation::ease(Motion::quick());
    confirm.setTarget(copied ? 1 : 0, fade);
    brightness.setTarget(hovering && !copied ? hoverBrightness : 0, fade);
    return moving();
}

QColor CopyLook::color(const QColor& base) const
{
    const double t = std::clamp(confirm.value(), 0.0, 1.0);
    const double lift = brightness.value();
    const QColor from = base.toRgb(), to = Theme::cpu();
    auto mix = [&](double a, double b) { return std::clamp(a + (b - a) * t + lift, 0.0, 1.0); };
    return QColor::fromRgbF(float(mix(from.redF(), to.redF())), float(mix(from.greenF(), to.greenF())),
                            float(mix(from.blueF(), to.blueF())),
                            float(from.alphaF() + (to.alphaF() - from.alphaF()) * t));
}

QString CopyLook::shown(const QString& display, const QFont& font, Qt::TextElideMode truncation,
                        double width) const
{
    const double reserved = checkShown() ? gap + checkSize : 0;
    return Fonts::elided(QFontMetricsF(font), display, truncation, std::max(0.0, width - reserved));
}

void CopyLook::paint(QPainter& painter, const QRectF& rect, const QString& display,
                     const QFont& font, const QColor& base, Qt::TextElideMode truncation,
                     Qt::Alignment alignment) const
{
    const double reserved = checkShown() ? gap + checkSize : 0;
    const double room = std::max(0.0, rect.width() - reserved);
    const QString text = shown(display, font, truncation, rect.width());
    const double textWidth = std::min(QFontMetricsF(font).horizontalAdvance(text), room);
    const bool right = alignment & Qt::AlignRight;
    const double left = right ? rect.right() - reserved - textWidth : rect.left();
    const QColor colour = color(base);
    painter.save();
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(font);
    painter.setPen(colour);
    painter.drawText(QRectF(rect.left(), rect.top(), room, rect.height()),
                     (right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter, text);
    if (checkShown() && confirm.value() > 0) {
        painter.setOpacity(painter.opacity() * std::clamp(confirm.value(), 0.0, 1.0));
        const QRectF box(left + textWidth + gap, rect.top() + (rect.height() - checkSize) / 2,
                         checkSize, checkSize);
        Symbols::draw(painter, box, u"checkmark", colour, QFont::Bold);
    }
    painter.restore();
}

void CopyText::setCopied(bool copied)
{
    if (copied == look_.copied)
        return;
    look_.copied = copied;
    updateGeometry();
    retarget();
}

void CopyText::setHovering(bool hovering)
{
    if (hovering == look_.hovering)
        return;
    look_.hovering = hovering;
    retarget();
}

void CopyText::retarget()
{
    if (!look_.retarget())
        return;
    FrameClock::shared().subscribe(this, [this](double dt) {
        const bool moving = look_.step(dt);
        if (!moving)
            updateGeometry();
        update();
        return moving;
    });
}

QColor CopyText::currentColor() const
{
    return look_.color(color_);
}

double CopyText::textWidth() const
{
    const double reserved = look_.checkShown() ? gap + checkSize : 0;
    return std::max(0.0, width() - reserved);
}

QString CopyText::shownText() const
{
    return look_.shown(display_, font_, truncation_, width());
}

QSize CopyText::sizeHint() const
{
    const QFontMetricsF metrics(font_);
    const double check = look_.checkShown() ? gap + checkSize : 0;
    return QSize(int(std::ceil(metrics.horizontalAdvance(display_) + check)),
                 int(std::ceil(std::max(metrics.height(), checkSize))));
}

void CopyText::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    look_.paint(painter, QRectF(rect()), display_, font_, color_, truncation_);
}

void CopyText::mousePressEvent(QMouseEvent* event)
{
    pressed_ = event->button() == Qt::LeftButton;
    event->accept();
}

void CopyText::mouseReleaseEvent(QMouseEvent* event)
{
    const bool click = pressed_ && event->button() == Qt::LeftButton
                       && rect().contains(event->position().toPoint());
    pressed_ = false;
    event->accept();
    if (click)
        copy();
}

void CopyText::enterEvent(QEnterEvent*)
{
    setHovering(true);
}

void CopyText::leaveEvent(QEvent*)
{
    setHovering(false);
}
