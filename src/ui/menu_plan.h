#pragma once
// Context menus as plain descriptions: a view builds the list of entries (a
// pure step that tests read), and only showing it makes a QMenu. Titles are
// shown as typed, so a name with '&' never turns into a mnemonic.

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class QMenu;
class QWidget;

struct MenuEntry {
    // Empty for a divider.
    QString title;
    // None: the entry shows greyed out and does nothing (an action that
    // cannot act, or a note saying why).
    std::function<void()> action;

    bool divider() const { return title.isEmpty(); }
};

struct MenuPlan {
    std::vector<MenuEntry> entries;

    void add(const QString& title, std::function<void()> action)
    {
        entries.push_back({title, std::move(action)});
    }
    void addDivider() { entries.push_back({}); }
    bool empty() const { return entries.empty(); }
    // The titles in order, dividers as "-".
    QStringList titles() const;
    // Runs the action of the entry titled `title`; false when there is none.
    bool trigger(const QString& title) const;
};

// The menu for `plan`, owned by the caller; none for an empty plan.
QMenu* buildMenu(const MenuPlan& plan, QWidget* parent = nullptr);
