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
#include <QPaintEvent>
#include <QPainter>
#include <QScrollArea>
#include <QSet>

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
    : QWidget(parent)
    , unmute_(std::move(unmute))
    , label_(L10n::text("Unmute", "恢复告警"))
    , nameFace_(Fonts::font(13, QFont::Medium))
    , labelFace_(Fonts::font(11, QFont::Medium))
{
    labelWidth_ = labelFace_.width(label_);
    setMouseTracking(true);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFixedHeight(0);
}

MutedList::~MutedList()
{
    FrameClock::shared().unsubscribe(this);
}

void MutedList::setRows(std::vector<Row> rows, bool animated)
{
    if (rows == rows_)
        return;
    // Rows whose names are gone leave; the others must keep their order for
    // the gaps to close where the rows stood.
    QSet<QString> kept;
    kept.reserve(qsizetype(rows.size()));
    for (const Row& row : rows)
        kept.insert(row.name);
    QSet<QString> before;
    before.reserve(qsizetype(rows_.size()));
    for (const Row& row : rows_)
        before.insert(row.name);

    // `at[i]` is the index in `rows` of what stands where old row i stood.
    std::vector<Leaving> gone;
    std::vector<int> at(rows_.size() + 1, 0);
    bool ordered = true;
    std::size_t j = 0;
    for (std::size_t i = 0; i <= rows_.size(); ++i) {
        while (j < rows.size() && !before.contains(rows[j].name))
            ++j; // a new row: it appears in place
        at[i] = int(j);
        if (i == rows_.size())
            break;
        if (!kept.contains(rows_[i].name)) {
            gone.push_back(Leaving{rows_[i], int(j), AnimatedValue(1.0), AnimatedValue(1.0)});
            continue;
        }
        if (j == rows.size() || rows[j].name != rows_[i].name) {
            ordered = false;
            break;
        }
        ++j;
    }

    const bool moving = animated && ordered && isVisible() && gone.size() + leaving_.size() <= maxLeaving;
    if (!moving) {
        leaving_.clear();
    } else {
        for (Leaving& l : leaving_)
            l.before = at[std::size_t(std::clamp(l.before, 0, int(rows_.size())))];
        const bool reduce = DesktopSettings::instance().reduceMotion();
        const Animation spring = Animation::spring(Motion::standard(), 1);
        for (Leaving& l : gone) {
            l.opacity.setTarget(0, spring);
            // Under reduce motion the row only fades; its gap closes after.
            if (!reduce)
                l.extent.setTarget(0, spring);
            leaving_.push_back(std::move(l));
        }
        std::stable_sort(leaving_.begin(), leaving_.end(),
                         [](const Leaving& a, const Leaving& b) { return a.before < b.before; });
    }

    rows_ = std::move(rows);
    if (current_ >= int(rows_.size()))
        current_ = int(rows_.size()) - 1;
    place();
    if (pointer_)
        track(*pointer_);
    update();
    animate();
}

double MutedList::topOf(int index) const
{
    double y = index * double(pitch) - 1;
    for (const Leaving& l : leaving_) {
        if (l.before > index)
            break;
        y += l.extent.value() * pitch;
    }
    return y;
}

double MutedList::contentHeight() const
{
    double total = double(rows_.size()) * pitch;
    for (const Leaving& l : leaving_)
        total += l.extent.value() * pitch;
    return std::max(0.0, total - 1);
}

int MutedList::rowAt(double y) const
{
    double above = 0; // what leaving rows take above `y`
    for (const Leaving& l : leaving_) {
        const double start = l.before * double(pitch) - 1 + above;
        if (y < start)
            break;
        const double extent = l.extent.value() * pitch;
        if (y < start + extent)
            return -1;
        above += extent;
    }
    const double index = std::floor((y + 1 - above) / pitch);
    return index >= 0 && index < double(rows_.size()) ? int(index) : -1;
}

QRectF MutedList::labelRect(double top) const
{
    const double height = labelFace_.metrics().height();
    return {width() - inset - labelWidth_, top + 1 + (rowHeight - height) / 2, labelWidth_, height};
}

QRectF MutedList::unmuteRect(int index) const
{
    if (index < 0 || index >= int(rows_.size()))
        return {};
    return labelRect(topOf(index));
}

QSize MutedList::sizeHint() const
{
    return {int(inset * 2 + iconSize + spacing * 2 + labelWidth_), int(std::ceil(contentHeight()))};
}

void MutedList::place()
{
    const int height = int(std::ceil(contentHeight()));
    if (height != this->height())
        setFixedHeight(height);
}

void MutedList::paintEvent(QPaintEvent* event)
{
    if (rows_.empty() && leaving_.empty())
        return;
    QPainter p(this);
    const QRectF dirty = event->rect();
    // Only the rows that meet the dirty area are visited.
    double leavingExtent = 0;
    for (const Leaving& l : leaving_)
        leavingExtent += l.extent.value() * pitch;
    const int first = std::clamp(int(std::floor((dirty.top() - leavingExtent) / pitch)) - 1, 0,
                                 int(rows_.size()));
    for (int i = first; i < int(rows_.size()); ++i) {
        const double top = topOf(i);
        if (top > dirty.bottom())
            break;
        if (top + pitch < dirty.top())
            continue;
        paintRow(p, rows_[std::size_t(i)], top);
    }
    double above = 0;
    for (const Leaving& l : leaving_) {
        const double top = l.before * double(pitch) - 1 + above;
        const double extent = l.extent.value() * pitch;
        above += extent;
        if (extent <= 0 || top > dirty.bottom() || top + extent < dirty.top())
            continue;
        p.save();
        p.setClipRect(QRectF(0, top, width(), extent));
        p.setOpacity(std::clamp(l.opacity.value(), 0.0, 1.0));
        paintRow(p, l.row, top);
        p.restore();
    }
}

void MutedList::paintRow(QPainter& p, const Row& row, double top)
{
    p.fillRect(QRectF(Hairline::indent, top, std::max(0, width() - Hairline::indent), 1), Theme::line());
    const double middle = top + 1 + rowHeight / 2.0;
    ProcessIcon::paint(p, QRectF(inset, middle - iconSize / 2, iconSize, iconSize), iconSize,
                       Icons::letter(row.shown), row.bundlePath);

    const QRectF label = labelRect(top);
    const double nameLeft = inset + iconSize + spacing;
    // Stacked combining marks stay inside their own row.
    const QRectF nameBox(nameLeft, top + 1, std::max(0.0, label.left() - spacing - nameLeft), rowHeight);
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

    if (hasFocus() && current_ >= 0 && current_ < int(rows_.size()) && &rows_[std::size_t(current_)] == &row) {
        p.save();
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(Theme::withAlpha(Theme::cpu(), 0.6), 1));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(label.adjusted(-reach - 0.5, -2.5, reach + 0.5, 2.5), 4, 4);
        p.restore();
    }
}

void MutedList::track(const QPointF& at)
{
    pointer_ = at;
    const int index = rowAt(at.y());
    std::optional<QString> over;
    if (index >= 0 && unmuteRect(index).adjusted(-reach, -reach, reach, reach).contains(at))
        over = rows_[std::size_t(index)].name;
    setHovered(over);
    // A press shows only while the pointer stays on what it went down on.
    if (pressed_) {
        auto it = feedback_.find(*pressed_);
        if (it != feedback_.end()) {
            const bool down = over == pressed_;
            if (it->second.press.pressed() != down) {
                it->second.press.setPressed(down, DesktopSettings::instance().reduceMotion());
                animate();
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
    animate();
}

void MutedList::mouseMoveEvent(QMouseEvent* event)
{
    track(event->position());
}

void MutedList::mousePressEvent(QMouseEvent* event)
{
    track(event->position());
    if (event->button() != Qt::LeftButton || !hovered_) {
        QWidget::mousePressEvent(event);
        return;
    }
    pressed_ = hovered_;
    feedback_[*pressed_].press.setPressed(true, DesktopSettings::instance().reduceMotion());
    animate();
}

void MutedList::mouseReleaseEvent(QMouseEvent* event)
{
    track(event->position());
    if (event->button() != Qt::LeftButton || !pressed_) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    const QString name = *pressed_;
    const bool onIt = hovered_ == pressed_;
    pressed_.reset();
    if (auto it = feedback_.find(name); it != feedback_.end())
        it->second.press.setPressed(false, DesktopSettings::instance().reduceMotion());
    animate();
    if (onIt)
        unmute_(name);
}

void MutedList::leaveEvent(QEvent* event)
{
    pointer_.reset();
    setHovered(std::nullopt);
    QWidget::leaveEvent(event);
}

void MutedList::setCurrent(int index)
{
    if (rows_.empty())
        index = -1;
    else
        index = std::clamp(index, 0, int(rows_.size()) - 1);
    current_ = index;
    update();
    if (index < 0)
        return;
    // Keeps the row in sight inside the pane's scroll area.
    for (QWidget* w = parentWidget(); w; w = w->parentWidget())
        if (auto* area = qobject_cast<QScrollArea*>(w)) {
            if (area->widget()) {
                const QPoint at = mapTo(area->widget(), QPoint(0, int(topOf(index))));
                area->ensureVisible(at.x(), at.y() + pitch / 2, 0, pitch);
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
    QWidget::keyPressEvent(event);
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
    QWidget::focusInEvent(event);
}

void MutedList::focusOutEvent(QFocusEvent* event)
{
    update();
    QWidget::focusOutEvent(event);
}

void MutedList::hideEvent(QHideEvent* event)
{
    pointer_.reset();
    hovered_.reset();
    pressed_.reset();
    for (auto& [name, f] : feedback_) {
        f.hover.set(0);
        f.press = PressMotion();
    }
    settle();
    QWidget::hideEvent(event);
}

void MutedList::animate()
{
    if (!isVisible()) {
        settle();
        return;
    }
    FrameClock::shared().subscribe(this, [this](double dt) {
        bool moving = false;
        for (Leaving& l : leaving_) {
            moving |= stepAll(dt, l.extent, l.opacity);
            // Under reduce motion a faded row's gap closes at once.
            if (!l.opacity.moving() && l.extent.target() > 0)
                l.extent.set(0);
        }
        std::erase_if(leaving_, [](const Leaving& l) { return !l.extent.moving() && l.extent.value() <= 0; });
        place();
        // Rows slide under a pointer that stays put.
        if (pointer_ && moving)
            track(*pointer_);
        for (auto it = feedback_.begin(); it != feedback_.end();) {
            Feedback& f = it->second;
            moving |= stepAll(dt, f.hover, f.press);
            if (!f.hover.moving() && !f.press.moving() && f.hover.value() == 0 && hovered_ != it->first
                && pressed_ != it->first)
                it = feedback_.erase(it);
            else
                ++it;
        }
        update();
        return moving;
    });
}

void MutedList::settle()
{
    FrameClock::shared().unsubscribe(this);
    leaving_.clear();
    for (auto it = feedback_.begin(); it != feedback_.end();) {
        it->second.hover.set(it->second.hover.target());
        it->second.press.finish();
        if (it->second.hover.value() == 0 && !it->second.press.pressed())
            it = feedback_.erase(it);
        else
            ++it;
    }
    place();
    update();
}
