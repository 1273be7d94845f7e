#include "settings/pane_factory.h"

#include "settings/about_pane.h"
#include "settings/feedback_pane.h"

namespace PaneFactory {

QWidget* feedback(const PaneContext& context, QWidget* parent)
{
    return new FeedbackPane(context.monitor, parent);
}

QWidget* about(const PaneContext& context, QWidget* parent)
{
    return new AboutPane(context.monitor, context.updateCard, context.showMain, parent);
}

} // namespace PaneFactory
