#include "app/incident_drawer.h"

#include "core/fmt.h"
#include "core/l10n.h"
#include "model/monitor.h"
#include "ui/clipboard.h"
#include "ui/fonts.h"
#include "ui/frame_clock.h"
#include "ui/hold_badge.h"
#include "ui/motion.h"
#include "ui/panel_label.h"
#include "ui/press_button.h"
#include "ui/row_feedback.h"
#include "ui/symbols.h"
#include "ui/theme.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

bool systemWide(Incident::Kind kind)
{
    return kind == Incident::Kind::systemCPU || kind == Incident::Kind::memoryPressure
        || kind == Incident::Kind::systemFiles;
}

QFont timeFont() { return Fonts::mono(10); }
QFont subjectFont() { return Fonts::font(11.5, QFont::DemiBold); }
QFont titleFont() { return Fonts::font(11.5); }
QFont contributorsFont() { return Fonts::mono(9.5); }
QFont peakFont() { return Fonts::mono(10.5, QFont::Medium); }
QFont durationFont() { return Fonts::mono(10); }

constexpr double rowSpacing = IncidentRowFit::spacing;

QString wholeCaption()
{
    return L10n::text("Black box · Incidents", "黑匣子 · 异常事件");
}

QString shortCaption()
{
    return L10n::text("Black box", "黑匣子");
}

// The start without its date, for a row too short for both.
QString timeOfDay(Date date)
{
    const auto ms = qint64(std::llround(date.unix() * 1000));
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("HH:mm:ss"));
}

} // namespace

// ---- texts

QString IncidentDrawer::subjectText(const Incident& incident)
{
    return systemWide(incident.kind) ? L10n::text("System", "整机") : incident.subject;
}

QString IncidentDrawer::durationText(const Incident& incident)
{
    if (!incident.end)
        return L10n::text("ongoing", "进行中");
    if (*incident.end == incident.start)
        return QStringLiteral("—");
    return Fmt::duration(*incident.end - incident.start);
}

QString IncidentDrawer::clockText(Date date)
{
    const auto ms = qint64(std::llround(date.unix() * 1000));
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("MM-dd HH:mm:ss"));
}

QString IncidentDrawer::summary(const Incident& incident)
{
    return QStringList{clockText(incident.start), subjectText(incident), incident.title(),
                       incident.peakText}
        .join(QStringLiteral("  "));
}

QString IncidentDrawer::newIncidentsText(int withheld)
{
    if (L10n::isChinese())
        return QStringLiteral("%1 条新事件").arg(withheld);
    if (withheld == 1)
        return QStringLiteral("1 new incident");
    return QStringLiteral("%1 new incidents").arg(withheld);
}

QString IncidentDrawer::emptyText()
{
    return L10n::text("No incidents yet. They are logged here when CPU, memory, threads, file "
                      "handles or traffic cross a threshold.",
                      "尚未记录到异常。处理器、内存、线程、句柄或流量超过阈值时，事件将记录在此。");
}

IncidentDrawer::Model IncidentDrawer::build(const Monitor& monitor,
                                            const std::vector<Incident>& arranged)
{
    Model model;
    const auto& incidents = monitor.incidents();
    model.open = monitor.drawerOpen();
    model.count = QString::number(incidents.size());
    model.clearEnded = model.open
        && std::any_of(incidents.begin(), incidents.end(),
                       [](const Incident& incident) { return !incident.isOpen(); });
    if (!model.open)
        return model;
    if (incidents.empty()) {
        model.empty = emptyText();
        return model;
    }
    model.rows.reserve(arranged.size());
    for (const Incident& incident : arranged) {
        Row row;
        row.id = incident.id;
        row.tint = incident.severity == Severity::critical ? Theme::crit() : Theme::warn();
        row.open = incident.isOpen();
        row.clickable = incident.groupKey.has_value();
        row.time = clockText(incident.start);
        row.clock = timeOfDay(incident.start);
        row.subject = subjectText(incident);
        row.title = incident.title();
        row.contributors = incident.contributors.join(QStringLiteral("  "));
        row.peak = incident.peakText;
        row.duration = durationText(incident);
        model.rows.push_back(std::move(row));
    }
    return model;
}

QFont IncidentDrawer::captionFont()
{
    return PanelLabel::captionFont();
}

QString IncidentDrawer::captionText(double room)
{
    const QFontMetricsF metrics(captionFont());
    const QString whole = wholeCaption();
    if (metrics.horizontalAdvance(whole) <= room)
        return whole;
    const QString short_ = shortCaption();
    if (metrics.horizontalAdvance(short_) <= room)
        return short_;
    const QString cut = Fonts::elided(metrics, short_, Qt::ElideRight, room);
    // Only the ellipsis left says nothing.
    return cut.size() > 1 ? cut : QString();
}

IncidentRowFit::Widths IncidentDrawer::measure(const Row& row)
{
    const auto width = [](const QFont& font, const QString& text) {
        return text.isEmpty() ? 0.0 : QFontMetricsF(font).horizontalAdvance(text);
    };
    IncidentRowFit::Widths w;
    w.time = width(timeFont(), row.time);
    w.clock = width(timeFont(), row.clock);
    w.subject = width(subjectFont(), row.subject);
    w.title = width(titleFont(), row.title);
    w.contributors = width(contributorsFont(), row.contributors);
    w.peak = width(peakFont(), row.peak);
    w.duration = width(durationFont(), row.duration);
    return w;
}

// ---- the fold button: chevron, caption and count

class IncidentDrawer::FoldButton : public PressButton {
public:
    explicit FoldButton(IncidentDrawer& drawer)
        : PressButton(PressStyle::text(), &drawer)
        , drawer_(drawer)
    {
        setColor(Theme::dim());
        // Beside the badge and "Clear ended" on a narrow drawer, the
        // caption gives way: the button may shrink to its chevron and count.
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    }

    void relabel()
    {
        updateGeometry();
        update();
    }

    QSize minimumSizeHint() const override
    {
        const QSize whole = sizeHint();
        const QMargins m = contentsMargins();
        const double least = (chevronSize + spacing + countWidth() + m.left() + m.right())
            * style().maxScale();
        return {std::min(whole.width(), int(std::ceil(least))), whole.height()};
    }

protected:
    double countWidth() const
    {
        return QFontMetricsF(Fonts::mono(9.5)).horizontalAdvance(drawer_.model().count);
    }

    QSizeF labelSize() const override
    {
        const QFontMetricsF captionMetrics(captionFont());
        const QFontMetricsF countMetrics(Fonts::mono(9.5));
        const double w = chevronSize + spacing
            + captionMetrics.horizontalAdvance(wholeCaption()) + spacing + countWidth();
        return {w, std::max(captionMetrics.height(), countMetrics.height())};
    }

    void paintLabel(QPainter& p, const QRectF& box, const QColor& color) override
    {
        p.save();
        p.translate(box.left() + chevronSize / 2, box.center().y());
        p.rotate(drawer_.chevron_.value());
        Symbols::draw(p, QRectF(-chevronSize / 2, -chevronSize / 2, chevronSize, chevronSize),
                      u"chevron.down", color, QFont::Bold);
        p.restore();

        // The count always shows; the caption takes the room left.
        double x = box.left() + chevronSize + spacing;
        const double count = countWidth();
        const QString text = captionText(box.right() - x - spacing - count);
        if (!text.isEmpty()) {
            p.setFont(captionFont());
            p.setPen(color);
            const double captionWidth = QFontMetricsF(p.font()).horizontalAdvance(text);
            p.drawText(QRectF(x, box.top(), captionWidth + 1, box.height()),
                       Qt::AlignLeft | Qt::AlignVCenter, text);
            x += captionWidth + spacing;
        }
        p.setFont(Fonts::mono(9.5));
        p.setPen(Theme::faint());
        p.drawText(QRectF(x, box.top(), count + 1, box.height()),
                   Qt::AlignLeft | Qt::AlignVCenter, drawer_.model().count);
    }

private:
    static constexpr double chevronSize = 8;
    static constexpr double spacing = 6;
    IncidentDrawer& drawer_;
};

// ---- one row

class IncidentDrawer::RowView : public QWidget {
public:
    RowView(IncidentDrawer& drawer, const Row& row, QWidget* parent)
        : QWidget(parent)
        , drawer_(drawer)
        , row_(row)
    {
        const QUuid id = row.id;
        if (row.clickable) {
            rowFeedback(this, 0, [this, id] { drawer_.showInInspector(id); });
            linkCursor(this);
        } else {
            rowFeedback(this, 0);
        }
    }

    const Row& row() const { return row_; }
    void setRow(const Row& row)
    {
        if (row == row_)
            return;
        row_ = row;
        update();
    }
    void setFit(const IncidentRowFit& fit)
    {
        if (fit == fit_)
            return;
        fit_ = fit;
        update();
    }

protected:
    void contextMenuEvent(QContextMenuEvent* event) override
    {
        QMenu* menu = drawer_.contextMenu(row_.id, this);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(event->globalPos());
    }

    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.fillRect(rect(), Theme::panel());
        p.setRenderHint(QPainter::Antialiasing);
        const double h = height();
        const double mid = h / 2;

        // The dot: a ring inside its edge, filled while the incident is open.
        const QRectF dot(margin + 0.5, mid - dotSize / 2 + 0.5, dotSize - 1, dotSize - 1);
        p.setPen(QPen(row_.tint, 1));
        p.setBrush(row_.open ? QBrush(row_.tint) : QBrush(Qt::NoBrush));
        p.drawEllipse(dot);

        // Each text gets the width the fit gives it, cut with an ellipsis
        // when that is less than its own.
        const auto draw = [&](const QRectF& box, const QString& s, const QFont& font,
                              const QColor& color, Qt::Alignment align, Qt::TextElideMode mode) {
            if (s.isEmpty() || box.width() <= 0)
                return;
            const QFontMetricsF metrics(font);
            const QString shown = metrics.horizontalAdvance(s) <= box.width()
                ? s
                : Fonts::elided(metrics, s, mode, box.width());
            p.setFont(font);
            p.setPen(color);
            p.drawText(box.adjusted(0, 0, 1, 0), align | Qt::AlignVCenter, shown);
        };

        const double right = width() - margin;
        const QRectF durationBox(right - fit_.durationColumn, 0, fit_.durationColumn, h);
        draw(durationBox, row_.duration, durationFont(), row_.open ? row_.tint : Theme::faint(),
             Qt::AlignRight, Qt::ElideRight);
        // Both ends of a figure tell: a long one is cut in its middle.
        const double peakLeft = durationBox.left() - rowSpacing - fit_.peak;
        draw(QRectF(peakLeft, 0, fit_.peak, h), row_.peak, peakFont(), row_.tint, Qt::AlignLeft,
             Qt::ElideMiddle);

        double x = IncidentRowFit::leadingLeft;
        const auto text = [&](const QString& s, double w, const QFont& font, const QColor& color) {
            if (s.isEmpty() || w <= 0)
                return;
            draw(QRectF(x, 0, w, h), s, font, color, Qt::AlignLeft, Qt::ElideRight);
            x += w + rowSpacing;
        };
        using Time = IncidentRowFit::Time;
        if (fit_.time != Time::none) {
            const QString& time = fit_.time == Time::full ? row_.time : row_.clock;
            text(time, QFontMetricsF(timeFont()).horizontalAdvance(time), timeFont(), Theme::faint());
        }
        text(row_.subject, fit_.subject, subjectFont(), Theme::text());
        text(row_.title, fit_.title, titleFont(), Theme::dim());
        text(row_.contributors, fit_.contributors, contributorsFont(), Theme::faint());
    }

private:
    IncidentDrawer& drawer_;
    Row row_;
    IncidentRowFit fit_;
};

// ---- the drawer

IncidentDrawer::IncidentDrawer(Monitor& monitor, QWidget* parent)
    : QWidget(parent)
    , monitor_(monitor)
    , hold_(QStringLiteral("incidents"))
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    chevron_.set(monitor.drawerOpen() ? 0 : -90);
    openness_.set(monitor.drawerOpen() ? 1 : 0);

    auto* column = new QVBoxLayout(this);
    // The drawer is shorter than its body while it folds; the body is cut
    // off at its foot rather than squeezed.
    column->setSizeConstraint(QLayout::SetNoConstraint);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* header = new QWidget(this);
    header->setFixedHeight(headerHeight);
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(margin, 0, margin, 0);
    row->setSpacing(8);
    fold_ = new FoldButton(*this);
    connect(fold_, &QAbstractButton::clicked, this,
            [this] { monitor_.setDrawerOpen(!monitor_.drawerOpen()); });
    row->addWidget(fold_);
    badge_ = new HoldBadge(hold_, newIncidentsText(0), header);
    row->addWidget(badge_);
    row->addStretch(1);
    clear_ = new PressButton(PressStyle::text(), QString(), header);
    clear_->setLabelFont(Fonts::font(10.5));
    clear_->setColor(Theme::dim());
    clear_->hide();
    connect(clear_, &QAbstractButton::clicked, &monitor_, &Monitor::clearIncidents);
    row->addWidget(clear_);
    column->addWidget(header);

    empty_ = new QLabel(this);
    empty_->setTextFormat(Qt::PlainText);
    empty_->setWordWrap(true);
    empty_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    empty_->setFont(Fonts::font(11));
    QPalette faint = empty_->palette();
    faint.setColor(QPalette::WindowText, Theme::faint());
    empty_->setPalette(faint);
    empty_->setContentsMargins(margin, 0, margin, margin);
    empty_->hide();
    column->addWidget(empty_);

    scroll_ = new QScrollArea(this);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setFixedHeight(listHeight);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setWidgetResizable(false);
    list_ = new QWidget;
    list_->setAutoFillBackground(true);
    QPalette panel = list_->palette();
    panel.setColor(QPalette::Window, Theme::panel());
    list_->setPalette(panel);
    scroll_->viewport()->setPalette(panel);
    scroll_->setWidget(list_);
    scroll_->viewport()->installEventFilter(this);
    scroll_->hide();
    column->addWidget(scroll_);
    column->addStretch(1);
    hold_.holds(scroll_);

    connect(&monitor, &Monitor::incidentsChanged, this, &IncidentDrawer::scheduleRefresh);
    connect(&monitor, &Monitor::drawerOpenChanged, this, &IncidentDrawer::scheduleRefresh);
    connect(&monitor, &Monitor::prefsChanged, this, &IncidentDrawer::scheduleRefresh);
    // The frozen order ends with the hold; the badge's count follows it.
    connect(&hold_, &InteractionHold::activeChanged, this, &IncidentDrawer::scheduleRefresh);
    connect(&hold_, &InteractionHold::withheldChanged, this, &IncidentDrawer::scheduleRefresh);
    refresh();
}

IncidentDrawer::~IncidentDrawer()
{
    FrameClock::shared().unsubscribe(this);
}

std::vector<QWidget*> IncidentDrawer::rowViews() const
{
    std::vector<QWidget*> views;
    for (const Row& row : model_.rows)
        if (auto view = rowViews_.value(row.id))
            views.push_back(view);
    return views;
}

void IncidentDrawer::scheduleRefresh()
{
    refreshGate_.schedule();
}

void IncidentDrawer::refresh()
{
    arranged_ = hold_.arrange(monitor_.incidents(), QString(), 0, false, false,
                              [](const Incident& incident) { return incident.id; });
    badge_->setNewItems(newIncidentsText(hold_.withheld()));
    clear_->setText(L10n::text("Clear ended", "清除已结束"));

    Model next = build(monitor_, arranged_);
    if (next == model_)
        return;
    const bool folded = next.open != model_.open;
    model_ = std::move(next);

    static_cast<FoldButton*>(fold_)->relabel();
    if (folded) {
        chevron_.setTarget(model_.open ? 0 : -90, Animation::spring(Motion::standard()));
        openness_.setTarget(model_.open ? 1 : 0, Animation::spring(Motion::standard()));
    }
    if (model_.clearEnded != (clearShown_.target() > 0))
        clearShown_.setTarget(model_.clearEnded ? 1 : 0, Animation::ease());
    clear_->setAttribute(Qt::WA_TransparentForMouseEvents, !model_.clearEnded);
    // What was there stays while the body folds away.
    if (model_.open || !openness_.moving())
        applyBody();
    animate();
    updateGeometry();
    update();
}

void IncidentDrawer::applyBody()
{
    empty_->setVisible(model_.empty.has_value());
    if (model_.empty)
        empty_->setText(*model_.empty);
    scroll_->setVisible(!model_.rows.empty());

    // Rows keep their widgets by id, so hover and press survive an intake.
    QHash<QUuid, QPointer<RowView>> kept;
    for (const Row& row : model_.rows) {
        QPointer<RowView> view = rowViews_.take(row.id);
        if (view && view->row().clickable != row.clickable)
            delete view.data();
        if (!view) {
            view = new RowView(*this, row, list_);
            view->show();
        }
        view->setRow(row);
        kept.insert(row.id, view);
    }
    for (auto& gone : rowViews_)
        delete gone.data();
    rowViews_ = std::move(kept);
    layoutRows();
}

void IncidentDrawer::layoutRows()
{
    const int w = scroll_->viewport()->width();
    list_->resize(w, int(model_.rows.size()) * rowHeight);
    std::vector<IncidentRowFit::Widths> widths;
    widths.reserve(model_.rows.size());
    for (const Row& row : model_.rows)
        widths.push_back(measure(row));
    const std::vector<IncidentRowFit> fits = IncidentRowFit::fit(widths, w);
    int y = 0;
    for (std::size_t i = 0; i < model_.rows.size(); ++i) {
        if (auto view = rowViews_.value(model_.rows[i].id)) {
            view->setFit(fits[i]);
            view->setGeometry(0, y, w, rowHeight);
        }
        y += rowHeight;
    }
}

void IncidentDrawer::animate()
{
    if (!isVisible() || !(chevron_.moving() || openness_.moving() || clearShown_.moving())) {
        settle();
        return;
    }
    showClear();
    FrameClock::shared().subscribe(this, [this](double dt) {
        const bool moving = stepAll(dt, chevron_, openness_, clearShown_);
        if (!moving) {
            settle();
            return false;
        }
        fold_->update();
        showClear();
        updateGeometry();
        return true;
    });
}

// Ends every motion where it is heading.
void IncidentDrawer::settle()
{
    FrameClock::shared().unsubscribe(this);
    chevron_.set(chevron_.target());
    openness_.set(openness_.target());
    clearShown_.set(clearShown_.target());
    // Folded away: the last rows go now.
    if (!model_.open)
        applyBody();
    showClear();
    fold_->update();
    updateGeometry();
}

// "Clear ended" at its opacity; hidden once it has faded out.
void IncidentDrawer::showClear()
{
    const double opacity = std::clamp(clearShown_.value(), 0.0, 1.0);
    const bool shown = opacity > 0 || clearShown_.target() > 0;
    clear_->setVisible(shown);
    auto* effect = qobject_cast<QGraphicsOpacityEffect*>(clear_->graphicsEffect());
    if (opacity >= 1 || !shown) {
        if (effect)
            clear_->setGraphicsEffect(nullptr);
        return;
    }
    if (!effect) {
        effect = new QGraphicsOpacityEffect(clear_);
        clear_->setGraphicsEffect(effect);
    }
    effect->setOpacity(opacity);
}

void IncidentDrawer::hideEvent(QHideEvent* event)
{
    settle();
    QWidget::hideEvent(event);
}

bool IncidentDrawer::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == scroll_->viewport() && event->type() == QEvent::Resize)
        layoutRows();
    return QWidget::eventFilter(watched, event);
}

void IncidentDrawer::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // The empty-state text wraps, so its height follows the width.
    if (model_.empty)
        updateGeometry();
}

int IncidentDrawer::bodyHeight() const
{
    // What the body shows now: while folding away, still the last rows.
    // The empty-state text wraps at the width the drawer was given; before
    // it is given one, at its own.
    if (empty_->isVisibleTo(this))
        return empty_->heightForWidth(testAttribute(Qt::WA_Resized) ? width() : hintWidth);
    if (scroll_->isVisibleTo(this))
        return listHeight;
    return 0;
}

QSize IncidentDrawer::sizeHint() const
{
    const double openness = std::clamp(openness_.value(), 0.0, 1.0);
    return {hintWidth, headerHeight + int(std::lround(bodyHeight() * openness))};
}

void IncidentDrawer::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), Theme::panel());
}

const Incident* IncidentDrawer::find(const QUuid& id) const
{
    for (const Incident& incident : arranged_)
        if (incident.id == id)
            return &incident;
    return nullptr;
}

QMenu* IncidentDrawer::contextMenu(const QUuid& id, QWidget* parent)
{
    auto* menu = new QMenu(parent);
    const Incident* incident = find(id);
    if (!incident)
        return menu;
    menu->addAction(L10n::text("Copy Summary", "复制事件摘要"), this,
                    [this, id] { copySummary(id); });
    if (incident->groupKey)
        menu->addAction(L10n::text("Show in Inspector", "在检查器中查看"), this,
                        [this, id] { showInInspector(id); });
    return menu;
}

void IncidentDrawer::showInInspector(const QUuid& id)
{
    const Incident* incident = find(id);
    if (!incident || !incident->groupKey)
        return;
    const Incident chosen = *incident;
    monitor_.setSelection(chosen.groupKey);
    monitor_.setFocusPid(chosen.pid);
}

void IncidentDrawer::copySummary(const QUuid& id)
{
    if (const Incident* incident = find(id))
        copyPlain(summary(*incident));
}
