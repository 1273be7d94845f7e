#include "ui/menu_plan.h"

#include "ui/plain_text.h"

#include <QMenu>

QStringList MenuPlan::titles() const
{
    QStringList result;
    for (const MenuEntry& entry : entries)
        result << (entry.divider() ? QStringLiteral("-") : entry.title);
    return result;
}

bool MenuPlan::trigger(const QString& title) const
{
    for (const MenuEntry& entry : entries)
        if (!entry.divider() && entry.title == title && entry.action) {
            entry.action();
            return true;
        }
    return false;
}

QMenu* buildMenu(const MenuPlan& plan, QWidget* parent)
{
    if (plan.empty())
        return nullptr;
    auto* menu = new QMenu(parent);
    for (const MenuEntry& entry : plan.entries) {
        if (entry.divider()) {
            menu->addSeparator();
            continue;
        }
        QAction* action = menu->addAction(PlainText::menuTitle(entry.title));
        if (entry.action)
            QObject::connect(action, &QAction::triggered, menu, entry.action);
        else
            action->setEnabled(false);
    }
    return menu;
}
