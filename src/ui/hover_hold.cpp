#include "ui/hover_hold.h"

#include "ui/interaction_hold.h"

#include <QEvent>
#include <QVariant>

namespace {

// Read through the property system: this library also builds without
// widgets. Anything that is not a widget counts as enabled.
bool enabled(const QObject* view)
{
    if (!view->isWidgetType())
        return true;
    return view->property("enabled").toBool();
}

} // namespace

HoverHold::HoverHold(InteractionHold& hold)
    : QObject(&hold)
    , hold_(hold)
{
}

void HoverHold::attach(QObject* view, InteractionHold& hold)
{
    if (!view)
        return;
    auto* hover = hold.findChild<HoverHold*>(QString(), Qt::FindDirectChildrenOnly);
    if (!hover)
        hover = new HoverHold(hold); // owned by the hold
    hover->watch(view);
}

void HoverHold::watch(QObject* view)
{
    if (views_.contains(view))
        return;
    views_.insert(view);
    view->installEventFilter(this);
    connect(view, &QObject::destroyed, this, [this](QObject* gone) {
        views_.remove(gone);
        inside_.remove(gone);
        update();
    });
}

bool HoverHold::holding(const QObject* view) const
{
    return inside_.contains(const_cast<QObject*>(view)) && enabled(view);
}

bool HoverHold::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::Enter:
    case QEvent::HoverEnter:
        setInside(watched, true);
        break;
    case QEvent::Leave:
    case QEvent::HoverLeave:
    // A hidden view is not under the pointer, and no Leave may follow; the
    // toolkit sends a fresh Enter if it is shown under the pointer again.
    case QEvent::Hide:
        setInside(watched, false);
        break;
    case QEvent::EnabledChange:
        update();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void HoverHold::setInside(QObject* view, bool inside)
{
    if (inside)
        inside_.insert(view);
    else
        inside_.remove(view);
    update();
}

void HoverHold::update()
{
    bool on = false;
    for (QObject* view : std::as_const(inside_))
        on = on || enabled(view);
    if (on == on_)
        return;
    on_ = on;
    hold_.set(InteractionHold::Reason::pointer, on);
}
