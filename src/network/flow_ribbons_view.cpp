#include "network/flow_ribbons_view.h"

#include "ui/frame_clock.h"
#include "ui/theme.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>

#include <cmath>

FlowRibbonsView::FlowRibbonsView(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

FlowRibbonsView::~FlowRibbonsView()
{
    FrameClock::shared().unsubscribe(this);
}

void FlowRibbonsView::setRibbons(const std::vector<FlowRibbons::Ribbon>& ribbons)
{
    if (ribbons == ribbons_)
        return;
    ribbons_ = ribbons;
    render();
}

void FlowRibbonsView::setPaused(bool paused)
{
    if (paused == paused_)
        return;
    paused_ = paused;
    syncClock();
}

double FlowRibbonsView::phase(const QString& id) const
{
    for (const Drawn& d : drawn_)
        if (d.id == id)
            return d.dash.phase;
    return 0;
}

// Lays the ribbons out for the current width. A width of 10 or less keeps
// what was drawn before: the view is being squeezed, not emptied.
void FlowRibbonsView::render()
{
    const double w = width();
    if (w <= 10)
        return;
    builtWidth_ = w;

    QHash<QString, const Drawn*> old;
    old.reserve(qsizetype(drawn_.size()));
    for (const Drawn& d : drawn_)
        old.insert(d.id, &d);

    std::vector<Drawn> next;
    next.reserve(ribbons_.size());
    for (const FlowRibbons::Ribbon& r : ribbons_) {
        Drawn d;
        d.id = r.id;
        d.style = FlowRibbons::style(r.rateIn, r.rateOut, r.dimmed);
        d.path = FlowRibbons::path(r.from, r.to, rowHeight_, w);
        const double pad = d.style.width / 2 + 1;
        d.bounds = d.path.controlPointRect().adjusted(-pad, -pad, pad, pad).toAlignedRect();
        if (const Drawn* before = old.value(r.id)) {
            d.dash = before->dash;
            d.paintedPhase = before->paintedPhase;
        }
        if (d.dash.retarget(d.style))
            d.paintedPhase = 0;
        next.push_back(std::move(d));
    }
    drawn_ = std::move(next);
    baseDirty_ = true;
    update();
    syncClock();
}

void FlowRibbonsView::drawBase()
{
    const qreal ratio = devicePixelRatioF();
    const QSize pixels(int(std::ceil(width() * ratio)), int(std::ceil(height() * ratio)));
    if (base_.size() != pixels)
        base_ = QPixmap(pixels);
    base_.setDevicePixelRatio(ratio);
    base_.fill(Qt::transparent);
    QPainter p(&base_);
    p.setRenderHint(QPainter::Antialiasing);
    for (const Drawn& d : drawn_) {
        QPen pen(d.style.base, d.style.width, Qt::SolidLine, Qt::RoundCap);
        p.setOpacity(d.style.opacity);
        p.setPen(pen);
        p.drawPath(d.path);
    }
    baseDirty_ = false;
    ++baseDraws_;
}

QRegion FlowRibbonsView::advance(double dt)
{
    QRegion dirty;
    const double pixel = 1 / std::max(devicePixelRatioF(), 1.0);
    for (Drawn& d : drawn_) {
        if (d.dash.direction == 0)
            continue;
        d.dash.advance(dt);
        double moved = std::fabs(d.dash.phase - d.paintedPhase);
        moved = std::min(moved, FlowRibbons::cycle - moved);
        if (moved >= pixel)
            dirty += d.bounds;
    }
    return dirty;
}

void FlowRibbonsView::paintRibbons(QPainter& p, const QRect& clip)
{
    if (baseDirty_)
        drawBase();
    p.drawPixmap(QPointF(0, 0), base_);
    p.setRenderHint(QPainter::Antialiasing);
    QPen pen(Theme::net(), 1, Qt::CustomDashLine, Qt::RoundCap);
    for (Drawn& d : drawn_) {
        if (!d.style.flowing || !d.bounds.intersects(clip))
            continue;
        // Qt measures dashes and their offset in pen widths.
        const double fw = d.style.flowWidth;
        pen.setWidthF(fw);
        pen.setDashPattern({FlowRibbons::dash / fw, FlowRibbons::gap / fw});
        pen.setDashOffset(d.dash.phase / fw);
        p.setPen(pen);
        p.setOpacity(d.style.opacity);
        p.drawPath(d.path);
        d.paintedPhase = d.dash.phase;
    }
}

void FlowRibbonsView::paintEvent(QPaintEvent* event)
{
    QPainter p(this);
    paintRibbons(p, event->rect());
}

void FlowRibbonsView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (width() != builtWidth_)
        render();
    else if (base_.size() != (size() * devicePixelRatioF()))
        baseDirty_ = true;
}

bool FlowRibbonsView::live() const
{
    const QWidget* w = window();
    return !paused_ && isVisible() && w && !w->isMinimized();
}

bool FlowRibbonsView::ticking() const
{
    return FrameClock::shared().subscribed(this);
}

void FlowRibbonsView::syncClock()
{
    bool flowing = false;
    for (const Drawn& d : drawn_)
        flowing = flowing || d.dash.direction != 0;
    FrameClock& clock = FrameClock::shared();
    if (!(flowing && live())) {
        clock.unsubscribe(this);
        return;
    }
    if (clock.subscribed(this))
        return;
    clock.subscribe(this, [this](double dt) {
        const QRegion dirty = advance(dt);
        if (!dirty.isEmpty())
            update(dirty);
        return true;
    });
}

void FlowRibbonsView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    QWidget* w = window();
    if (w != watchedWindow_) {
        if (watchedWindow_)
            watchedWindow_->removeEventFilter(this);
        watchedWindow_ = w;
        if (w && w != this)
            w->installEventFilter(this);
    }
    syncClock();
}

void FlowRibbonsView::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    syncClock();
}

bool FlowRibbonsView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == watchedWindow_ && event->type() == QEvent::WindowStateChange)
        syncClock();
    return QWidget::eventFilter(watched, event);
}
