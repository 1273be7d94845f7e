#include "settings/pane_factory.h"

#include "settings/about_pane.h"
#include "settings/feedback_pane.h"
#include "settings/software_update_card.h"

namespace PaneFactory {

QWidget* feedback(const PaneContext& context, QWidget* parent)
{
    return new FeedbackPane(context.monitor, parent);
}

QWidget* about(const PaneContext& context, QWidget* parent)
{
    AboutPane::CardFactory card;
    if (context.updater)
        card = [context](QWidget* owner) {
            return new SoftwareUpdateCard(context.monitor, *context.updater, context.showMain, owner);
        };
    return new AboutPane(context.monitor, card, context.showMain, parent);
}

} // namespace PaneFactory
