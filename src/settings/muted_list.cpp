#include "settings/muted_list.h"

#include "core/l10n.h"
#include "ui/desktop_settings.h"
#include "ui/fonts.h"
#include "ui/frame_clock.h"
#include "ui/hairline.h"
#include "ui/icons.h"
#include "ui/motion.h"
#include "ui/press_button.h"
#include "ui/process_icon.h"
#include "ui/theme.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>

#include <algorithm>
#include <cmath>

namespace {

constexpr double inset = 14;
constexpr double iconSize = 20;
constexpr double spacing = 10;
// The Unmute text answers a little beyond its letters.
constexpr double reach = 4;

} // namespace

MutedList::MutedList(std::function<void(const QString&)> unmute, QWidget* parent)
    : RowList(parent)
    , unmute_(std::move(unmute))
    , label_(L10n::text("Unmute", "恢复告警"))
    , nameFace_(Fonts::font(13, QFont::Medium))
    , labelFace_(Fonts::font(11, QFont::Medium))
{
    labelWidth_ = labelFace_.width(label_);
    setFocusPolicy(Qt::TabFocus);
    setScrolls(false);
}

MutedList::~MutedList()
{
    FrameClock::shared().unsubscribe(viewport());
}

void MutedList::setRows(std::vector<Row> rows, bool animated)
{
    if (rows == rows_)
        return;
    // Copies of a name stored more than once are told apart.
    std::vector<RowSlot> next;
    next.reserve(rows.size());
    std::unordered_map<QString, int> copies;
    copies.reserve(rows.size());
    for (const Row& row : rows) {
        const int copy = copies[row.name]++;
        next.push_back(RowSlot{copy ? row.name + QChar(0) + QString::number(copy) : row.name,
                                next.empty() ? double(rowHeight) : double(pitch)});
    }
    const std::vector<Row> old = std::exchange(rows_, std::move(rows));
    reconcileRows(std::move(next), std::nullopt, animated && isVisible(),
                  [&old](int index) { return std::any(old[std::size_t(index)]); });
    if (current_ >= int(rows_.size()))
        current_ = int(rows_.size()) - 1;
    if (pointer_)
        track(*pointer_);
    viewport()->update();
    animateFeedback();
}

Animation MutedList::rowMotion(bool fade) const
{
    // Under reduce motion a row only fades; its gap closes at once after.
    if (DesktopSettings::instance().reduceMotion())
        return fade ? Animation::ease(Motion::standard()) : Animation::ease(1e-3, Motion::standard());
    return Animation::spring(Motion::standard(), 1);
}

double MutedList::topOf(int index) const
{
    const RowSlot& slot = shownRows()[std::size_t(index)];
    return drawnTop(slot.id).value_or(0) - scrollOffset() + slot.height() - rowHeight;
}

QRectF MutedList::labelRect(double top) const
{
    const double height = labelFace_.metrics().height();
    return {width() - inset - labelWidth_, top + (rowHeight - height) / 2, labelWidth_, height};
}

QRectF MutedList::unmuteRect(int index) const
{
    if (index < 0 || index >= int(rows_.size()))
        return {};
    return labelRect(topOf(index));
}

int MutedList::unmuteAt(const QPointF& at) const
{
    const auto over = [this, &at](double top) {
        return labelRect(top).adjusted(-reach, -reach, reach, reach).contains(at);
    };
    if (const int drawn = rowAt(at.y()); drawn >= 0 && over(topOf(drawn)))
        return drawn;
    if (!RowList::moving())
        return -1;
    // At rest, row i's content starts i pitches down.
    const double y = at.y() + scrollTarget();
    const int resting = int(std::floor(y / pitch));
    if (resting >= 0 && resting < int(rows_.size()) && over(resting * double(pitch) - scrollTarget()))
        return resting;
    return -1;
}

QSize MutedList::sizeHint() const
{
    return {int(inset * 2 + iconSize + spacing * 2 + labelWidth_), height()};
}

void MutedList::paintRow(QPainter& p, const RowPaint& paint)
{
    const Row& row = paint.index >= 0 ? rows_[std::size_t(paint.index)] : *std::any_cast<Row>(paint.leaving);
    const double opacity = std::clamp(paint.state->opacity.value(), 0.0, 1.0);
    if (opacity <= 0)
        return;
    p.save();
    p.setOpacity(opacity);
    // A row coming or going takes its height in step with its opacity, as
    // the rows below close or open its gap.
    if (opacity < 1 && !DesktopSettings::instance().reduceMotion())
        p.setClipRect(QRectF(paint.rect.topLeft(), QSizeF(paint.rect.width(), paint.rect.height() * opacity)),
                      Qt::IntersectClip);
    const double top = paint.rect.bottom() - rowHeight;
    if (top > paint.rect.top())
        p.fillRect(QRectF(Hairline::indent, paint.rect.top(), std::max(0, width() - Hairline::indent), 1),
                   Theme::line());
    const double middle = top + rowHeight / 2.0;
    ProcessIcon::paint(p, QRectF(inset, middle - iconSize / 2, iconSize, iconSize), iconSize,
                       Icons::letter(row.shown), row.bundlePath);

    const QRectF label = labelRect(top);
    const double nameLeft = inset + iconSize + spacing;
    // Stacked combining marks stay inside their own row.
    const QRectF nameBox(nameLeft, top, std::max(0.0, label.left() - spacing - nameLeft), rowHeight);
    p.save();
    p.setClipRect(nameBox, Qt::IntersectClip);
    p.setPen(Theme::text());
    nameFace_.draw(p, nameBox, row.shown, TextFace::Align::left, true, Qt::ElideRight);
    p.restore();

    const PressStyle style = PressStyle::text();
    double hover = 0, press = 0;
    if (auto it = feedback_.find(row.name); it != feedback_.end()) {
        hover = it->second.hover.value();
        press = it->second.press.value();
    }
    p.save();
    const double scale = style.scale(hover, press, DesktopSettings::instance().reduceMotion());
    if (scale != 1) {
        p.translate(label.center());
        p.scale(scale, scale);
        p.translate(-label.center());
    }
    p.setPen(brightened(Theme::cpu(), style.labelBrightness(hover, press)));
    labelFace_.draw(p, label, label_, TextFace::Align::left);
    p.restore();

    if (hasFocus() && paint.index >= 0 && paint.index == current_) {
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(Theme::withAlpha(Theme::cpu(), 0.6), 1));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(label.adjusted(-reach - 0.5, -2.5, reach + 0.5, 2.5), 4, 4);
    }
    p.restore();
}

void MutedList::track(const QPointF& at)
{
    pointer_ = at;
    const int index = unmuteAt(at);
    std::optional<QString> over;
    if (index >= 0)
        over = rows_[std::size_t(index)].name;
    setHovered(over);
    // A press shows only while the pointer stays on what it went down on.
    if (pressed_) {
        auto it = feedback_.find(*pressed_);
        if (it != feedback_.end()) {
            const bool down = over == pressed_;
            if (it->second.press.pressed() != down) {
                it->second.press.setPressed(down, DesktopSettings::instance().reduceMotion());
                animateFeedback();
            }
        }
    }
}

void MutedList::setHovered(std::optional<QString> name)
{
    if (name == hovered_)
        return;
    const Animation ease = Animation::timing(Motion::ease(), Motion::quick());
    if (hovered_)
        if (auto it = feedback_.find(*hovered_); it != feedback_.end())
            it->second.hover.setTarget(0, ease);
    hovered_ = std::move(name);
    if (hovered_)
        feedback_[*hovered_].hover.setTarget(1, ease);
    animateFeedback();
}

void MutedList::mouseMoveEvent(QMouseEvent* event)
{
    track(event->position());
}

void MutedList::mousePressEvent(QMouseEvent* event)
{
    track(event->position());
    if (event->button() != Qt::LeftButton || !hovered_) {
        event->ignore();
        return;
    }
    pressed_ = hovered_;
    feedback_[*pressed_].press.setPressed(true, DesktopSettings::instance().reduceMotion());
    animateFeedback();
}

void MutedList::mouseReleaseEvent(QMouseEvent* event)
{
    track(event->position());
    if (event->button() != Qt::LeftButton || !pressed_) {
        event->ignore();
        return;
    }
    const QString name = *pressed_;
    const bool onIt = hovered_ == pressed_;
    pressed_.reset();
    if (auto it = feedback_.find(name); it != feedback_.end())
        it->second.press.setPressed(false, DesktopSettings::instance().reduceMotion());
    animateFeedback();
    if (onIt)
        unmute_(name);
}

void MutedList::leaveEvent(QEvent* event)
{
    pointer_.reset();
    setHovered(std::nullopt);
    RowList::leaveEvent(event);
}

void MutedList::setCurrent(int index)
{
    if (rows_.empty())
        index = -1;
    else
        index = std::clamp(index, 0, int(rows_.size()) - 1);
    current_ = index;
    viewport()->update();
    if (index < 0)
        return;
    // Keeps the row in sight inside the pane's scroll area.
    for (QWidget* w = parentWidget(); w; w = w->parentWidget())
        if (auto* area = qobject_cast<QScrollArea*>(w)) {
            if (area->widget()) {
                const QPoint at = mapTo(area->widget(), QPoint(0, int(topOf(index))));
                area->ensureVisible(at.x(), at.y() + rowHeight / 2, 0, pitch);
            }
            break;
        }
}

void MutedList::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Up:
        setCurrent(current_ - 1);
        return;
    case Qt::Key_Down:
        setCurrent(current_ + 1);
        return;
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (current_ >= 0 && current_ < int(rows_.size())) {
            unmute_(rows_[std::size_t(current_)].name);
            return;
        }
        break;
    default:
        break;
    }
    // Paging is the pane's scroll area's.
    event->ignore();
}

void MutedList::focusInEvent(QFocusEvent* event)
{
    if (current_ < 0) {
        // The first row wholly in sight, rather than the top of a long list.
        const QRect seen = visibleRegion().boundingRect();
        const int first = seen.isEmpty() ? 0 : rowAt(seen.top() + pitch - 1);
        setCurrent(std::max(first, 0));
    } else {
        setCurrent(current_);
    }
    RowList::focusInEvent(event);
}

void MutedList::focusOutEvent(QFocusEvent* event)
{
    viewport()->update();
    RowList::focusOutEvent(event);
}

void MutedList::hideEvent(QHideEvent* event)
{
    FrameClock::shared().unsubscribe(viewport());
    pointer_.reset();
    hovered_.reset();
    pressed_.reset();
    feedback_.clear();
    RowList::hideEvent(event);
}

void MutedList::animateFeedback()
{
    if (!isVisible())
        return;
    FrameClock::shared().subscribe(viewport(), [this](double dt) {
        bool moving = false;
        for (auto it = feedback_.begin(); it != feedback_.end();) {
            Feedback& f = it->second;
            moving |= stepAll(dt, f.hover, f.press);
            if (!f.hover.moving() && !f.press.moving() && f.hover.value() == 0 && hovered_ != it->first
                && pressed_ != it->first)
                it = feedback_.erase(it);
            else
                ++it;
        }
        if (moving)
            viewport()->update();
        // Rows slide under a pointer that stays put.
        const bool sliding = RowList::moving();
        if (pointer_ && sliding)
            track(*pointer_);
        return moving || sliding;
    });
}
