#include "ui/hold_badge.h"

#include "core/l10n.h"
#include "ui/fonts.h"
#include "ui/frame_clock.h"
#include "ui/interaction_hold.h"
#include "ui/symbols.h"
#include "ui/theme.h"

#include <QFontMetricsF>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>
#include <cmath>

namespace {

Animation fade()
{
    return Animation::timing(Motion::ease(), Motion::quick());
}

} // namespace

HoldBadge::HoldBadge(InteractionHold& hold, std::optional<QString> newItems, QWidget* parent)
    : QWidget(parent)
    , hold_(&hold)
    , newItems_(std::move(newItems))
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(&hold, &InteractionHold::staleChanged, this, &HoldBadge::refresh);
    connect(&hold, &InteractionHold::withheldChanged, this, &HoldBadge::refresh);
    refresh();
    settle();
}

std::optional<QString> HoldBadge::text(int withheld, bool stale,
                                       const std::optional<QString>& newItems)
{
    if (withheld >= 1) {
        if (newItems && !newItems->isEmpty())
            return newItems;
        return std::nullopt;
    }
    if (stale)
        return L10n::text("Order paused", "排序暂停");
    return std::nullopt;
}

QString HoldBadge::helpText()
{
    return L10n::text("Reordering pauses while the pointer is here. Values keep updating, and the "
                      "order catches up when you move away.",
                      "指针停留在这里时暂停重新排列，读数照常更新；移开后恢复。");
}

QFont HoldBadge::textFont()
{
    return Fonts::font(textSize, QFont::DemiBold, Fonts::Face::ui, Fonts::Width::condensed, 0.6);
}

void HoldBadge::setNewItems(std::optional<QString> newItems)
{
    if (newItems == newItems_)
        return;
    newItems_ = std::move(newItems);
    refresh();
}

void HoldBadge::refresh()
{
    std::optional<QString> next;
    if (hold_)
        next = text(hold_->withheld(), hold_->stale(), newItems_);
    if (next == text_)
        return;
    text_ = std::move(next);

    if (text_) {
        // A new text over one still visible cross-fades with it.
        if (shown_.value() > 0 && !drawn_.isEmpty() && drawn_.text != *text_) {
            previous_ = drawn_;
            change_.set(0);
            change_.setTarget(1, fade());
        }
        drawn_.set(*text_);
        shown_.setTarget(1, fade());
    } else {
        shown_.setTarget(0, fade());
    }
    updateGeometry();
    animate();
}

void HoldBadge::animate()
{
    if (!isVisible()) {
        settle();
        return;
    }
    if (!shown_.moving() && !change_.moving()) {
        update();
        return;
    }
    FrameClock::shared().subscribe(this, [this](double dt) {
        const bool moving = stepAll(dt, shown_, change_);
        if (!moving)
            settle();
        update();
        return moving;
    });
}

// Ends every fade where it is heading.
void HoldBadge::settle()
{
    shown_.set(shown_.target());
    change_.set(1);
    previous_.clear();
    if (!text_ && shown_.value() <= 0 && !drawn_.isEmpty()) {
        drawn_.clear();
        updateGeometry();
    }
    FrameClock::shared().unsubscribe(this);
}

void HoldBadge::hideEvent(QHideEvent* event)
{
    settle();
    QWidget::hideEvent(event);
}

void HoldBadge::Line::set(const QString& value)
{
    if (value == text)
        return;
    text = value;
    layout = QStaticText(value);
    layout.setTextFormat(Qt::PlainText);
    layout.setPerformanceHint(QStaticText::AggressiveCaching);
    if (!value.isEmpty())
        layout.prepare(QTransform(), textFont());
}

double HoldBadge::Line::width() const
{
    return layout.size().width();
}

double HoldBadge::rowWidth(const Line& line)
{
    if (line.isEmpty())
        return 0;
    return symbolSize + spacing + line.width();
}

QSize HoldBadge::sizeHint() const
{
    if (drawn_.isEmpty())
        return {0, 0};
    const double width = std::max(rowWidth(drawn_), rowWidth(previous_));
    return {int(std::ceil(width)), int(std::ceil(QFontMetricsF(textFont()).height()))};
}

void HoldBadge::paintRow(QPainter& p, const Line& line, double opacity) const
{
    if (line.isEmpty() || opacity <= 0)
        return;
    QColor colour = Theme::cpu();
    colour.setAlphaF(float(0.85 * std::clamp(opacity, 0.0, 1.0)));

    const double left = std::round((width() - rowWidth(line)) / 2);
    const double middle = height() / 2.0;
    const QRectF symbol(left, middle - symbolSize / 2, symbolSize, symbolSize);
    Symbols::draw(p, symbol, u"pause.fill", colour, QFont::Bold);

    p.setFont(textFont());
    p.setPen(colour);
    const QSizeF size = line.layout.size();
    p.drawStaticText(QPointF(symbol.right() + spacing, std::round(middle - size.height() / 2)),
                     line.layout);
}

void HoldBadge::paintEvent(QPaintEvent*)
{
    if (drawn_.isEmpty())
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const double shown = shown_.value();
    const double change = std::clamp(change_.value(), 0.0, 1.0);
    if (!previous_.isEmpty() && change < 1)
        paintRow(p, previous_, shown * (1 - change));
    paintRow(p, drawn_, previous_.isEmpty() ? shown : shown * change);
}

bool HoldBadge::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        if (text_)
            QToolTip::showText(help->globalPos(), helpText(), this);
        else
            QToolTip::hideText();
        return true;
    }
    return QWidget::event(event);
}
