#include "process/process_list.h"

#include "core/outside_text.h"
#include "process/process_cell.h"
#include "process/process_menu.h"
#include "process/sparkline.h"
#include "ui/desktop_settings.h"
#include "ui/fonts.h"
#include "ui/frame_clock.h"
#include "ui/motion.h"
#include "ui/scheduler.h"
#include "ui/theme.h"
#include "ui/widget_opacity.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QCursor>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QRegion>
#include <QWheelEvent>

#include <algorithm>
#include <any>
#include <cmath>

namespace {

const QString holdSlot = QStringLiteral("list");

double now()
{
    return Scheduler::current().now();
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
    : RowList(parent), monitor_(monitor)
{
    setFocusPolicy(Qt::StrongFocus);
    pressWash = 0.075;
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

ProcessList::~ProcessList() = default;

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
    // while sliding away would stay on screen around the other views. The
    // claim also lapses while the list fades in.
    WidgetOpacity::claimGround(viewport(), monitor_.mode() == Monitor::Mode::table);
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
    return row ? anchorOf(*row) : std::nullopt;
}

void ProcessList::reconcile(std::vector<RowItem> rows)
{
    const bool changed = rowIds(controller_.items) != rowIds(rows);
    const std::optional<ReconcilePlan::Anchor> mark = changed ? anchor() : std::nullopt;
    std::vector<RowItem> old = std::exchange(controller_.items, std::move(rows));
    reconcileRows(rowSlots(controller_.items), mark, monitor_.mode() == Monitor::Mode::table,
                  [&old](int index) { return std::any(std::move(old[std::size_t(index)])); });
}

void ProcessList::reorderBegan()
{
    monitor_.reorderBegan();
}

void ProcessList::scrollStored(double offset)
{
    monitor_.tableState.scrollY = offset;
}

void ProcessList::userScrolled()
{
    monitor_.listHold().pulse(InteractionHold::Reason::scroll, 0.2);
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
        RowState* found = state(row.id);
        if (!found)
            continue;
        RowState& state = *found;
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
            self->setScrollNow(offset);
        self->restored_ = true;
        self->restoring_ = false;
        self->scrolled(false);
        self->viewport()->update();
    });
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
                if (tops[i] + items[i].height() > scrollTarget()) {
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
    ownScrollUntil = now() + 0.3;
    scrollIntoView(row, reduced());
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
        const RowState* drawn = state(row.id);
        if (!drawn)
            continue;
        const double y = drawn->top.value() - scrollOffset() + row.height() / 2;
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
    auto& picture = pictures_.at(row.id, size, viewport()->devicePixelRatioF());
    PictureKey& key = picture.key;
    const std::size_t sparkCount = spark ? std::min<std::size_t>(spark->size(), sparkPoints) : 0;
    auto sameSpark = [&] {
        return key.spark.size() == sparkCount
            && (!spark
                || std::equal(key.spark.begin(), key.spark.end(), spark->end() - long(sparkCount)));
    };
    const bool same = picture.drawn && key.background.rgba() == background.rgba()
        && key.item.kind == row.kind && key.flag == flag && key.iconHidden == iconHidden
        && key.thresholds == thresholds
        && (row.isGroup() ? key.item.group == row.group && sameSpark()
                          : key.item.member == row.member);
    if (same)
        return picture.image;

    key.item = row;
    key.spark.clear();
    if (spark)
        key.spark.assign(spark->end() - long(sparkCount), spark->end());
    key.flag = flag;
    key.iconHidden = iconHidden;
    key.thresholds = thresholds;
    key.background = background;
    picture.drawn = true;
    // Opaque, on the list's own ground, so that placing it is a plain copy.
    picture.image.fill(Theme::bg());
    QPainter painter(&picture.image);
    ProcessCell::Paint paint;
    paint.chrome = false;
    paint.background = background;
    ProcessCell::paintBackground(painter, QRectF(QPointF(0, 0), QSizeF(size)), paint);
    paint.spark = &key.spark;
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

QString ProcessList::emptyText() const
{
    if (!controller_.items.empty() || monitor_.filter().isEmpty())
        return {};
    return OutsideText::noMatch("apps", " App", monitor_.filter());
}

void ProcessList::paintEvent(QPaintEvent* event)
{
    RowList::paintEvent(event);
    // Pictures of rows out of sight go.
    pictures_.sweep();
    const QString empty = emptyText();
    if (empty.isEmpty())
        return;
    QPainter painter(viewport());
    painter.setFont(Fonts::font(12));
    painter.setPen(Theme::faint());
    painter.drawText(QRectF(viewport()->rect()).adjusted(24, 0, -24, 0),
                     Qt::AlignCenter | Qt::TextWordWrap, empty);
}

void ProcessList::paintRow(QPainter& painter, const RowPaint& row)
{
    const RowItem& item = row.leaving ? std::any_cast<const RowItem&>(*row.leaving)
                                      : controller_.items[std::size_t(row.index)];
    const RowState& state = *row.state;
    const QRectF& rect = row.rect;
    const double top = rect.top();
    ProcessCell::Paint paint;
    paint.background = state.background.value();
    paint.accent = state.accent.value();
    paint.wash = state.wash.value();
    paint.chevron = state.chevron.value();
    paint.thresholds = &thresholds_;
    paint.opacity = state.opacity.value() * (item.ghost ? 0.4 : 1.0);
    const std::vector<double>* spark = nullptr;
    if (item.isGroup()) {
        const QHash<QString, Monitor::Series>& series = monitor_.series();
        if (auto it = series.constFind(item.group.key); it != series.constEnd())
            spark = &it->cpu;
        if (auto it = flags_.constFind(item.group.key); it != flags_.constEnd())
            paint.flag = *it;
        paint.iconHidden = hiddenIcons_.contains(item.group.key);
    }
    paint.spark = spark;
    if (!row.sliding) {
        if (item.isGroup())
            ProcessCell::paintGroup(painter, rect, item.group, paint);
        else
            ProcessCell::paintMember(painter, rect, item.member, paint);
        return;
    }
    painter.setOpacity(paint.opacity);
    painter.drawImage(QPointF(0, top),
                      picture(item, paint.background, spark, paint.flag, paint.iconHidden,
                              thresholds_, QSize(int(rect.width()), int(item.height()))));
    if (paint.accent > 0) {
        QColor accent = Theme::cpu();
        accent.setAlphaF(float(paint.accent));
        painter.fillRect(QRectF(0, top, 2, item.height()), accent);
    }
    if (item.isGroup() && item.group.members.size() >= 2)
        ProcessCell::paintChevron(painter, rect, paint.chevron);
    ProcessCell::paintWash(painter, rect, paint);
    painter.setOpacity(1);
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
    RowList::keyPressEvent(event);
}
