#include "ui/menu_spec.h"

#include "ui/plain_text.h"

#include <QMenu>

QStringList MenuSpec::titles() const
{
    QStringList result;
    for (const MenuEntry& entry : entries)
        result << (entry.divider() ? QStringLiteral("-") : entry.title);
    return result;
}

bool MenuSpec::trigger(const QString& title) const
{
    for (const MenuEntry& entry : entries)
        if (!entry.divider() && entry.title == title && entry.action) {
            entry.action();
            return true;
        }
    return false;
}

QMenu* buildMenu(const MenuSpec& spec, QWidget* parent)
{
    if (spec.empty())
        return nullptr;
    auto* menu = new QMenu(parent);
    for (const MenuEntry& entry : spec.entries) {
        if (entry.divider()) {
            menu->addSeparator();
            continue;
        }
        QAction* action = menu->addAction(PlainText::menuTitle(entry.title));
        if (entry.action)
            QObject::connect(action, &QAction::triggered, menu, entry.action);
    }
    return menu;
}
