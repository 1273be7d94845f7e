#include "ui/window_watch.h"

#include <QEvent>

WindowWatch::WindowWatch(QWidget* owner, std::function<void()> changed)
    : owner_(owner), changed_(std::move(changed))
{
}

WindowWatch::~WindowWatch()
{
    if (window_)
        window_->removeEventFilter(this);
}

void WindowWatch::follow()
{
    QWidget* w = owner_->window();
    if (w == window_)
        return;
    if (window_)
        window_->removeEventFilter(this);
    window_ = w;
    if (w && w != owner_)
        w->installEventFilter(this);
}

bool WindowWatch::seen(const QWidget* widget)
{
    const QWidget* w = widget->window();
    return widget->isVisible() && w && !w->isMinimized();
}

bool WindowWatch::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == window_ && (event->type() == QEvent::WindowStateChange || event->type() == QEvent::Show))
        changed_();
    return QObject::eventFilter(watched, event);
}
