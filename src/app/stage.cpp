#include "app/stage.h"

#include "app/root_view.h"
#include "ui/desktop_settings.h"
#include "ui/frame_clock.h"
#include "ui/theme.h"
#include "ui/widget_opacity.h"

#include <QResizeEvent>

#include <cmath>

namespace {

bool reduced()
{
    return DesktopSettings::instance().reduceMotion();
}

} // namespace

Stage::Stage(Monitor& monitor, Content content, QWidget* parent)
    : QWidget(parent)
    , monitor_(monitor)
    , content_(std::move(content))
    , shownMode_(monitor.mode())
{
    // The stage paints its own ground. A page that is faded, or draws only
    // some of its pixels (the bubbles in flight over the list), shows the
    // ground of this frame through it, never what an earlier frame left
    // there. A page drawn whole that paints all of its ground claims it
    // (the settled field, the list shown), and the stage then paints
    // nothing beneath it.
    setAutoFillBackground(true);
    QPalette ground = palette();
    ground.setColor(QPalette::Window, Theme::bg());
    setPalette(ground);
    connect(&monitor, &Monitor::mountedChanged, this, &Stage::scheduleRefresh);
    connect(&monitor, &Monitor::modeChanged, this, &Stage::scheduleRefresh);

    // The views the window opens on are simply there.
    const Monitor::Mode current = monitor.mode();
    for (Monitor::Mode mode : monitor.mounted()) {
        Page& page = pages_[mode];
        page.view = content_(mode, this);
        if (mode == Monitor::Mode::field)
            page.view->raise();
        page.opacity.set(RootView::opacity(mode, current));
        page.offset.set(RootView::offset(mode, current));
        place(mode, page);
    }
}

Stage::~Stage()
{
    FrameClock::shared().unsubscribe(this);
}

QWidget* Stage::view(Monitor::Mode mode) const
{
    auto it = pages_.find(mode);
    return it == pages_.end() ? nullptr : it->second.view.data();
}

double Stage::opacity(Monitor::Mode mode) const
{
    auto it = pages_.find(mode);
    return it == pages_.end() ? 0 : it->second.opacity.value();
}

double Stage::offset(Monitor::Mode mode) const
{
    auto it = pages_.find(mode);
    return it == pages_.end() ? 0 : it->second.offset.value();
}

bool Stage::moving() const
{
    for (const auto& [mode, page] : pages_)
        if (page.opacity.moving() || page.offset.moving())
            return true;
    return false;
}

void Stage::scheduleRefresh()
{
    refreshGate_.schedule();
}

void Stage::refresh()
{
    const Monitor::Mode current = monitor_.mode();
    const Monitor::Mode previous = monitor_.previousMode();
    const bool modeChanged = current != shownMode_;
    shownMode_ = current;
    const bool reduce = reduced();

    // Unmounted views go at once, without a transition: all but the field
    // are transparent by then.
    for (auto it = pages_.begin(); it != pages_.end();) {
        if (!monitor_.mounted().contains(it->first)) {
            delete it->second.view.data();
            it = pages_.erase(it);
        } else {
            ++it;
        }
    }

    for (Monitor::Mode mode : monitor_.mounted()) {
        auto [it, inserted] = pages_.try_emplace(mode);
        Page& page = it->second;
        if (inserted) {
            page.view = content_(mode, this);
            const RootView::Insertion in = RootView::insertion(mode, current, previous, reduce);
            page.opacity.set(in.fade ? 0 : RootView::opacity(mode, current));
            page.offset.set(in.offset);
            page.view->show();
            // The field draws above the others.
            if (mode == Monitor::Mode::field)
                page.view->raise();
            else if (QWidget* field = view(Monitor::Mode::field))
                field->raise();
            // Inserted under the switch's own spring.
            page.opacity.setTarget(RootView::opacity(mode, current), Animation::spring());
            page.offset.setTarget(reduce ? 0 : RootView::offset(mode, current), Animation::spring());
        } else if (modeChanged) {
            const Animation animation = RootView::animation(mode, previous, current);
            page.opacity.setTarget(RootView::opacity(mode, current), animation);
            page.offset.setTarget(reduce ? 0 : RootView::offset(mode, current), animation);
        }
    }
    animate();
}

void Stage::animate()
{
    if (!isVisible() || !moving()) {
        settle();
        return;
    }
    for (auto& [mode, page] : pages_)
        place(mode, page);
    FrameClock::shared().subscribe(this, [this](double dt) {
        bool still = false;
        for (auto& [mode, page] : pages_) {
            still = stepAll(dt, page.opacity, page.offset) || still;
            place(mode, page);
        }
        return still;
    });
}

// Ends every motion where it is heading.
void Stage::settle()
{
    FrameClock::shared().unsubscribe(this);
    for (auto& [mode, page] : pages_) {
        page.opacity.set(page.opacity.target());
        page.offset.set(page.offset.target());
        place(mode, page);
    }
}

void Stage::place(Monitor::Mode mode, Page& page)
{
    QWidget* view = page.view;
    if (!view)
        return;
    view->setGeometry(rect().translated(int(std::lround(page.offset.value())), 0));

    // Only the current mode answers the pointer: clicks on a field still
    // drawn over the list reach the list.
    view->setAttribute(Qt::WA_TransparentForMouseEvents, mode != monitor_.mode());

    // A view stays shown while mounted, even when transparent: the list
    // waiting to fade in under the field must still take the clicks. The
    // effect draws nothing at 0 and is dropped at 1.
    WidgetOpacity::set(view, page.opacity.value());
}

void Stage::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    for (auto& [mode, page] : pages_)
        place(mode, page);
}

void Stage::hideEvent(QHideEvent* event)
{
    settle();
    QWidget::hideEvent(event);
}
