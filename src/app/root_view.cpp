#include "app/root_view.h"

#include "app/header_bar.h"
#include "app/incident_drawer.h"
#include "app/instruments_column.h"
#include "app/reveal.h"
#include "app/stage.h"
#include "app/toolbar.h"
#include "core/l10n.h"
#include "field/field_view.h"
#include "network/domains_view.h"
#include "network/flow_view.h"
#include "network/ports_view.h"
#include "process/inspector_view.h"
#include "process/process_menu.h"
#include "process/process_table.h"
#include "ui/desktop_settings.h"
#include "ui/fonts.h"
#include "ui/frame_clock.h"
#include "ui/press_button.h"
#include "ui/theme.h"
#include "ui/widget_opacity.h"
#include "update/update_panel.h"
#include "update/update_pill.h"
#include "update/updater.h"
#include "settings/welcome_view.h"

#include <QAction>
#include <QEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QPainter>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

using Mode = Monitor::Mode;

namespace {

bool reduced()
{
    return DesktopSettings::instance().reduceMotion();
}

// The window's fades: the shared curve over Motion::standard.
Animation fade(double delay = 0)
{
    return Animation::timing(Motion::ease(), Motion::standard(), delay);
}

// A one-pixel hairline in the theme's line colour.
QWidget* rule(QWidget* parent, Qt::Orientation orientation)
{
    auto* line = new QWidget(parent);
    line->setAutoFillBackground(true);
    QPalette palette = line->palette();
    palette.setColor(QPalette::Window, Theme::line());
    line->setPalette(palette);
    if (orientation == Qt::Horizontal)
        line->setFixedHeight(1);
    else
        line->setFixedWidth(1);
    return line;
}

void fill(QWidget* widget, const QColor& colour)
{
    widget->setAutoFillBackground(true);
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
}


} // namespace

// ---- the stage's rules

double RootView::opacity(Mode mode, Mode current)
{
    if (mode == current)
        return 1;
    // After a switch back to the list the field stays drawn over it.
    if (mode == Mode::field && current == Mode::table)
        return 1;
    return 0;
}

double RootView::offset(Mode mode, Mode current)
{
    if (mode == current || mode == Mode::field)
        return 0;
    if (mode == Mode::table && current == Mode::field)
        return 0;
    return index(mode) < index(current) ? -slide : slide;
}

Animation RootView::animation(Mode mode, Mode previous, Mode current)
{
    const double standard = Motion::standard();
    // Waits while the field flies its bubbles, then fades quickly.
    const Animation late = Animation::timing(Motion::ease(), 0.4 * standard, 0.6 * standard);
    switch (mode) {
    case Mode::table:
        if (previous == Mode::table && current == Mode::field)
            return Animation::timing(Motion::ease(), Motion::quick());
        if (previous == Mode::field && current == Mode::table)
            return late;
        return Animation::spring(standard);
    case Mode::field:
        if (current == Mode::field || current == Mode::table)
            return Animation::spring(standard);
        return late;
    case Mode::flow:
    case Mode::domains:
    case Mode::ports: break;
    }
    return Animation::spring(standard);
}

RootView::Insertion RootView::insertion(Mode mode, Mode current, Mode previous, bool reduceMotion)
{
    if (mode == Mode::field || (mode == Mode::table && current == Mode::field))
        return {false, 0};
    if (reduceMotion)
        return {true, 0};
    return {true, index(mode) > index(previous) ? slide : -slide};
}

bool RootView::overlayUp(const Monitor& monitor, const Updater& updater)
{
    return monitor.welcome() || updater.panel().has_value();
}

// The black scrim under the update panel: it takes every click and does
// nothing with it, so nothing behind is reached and the panel stays open.
class RootView::UpdateLayer : public QWidget {
public:
    UpdateLayer(Updater& updater, const Updater::Panel& panel, QWidget* parent)
        : QWidget(parent), panel_(new UpdatePanel(updater, panel, this))
    {
        setAttribute(Qt::WA_NoMousePropagation);
    }

    UpdatePanel* panel() const { return panel_; }

    // The card's scale about its centre while it comes and goes; in
    // between it is drawn from a picture taken as the motion starts.
    void setScale(double scale)
    {
        if (scale >= 0.999) {
            if (!snapshot_.isNull()) {
                snapshot_ = QPixmap();
                panel_->show();
                update();
            }
            return;
        }
        if (snapshot_.isNull()) {
            snapshot_ = panel_->grab();
            panel_->hide();
        }
        scale_ = scale;
        update();
    }

    void present(Updater& updater, const Updater::Panel& panel)
    {
        if (panel_->panel() == panel)
            return;
        delete panel_;
        panel_ = new UpdatePanel(updater, panel, this);
        panel_->show();
        place();
    }

    void place()
    {
        panel_->adjustSize();
        const QSize size(UpdatePanel::width, panel_->sizeHint().height());
        panel_->setGeometry(QRect(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size));
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.fillRect(rect(), QColor(0, 0, 0, int(std::round(0.55 * 255))));
        // The card's shadow: black at half opacity, 30 px soft, 12 px down,
        // laid as rings that fade outwards.
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        const QRectF card = QRectF(panel_->geometry()).translated(0, 12);
        constexpr int rings = 10;
        for (int i = rings; i >= 1; --i) {
            const double grow = 30.0 * i / rings;
            p.setBrush(QColor(0, 0, 0, int(0.5 * 255 / rings * 1.6 * (1 - double(i - 1) / rings))));
            p.drawRoundedRect(card.adjusted(-grow, -grow, grow, grow), UpdatePanel::radius + grow,
                              UpdatePanel::radius + grow);
        }
        if (!snapshot_.isNull()) {
            const QRectF box(panel_->geometry());
            p.translate(box.center());
            p.scale(scale_, scale_);
            p.translate(-box.center());
            p.setRenderHint(QPainter::SmoothPixmapTransform);
            p.drawPixmap(box.topLeft(), snapshot_);
        }
    }
    void resizeEvent(QResizeEvent* event) override
    {
        QWidget::resizeEvent(event);
        place();
    }
    void mousePressEvent(QMouseEvent* event) override { event->accept(); }
    void mouseReleaseEvent(QMouseEvent* event) override { event->accept(); }
    void mouseDoubleClickEvent(QMouseEvent* event) override { event->accept(); }
    void wheelEvent(QWheelEvent* event) override { event->accept(); }
    bool event(QEvent* event) override
    {
        // The panel's height follows its state.
        if (event->type() == QEvent::LayoutRequest)
            place();
        return QWidget::event(event);
    }

private:
    UpdatePanel* panel_;
    QPixmap snapshot_;
    double scale_ = 1;
};

std::optional<WelcomeView::Place> RootView::tourPlace() const
{
    if (!welcome_ || welcome_->finished() || !monitor_.welcome())
        return std::nullopt;
    return welcome_->place();
}

QWidget* RootView::updateLayer() const
{
    return updateLayer_.data();
}

UpdatePanel* RootView::updatePanel() const
{
    return updateLayer_ ? updateLayer_->panel() : nullptr;
}

QString RootView::placeholderText()
{
    return L10n::text("Reading system state…", "正在读取系统状态…");
}

// ---- pieces

// The text shown before the first samples; it takes no input.
class RootView::Placeholder : public QWidget {
public:
    Placeholder(RootView& root)
        : QWidget(&root)
        , root_(root)
        , text_(placeholderText())
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        const double opacity = std::clamp(root_.placeholder_.value(), 0.0, 1.0);
        if (opacity <= 0)
            return;
        QPainter p(this);
        p.setOpacity(opacity);
        p.setFont(Fonts::mono(10.5));
        p.setPen(Theme::faint());
        p.drawText(rect(), Qt::AlignCenter, text_);
    }

private:
    RootView& root_;
    QString text_;
};

// The shadow an inspector lying over the centre casts on it, darkest at
// the inspector's edge. It takes no input and draws no text.
class RootView::Edge : public QWidget {
public:
    explicit Edge(QWidget* parent)
        : QWidget(parent)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        hide();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        QLinearGradient shade(width(), 0, 0, 0);
        shade.setColorAt(0, QColor(0, 0, 0, 150));
        shade.setColorAt(1, QColor(0, 0, 0, 0));
        p.fillRect(rect(), shade);
    }
};

// The row under the header: instruments, rule, centre column, and the
// inspector column sliding in from the trailing edge.
class RootView::Body : public QWidget {
public:
    explicit Body(RootView& root)
        : QWidget(&root)
        , root_(root)
    {
    }

    void relayout()
    {
        const int w = width();
        const int h = height();
        const BodyLayout layout = root_.bodyLayout();
        auto* instruments = static_cast<InstrumentsColumn*>(root_.instruments_);
        instruments->setFolded(layout.folded);
        instruments->setGeometry(0, 0, layout.instruments, h);
        root_.centre_->setGeometry(layout.centreLeft, 0, layout.centreWidth, h);
        rule_ = layout.instruments;
        // The inspector moves in with the spring, beside the centre or over
        // it; under reduce motion it waits in place and fades on its own
        // curve.
        if (root_.inspector_) {
            const bool fading = reduced();
            const int column = inspectorWidth + BodyLayout::rule;
            const int left = fading ? w - column : layout.inspectorLeft;
            const bool in = fading ? root_.inspectorFade_.value() > 0 : root_.inspectorShown_.value() > 0;
            root_.inspector_->setGeometry(left, 0, column, h);
            WidgetOpacity::setHidingAtZero(root_.inspector_,
                       fading ? root_.inspectorFade_.value() : (in ? 1 : 0));
            // Lying over the centre it is a sheet of the panel colour and
            // casts a soft edge on the centre.
            const QColor sheet = layout.overlaid ? Theme::panel() : Theme::bg();
            if (root_.inspector_->palette().color(QPalette::Window) != sheet)
                fill(root_.inspector_, sheet);
            root_.edge_->setVisible(layout.overlaid && in);
            root_.edge_->setGeometry(left - edgeWidth, 0, edgeWidth, h);
        } else {
            root_.edge_->hide();
        }
        update();
    }

protected:
    void resizeEvent(QResizeEvent*) override { relayout(); }

    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.fillRect(QRect(rule_, 0, 1, height()), Theme::line());
    }

private:
    RootView& root_;
    int rule_ = instrumentsWidth;
};

BodyLayout RootView::bodyLayout() const
{
    return BodyLayout::share(body_->width(), inspectorShown_.target() > 0, inspectorShown_.value());
}

// ---- the view

RootView::RootView(Monitor& monitor, Updater& updater, QWidget* parent,
                   std::optional<WelcomeView::Place> tour)
    : QWidget(parent)
    , monitor_(monitor)
    , updater_(updater)
{
    fill(this, Theme::bg());
    setMinimumSize(minimumWidth, minimumHeight);
    setFocusPolicy(Qt::ClickFocus);

    frame_ = new QWidget(this);
    auto* column = new QVBoxLayout(frame_);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    header_ = new HeaderBar(monitor, frame_);
    header_->setUpdatePill(new UpdatePill(updater));
    connect(header_, &HeaderBar::settingsRequested, this, &RootView::settingsRequested);
    column->addWidget(header_);
    column->addWidget(rule(frame_, Qt::Horizontal));
    body_ = new Body(*this);
    body_->setParent(frame_);
    column->addWidget(body_, 1);

    instruments_ = buildInstruments();
    instruments_->setParent(body_);
    edge_ = new Edge(body_);
    centre_ = buildCentre();
    centre_->setParent(body_);
    Reveal::attach(instruments_, 0)->follow(monitor);
    Reveal::attach(centre_, 1)->follow(monitor);

    placeholderView_ = new Placeholder(*this);
    // Due at opening: simply there.
    placeholder_.set(!monitor.ready() && !monitor.welcome() ? 1 : 0);
    inspectorShown_.set(monitor.selection() ? 1 : 0);
    inspectorFade_.set(inspectorShown_.value());
    if (monitor.selection())
        buildInspector();
    updateShown_.set(updater.panel() ? 1 : 0);
    if (updater.panel())
        updateLayer_ = new UpdateLayer(updater, *updater.panel(), this);
    welcomeShown_.set(monitor.welcome() ? 1 : 0);
    if (monitor.welcome())
        welcome_ = new WelcomeView(monitor, this, std::nullopt, tour);

    // The hidden Escape button: clears the filter, then the selection.
    escape_ = new QAction(this);
    escape_->setShortcut(QKeySequence(Qt::Key_Escape));
    escape_->setShortcutContext(Qt::WindowShortcut);
    addAction(escape_);
    connect(escape_, &QAction::triggered, this, [this] {
        if (!monitor_.blocking())
            monitor_.escape();
    });

    for (auto signal : {&Monitor::readyChanged, &Monitor::welcomeChanged, &Monitor::selectionChanged,
                        &Monitor::filterChanged, &Monitor::blockingChanged})
        connect(&monitor, signal, this, &RootView::scheduleRefresh);
    connect(&updater, &Updater::panelChanged, this, &RootView::scheduleRefresh);
    // Each request moves the focus, even into a field that already had it;
    // the count the window opens with asks for nothing.
    connect(&monitor, &Monitor::focusSearchChanged, this, &RootView::focusFilter);

    overlay_ = overlayUp(monitor, updater);
    monitor.setBlocking(overlay_);
    frame_->setEnabled(!monitor.blocking());
    escape_->setEnabled(!monitor.blocking() && (!monitor.filter().isEmpty() || monitor.selection()));
    settle();
}

RootView::~RootView()
{
    FrameClock::shared().unsubscribe(this);
    // The views inside installed these; none may outlive them.
    monitor_.rowAnchorSource = nullptr;
    monitor_.rowIconHider = nullptr;
    monitor_.listKeyHandler = nullptr;
}

QWidget* RootView::buildInstruments()
{
    auto* column = new InstrumentsColumn(monitor_);
    fill(column, Theme::panel());
    return column;
}

void RootView::buildInspector()
{
    inspector_ = new QWidget(body_);
    // Opaque: where it lies over the centre nothing of the centre shows
    // through.
    fill(inspector_, Theme::bg());
    // The rule at its leading edge, then the view.
    rule(inspector_, Qt::Vertical)->setGeometry(0, 0, 1, 0);
    auto* view = new InspectorView(monitor_, inspector_);
    view->setGeometry(1, 0, inspectorWidth, 0);
    inspector_->installEventFilter(this);
    inspector_->show();
}

bool RootView::eventFilter(QObject* watched, QEvent* event)
{
    // The inspector view follows its column's height.
    if (watched == inspector_ && event->type() == QEvent::Resize) {
        for (QWidget* child : inspector_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            child->resize(child->width(), inspector_->height());
    }
    return QWidget::eventFilter(watched, event);
}

QWidget* RootView::buildCentre()
{
    auto* centre = new QWidget;
    auto* stack = new QVBoxLayout(centre);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);
    toolbar_ = new Toolbar(monitor_, centre);
    stack->addWidget(toolbar_);
    stack->addWidget(rule(centre, Qt::Horizontal));
    stage_ = new Stage(monitor_, [this](Mode mode, QWidget* parent) { return content(mode, parent); },
                       centre);
    stack->addWidget(stage_, 1);
    stack->addWidget(rule(centre, Qt::Horizontal));
    stack->addWidget(new IncidentDrawer(monitor_, centre));
    return centre;
}

QWidget* RootView::content(Mode mode, QWidget* parent)
{
    switch (mode) {
    case Mode::table: return new ProcessTable(monitor_, parent);
    case Mode::field: return field(parent);
    case Mode::flow: return new FlowView(monitor_, 36, 230, parent);
    case Mode::domains: return new DomainsView(monitor_, parent);
    case Mode::ports: return new PortsView(monitor_, parent);
    }
    return new QWidget(parent);
}

// The field over the list: a menu from the process views, and the list kept
// from repainting while the settled field hides it.
QWidget* RootView::field(QWidget* parent)
{
    Monitor& monitor = monitor_;
    auto menu = [&monitor](const GroupSample& group, QWidget* owner) {
        return ProcessMenu::menu(group, std::nullopt, monitor, owner);
    };
    auto* view = new FieldView(monitor_, menu, parent);
    auto coverList = [this](bool covering) {
        if (!stage_)
            return;
        if (QWidget* list = stage_->view(Mode::table))
            list->setUpdatesEnabled(!covering);
    };
    // The field stops covering (and lets the list paint again) as soon as
    // the mode leaves it, well before the stage unmounts it.
    connect(view, &FieldView::coveringChanged, this, coverList);
    return view;
}

void RootView::focusFilter()
{
    if (monitor_.blocking())
        return;
    toolbar_->filterField()->edit()->setFocus(Qt::ShortcutFocusReason);
}

void RootView::scheduleRefresh()
{
    refreshGate_.schedule();
}

void RootView::refresh()
{
    // Blocking follows the overlay condition when that changes; in between
    // it is left as others set it.
    const bool overlay = overlayUp(monitor_, updater_);
    if (overlay != overlay_) {
        overlay_ = overlay;
        monitor_.setBlocking(overlay);
    }
    const bool blocking = monitor_.blocking();
    frame_->setEnabled(!blocking);
    escape_->setEnabled(!blocking && (!monitor_.filter().isEmpty() || monitor_.selection()));

    // The placeholder fades half a second after it falls due or ends.
    const double placeholder = !monitor_.ready() && !monitor_.welcome() ? 1 : 0;
    if (placeholder != placeholder_.target())
        placeholder_.setTarget(placeholder, fade(0.5));

    const double inspector = monitor_.selection() ? 1 : 0;
    if (inspector != inspectorShown_.target()) {
        if (inspector > 0 && !inspector_)
            buildInspector();
        // The body row follows the spring whatever the motion setting.
        inspectorShown_.setTarget(inspector, Animation::spring(Motion::standard()));
        inspectorFade_.setTarget(inspector, reduced() ? fade() : Animation::none());
    }

    // The update panel: brought in over its scrim, its face replaced when
    // the updater names another, and out of reach while the tour shows.
    const std::optional<Updater::Panel>& panel = updater_.panel();
    if (panel) {
        if (!updateLayer_) {
            updateLayer_ = new UpdateLayer(updater_, *panel, this);
            updateLayer_->setGeometry(rect());
            updateLayer_->show();
            raiseOverlays();
        } else {
            updateLayer_->present(updater_, *panel);
        }
    }
    if (updateLayer_)
        updateLayer_->setEnabled(!monitor_.welcome());
    const double update = panel ? 1 : 0;
    if (update != updateShown_.target())
        updateShown_.setTarget(update, Animation::spring(Motion::emphasized()));

    // Every showing of the tour is a fresh one from its first step, also
    // when it comes back while the last one is still fading out: that one
    // has ended and takes no more input.
    const double welcome = monitor_.welcome() ? 1 : 0;
    if (welcome > 0 && (welcomeShown_.target() <= 0 || !welcome_ || welcome_->finished())) {
        delete welcome_.data();
        welcome_ = new WelcomeView(monitor_, this);
        welcome_->setGeometry(rect());
        WidgetOpacity::set(welcome_, welcomeShown_.value());
        welcome_->show();
        raiseOverlays();
    }
    if (welcome != welcomeShown_.target())
        welcomeShown_.setTarget(welcome, Animation::spring(Motion::emphasized()));
    animate();
}

void RootView::animate()
{
    if (placeholder_.value() > 0 || placeholder_.target() > 0)
        placeholderView_->setVisible(true);
    if (!isVisible()
        || !(placeholder_.moving() || inspectorShown_.moving() || inspectorFade_.moving()
             || welcomeShown_.moving() || updateShown_.moving())) {
        settle();
        return;
    }
    FrameClock::shared().subscribe(this, [this](double dt) {
        const bool moving
            = stepAll(dt, placeholder_, inspectorShown_, inspectorFade_, welcomeShown_, updateShown_);
        if (!moving) {
            settle();
            return false;
        }
        placeholderView_->update();
        body_->relayout();
        if (welcome_)
            WidgetOpacity::setHidingAtZero(welcome_, welcomeShown_.value());
        if (updateLayer_) {
            WidgetOpacity::setHidingAtZero(updateLayer_, updateShown_.value());
            // Scaled from 0.96 as it fades, unless motion is reduced.
            updateLayer_->setScale(reduced() ? 1 : 0.96 + 0.04 * std::clamp(updateShown_.value(), 0.0, 1.0));
        }
        return true;
    });
}

// Ends every motion where it is heading, and drops what has gone.
void RootView::settle()
{
    FrameClock::shared().unsubscribe(this);
    placeholder_.set(placeholder_.target());
    inspectorShown_.set(inspectorShown_.target());
    inspectorFade_.set(inspectorFade_.target());
    welcomeShown_.set(welcomeShown_.target());
    updateShown_.set(updateShown_.target());
    if (updateShown_.value() <= 0 && updateLayer_)
        delete updateLayer_.data();
    if (updateLayer_) {
        WidgetOpacity::setHidingAtZero(updateLayer_, 1);
        updateLayer_->setScale(1);
    }
    if (inspectorShown_.value() <= 0 && inspector_)
        delete inspector_.data();
    if (welcomeShown_.value() <= 0 && welcome_)
        delete welcome_.data();
    if (welcome_)
        WidgetOpacity::setHidingAtZero(welcome_, 1);
    placeholderView_->setVisible(placeholder_.value() > 0);
    placeholderView_->update();
    body_->relayout();
}

void RootView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    frame_->setGeometry(rect());
    placeholderView_->setGeometry(rect());
    if (updateLayer_)
        updateLayer_->setGeometry(rect());
    if (welcome_)
        welcome_->setGeometry(rect());
}

void RootView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // The window opens with the focus on no control: the filter takes it
    // when asked or clicked.
    if (!window()->focusWidget())
        setFocus(Qt::OtherFocusReason);
    raiseOverlays();
}

// Above the frame: the placeholder, the update layer, the welcome tour.
void RootView::raiseOverlays()
{
    placeholderView_->raise();
    if (updateLayer_)
        updateLayer_->raise();
    if (welcome_)
        welcome_->raise();
}

void RootView::hideEvent(QHideEvent* event)
{
    settle();
    QWidget::hideEvent(event);
}
