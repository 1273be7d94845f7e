#include "ui/row_list.h"

#include "ui/frame_clock.h"
#include "ui/motion.h"
#include "ui/row_feedback.h"
#include "ui/scheduler.h"
#include "ui/theme.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QRegion>
#include <QWheelEvent>

#include <algorithm>
#include <memory>

namespace {

double now()
{
    return Scheduler::current().now();
}

void retarget(AnimatedValue& value, double target, const Animation& animation)
{
    if (std::abs(value.target() - target) > 1e-9)
        value.setTarget(target, animation);
}

} // namespace

ReconcilePlan planReconcile(const std::vector<QString>& oldIds, const std::vector<QString>& newIds,
                            const std::optional<ReconcilePlan::Anchor>& anchor, bool listShown)
{
    ReconcilePlan plan;
    plan.changed = oldIds != newIds;
    if (!plan.changed)
        return plan;
    std::unordered_map<QString, int, HoldDetail::Hash> oldIndex, newIndex;
    oldIndex.reserve(oldIds.size());
    newIndex.reserve(newIds.size());
    for (std::size_t i = 0; i < oldIds.size(); ++i)
        oldIndex.emplace(oldIds[i], int(i));
    for (std::size_t i = 0; i < newIds.size(); ++i)
        newIndex.emplace(newIds[i], int(i));
    for (std::size_t i = 0; i < oldIds.size(); ++i)
        if (!newIndex.contains(oldIds[i]))
            plan.removed.push_back(int(i));
    for (const QString& id : newIds)
        if (!oldIndex.contains(id))
            ++plan.inserted;
    if (anchor) {
        auto from = oldIndex.find(anchor->id);
        auto to = newIndex.find(anchor->id);
        plan.jumped = from != oldIndex.end() && to != newIndex.end()
            && std::abs(to->second - from->second) >= 5;
    }
    plan.reload = oldIds.empty() || plan.removed.size() + std::size_t(plan.inserted) > 200
        || !listShown || plan.jumped;
    return plan;
}

void RowList::RowState::settle()
{
    top.set(top.target());
    opacity.set(opacity.target());
    background.set(background.target());
    accent.set(accent.target());
    chevron.set(chevron.target());
    wash.set(wash.target());
}

Animation RowList::rowMotion(bool) const
{
    return Animation::timing(Motion::ease(), Motion::standard());
}

void RowList::setScrolls(bool scrolls)
{
    scrolls_ = scrolls;
    setSizePolicy(QSizePolicy::Expanding, scrolls ? QSizePolicy::Expanding : QSizePolicy::Fixed);
    fit();
}

void RowList::fit()
{
    if (scrolls_)
        return;
    // Rows at rest lie within the content; moving and leaving rows may
    // reach below it.
    double bottom = content_;
    auto reach = [&bottom](const RowState& s) {
        bottom = std::max(bottom, s.top.value() + s.height * std::clamp(s.opacity.value(), 0.0, 1.0));
    };
    for (const auto& [id, s] : states_)
        if (s.moving())
            reach(s);
    for (const Leaving& gone : leaving_)
        reach(gone.state);
    if (const int height = int(std::ceil(bottom - 1e-6)); height != this->height())
        setFixedHeight(height);
}

RowList::RowList(QWidget* parent)
    : QAbstractScrollArea(parent), hoverWash(RowFeedback::washOpacity(1, 0)),
      pressWash(RowFeedback::washOpacity(0, 1))
{
    setFrameShape(QFrame::NoFrame);
    // The indicator is an overlay, so columns keep their places.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setAutoFillBackground(false);
    viewport()->setAutoFillBackground(false);
    viewport()->setMouseTracking(true);
}

RowList::~RowList()
{
    FrameClock::shared().unsubscribe(this);
}

RowList::RowState* RowList::state(const QString& id)
{
    auto it = states_.find(id);
    return it == states_.end() ? nullptr : &it->second;
}

const RowList::RowState* RowList::state(const QString& id) const
{
    auto it = states_.find(id);
    return it == states_.end() ? nullptr : &it->second;
}

std::optional<ReconcilePlan::Anchor> RowList::anchorOf(int row) const
{
    if (row < 0 || row >= int(rows_.size()))
        return std::nullopt;
    const RowSlot& slot = rows_[std::size_t(row)];
    const RowState* s = state(slot.id);
    if (!s)
        return std::nullopt;
    const double top = s->top.target();
    const double bottom = top + slot.height();
    const double from = scroll_.target();
    const double to = from + viewport()->height();
    if (!(from < bottom && top < to))
        return std::nullopt;
    return ReconcilePlan::Anchor{slot.id, top - from};
}

ReconcilePlan RowList::reconcileRows(std::vector<RowSlot> next,
                                     const std::optional<ReconcilePlan::Anchor>& anchor, bool shown,
                                     const std::function<std::any(int)>& leaving)
{
    const ReconcilePlan plan = planReconcile(rowIds(rows_), rowIds(next), anchor, shown);
    std::vector<RowSlot> old = std::exchange(rows_, std::move(next));
    tops_ = rowTops(rows_, &content_);
    if (!plan.changed)
        return plan;

    if (plan.reload) {
        if (plan.jumped && isVisible() && !viewport()->size().isEmpty()) {
            swap_ = viewport()->grab();
            swapOpacity_.set(1);
            swapOpacity_.setTarget(0, Animation::timing(Motion::ease(), Motion::quick()));
        }
        decltype(states_) fresh;
        fresh.reserve(rows_.size());
        for (std::size_t i = 0; i < rows_.size(); ++i) {
            RowState s;
            if (auto it = states_.find(rows_[i].id); it != states_.end())
                s = std::move(it->second);
            s.top.set(tops_[i]);
            s.opacity.set(1);
            s.height = rows_[i].height();
            fresh.emplace(rows_[i].id, std::move(s));
        }
        states_ = std::move(fresh);
        leaving_.clear();
        if (auto offset = anchoredOrigin(anchor, rows_, viewport()->height(), scroll_.target()))
            scrollTo(*offset, Animation::none(), 0.1);
        else if (scroll_.target() > maxScroll())
            scrollTo(maxScroll(), Animation::none(), 0.1);
    } else {
        reorderBegan();
        const Animation fade = rowMotion(true);
        const Animation curve = rowMotion(false);
        for (int index : plan.removed) {
            auto it = states_.find(old[std::size_t(index)].id);
            if (it == states_.end())
                continue;
            Leaving gone{std::move(old[std::size_t(index)]), std::move(it->second),
                         leaving ? leaving(index) : std::any()};
            states_.erase(it);
            gone.state.opacity.setTarget(0, fade);
            leaving_.push_back(std::move(gone));
        }
        for (std::size_t i = 0; i < rows_.size(); ++i) {
            auto it = states_.find(rows_[i].id);
            if (it != states_.end()) {
                retarget(it->second.top, tops_[i], curve);
                it->second.height = rows_[i].height();
                continue;
            }
            RowState s;
            s.top.set(tops_[i]);
            s.opacity.set(0);
            s.opacity.setTarget(1, fade);
            s.height = rows_[i].height();
            states_.emplace(rows_[i].id, std::move(s));
        }
        if (auto offset = anchoredOrigin(anchor, rows_, viewport()->height(), scroll_.target()))
            scrollTo(*offset, curve, Motion::standard() + 0.15);
        else if (scroll_.target() > maxScroll())
            scrollTo(maxScroll(), curve, Motion::standard() + 0.15);
    }
    animate();
    fit();
    return plan;
}

std::optional<double> RowList::drawnTop(const QString& id) const
{
    const RowState* s = state(id);
    if (!s)
        return std::nullopt;
    return s->top.value();
}

int RowList::rowAt(double viewportY) const
{
    const double y = viewportY + scroll_.value();
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        const RowState* s = state(rows_[i].id);
        if (!s)
            continue;
        const double top = s->top.value();
        if (y >= top && y < top + rows_[i].height())
            return int(i);
    }
    return -1;
}

double RowList::maxScroll() const
{
    return std::max(0.0, content_ - viewport()->height());
}

bool RowList::moving() const
{
    if (scroll_.moving() || indicator_.moving() || swapOpacity_.moving() || !leaving_.empty())
        return true;
    return std::any_of(states_.begin(), states_.end(),
                       [](const auto& entry) { return entry.second.moving(); });
}

void RowList::animate()
{
    if (!moving() || FrameClock::shared().subscribed(this))
        return;
    FrameClock::shared().subscribe(this, [this](double dt) {
        // Only what moves is repainted: a slide of a few rows leaves the
        // rest of the list alone.
        const double before = scroll_.value();
        const int width = viewport()->width();
        QRegion dirty;
        auto mark = [&](const RowState& s) {
            dirty += QRect(0, int(std::floor(s.top.value() - before)), width,
                           int(std::ceil(s.height)) + 1);
        };
        auto stepRow = [&](RowState& s) {
            if (!s.moving())
                return;
            mark(s);
            s.step(dt);
            mark(s);
        };
        for (auto& [id, s] : states_)
            stepRow(s);
        for (Leaving& gone : leaving_)
            stepRow(gone.state);
        std::erase_if(leaving_, [](const Leaving& gone) { return !gone.state.opacity.moving(); });
        if (indicator_.moving())
            dirty += QRect(width - 8, 0, 8, viewport()->height());
        const bool whole = scroll_.moving() || swapOpacity_.moving() || !swap_.isNull();
        stepAll(dt, scroll_, indicator_, swapOpacity_);
        if (!swapOpacity_.moving() && !swap_.isNull() && swapOpacity_.value() <= 0)
            swap_ = QPixmap();
        if (scroll_.value() != before)
            scrollStored(scroll_.value());
        fit();
        if (whole)
            viewport()->update();
        else if (!dirty.isEmpty())
            viewport()->update(dirty);
        return moving();
    });
}

void RowList::scrollTo(double offset, const Animation& animation, double ownFor)
{
    ownScrollUntil = now() + ownFor;
    scroll_.setTarget(std::clamp(offset, 0.0, maxScroll()), animation);
    scrolled(true);
    animate();
    viewport()->update();
}

void RowList::setScrollNow(double offset)
{
    scroll_.set(std::clamp(offset, 0.0, maxScroll()));
    viewport()->update();
}

void RowList::scrolled(bool own)
{
    if (!tracksScroll())
        return;
    scrollStored(scroll_.target());
    if (!own && now() > ownScrollUntil)
        userScrolled();
    if (own)
        return;
    // The indicator shows while the user scrolls, then fades.
    retarget(indicator_, 1, Animation::timing(Motion::ease(), Motion::quick()));
    const double until = indicatorUntil_ = now() + indicatorSeconds;
    QPointer<RowList> self(this);
    Scheduler::current().after(indicatorSeconds, this, [self, until] {
        if (self && self->indicatorUntil_ == until) {
            retarget(self->indicator_, 0, Animation::timing(Motion::ease(), Motion::standard()));
            self->animate();
        }
    });
    animate();
}

void RowList::scrollIntoView(int row, bool reduced)
{
    if (row < 0 || row >= int(rows_.size()))
        return;
    const double top = tops_[std::size_t(row)];
    const double bottom = top + rows_[std::size_t(row)].height();
    double target = scroll_.target();
    if (top < target)
        target = top;
    else if (bottom > target + viewport()->height())
        target = bottom - viewport()->height();
    if (std::abs(target - scroll_.target()) > 0.5)
        scrollTo(target, Animation::timing(Motion::ease(), Motion::quick()).unless(reduced), 0.3);
}

void RowList::updateWash(const QString& id, bool animated)
{
    RowState* s = state(id);
    if (!s)
        return;
    const bool active = window() && window()->isActiveWindow();
    const double target = pressed_ == id ? pressWash : (hovered_ == id && active ? hoverWash : 0);
    retarget(s->wash, target,
             animated ? Animation::timing(Motion::ease(), Motion::quick()) : Animation::none());
    if (s->wash.moving())
        animate();
    viewport()->update();
}

void RowList::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    // The list paints its own ground, so nothing under it is repainted.
    if (scrolls_)
        painter.fillRect(viewport()->rect(), Theme::bg());
    const int width = viewport()->width();
    const double height = viewport()->height();
    // A long list inside another scroll area is exposed only in part.
    const QRect exposed = scrolls_ ? viewport()->rect() : event->rect();
    const double offset = scroll_.value();
    // While rows slide, each frame may place pictures of the rows drawn on
    // the first frame; at rest rows are drawn straight, which is cheaper once.
    const bool sliding = !leaving_.empty()
        || std::any_of(states_.begin(), states_.end(),
                       [](const auto& entry) { return entry.second.top.moving(); })
        || scroll_.moving();

    RowPaint paint;
    paint.sliding = sliding;
    auto paintOne = [&](const RowState& s, double rowHeight) {
        // Whole pixels, so that pictures are placed without resampling.
        const double top = std::round(s.top.value() - offset);
        if (top + rowHeight <= exposed.top() || top >= exposed.top() + exposed.height())
            return;
        paint.state = &s;
        paint.rect = QRectF(0, top, width, rowHeight);
        paintRow(painter, paint);
    };
    for (const Leaving& gone : leaving_) {
        paint.index = -1;
        paint.leaving = &gone.item;
        paintOne(gone.state, gone.slot.height());
    }
    paint.leaving = nullptr;
    for (std::size_t i = 0; i < rows_.size(); ++i)
        if (auto it = states_.find(rows_[i].id); it != states_.end()) {
            paint.index = int(i);
            paintOne(it->second, rows_[i].height());
        }
    painter.setOpacity(1);

    if (indicator_.value() > 0.01 && content_ > height) {
        const double bar = std::max(24.0, height * height / content_);
        const double y = offset / (content_ - height) * (height - bar);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor::fromRgbF(1, 1, 1, float(0.28 * indicator_.value())));
        painter.drawRoundedRect(QRectF(width - 6, y + 2, 3, bar - 4), 1.5, 1.5);
    }
    if (!swap_.isNull() && swapOpacity_.value() > 0) {
        painter.setOpacity(swapOpacity_.value());
        painter.drawPixmap(0, 0, swap_);
    }
}

void RowList::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    if (scroll_.target() > maxScroll())
        scroll_.set(maxScroll());
}

void RowList::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    if (focusPolicy() != Qt::NoFocus)
        setFocus(Qt::MouseFocusReason);
    const int row = rowAt(event->position().y());
    if (row >= 0 && rowPressable(row)) {
        pressed_ = rows_[std::size_t(row)].id;
        updateWash(*pressed_, false);
    }
}

void RowList::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !pressed_) {
        QAbstractScrollArea::mouseReleaseEvent(event);
        return;
    }
    const QString id = *std::exchange(pressed_, std::nullopt);
    updateWash(id, true);
    const int row = rowAt(event->position().y());
    if (row >= 0 && rows_[std::size_t(row)].id == id)
        rowClicked(row, event->position());
}

void RowList::mouseMoveEvent(QMouseEvent* event)
{
    const int row = rowAt(event->position().y());
    std::optional<QString> id;
    if (row >= 0)
        id = rows_[std::size_t(row)].id;
    if (id == hovered_)
        return;
    const std::optional<QString> before = std::exchange(hovered_, id);
    if (before)
        updateWash(*before, true);
    if (id)
        updateWash(*id, true);
}

void RowList::leaveEvent(QEvent* event)
{
    QAbstractScrollArea::leaveEvent(event);
    if (const std::optional<QString> before = std::exchange(hovered_, std::nullopt))
        updateWash(*before, true);
}

bool RowList::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::Leave)
        leaveEvent(event);
    return QAbstractScrollArea::viewportEvent(event);
}

void RowList::wheelEvent(QWheelEvent* event)
{
    if (!scrolls_) {
        event->ignore();
        return;
    }
    // Touchpads report pixels; mice report angles.
    double delta = event->pixelDelta().y();
    if (event->pixelDelta().isNull())
        delta = event->angleDelta().y() * notchPixels / 120.0;
    if (delta == 0) {
        event->ignore();
        return;
    }
    event->accept();
    const double target = std::clamp(scroll_.target() - delta, 0.0, maxScroll());
    if (std::abs(target - scroll_.target()) < 0.01)
        return;
    scroll_.setTarget(target, Animation::none());
    scrolled(false);
    viewport()->update();
}

void RowList::contextMenuEvent(QContextMenuEvent* event)
{
    const int row = rowAt(event->pos().y());
    if (row < 0)
        return;
    std::unique_ptr<QMenu> shown(rowMenu(row, this));
    if (shown)
        shown->exec(event->globalPos());
}

void RowList::hideEvent(QHideEvent* event)
{
    QAbstractScrollArea::hideEvent(event);
    // Nothing moves while hidden: every value jumps to where it was going.
    FrameClock::shared().unsubscribe(this);
    for (auto& [id, s] : states_)
        s.settle();
    leaving_.clear();
    scroll_.set(scroll_.target());
    indicator_.set(0);
    swapOpacity_.set(0);
    swap_ = QPixmap();
    fit();
}
