#include "ui/press_button.h"

#include "ui/desktop_settings.h"
#include "ui/fonts.h"
#include "ui/frame_clock.h"
#include "ui/symbols.h"
#include "ui/theme.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

QColor brightened(const QColor& color, double amount)
{
    if (amount == 0)
        return color;
    const QColor rgb = color.toRgb();
    auto lift = [amount](float c) { return float(std::clamp(c + amount, 0.0, 1.0)); };
    return QColor::fromRgbF(lift(rgb.redF()), lift(rgb.greenF()), lift(rgb.blueF()), rgb.alphaF());
}

PressButton::PressButton(PressStyle style, QWidget* parent)
    : QAbstractButton(parent)
    , style_(style)
    , color_(Theme::text())
    , font_(Fonts::font(11, QFont::Medium))
{
    // The pointer's state comes from Enter and Leave, and a press from the
    // button's own down state, which also clears when the pointer drags off.
    connect(this, &QAbstractButton::pressed, this, &PressButton::syncPressed);
    connect(this, &QAbstractButton::released, this, &PressButton::syncPressed);
}

PressButton::PressButton(PressStyle style, const QString& text, QWidget* parent)
    : PressButton(style, parent)
{
    setText(text);
}

void PressButton::setStyle(PressStyle style)
{
    if (style == style_)
        return;
    style_ = style;
    update();
}

void PressButton::setSymbol(const QString& name, double size)
{
    symbol_ = name;
    symbolSize_ = size;
    updateGeometry();
    update();
}

void PressButton::setSymbolWeight(QFont::Weight weight)
{
    symbolWeight_ = weight;
    update();
}

void PressButton::setSymbolGap(double gap)
{
    symbolGap_ = gap;
    updateGeometry();
    update();
}

void PressButton::setMinimumTextScale(double scale)
{
    minimumTextScale_ = std::clamp(scale, 0.1, 1.0);
    fittedWidth_ = -1;
    update();
}

void PressButton::setColor(const QColor& color)
{
    color_ = color;
    update();
}

void PressButton::setLabelFont(const QFont& font)
{
    font_ = font;
    layoutDirty_ = true;
    fittedWidth_ = -1;
    updateGeometry();
    update();
}

bool PressButton::animating() const
{
    return hover_.moving() || press_.moving();
}

double PressButton::currentScale() const
{
    return style_.scale(hover_.value(), press_.value(), DesktopSettings::instance().reduceMotion());
}

double PressButton::currentWash() const
{
    return style_.washOpacity(hover_.value(), press_.value());
}

QColor PressButton::labelColor() const
{
    return brightened(color_, style_.labelBrightness(hover_.value(), press_.value()));
}

void PressButton::enterEvent(QEnterEvent* event)
{
    setHovering(true);
    QAbstractButton::enterEvent(event);
}

void PressButton::leaveEvent(QEvent* event)
{
    setHovering(false);
    QAbstractButton::leaveEvent(event);
}

void PressButton::hideEvent(QHideEvent* event)
{
    // A button hidden under the pointer (a closing popup) must not come
    // back lit; the toolkit sends a fresh Enter when it is shown there.
    hovering_ = false;
    hover_.set(0);
    press_ = PressMotion();
    settle();
    QAbstractButton::hideEvent(event);
}

void PressButton::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange)
        retargetHover();
    QAbstractButton::changeEvent(event);
}

void PressButton::setHovering(bool hovering)
{
    if (hovering == hovering_)
        return;
    hovering_ = hovering;
    retargetHover();
}

void PressButton::retargetHover()
{
    const double target = hovering_ && isEnabled() ? 1 : 0;
    if (hover_.target() == target)
        return;
    hover_.setTarget(target, Animation::timing(Motion::ease(), Motion::quick()));
    animate();
}

void PressButton::syncPressed()
{
    if (isDown() == press_.pressed())
        return;
    press_.setPressed(isDown(), DesktopSettings::instance().reduceMotion());
    animate();
}

void PressButton::animate()
{
    if (!animating()) {
        update();
        return;
    }
    if (!isVisible()) {
        settle();
        return;
    }
    FrameClock::shared().subscribe(this, [this](double dt) {
        const bool moving = hover_.step(dt) | press_.step(dt);
        update();
        return moving;
    });
}

void PressButton::settle()
{
    hover_.set(hover_.target());
    press_.finish();
    FrameClock::shared().unsubscribe(this);
    update();
}

const QStaticText& PressButton::layout() const
{
    if (layoutDirty_ || layout_.text() != text()) {
        layout_ = QStaticText(text());
        layout_.setTextFormat(Qt::PlainText);
        layout_.setPerformanceHint(QStaticText::AggressiveCaching);
        layout_.prepare(QTransform(), font_);
        layoutDirty_ = false;
    }
    return layout_;
}

QSizeF PressButton::labelSize() const
{
    const bool hasText = !text().isEmpty();
    const QSizeF textSize = hasText ? layout().size() : QSizeF();
    double width = textSize.width();
    double height = textSize.height();
    if (!symbol_.isEmpty()) {
        width += symbolSize_ + (hasText ? symbolGap_ : 0);
        height = std::max(height, symbolSize_);
    }
    return {width, height};
}

double PressButton::textRoom() const
{
    const QMargins m = contentsMargins();
    double room = restingRect().width() - m.left() - m.right();
    if (!symbol_.isEmpty())
        room -= symbolSize_ + symbolGap_;
    return std::max(0.0, room);
}

const Fonts::Fitted& PressButton::fitted(double width) const
{
    if (width != fittedWidth_ || fittedSource_ != text()) {
        fitted_ = Fonts::shrinkToFit(text(), font_, width, minimumTextScale_, Qt::ElideRight);
        fittedWidth_ = width;
        fittedSource_ = text();
    }
    return fitted_;
}

QFont PressButton::shownFont() const
{
    if (minimumTextScale_ >= 1 || text().isEmpty() || layout().size().width() <= textRoom())
        return font_;
    return fitted(textRoom()).font;
}

QString PressButton::shownText() const
{
    if (minimumTextScale_ >= 1 || text().isEmpty() || layout().size().width() <= textRoom())
        return text();
    return fitted(textRoom()).text;
}

QSize PressButton::sizeHint() const
{
    const QSizeF label = labelSize();
    const QMargins m = contentsMargins();
    const double grow = style_.maxScale();
    return QSize(int(std::ceil((label.width() + m.left() + m.right()) * grow)),
                 int(std::ceil((label.height() + m.top() + m.bottom()) * grow)));
}

QSize PressButton::minimumSizeHint() const
{
    const QSize whole = sizeHint();
    if (minimumTextScale_ >= 1 || text().isEmpty())
        return whole;
    const QMargins m = contentsMargins();
    const double symbol = symbol_.isEmpty() ? 0 : symbolSize_ + symbolGap_;
    const double least = (symbol + m.left() + m.right() + QFontMetricsF(font_).averageCharWidth()) * style_.maxScale();
    return QSize(std::min(whole.width(), int(std::ceil(least))), whole.height());
}

QRectF PressButton::restingRect() const
{
    const double grow = style_.maxScale();
    const QRectF all(rect());
    QRectF resting(QPointF(0, 0), all.size() / grow);
    resting.moveCenter(all.center());
    return resting;
}

void PressButton::paintLabel(QPainter& p, const QRectF& box, const QColor& color)
{
    QSizeF size = labelSize();
    // Text wider than its room shrinks, then is cut, where the button
    // allows it; otherwise it is drawn whole from its cached layout.
    const double room = std::max(0.0, box.width() - (symbol_.isEmpty() ? 0 : symbolSize_ + symbolGap_));
    const bool fit = minimumTextScale_ < 1 && !text().isEmpty() && layout().size().width() > room;
    if (fit)
        size.setWidth(size.width() - layout().size().width() + fitted(room).width);
    double x = box.center().x() - size.width() / 2;
    if (!symbol_.isEmpty()) {
        const QRectF symbolBox(x, box.center().y() - symbolSize_ / 2, symbolSize_, symbolSize_);
        Symbols::draw(p, symbolBox, symbol_, color, symbolWeight());
        x += symbolSize_ + symbolGap_;
    }
    if (fit) {
        const Fonts::Fitted& f = fitted(room);
        p.setFont(f.font);
        p.setPen(color);
        p.drawText(QRectF(x, box.top(), f.width + 1, box.height()), Qt::AlignLeft | Qt::AlignVCenter, f.text);
    } else if (!text().isEmpty()) {
        p.setFont(font_);
        p.setPen(color);
        const QStaticText& text = layout();
        p.drawStaticText(QPointF(x, std::round(box.center().y() - text.size().height() / 2)), text);
    }
}

void PressButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const double hover = hover_.value(), press = press_.value();

    const double scale = currentScale();
    if (scale != 1) {
        const QPointF centre = QRectF(rect()).center();
        p.translate(centre);
        p.scale(scale, scale);
        p.translate(-centre);
    }
    const QRectF resting = restingRect();
    const QMargins m = contentsMargins();
    paintLabel(p, resting.adjusted(m.left(), m.top(), -m.right(), -m.bottom()), labelColor());

    const double wash = style_.washOpacity(hover, press);
    if (wash > 0) {
        QColor white = brightened(Qt::white, PressStyle::washBrightness(press));
        white.setAlphaF(float(wash));
        p.fillPath(style_.washShape(resting), white);
    }
}
