#include "app/toolbar.h"

#include "app/mode_switch.h"
#include "core/l10n.h"
#include "ui/fonts.h"
#include "ui/frame_clock.h"
#include "ui/hold_badge.h"
#include "ui/press_button.h"
#include "ui/symbols.h"
#include "ui/theme.h"

#include <QFocusEvent>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

// ---- filter field

FilterEdit::FilterEdit(Monitor& monitor, QWidget* parent)
    : QLineEdit(parent)
    , monitor_(monitor)
{
    setFrame(false);
    setFont(Fonts::font(12));
    setAttribute(Qt::WA_MacShowFocusRect, false);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    palette.setColor(QPalette::Text, Theme::text());
    palette.setColor(QPalette::PlaceholderText, Theme::faint());
    palette.setColor(QPalette::Highlight, Theme::cpu().darker(160));
    palette.setColor(QPalette::HighlightedText, Theme::text());
    setPalette(palette);
    setText(monitor.filter());
    // Every edit writes the filter at once; the Monitor's text comes back
    // only when someone else changed it.
    connect(this, &QLineEdit::textEdited, this, [this](const QString& text) { monitor_.setFilter(text); });
    connect(&monitor, &Monitor::filterChanged, this, [this] {
        if (text() != monitor_.filter())
            setText(monitor_.filter());
    });
}

void FilterEdit::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        if (monitor_.filter().isEmpty())
            clearFocus();
        else
            monitor_.setFilter(QString());
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

FilterField::FilterField(Monitor& monitor, QWidget* parent)
    : QWidget(parent)
    , monitor_(monitor)
    , border_(borderFor(false))
{
    setFixedHeight(fieldHeight);
    edit_ = new FilterEdit(monitor, this);
    edit_->installEventFilter(this);
    clear_ = new PressButton(PressStyle::icon(PressStyle::capsule), this);
    clear_->setSymbol(QStringLiteral("xmark.circle.fill"), 11);
    clear_->setColor(Theme::faint());
    clear_->setFocusPolicy(Qt::NoFocus);
    // Clears the text only; the focus stays where it is.
    connect(clear_, &QAbstractButton::clicked, this, [this] { monitor_.setFilter(QString()); });
    connect(&monitor, &Monitor::filterChanged, this, &FilterField::sync);
    sync();
}

FilterField::~FilterField()
{
    FrameClock::shared().unsubscribe(this);
}

QColor FilterField::borderFor(bool focused)
{
    if (!focused)
        return Theme::line();
    QColor accent = Theme::cpu();
    accent.setAlphaF(0.6f);
    return accent;
}

bool FilterField::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == edit_ && (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut)) {
        border_.setTarget(borderFor(event->type() == QEvent::FocusIn),
                          Animation::timing(Motion::ease(), Motion::quick()));
        if (isVisible()) {
            FrameClock::shared().subscribe(this, [this](double dt) {
                const bool moving = border_.step(dt);
                update();
                return moving;
            });
        } else {
            border_.set(border_.target());
        }
    }
    return QWidget::eventFilter(watched, event);
}

void FilterField::sync()
{
    const bool empty = monitor_.filter().isEmpty();
    if (clear_->isHidden() != empty) {
        clear_->setVisible(!empty);
        layoutContent();
    }
}

void FilterField::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layoutContent();
}

void FilterField::layoutContent()
{
    const double symbol = 10.5;
    const int left = margin + int(std::ceil(symbol)) + spacing;
    int right = width() - margin;
    if (!clear_->isHidden()) {
        const QSize hint = clear_->sizeHint();
        clear_->setGeometry(right - hint.width(), (fieldHeight - hint.height()) / 2, hint.width(), hint.height());
        right -= hint.width() + spacing;
    }
    edit_->setGeometry(left, 0, std::max(0, right - left), fieldHeight);
}

void FilterField::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), radius, radius);
    p.fillPath(shape, Theme::panel());
    // The border lies inside the shape.
    QPainterPath inner;
    inner.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius - 0.5, radius - 0.5);
    p.setPen(QPen(border_.value(), 1));
    p.drawPath(inner);

    const double symbol = 10.5;
    Symbols::draw(p, QRectF(margin, (fieldHeight - symbol) / 2, symbol, symbol), u"magnifyingglass",
                  Theme::faint(), QFont::DemiBold);
}

// ---- toolbar

Toolbar::Toolbar(Monitor& monitor, QWidget* parent)
    : QWidget(parent)
    , monitor_(monitor)
{
    setFixedHeight(barHeight);
    field_ = new FilterField(monitor, this);
    switch_ = new ModeSwitch(monitor, this);
    auto holdOf = [&monitor](Monitor::Mode mode) -> InteractionHold* {
        switch (mode) {
        case Monitor::Mode::table: return &monitor.listHold();
        case Monitor::Mode::flow: return &monitor.flowHold();
        case Monitor::Mode::domains: return &monitor.domainsHold();
        case Monitor::Mode::ports: return &monitor.portsHold();
        case Monitor::Mode::field: break;
        }
        return nullptr;
    };
    for (Monitor::Mode mode : Monitor::allModes) {
        if (InteractionHold* hold = holdOf(mode)) {
            auto* badge = new HoldBadge(*hold, std::nullopt, this);
            badge->hide();
            badges_[std::size_t(mode)] = badge;
        }
    }

    connect(&monitor, &Monitor::modeChanged, this, &Toolbar::scheduleRefresh);
    connect(&monitor, &Monitor::snapshotChanged, this, &Toolbar::scheduleRefresh);
    connect(&monitor, &Monitor::filterChanged, this, &Toolbar::scheduleRefresh);
    refresh();
}

QString Toolbar::placeholderFor(Monitor::Mode mode)
{
    switch (mode) {
    case Monitor::Mode::table:
    case Monitor::Mode::field: return L10n::text("Filter by name or PID", "按名称或 PID 过滤");
    case Monitor::Mode::flow: return L10n::text("Filter by app, domain or port", "按 App、域名或端口过滤");
    case Monitor::Mode::domains: return L10n::text("Filter by domain or app", "按域名或 App 过滤");
    case Monitor::Mode::ports: return L10n::text("Port or process name", "端口号或进程名");
    }
    return {};
}

QString Toolbar::countText(Monitor::Mode mode, std::size_t groups, int64_t procs,
                           std::size_t connections, std::size_t listeners)
{
    switch (mode) {
    case Monitor::Mode::table:
    case Monitor::Mode::field:
        if (groups == 1)
            return (procs == 1 ? L10n::text("%1 group · %2 proc", "%1 组 · %2 进程")
                               : L10n::text("%1 group · %2 procs", "%1 组 · %2 进程"))
                .arg(groups)
                .arg(procs);
        return (procs == 1 ? L10n::text("%1 groups · %2 proc", "%1 组 · %2 进程")
                           : L10n::text("%1 groups · %2 procs", "%1 组 · %2 进程"))
            .arg(groups)
            .arg(procs);
    case Monitor::Mode::flow:
    case Monitor::Mode::domains:
        return (connections == 1 ? L10n::text("%1 connection", "%1 条连接")
                                 : L10n::text("%1 connections", "%1 条连接"))
            .arg(connections);
    case Monitor::Mode::ports:
        return (listeners == 1 ? L10n::text("%1 listening port", "%1 个监听端口")
                               : L10n::text("%1 listening ports", "%1 个监听端口"))
            .arg(listeners);
    }
    return {};
}

Toolbar::Model Toolbar::build(Monitor& monitor)
{
    const Monitor::Mode mode = monitor.mode();
    const Snapshot& snapshot = monitor.snapshot();
    Model model;
    model.placeholder = placeholderFor(mode);
    // Only the list and the field count groups; the others need no rows.
    const bool grouped = mode == Monitor::Mode::table || mode == Monitor::Mode::field;
    model.count = countText(mode, grouped ? monitor.rows().size() : 0, int64_t(snapshot.system.procCount),
                            snapshot.connections.size(), snapshot.listeners.size());
    if (mode != Monitor::Mode::field)
        model.hold = mode;
    return model;
}

QFont Toolbar::countFont()
{
    return Fonts::mono(10);
}

HoldBadge* Toolbar::badge(Monitor::Mode mode) const
{
    return badges_[std::size_t(mode)];
}

void Toolbar::scheduleRefresh()
{
    refreshGate_.schedule();
}

void Toolbar::refresh()
{
    Model next = build(monitor_);
    if (next == model_)
        return;
    model_ = std::move(next);
    field_->edit()->setPlaceholderText(model_.placeholder);
    for (Monitor::Mode mode : Monitor::allModes)
        if (HoldBadge* b = badge(mode))
            b->setVisible(model_.hold == mode);
    layoutItems();
    update();
}

QSize Toolbar::sizeHint() const
{
    return {margin * 2 + FilterField::maximumWidth + spacing + switch_->sizeHint().width(), barHeight};
}

QSize Toolbar::minimumSizeHint() const
{
    return {margin * 2 + FilterField::minimumWidth + spacing + switch_->widthFor(true), barHeight};
}

bool Toolbar::event(QEvent* event)
{
    // A badge whose text came or went asks for room.
    if (event->type() == QEvent::LayoutRequest)
        layoutItems();
    return QWidget::event(event);
}

void Toolbar::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layoutItems();
}

void Toolbar::layoutItems()
{
    // Too narrow for the field at its least beside the whole switch (a
    // small window with the inspector open): the switch shows its symbols
    // only. Narrower still, the field shrinks; nothing overlaps.
    const int beside = width() - 2 * margin - spacing - FilterField::minimumWidth;
    switch_->setCompact(beside < switch_->widthFor(false));
    const QSize switchSize = switch_->sizeHint();
    const int switchLeft = width() - margin - switchSize.width();
    switch_->setGeometry(switchLeft, (barHeight - switchSize.height()) / 2, switchSize.width(),
                         switchSize.height());

    HoldBadge* shownBadge = model_.hold ? badge(*model_.hold) : nullptr;
    const int badgeWidth = shownBadge ? shownBadge->sizeHint().width() : 0;
    const int countWidth = int(std::ceil(QFontMetricsF(countFont()).horizontalAdvance(model_.count)));

    // The field shrinks first, down to its minimum; then the count goes whole.
    // A shown badge keeps its room before the field keeps its minimum: the
    // field then gives way down to its floor, so "Order paused" reads whole,
    // and, where the floor leaves room for it, so that the count stays
    // beside it rather than going when the badge comes.
    const int room = switchLeft - spacing - margin;
    const int badgeRoom = badgeWidth > 0 ? spacing + badgeWidth : 0;
    int least = std::min(FilterField::minimumWidth, room - badgeRoom);
    if (badgeWidth > 0 && room - badgeRoom - spacing - countWidth >= FilterField::floorWidth)
        least = std::min(least, room - badgeRoom - spacing - countWidth);
    least = std::max(least, FilterField::floorWidth);
    const int extras = spacing + countWidth + badgeRoom;
    const int fieldWidth = std::min(std::clamp(room - extras, least, FilterField::maximumWidth), std::max(0, room));
    field_->setGeometry(margin, (barHeight - FilterField::fieldHeight) / 2, fieldWidth, FilterField::fieldHeight);

    // The badge says the order is held: it keeps its room, and the count
    // gives way before it is squeezed.
    int x = margin + fieldWidth + spacing;
    const bool wasShown = countShown_;
    const QRectF wasRect = countRect_;
    countShown_ = x + countWidth + (badgeWidth > 0 ? spacing + badgeWidth : 0) <= switchLeft - spacing;
    countRect_ = countShown_ ? QRectF(x, 0, countWidth, barHeight) : QRectF();
    // A badge that comes or goes moves the count without a refresh: the
    // bar repaints it where it was and where it is now, or the old text
    // stays beside the new.
    if (countShown_ != wasShown || countRect_ != wasRect)
        update();
    if (countShown_)
        x += countWidth + spacing;
    if (shownBadge) {
        // Whole or not at all: a cut "Order paused" reads as nonsense.
        const QSize hint = shownBadge->sizeHint();
        const int fits = hint.width() <= switchLeft - spacing - x ? hint.width() : 0;
        shownBadge->setGeometry(x, (barHeight - hint.height()) / 2, fits, hint.height());
    }
}

void Toolbar::paintEvent(QPaintEvent*)
{
    if (!countShown_)
        return;
    QPainter p(this);
    p.setFont(countFont());
    p.setPen(Theme::faint());
    p.drawText(countRect_, Qt::AlignLeft | Qt::AlignVCenter, model_.count);
}
