#include "process/process_list.h"

#include "process/process_cell.h"
#include "process/process_menu.h"
#include "process/sparkline.h"
#include "ui/desktop_settings.h"
#include "ui/frame_clock.h"
#include "ui/motion.h"
#include "ui/scheduler.h"
#include "ui/theme.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QCursor>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QRegion>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

constexpr double groupHeight = ProcessListController::groupHeight;
constexpr double memberHeight = ProcessListController::memberHeight;

const QString holdSlot = QStringLiteral("list");

// A mouse notch scrolls this many pixels (120 eighths of a degree).
constexpr double notchPixels = 48;
// The scroll indicator shows this long after the last movement.
constexpr double indicatorSeconds = 0.8;

double now()
{
    return Scheduler::current().now();
}

Animation rowCurve()
{
    return Animation::timing(Motion::ease(), Motion::standard());
}

bool sameColor(const QColor& a, const QColor& b)
{
    return a.rgba() == b.rgba();
}

void retarget(AnimatedValue& value, double target, const Animation& animation)
{
    if (std::abs(value.target() - target) > 1e-9)
        value.setTarget(target, animation);
}

void retarget(AnimatedColor& value, const QColor& target, const Animation& animation)
{
    if (!sameColor(value.target(), target))
        value.setTarget(target, animation);
}

std::optional<QString> keyName(const QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Up: return QStringLiteral("up");
    case Qt::Key_Down: return QStringLiteral("down");
    case Qt::Key_Left: return QStringLiteral("left");
    case Qt::Key_Right: return QStringLiteral("right");
    case Qt::Key_Space: return QStringLiteral("space");
    case Qt::Key_Return:
    case Qt::Key_Enter: return QStringLiteral("return");
    case Qt::Key_Escape: return QStringLiteral("esc");
    default: return std::nullopt;
    }
}

} // namespace

ProcessList::ProcessList(Monitor& monitor, QWidget* parent)
    : QAbstractScrollArea(parent), monitor_(monitor)
{
    setFrameShape(QFrame::NoFrame);
    // The indicator is an overlay, so columns keep their places.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::StrongFocus);
    setAutoFillBackground(false);
    viewport()->setAutoFillBackground(false);
    viewport()->setMouseTracking(true);
    controller_.expanded = monitor_.tableState.expanded;

    for (auto signal : {&Monitor::snapshotChanged, &Monitor::incidentsChanged,
                        &Monitor::selectionChanged, &Monitor::focusPidChanged,
                        &Monitor::sortChanged, &Monitor::ascendingChanged, &Monitor::filterChanged,
                        &Monitor::prefsChanged, &Monitor::modeChanged, &Monitor::blockingChanged})
        connect(&monitor_, signal, this, &ProcessList::scheduleRefresh);
    // Synchronously: the stage starts fading on the same change.
    connect(&monitor_, &Monitor::modeChanged, this, &ProcessList::syncOpaque);
    syncOpaque();
    monitor_.listHold().holds(viewport());
    installHooks();
    scheduleRefresh();
}

ProcessList::~ProcessList()
{
    FrameClock::shared().unsubscribe(this);
}

void ProcessList::installHooks()
{
    // Each hook holds the list weakly: a list torn down by a language
    // rebuild leaves hooks that do nothing until the next list installs its
    // own.
    QPointer<ProcessList> self(this);
    monitor_.rowAnchorSource = [self]() -> std::optional<Monitor::RowAnchors> {
        return self ? self->anchors() : std::nullopt;
    };
    monitor_.rowIconHider = [self](const QSet<QString>& keys) {
        if (!self || keys == self->hiddenIcons_)
            return;
        self->hiddenIcons_ = keys;
        self->viewport()->update();
    };
    monitor_.listKeyHandler = [self](const QString& name) { return self && self->key(name); };
    monitor_.listHold().onRelease = [self] {
        if (self)
            self->rebuild();
    };
}

void ProcessList::syncOpaque()
{
    // The list paints its whole ground, so while it is the mode shown
    // nothing under it needs painting. Under other modes the stage keeps it
    // shown but faded, often to nothing: claiming to be opaque then would
    // stop the window repainting beneath it, and whatever the list drew
    // while sliding away would stay on screen around the other views.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent, monitor_.mode() == Monitor::Mode::table);
}

bool ProcessList::reduced() const
{
    return DesktopSettings::instance().reduceMotion();
}

void ProcessList::refresh()
{
    flags_ = ProcessListController::flags(monitor_.openIncidents());
    // The rules' own fallback: a limit of 0 would mark every count.
    thresholds_ = monitor_.prefs().thresholds.usable();
    apply(monitor_.rows());
}

bool ProcessList::containsPointer() const
{
    QWidget* top = window();
    if (!top || !top->isVisible())
        return false;
    // Another window over the list does not count as pointing at it.
    const QPoint global = QCursor::pos();
    if (QApplication::topLevelAt(global) != top)
        return false;
    return viewport()->rect().contains(viewport()->mapFromGlobal(global));
}

void ProcessList::syncPointer()
{
    // The list stays shown under other modes and overlays, where no Leave
    // comes, so the pointer's hold is worked out again on every update.
    const bool on = monitor_.mode() == Monitor::Mode::table && !monitor_.blocking()
        && containsPointer();
    monitor_.listHold().set(InteractionHold::Reason::pointer, on);
}

void ProcessList::apply(std::vector<GroupSample> groups)
{
    controller_.groups = std::move(groups);
    if (monitor_.pendingExpand
        && controller_.expandPending(*monitor_.pendingExpand, Date::now() - monitor_.launched())) {
        monitor_.pendingExpand.reset();
        monitor_.tableState.expanded = controller_.expanded;
    }
    syncPointer();
    rebuild();
    if (!restored_ && !restoring_ && !controller_.items.empty())
        restoreScroll();
}

void ProcessList::rebuild()
{
    InteractionHold& hold = monitor_.listHold();
    const QString key = ProcessListController::arrangementKey(monitor_.sort(), monitor_.ascending(),
                                                              monitor_.filter());
    ProcessListController::Order order = controller_.order(hold.active(), key);
    // The header and the toolbar's badge say "Order paused" while the shown
    // order differs from the live one. New members of a listed group wait
    // for the release, but they are part of that difference, not a count.
    if (hold.active())
        hold.setStale(holdSlot, order.frozen && order.stale);
    reconcile(std::move(order.rows));
    updateLooks(true);
    viewport()->update();
}

std::optional<ReconcilePlan::Anchor> ProcessList::anchor() const
{
    const std::optional<int> row = selectedRow();
    if (!row)
        return std::nullopt;
    const auto it = states_.find(controller_.items[std::size_t(*row)].id);
    if (it == states_.end())
        return std::nullopt;
    const double top = it->second.top.target();
    const double bottom = top + controller_.items[std::size_t(*row)].height();
    const double from = scroll_.target();
    const double to = from + viewport()->height();
    if (!(from < bottom && top < to))
        return std::nullopt;
    return ReconcilePlan::Anchor{controller_.items[std::size_t(*row)].id, top - from};
}

void ProcessList::reconcile(std::vector<RowItem> rows)
{
    const std::vector<QString> oldIds = rowIds(controller_.items);
    const std::vector<QString> newIds = rowIds(rows);
    const bool changed = oldIds != newIds;
    const std::optional<ReconcilePlan::Anchor> mark = changed ? anchor() : std::nullopt;
    const ReconcilePlan plan =
        planReconcile(oldIds, newIds, mark, monitor_.mode() == Monitor::Mode::table);
    std::vector<RowItem> old = std::exchange(controller_.items, std::move(rows));
    if (!plan.changed)
        return;

    const std::vector<RowItem>& items = controller_.items;
    const std::vector<double> tops = rowTops(items);
    if (plan.reload) {
        if (plan.jumped && isVisible() && !viewport()->size().isEmpty()) {
            swap_ = viewport()->grab();
            swapOpacity_.set(1);
            swapOpacity_.setTarget(0, Animation::timing(Motion::ease(), Motion::quick()));
        }
        decltype(states_) next;
        next.reserve(items.size());
        for (std::size_t i = 0; i < items.size(); ++i) {
            RowState state;
            if (auto it = states_.find(items[i].id); it != states_.end())
                state = std::move(it->second);
            state.top.set(tops[i]);
            state.opacity.set(1);
            next.emplace(items[i].id, std::move(state));
        }
        states_ = std::move(next);
        leaving_.clear();
        if (auto offset = anchoredOrigin(mark, items, viewport()->height(), scroll_.target()))
            scrollTo(*offset, Animation::none(), 0.1);
        else if (scroll_.target() > maxScroll())
            scrollTo(maxScroll(), Animation::none(), 0.1);
    } else {
        monitor_.reorderBegan();
        const Animation curve = rowCurve();
        for (int index : plan.removed) {
            auto it = states_.find(old[std::size_t(index)].id);
            if (it == states_.end())
                continue;
            Leaving gone{std::move(old[std::size_t(index)]), std::move(it->second)};
            states_.erase(it);
            gone.state.opacity.setTarget(0, curve);
            leaving_.push_back(std::move(gone));
        }
        for (std::size_t i = 0; i < items.size(); ++i) {
            auto it = states_.find(items[i].id);
            if (it != states_.end()) {
                retarget(it->second.top, tops[i], curve);
                continue;
            }
            RowState state;
            state.top.set(tops[i]);
            state.opacity.set(0);
            state.opacity.setTarget(1, curve);
            states_.emplace(items[i].id, std::move(state));
        }
        if (auto offset = anchoredOrigin(mark, items, viewport()->height(), scroll_.target()))
            scrollTo(*offset, curve, Motion::standard() + 0.15);
        else if (scroll_.target() > maxScroll())
            scrollTo(maxScroll(), curve, Motion::standard() + 0.15);
    }
    animate();
}

void ProcessList::updateLooks(bool animated)
{
    const std::optional<QString>& selection = monitor_.selection();
    const std::optional<int32_t> focus = monitor_.focusPid();
    const bool reduce = reduced();
    const Animation fade = Animation::timing(Motion::ease(), Motion::quick());
    // The chevron turns on a spring with a slight bounce (damping 0.9).
    const Animation turn = Animation::spring(Motion::standard(), 0.9).unless(reduce);
    bool any = false;
    for (const RowItem& row : controller_.items) {
        auto it = states_.find(row.id);
        if (it == states_.end())
            continue;
        RowState& state = it->second;
        const bool selected = row.isGroup()
            ? selection == row.group.key
            : selection == row.groupKey && focus == row.member.pid;
        const ProcessCell::Look look = ProcessCell::look(
            row.isMember(), selected, row.isGroup() && controller_.expanded.contains(row.group.key));
        // A row seen for the first time takes its look at once.
        const bool animate = animated && state.styled;
        state.styled = true;
        retarget(state.background, look.background, animate ? fade : Animation::none());
        retarget(state.accent, look.accent, animate ? fade : Animation::none());
        retarget(state.chevron, look.chevron, animate ? turn : Animation::none());
        any = any || state.moving();
    }
    if (any)
        animate();
}

void ProcessList::updateWash(const QString& id, bool animated)
{
    auto it = states_.find(id);
    if (it == states_.end())
        return;
    const bool active = window() && window()->isActiveWindow();
    const double target = pressed_ == id ? 0.075 : (hovered_ == id && active ? 0.035 : 0);
    retarget(it->second.wash, target,
             animated ? Animation::timing(Motion::ease(), Motion::quick()) : Animation::none());
    if (it->second.wash.moving())
        animate();
    viewport()->update();
}

std::optional<int> ProcessList::selectedRow() const
{
    const std::optional<QString>& selection = monitor_.selection();
    if (!selection)
        return std::nullopt;
    const auto& items = controller_.items;
    auto find = [&](const QString& id) -> std::optional<int> {
        for (std::size_t i = 0; i < items.size(); ++i)
            if (items[i].id == id)
                return int(i);
        return std::nullopt;
    };
    if (const auto pid = monitor_.focusPid())
        if (auto row = find(QStringLiteral("m:") + QString::number(*pid)))
            return row;
    return find(QStringLiteral("g:") + *selection);
}

std::optional<double> ProcessList::drawnTop(const QString& id) const
{
    auto it = states_.find(id);
    if (it == states_.end())
        return std::nullopt;
    return it->second.top.value();
}

int ProcessList::rowAt(double viewportY) const
{
    const double y = viewportY + scroll_.value();
    const auto& items = controller_.items;
    for (std::size_t i = 0; i < items.size(); ++i) {
        auto it = states_.find(items[i].id);
        if (it == states_.end())
            continue;
        const double top = it->second.top.value();
        if (y >= top && y < top + items[i].height())
            return int(i);
    }
    return -1;
}

double ProcessList::contentHeight() const
{
    double total = 0;
    rowTops(controller_.items, &total);
    return total;
}

double ProcessList::maxScroll() const
{
    return std::max(0.0, contentHeight() - viewport()->height());
}

bool ProcessList::moving() const
{
    if (scroll_.moving() || indicator_.moving() || swapOpacity_.moving() || !leaving_.empty())
        return true;
    return std::any_of(states_.begin(), states_.end(),
                       [](const auto& entry) { return entry.second.moving(); });
}

void ProcessList::animate()
{
    if (!moving() || FrameClock::shared().subscribed(this))
        return;
    FrameClock::shared().subscribe(this, [this](double dt) {
        // Only what moves is repainted: a slide of a few rows leaves the
        // rest of the list alone.
        const double before = scroll_.value();
        const int width = viewport()->width();
        QRegion dirty;
        auto mark = [&](const RowState& state, double height) {
            dirty += QRect(0, int(std::floor(state.top.value() - before)), width,
                           int(std::ceil(height)) + 1);
        };
        auto stepRow = [&](RowState& state, double height) {
            if (!state.moving())
                return;
            mark(state, height);
            state.step(dt);
            mark(state, height);
        };
        for (auto& [id, state] : states_)
            stepRow(state, id.startsWith(QLatin1Char('m')) ? memberHeight : groupHeight);
        for (Leaving& gone : leaving_)
            stepRow(gone.state, gone.item.height());
        std::erase_if(leaving_, [](const Leaving& gone) { return !gone.state.opacity.moving(); });
        if (indicator_.moving())
            dirty += QRect(width - 8, 0, 8, viewport()->height());
        const bool whole = scroll_.moving() || swapOpacity_.moving() || !swap_.isNull();
        stepAll(dt, scroll_, indicator_, swapOpacity_);
        if (!swapOpacity_.moving() && !swap_.isNull() && swapOpacity_.value() <= 0)
            swap_ = QPixmap();
        if (scroll_.value() != before)
            monitor_.tableState.scrollY = scroll_.value();
        if (whole)
            viewport()->update();
        else if (!dirty.isEmpty())
            viewport()->update(dirty);
        return moving();
    });
}

void ProcessList::scrollTo(double offset, const Animation& animation, double ownFor)
{
    ownScrollUntil_ = now() + ownFor;
    const double clamped = std::clamp(offset, 0.0, maxScroll());
    scroll_.setTarget(clamped, animation);
    scrolled(true);
    animate();
    viewport()->update();
}

void ProcessList::scrolled(bool own)
{
    if (!restored_)
        return;
    monitor_.tableState.scrollY = scroll_.target();
    if (!own && now() > ownScrollUntil_)
        monitor_.listHold().pulse(InteractionHold::Reason::scroll, 0.2);
    if (!own) {
        // The indicator shows while the user scrolls, then fades.
        retarget(indicator_, 1, Animation::timing(Motion::ease(), Motion::quick()));
        const double until = indicatorUntil_ = now() + indicatorSeconds;
        QPointer<ProcessList> self(this);
        Scheduler::current().after(indicatorSeconds, this, [self, until] {
            if (self && self->indicatorUntil_ == until) {
                retarget(self->indicator_, 0, Animation::timing(Motion::ease(), Motion::standard()));
                self->animate();
            }
        });
        animate();
    }
}

void ProcessList::restoreScroll()
{
    restoring_ = true;
    QPointer<ProcessList> self(this);
    Scheduler::current().after(0, this, [self] {
        if (!self || self->restored_)
            return;
        Monitor& monitor = self->monitor_;
        double offset = monitor.tableState.scrollY;
        if (monitor.pendingScrollRows >= 1) {
            offset = monitor.pendingScrollRows * ProcessListController::groupHeight;
            monitor.pendingScrollRows = 0;
        }
        if (offset > 0)
            self->scroll_.set(std::min(offset, self->maxScroll()));
        self->restored_ = true;
        self->restoring_ = false;
        self->scrolled(false);
        self->viewport()->update();
    });
}

void ProcessList::scrollIntoView(int row)
{
    const std::vector<double> tops = rowTops(controller_.items);
    const double top = tops[std::size_t(row)];
    const double bottom = top + controller_.items[std::size_t(row)].height();
    double target = scroll_.target();
    if (top < target)
        target = top;
    else if (bottom > target + viewport()->height())
        target = bottom - viewport()->height();
    if (std::abs(target - scroll_.target()) > 0.5)
        scrollTo(target, Animation::timing(Motion::ease(), Motion::quick()).unless(reduced()), 0.3);
}

bool ProcessList::key(const QString& name)
{
    if (monitor_.blocking() || monitor_.mode() != Monitor::Mode::table || controller_.items.empty())
        return false;
    const auto& items = controller_.items;
    const std::optional<int> current = selectedRow();
    if (name == QLatin1String("up") || name == QLatin1String("down")) {
        int target;
        if (current) {
            target = std::clamp(*current + (name == QLatin1String("up") ? -1 : 1), 0,
                                int(items.size()) - 1);
        } else {
            // The first row of the visible area, not row 0 of a scrolled list.
            target = 0;
            const std::vector<double> tops = rowTops(items);
            for (std::size_t i = 0; i < items.size(); ++i)
                if (tops[i] + items[i].height() > scroll_.target()) {
                    target = int(i);
                    break;
                }
        }
        select(target);
        return true;
    }
    if (name == QLatin1String("left") || name == QLatin1String("right")
        || name == QLatin1String("space") || name == QLatin1String("return")) {
        if (!current)
            return false;
        const RowItem& row = items[std::size_t(*current)];
        if (row.isGroup()) {
            if (row.group.members.size() < 2)
                return true;
            const QString key = row.group.key;
            const bool open = controller_.expanded.contains(key);
            if (name == QLatin1String("space") || name == QLatin1String("return")
                || (name == QLatin1String("right") && !open)
                || (name == QLatin1String("left") && open))
                toggle(key);
            return true;
        }
        if (name == QLatin1String("left")) {
            const QString id = QStringLiteral("g:") + row.groupKey;
            for (std::size_t i = 0; i < items.size(); ++i)
                if (items[i].id == id) {
                    select(int(i));
                    break;
                }
        }
        return true;
    }
    if (name == QLatin1String("esc"))
        return monitor_.escape();
    return false;
}

void ProcessList::select(int row)
{
    const RowItem item = controller_.items[std::size_t(row)];
    if (item.isGroup()) {
        monitor_.setSelection(item.group.key);
        monitor_.setFocusPid(std::nullopt);
    } else {
        monitor_.setSelection(item.groupKey);
        monitor_.setFocusPid(item.member.pid);
    }
    monitor_.listHold().pulse(InteractionHold::Reason::keyboard, 2.0);
    ownScrollUntil_ = now() + 0.3;
    scrollIntoView(row);
    updateLooks(true);
    viewport()->update();
}

void ProcessList::onSelect(const QString& key, std::optional<int32_t> pid)
{
    if (!pid && monitor_.selection() == key) {
        monitor_.setSelection(std::nullopt);
        monitor_.setFocusPid(std::nullopt);
    } else {
        monitor_.setSelection(key);
        monitor_.setFocusPid(pid);
    }
}

void ProcessList::toggle(const QString& key)
{
    controller_.toggle(key);
    monitor_.tableState.expanded = controller_.expanded;
    rebuild();
}

void ProcessList::clicked(int row, double x)
{
    if (row < 0 || row >= int(controller_.items.size()))
        return;
    const RowItem& item = controller_.items[std::size_t(row)];
    if (item.isGroup()) {
        if (item.group.members.size() >= 2 && x < chevronWidth)
            toggle(item.group.key);
        else
            onSelect(item.group.key, std::nullopt);
    } else {
        onSelect(item.groupKey, item.member.pid);
    }
}

QMenu* ProcessList::menu(int row, QWidget* parent)
{
    if (row < 0 || row >= int(controller_.items.size()))
        return nullptr;
    const RowItem& item = controller_.items[std::size_t(row)];
    if (item.ghost)
        return nullptr;
    if (item.isGroup())
        return ProcessMenu::menu(item.group, std::nullopt, monitor_, parent);
    for (const GroupSample& group : controller_.groups)
        if (group.key == item.groupKey)
            return ProcessMenu::menu(group, item.member, monitor_, parent);
    return nullptr;
}

std::optional<Monitor::RowAnchors> ProcessList::anchors() const
{
    if (!restored_ || !window() || !isVisible())
        return std::nullopt;
    Monitor::RowAnchors result;
    QWidget* top = window();
    for (const RowItem& row : controller_.items) {
        if (!row.isGroup())
            continue;
        auto it = states_.find(row.id);
        if (it == states_.end())
            continue;
        const double y = it->second.top.value() - scroll_.value() + row.height() / 2;
        result.points.insert(row.group.key, QPointF(viewport()->mapTo(top, QPoint(0, 0)))
                                                + QPointF(37, y));
    }
    result.clip = QRectF(QRect(viewport()->mapTo(top, QPoint(0, 0)), viewport()->size()));
    return result;
}

const QImage& ProcessList::picture(const RowItem& row, const QColor& background,
                                   const std::vector<double>* spark, std::optional<Severity> flag,
                                   bool iconHidden, const Thresholds& thresholds, QSize size)
{
    Picture& picture = pictures_[row.id];
    picture.used = paints_;
    const std::size_t sparkCount = spark ? std::min<std::size_t>(spark->size(), sparkPoints) : 0;
    auto sameSpark = [&] {
        return picture.spark.size() == sparkCount
            && (!spark
                || std::equal(picture.spark.begin(), picture.spark.end(),
                              spark->end() - long(sparkCount)));
    };
    const bool same = !picture.image.isNull() && picture.size == size
        && picture.background.rgba() == background.rgba()
        && picture.item.kind == row.kind && picture.flag == flag
        && picture.iconHidden == iconHidden && picture.thresholds == thresholds
        && (row.isGroup() ? picture.item.group == row.group && sameSpark()
                          : picture.item.member == row.member);
    if (same)
        return picture.image;

    picture.item = row;
    picture.spark.clear();
    if (spark)
        picture.spark.assign(spark->end() - long(sparkCount), spark->end());
    picture.flag = flag;
    picture.iconHidden = iconHidden;
    picture.thresholds = thresholds;
    picture.size = size;
    picture.background = background;
    // Opaque, on the list's own ground, so that placing it is a plain copy.
    const qreal ratio = viewport()->devicePixelRatioF();
    if (picture.image.size() != size * ratio) {
        picture.image = QImage(size * ratio, QImage::Format_RGB32);
        picture.image.setDevicePixelRatio(ratio);
    }
    picture.image.fill(Theme::bg());
    QPainter painter(&picture.image);
    ProcessCell::Paint paint;
    paint.chrome = false;
    paint.background = background;
    ProcessCell::paintBackground(painter, QRectF(QPointF(0, 0), QSizeF(size)), paint);
    paint.spark = &picture.spark;
    paint.flag = flag;
    paint.iconHidden = iconHidden;
    paint.thresholds = &thresholds;
    const QRectF rect(QPointF(0, 0), QSizeF(size));
    if (row.isGroup())
        ProcessCell::paintGroup(painter, rect, row.group, paint);
    else
        ProcessCell::paintMember(painter, rect, row.member, paint);
    return picture.image;
}

void ProcessList::paintEvent(QPaintEvent*)
{
    QPainter painter(viewport());
    // The list paints its own ground, so nothing under it is repainted.
    painter.fillRect(viewport()->rect(), Theme::bg());
    const int width = viewport()->width();
    const double height = viewport()->height();
    const double offset = scroll_.value();
    const QHash<QString, Monitor::Series>& series = monitor_.series();
    const Thresholds& thresholds = thresholds_;
    ++paints_;
    // While rows slide, each frame places pictures of the rows drawn on the
    // first frame; at rest rows are drawn straight, which is cheaper once.
    const bool sliding = !leaving_.empty()
        || std::any_of(states_.begin(), states_.end(),
                       [](const auto& entry) { return entry.second.top.moving(); })
        || scroll_.moving();

    auto paintRow = [&](const RowItem& row, const RowState& state) {
        // Whole pixels, so that pictures are placed without resampling.
        const double top = std::round(state.top.value() - offset);
        if (top + row.height() <= 0 || top >= height)
            return;
        ProcessCell::Paint paint;
        paint.background = state.background.value();
        paint.accent = state.accent.value();
        paint.wash = state.wash.value();
        paint.chevron = state.chevron.value();
        paint.thresholds = &thresholds;
        paint.opacity = state.opacity.value() * (row.ghost ? 0.4 : 1.0);
        const QRectF rect(0, top, width, row.height());
        const std::vector<double>* spark = nullptr;
        if (row.isGroup()) {
            if (auto it = series.constFind(row.group.key); it != series.constEnd())
                spark = &it->cpu;
            if (auto it = flags_.constFind(row.group.key); it != flags_.constEnd())
                paint.flag = *it;
            paint.iconHidden = hiddenIcons_.contains(row.group.key);
        }
        paint.spark = spark;
        if (!sliding) {
            if (row.isGroup())
                ProcessCell::paintGroup(painter, rect, row.group, paint);
            else
                ProcessCell::paintMember(painter, rect, row.member, paint);
            return;
        }
        painter.setOpacity(paint.opacity);
        painter.drawImage(QPointF(0, top),
                          picture(row, paint.background, spark, paint.flag, paint.iconHidden,
                                  thresholds, QSize(width, int(row.height()))));
        if (paint.accent > 0) {
            QColor accent = Theme::cpu();
            accent.setAlphaF(float(paint.accent));
            painter.fillRect(QRectF(0, top, 2, row.height()), accent);
        }
        if (row.isGroup() && row.group.members.size() >= 2)
            ProcessCell::paintChevron(painter, rect, paint.chevron);
        ProcessCell::paintWash(painter, rect, paint);
        painter.setOpacity(1);
    };
    for (const Leaving& gone : leaving_)
        paintRow(gone.item, gone.state);
    for (const RowItem& row : controller_.items)
        if (auto it = states_.find(row.id); it != states_.end())
            paintRow(row, it->second);
    // Pictures of rows out of sight go.
    std::erase_if(pictures_, [this](const auto& entry) { return entry.second.used != paints_; });

    const double content = contentHeight();
    if (indicator_.value() > 0.01 && content > height) {
        const double bar = std::max(24.0, height * height / content);
        const double y = offset / (content - height) * (height - bar);
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

void ProcessList::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    if (scroll_.target() > maxScroll())
        scroll_.set(maxScroll());
}

void ProcessList::keyPressEvent(QKeyEvent* event)
{
    const auto name = keyName(event);
    const bool modified =
        event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (name && !modified && key(*name)) {
        event->accept();
        return;
    }
    QAbstractScrollArea::keyPressEvent(event);
}

void ProcessList::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    const int row = rowAt(event->position().y());
    if (row >= 0) {
        pressed_ = controller_.items[std::size_t(row)].id;
        updateWash(*pressed_, false);
    }
}

void ProcessList::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !pressed_) {
        QAbstractScrollArea::mouseReleaseEvent(event);
        return;
    }
    const QString id = *std::exchange(pressed_, std::nullopt);
    updateWash(id, true);
    const int row = rowAt(event->position().y());
    if (row >= 0 && controller_.items[std::size_t(row)].id == id)
        clicked(row, event->position().x());
}

void ProcessList::mouseMoveEvent(QMouseEvent* event)
{
    const int row = rowAt(event->position().y());
    std::optional<QString> id;
    if (row >= 0)
        id = controller_.items[std::size_t(row)].id;
    if (id == hovered_)
        return;
    const std::optional<QString> before = std::exchange(hovered_, id);
    if (before)
        updateWash(*before, true);
    if (id)
        updateWash(*id, true);
}

void ProcessList::leaveEvent(QEvent* event)
{
    QAbstractScrollArea::leaveEvent(event);
    if (const std::optional<QString> before = std::exchange(hovered_, std::nullopt))
        updateWash(*before, true);
}

bool ProcessList::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::Leave)
        leaveEvent(event);
    return QAbstractScrollArea::viewportEvent(event);
}

void ProcessList::wheelEvent(QWheelEvent* event)
{
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

void ProcessList::contextMenuEvent(QContextMenuEvent* event)
{
    const int row = rowAt(event->pos().y());
    std::unique_ptr<QMenu> shown(menu(row, this));
    if (shown)
        shown->exec(event->globalPos());
}

void ProcessList::hideEvent(QHideEvent* event)
{
    QAbstractScrollArea::hideEvent(event);
    // Nothing moves while hidden: every value jumps to where it was going.
    FrameClock::shared().unsubscribe(this);
    for (auto& [id, state] : states_) {
        state.top.set(state.top.target());
        state.opacity.set(state.opacity.target());
        state.background.set(state.background.target());
        state.accent.set(state.accent.target());
        state.chevron.set(state.chevron.target());
        state.wash.set(state.wash.target());
    }
    leaving_.clear();
    scroll_.set(scroll_.target());
    indicator_.set(0);
    swapOpacity_.set(0);
    swap_ = QPixmap();
}
