#include "network/flow_view.h"

#include "core/l10n.h"
#include "core/outside_text.h"
#include "model/monitor.h"
#include "network/flow_layout.h"
#include "network/flow_ribbons_view.h"
#include "network/ports_model.h"
#include "ui/clipboard.h"
#include "ui/fonts.h"
#include "ui/frame_clock.h"
#include "ui/icons.h"
#include "ui/interaction_hold.h"
#include "ui/motion.h"
#include "ui/plain_text.h"
#include "ui/press_button.h"
#include "ui/process_icon.h"
#include "ui/row_feedback.h"
#include "ui/theme.h"

#include <QContextMenuEvent>
#include <QFontMetricsF>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <memory>
#include <cmath>

using Scope = Connection::Scope;

namespace {

constexpr std::array allScopes{Scope::internet, Scope::lan, Scope::loopback};

QString scopeTitle(Scope scope)
{
    switch (scope) {
    case Scope::internet: return L10n::text("Internet", "互联网");
    case Scope::lan: return L10n::text("LAN", "局域网");
    case Scope::loopback: return L10n::text("Loopback", "本机回环");
    }
    return {};
}

Animation quickEase()
{
    return Animation::timing(Motion::ease(), Motion::quick());
}

QFont titleFont() { return Fonts::font(11.5, QFont::Medium); }
QFont detailFont() { return Fonts::mono(9); }

} // namespace

// A scope chip: a capsule filled in the network colour while its scope is
// on, a bordered panel capsule while off; the change eases over the quick
// timing.
class FlowChip final : public PressButton {
public:
    static constexpr int padding = 9;
    static constexpr int chipHeight = 21;

    FlowChip(Scope scope, QWidget* parent)
        : PressButton(PressStyle::surface(PressStyle::capsule), parent)
        , scope_(scope)
    {
        setFocusPolicy(Qt::NoFocus);
        setContentsMargins(padding, 0, padding, 0);
        setLabelFont(Fonts::font(10.5, QFont::Medium));
    }

    Scope scope() const { return scope_; }
    bool on() const { return on_.value_or(false); }

    void present(bool on)
    {
        if (on_ == on)
            return;
        const Animation animation = on_ && isVisible() ? quickEase() : Animation::none();
        on_ = on;
        QColor clear = Theme::line();
        clear.setAlphaF(0);
        ink_.setTarget(on ? Theme::bg() : Theme::dim(), animation);
        fill_.setTarget(on ? Theme::net() : Theme::panel(), animation);
        border_.setTarget(on ? clear : Theme::line(), animation);
        if (!ink_.moving() || !isVisible()) {
            finish();
            return;
        }
        FrameClock::shared().subscribe(&clock_, [this](double dt) {
            const bool still = stepAll(dt, ink_, fill_, border_);
            update();
            return still;
        });
    }

    QSize sizeHint() const override
    {
        const QSize hint = PressButton::sizeHint();
        return {hint.width(), chipHeight};
    }

protected:
    void paintLabel(QPainter& p, const QRectF& box, const QColor& color) override
    {
        const QRectF capsule = restingRect();
        const double radius = capsule.height() / 2;
        p.setPen(Qt::NoPen);
        p.setBrush(fill_.value());
        p.drawRoundedRect(capsule, radius, radius);
        const QColor border = border_.value();
        if (border.alpha() > 0) {
            // Inside the edge, like the panel's other bordered controls.
            p.setPen(QPen(border, 1));
            p.setBrush(Qt::NoBrush);
            const QRectF inner = capsule.adjusted(0.5, 0.5, -0.5, -0.5);
            p.drawRoundedRect(inner, inner.height() / 2, inner.height() / 2);
        }
        // The hover brightening of bare text does not apply: the ink is the
        // chip's own.
        Q_UNUSED(color);
        PressButton::paintLabel(p, box, ink_.value());
    }

    void hideEvent(QHideEvent* event) override
    {
        finish();
        PressButton::hideEvent(event);
    }

private:
    void finish()
    {
        ink_.set(ink_.target());
        fill_.set(fill_.target());
        border_.set(border_.target());
        FrameClock::shared().unsubscribe(&clock_);
        update();
    }

    Scope scope_;
    std::optional<bool> on_;
    AnimatedColor ink_;
    AnimatedColor fill_;
    AnimatedColor border_;
    QObject clock_;
};

// ---- the view

FlowView::FlowView(Monitor& monitor, double rowHeight, double labelWidth, QWidget* parent)
    : QWidget(parent)
    , monitor_(monitor)
    , rowHeight_(rowHeight > 0 ? rowHeight : 36)
    , labelWidth_(std::max(labelWidth, 0.0))
{
    for (Scope scope : allScopes) {
        auto* chip = new FlowChip(scope, this);
        connect(chip, &QAbstractButton::clicked, this, [this, scope] { toggleScope(scope); });
        chips_.push_back(chip);
    }
    auto label = [this](const QFont& font) {
        auto* l = new QLabel(this);
        l->setTextFormat(Qt::PlainText);
        l->setFont(font);
        QPalette palette = l->palette();
        palette.setColor(QPalette::WindowText, Theme::faint());
        l->setPalette(palette);
        return l;
    };
    hidden_ = label(Fonts::mono(9.5));
    legend_ = label(Fonts::font(9.5, QFont::DemiBold, Fonts::Face::ui, Fonts::Width::condensed, 0.6));
    empty_ = label(Fonts::font(12));
    empty_->setAlignment(Qt::AlignCenter);
    empty_->setWordWrap(true);
    empty_->hide();

    graphArea_ = new QWidget(this);
    ribbons_ = new FlowRibbonsView(graphArea_);
    ribbons_->setRowHeight(rowHeight_);
    monitor.flowHold().holds(graphArea_);

    connect(&monitor, &Monitor::snapshotChanged, this, &FlowView::scheduleRefresh);
    connect(&monitor, &Monitor::filterChanged, this, &FlowView::scheduleRefresh);
    connect(&monitor, &Monitor::modeChanged, this, &FlowView::scheduleRefresh);
    connect(&monitor, &Monitor::prefsChanged, this, &FlowView::scheduleRefresh);
    // The end of a hold shows the live order at once.
    connect(&monitor.flowHold(), &InteractionHold::activeChanged, this, &FlowView::scheduleRefresh);
    retranslate();
    styleChips();
    refresh();
}

FlowView::~FlowView()
{
    monitor_.flowHold().set(InteractionHold::Reason::pointer, false);
}

PressButton* FlowView::chip(Scope scope) const
{
    for (PressButton* c : chips_)
        if (static_cast<FlowChip*>(c)->scope() == scope)
            return c;
    return nullptr;
}

FlowNodeRow* FlowView::row(const QString& id) const
{
    return rows_.value(id, nullptr);
}

void FlowView::toggleScope(Scope scope)
{
    if (!scopes_.erase(scope))
        scopes_.insert(scope);
    styleChips();
    refresh();
}

void FlowView::setFocusNode(const std::optional<QString>& id)
{
    if (focus_ == id)
        return;
    focus_ = id;
    apply();
}

void FlowView::leaveNode(const QString& id)
{
    // Moving straight to the next row may report that row first.
    if (focus_ == id)
        setFocusNode(std::nullopt);
}

FlowGraph FlowView::build(int capacity)
{
    FlowGraph::Input input;
    input.connections = &monitor_.snapshot().connections;
    input.owners = &monitor_.owners();
    input.filter = monitor_.filter();
    input.scopes = scopes_;
    input.capacity = capacity;
    input.service = Ports::service;
    return FlowGraph::build(input, monitor_.flowHold());
}

bool FlowView::linked(const QString& id, const std::optional<QString>& focus,
                      const std::vector<FlowEdge>& edges)
{
    if (!focus)
        return false;
    return std::any_of(edges.begin(), edges.end(), [&](const FlowEdge& e) {
        return (e.from == *focus && e.to == id) || (e.to == *focus && e.from == id);
    });
}

double FlowView::nodeOpacity(const FlowNode& node, const std::optional<QString>& focus,
                             const std::vector<FlowEdge>& edges)
{
    const double base = node.departed ? 0.4 : 1;
    const bool near = !focus || *focus == node.id || linked(node.id, focus, edges);
    return base * (near ? 1 : 0.3);
}

QString FlowView::hiddenText(int hidden)
{
    if (hidden < 1)
        return {};
    return L10n::text("%1 lower-traffic nodes not shown", "另有 %1 个流量较低的节点未显示").arg(hidden);
}

QString FlowView::hiddenBrief(int hidden)
{
    if (hidden < 1)
        return {};
    return L10n::text("+%1 hidden", "+%1 未显示").arg(hidden);
}

bool FlowView::select(const FlowNode& node, Monitor& monitor)
{
    if (!node.groupKey)
        return false;
    monitor.setSelection(*node.groupKey);
    monitor.setFocusPid(std::nullopt);
    return true;
}

MenuPlan FlowView::menu(const FlowNode& node, bool host, Monitor& monitor)
{
    MenuPlan plan;
    const QString title = node.title;
    plan.add(host ? L10n::text("Copy Domain", "复制域名") : L10n::text("Copy Name", "复制名称"),
             [title] { copyPlain(title); });
    if (node.groupKey)
        plan.add(L10n::text("Show in Inspector", "在检查器中查看"), [node, &monitor] { select(node, monitor); });
    return plan;
}

void FlowView::retranslate()
{
    for (PressButton* c : chips_) {
        const QString title = scopeTitle(static_cast<FlowChip*>(c)->scope());
        if (c->text() != title) {
            c->setText(title);
            c->adjustSize();
        }
    }
    legend_->setText(L10n::text("← Download   Upload →", "← 下载   上传 →"));
    legend_->adjustSize();
    hidden_->setToolTip(L10n::text(
        "Nodes are ranked by current rate and only as many as fit are shown. Use the filter to find the rest.",
        "节点按当前速率排序，只显示放得下的数量。用过滤器查找其余节点。"));
    const QString& filter = monitor_.filter();
    empty_->setText(filter.isEmpty()
                        ? L10n::text("No open connections in this scope. Change the scope above, or "
                                     "wait for a process to connect.",
                                     "此范围内没有打开的连接。请在上方更改范围，或等待进程建立连接。")
                        : OutsideText::noMatch("connections", "连接", filter));
}

void FlowView::styleChips()
{
    for (PressButton* c : chips_) {
        auto* chip = static_cast<FlowChip*>(c);
        chip->present(scopes_.contains(chip->scope()));
    }
}

void FlowView::scheduleRefresh()
{
    refreshGate_.schedule();
}

void FlowView::refresh()
{
    const QString legend = legend_->text();
    retranslate();
    // Kept built behind another mode for a moment after a switch: still.
    ribbons_->setPaused(monitor_.mode() != Monitor::Mode::flow);
    FlowGraph graph = build(FlowGraph::capacity(height(), rowHeight_));
    const QString hidden = hiddenText(graph.hidden);
    if (built_ && graph == graph_ && hidden == hiddenFull_) {
        // The other language's chips and legend take other room.
        if (legend_->text() != legend)
            place();
        return;
    }
    built_ = true;
    graph_ = std::move(graph);
    hiddenFull_ = hidden;
    hiddenBrief_ = hiddenBrief(graph_.hidden);
    apply();
}

// Brings the rows, the ribbons and the texts in line with the graph and
// the focus.
void FlowView::apply()
{
    const bool animated = isVisible();
    auto sync = [&](const std::vector<FlowNode>& nodes, bool host, QSet<QString>& seen) {
        for (const FlowNode& node : nodes) {
            seen.insert(node.id);
            FlowNodeRow*& r = rows_[node.id];
            const bool fresh = !r;
            if (fresh) {
                r = new FlowNodeRow(*this, host, graphArea_);
                r->show();
            }
            r->setNode(node);
            r->setTargetOpacity(nodeOpacity(node, focus_, graph_.edges), animated && !fresh);
        }
    };
    QSet<QString> seen;
    sync(graph_.apps, false, seen);
    sync(graph_.hosts, true, seen);
    bool refocus = false;
    for (auto it = rows_.begin(); it != rows_.end();) {
        if (seen.contains(it.key())) {
            ++it;
            continue;
        }
        // A focused node that lost its row no longer dims the others.
        if (focus_ == it.key()) {
            focus_.reset();
            refocus = true;
        }
        it.value()->hide();
        it.value()->deleteLater();
        it = rows_.erase(it);
    }
    if (refocus)
        for (FlowNodeRow* r : std::as_const(rows_))
            r->setTargetOpacity(nodeOpacity(r->node(), focus_, graph_.edges), animated);

    const bool empty = graph_.apps.empty();
    empty_->setVisible(empty);
    graphArea_->setVisible(!empty);
    place();
    ribbons_->setRibbons(FlowRibbons::from(graph_, focus_));
}

void FlowView::place()
{
    const int w = width();
    // The header: chips from the left, the legend at the right end and the
    // hidden count before it, each shown only where it keeps off the chips.
    std::vector<double> chipWidths;
    for (PressButton* c : chips_)
        chipWidths.push_back(c->sizeHint().width());
    auto textWidth = [](const QLabel* label, const QString& text) {
        if (text.isEmpty())
            return 0;
        // As the label measures its own hint.
        return label->fontMetrics().boundingRect(QRect(0, 0, 4000, 400), Qt::TextSingleLine, text).width();
    };
    const QSize legend = legend_->sizeHint();
    const FlowLayout::Header header
        = FlowLayout::header(w, chipWidths, textWidth(hidden_, hiddenFull_), textWidth(hidden_, hiddenBrief_),
                             legend.width());
    for (std::size_t i = 0; i < chips_.size(); ++i) {
        const QSize hint = chips_[i]->sizeHint();
        chips_[i]->setGeometry(int(header.chips[i]), (headerHeight - hint.height()) / 2, hint.width(),
                               hint.height());
    }
    legend_->setGeometry(int(std::floor(header.legend)), (headerHeight - legend.height()) / 2, legend.width(),
                         legend.height());
    legend_->setVisible(header.legendShown);
    using Count = FlowLayout::Header::Count;
    const QString count = header.countShown == Count::brief ? hiddenBrief_
        : header.countShown == Count::full                  ? hiddenFull_
                                                            : QString();
    if (hidden_->text() != count)
        hidden_->setText(count);
    const int countHeight = hidden_->sizeHint().height();
    hidden_->setGeometry(int(std::floor(header.count)), (headerHeight - countHeight) / 2,
                         textWidth(hidden_, count), countHeight);
    hidden_->setVisible(!count.isEmpty());

    const QRect content(0, headerHeight, w, std::max(0, height() - headerHeight));
    const int side = int(FlowLayout::padding);
    empty_->setGeometry(content.adjusted(side, 0, -side, 0));
    graphArea_->setGeometry(content);

    // The columns narrow before they reach each other; the rows elide.
    const QFontMetricsF title(titleFont()), detail(detailFont());
    const FlowLayout::Columns columns
        = FlowLayout::columns(w, labelWidth_, FlowLayout::need(graph_.apps, false, title, detail),
                              FlowLayout::need(graph_.hosts, true, title, detail));
    const int rh = int(std::lround(rowHeight_));
    const FlowLayout::Measure measure = [&title](const QString& text) { return title.horizontalAdvance(text); };
    auto lay = [&](const std::vector<FlowNode>& nodes, double columnX, double columnWidth, double mark) {
        // A column's titles are cut together, so no two read the same.
        std::vector<QString> titles;
        for (const FlowNode& node : nodes)
            titles.push_back(node.title);
        const std::vector<QString> shown
            = FlowLayout::distinctCuts(titles, std::max(0.0, std::floor(columnWidth) - mark), measure);
        for (std::size_t i = 0; i < nodes.size(); ++i)
            if (FlowNodeRow* r = rows_.value(nodes[i].id)) {
                r->setGeometry(int(columnX) - FlowNodeRow::reach, int(i) * rh,
                               int(columnWidth) + 2 * FlowNodeRow::reach, rh);
                r->setShownTitle(shown[i]);
            }
    };
    using FlowLayout::dot, FlowLayout::iconSize, FlowLayout::spacing;
    lay(graph_.apps, columns.app, columns.appWidth, iconSize + spacing);
    lay(graph_.hosts, columns.host, columns.hostWidth, dot + spacing);

    const std::size_t rows = std::max(graph_.apps.size(), graph_.hosts.size());
    ribbons_->setGeometry(int(columns.ribbons), 0, int(columns.ribbonsWidth), int(rows) * rh);
}

void FlowView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    place();
    // The height decides how many rows fit.
    scheduleRefresh();
}

void FlowView::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    monitor_.flowHold().set(InteractionHold::Reason::pointer, false);
}

// ---- one node

FlowNodeRow::FlowNodeRow(FlowView& view, bool host, QWidget* parent)
    : QWidget(parent)
    , view_(view)
    , host_(host)
{
    setAttribute(Qt::WA_Hover);
    // Only applications open in the inspector with a click.
    if (host)
        RowFeedback::apply(this, 6);
    else
        RowFeedback::apply(this, 6, [this] { FlowView::select(node_, view_.monitor()); });
}

FlowNodeRow::~FlowNodeRow()
{
    FrameClock::shared().unsubscribe(this);
}

void FlowNodeRow::setNode(const FlowNode& node)
{
    if (node == node_)
        return;
    if (node.title != node_.title) {
        letter_ = Icons::letter(node.title);
        setToolTip(PlainText::toolTip(node.title));
    }
    node_ = node;
    update();
}

void FlowNodeRow::setShownTitle(const QString& text)
{
    if (text == shownTitle_)
        return;
    shownTitle_ = text;
    update();
}

double FlowNodeRow::targetOpacity() const
{
    return opacity_.target();
}

double FlowNodeRow::currentOpacity() const
{
    return opacity_.value();
}

void FlowNodeRow::setTargetOpacity(double opacity, bool animated)
{
    if (opacity == opacity_.target())
        return;
    opacity_.setTarget(opacity, animated ? quickEase() : Animation::none());
    animate();
}

void FlowNodeRow::animate()
{
    if (!opacity_.moving() || !isVisible()) {
        opacity_.set(opacity_.target());
        FrameClock::shared().unsubscribe(this);
        update();
        return;
    }
    FrameClock::shared().subscribe(this, [this](double dt) {
        const bool moving = opacity_.step(dt);
        update();
        return moving;
    });
}

void FlowNodeRow::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    if (opacity_.moving())
        animate();
}

void FlowNodeRow::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setOpacity(std::clamp(opacity_.value(), 0.0, 1.0));
    const QRectF box = QRectF(rect()).adjusted(reach, 0, -reach, 0);
    const bool active = node_.rateIn + node_.rateOut > 0;
    using FlowLayout::dot, FlowLayout::iconSize, FlowLayout::spacing;

    QRectF text;
    Qt::Alignment align;
    if (host_) {
        p.setPen(Qt::NoPen);
        p.setBrush(active ? Theme::net() : Theme::faint());
        p.drawEllipse(QRectF(box.left(), box.center().y() - dot / 2, dot, dot));
        text = QRectF(box.left() + dot + spacing, 0, box.width() - dot - spacing, height());
        align = Qt::AlignLeft;
    } else {
        const QRectF icon(box.right() - iconSize, box.center().y() - iconSize / 2, iconSize, iconSize);
        ProcessIcon::paint(p, icon, iconSize, letter_, node_.bundlePath);
        text = QRectF(box.left(), 0, box.width() - iconSize - spacing, height());
        align = Qt::AlignRight;
    }

    const QFont title = titleFont();
    const QFont detail = detailFont();
    const QFontMetricsF tm(title), dm(detail);
    const double block = tm.height() + 2 + dm.height();
    const double top = std::round((height() - block) / 2);
    const double room = std::max(0.0, text.width());

    // A mark that encloses a letter reaches past the name's advance: the
    // texts keep to their own column, clear of the icon or dot beside them.
    p.setClipRect(QRectF(text.left() - spacing / 2, 0, room + spacing, height()), Qt::IntersectClip);
    p.setFont(title);
    p.setPen(Theme::text());
    p.drawText(QRectF(text.left(), top, room, tm.height()), align | Qt::AlignVCenter,
               shownTitle_);
    p.setFont(detail);
    p.setPen(active ? Theme::withAlpha(Theme::net(), 0.85) : Theme::faint());
    p.drawText(QRectF(text.left(), top + tm.height() + 2, room, dm.height()), align | Qt::AlignVCenter,
               FlowLayout::fittedDetail(node_, room, dm));
}

void FlowNodeRow::enterEvent(QEnterEvent* event)
{
    QWidget::enterEvent(event);
    view_.setFocusNode(node_.id);
}

void FlowNodeRow::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    view_.leaveNode(node_.id);
}

void FlowNodeRow::contextMenuEvent(QContextMenuEvent* event)
{
    std::unique_ptr<QMenu> menu(buildMenu(FlowView::menu(node_, host_, view_.monitor()), this));
    if (menu)
        menu->exec(event->globalPos());
}
