#include "ui/copy_text.h"

#include "core/l10n.h"
#include "ui/frame_clock.h"
#include "ui/scheduler.h"
#include "ui/sound.h"
#include "ui/symbols.h"
#include "ui/theme.h"

#include <QClipboard>
#include <QFontMetricsF>
#include <QGuiApplication>
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

void copyPlain(const QString& text)
{
    if (QClipboard* clipboard = QGuiApplication::clipboard()) {
        clipboard->clear();
        clipboard->setText(text);
    }
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

void CopyText::setCopied(bool copied)
{
    if (copied == copied_)
        return;
    copied_ = copied;
    updateGeometry();
    retarget();
}

void CopyText::setHovering(bool hovering)
{
    if (hovering == hovering_)
        return;
    hovering_ = hovering;
    retarget();
}

void CopyText::retarget()
{
    const Animation fade = Animation::ease(Motion::quick());
    confirm_.setTarget(copied_ ? 1 : 0, fade);
    brightness_.setTarget(hovering_ && !copied_ ? hoverBrightness : 0, fade);
    if (!confirm_.moving() && !brightness_.moving())
        return;
    FrameClock::shared().subscribe(this, [this](double dt) {
        const bool moving = stepAll(dt, confirm_, brightness_);
        if (!moving)
            updateGeometry();
        update();
        return moving;
    });
}

QColor CopyText::currentColor() const
{
    const double t = std::clamp(confirm_.value(), 0.0, 1.0);
    const double lift = brightness_.value();
    const QColor from = color_.toRgb(), to = Theme::cpu();
    auto mix = [&](double a, double b) { return std::clamp(a + (b - a) * t + lift, 0.0, 1.0); };
    return QColor::fromRgbF(float(mix(from.redF(), to.redF())), float(mix(from.greenF(), to.greenF())),
                            float(mix(from.blueF(), to.blueF())),
                            float(from.alphaF() + (to.alphaF() - from.alphaF()) * t));
}

double CopyText::textWidth() const
{
    const double reserved = checkShown() ? gap + checkSize : 0;
    return std::max(0.0, width() - reserved);
}

QString CopyText::shownText() const
{
    return QFontMetricsF(font_).elidedText(display_, truncation_, textWidth());
}

QSize CopyText::sizeHint() const
{
    const QFontMetricsF metrics(font_);
    const double check = checkShown() ? gap + checkSize : 0;
    return QSize(int(std::ceil(metrics.horizontalAdvance(display_) + check)),
                 int(std::ceil(std::max(metrics.height(), checkSize))));
}

void CopyText::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const QColor colour = currentColor();
    const QString text = shownText();
    const QFontMetricsF metrics(font_);
    const double textRight = std::min(metrics.horizontalAdvance(text), textWidth());
    painter.setFont(font_);
    painter.setPen(colour);
    painter.drawText(QRectF(0, 0, textWidth(), height()), Qt::AlignLeft | Qt::AlignVCenter, text);
    if (checkShown() && confirm_.value() > 0) {
        painter.setOpacity(std::clamp(confirm_.value(), 0.0, 1.0));
        const QRectF box(textRight + gap, (height() - checkSize) / 2, checkSize, checkSize);
        Symbols::draw(painter, box, u"checkmark", colour, QFont::Bold);
    }
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
