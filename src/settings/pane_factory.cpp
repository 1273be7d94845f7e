#include "settings/pane_factory.h"

#include "settings/about_pane.h"
#include "settings/feedback_pane.h"

namespace PaneFactory {

QWidget* feedback(Monitor& monitor, QWidget* parent)
{
    return new FeedbackPane(monitor, parent);
}

QWidget* about(Monitor& monitor, QWidget* parent)
{
    return new AboutPane(monitor, {}, parent);
}

} // namespace PaneFactory
