#include "app/view_menu.h"

#include "core/l10n.h"

#include <QAction>

ViewMenu::Model ViewMenu::build(const Monitor& monitor)
{
    using Mode = Monitor::Mode;
    Model model;
    model.title = L10n::text("View", "视图");
    model.enabled = !monitor.blocking();

    struct ModeText {
        Mode mode;
        const char* en;
        const char* zh;
    };
    static constexpr ModeText modes[] = {
        {Mode::table, "List", "列表"},       {Mode::field, "Field", "力场"},
        {Mode::flow, "Flows", "流向"},       {Mode::domains, "Domains", "域名"},
        {Mode::ports, "Ports", "端口"},
    };
    int digit = 1;
    for (const ModeText& entry : modes) {
        Item item;
        item.kind = Item::Kind::mode;
        item.mode = entry.mode;
        item.text = L10n::text(entry.en, entry.zh);
        item.shortcut = QKeySequence(Qt::CTRL | Qt::Key(Qt::Key_0 + digit++));
        model.items.push_back(item);
    }

    Item filter;
    filter.kind = Item::Kind::filter;
    filter.text = L10n::text("Filter", "过滤进程");
    filter.shortcut = QKeySequence(Qt::CTRL | Qt::Key_F);
    filter.dividerBefore = true;
    model.items.push_back(filter);

    Item freeze;
    freeze.kind = Item::Kind::freeze;
    freeze.text = monitor.frozen() ? L10n::text("Resume Updates", "继续刷新")
                                   : L10n::text("Freeze Display", "冻结画面");
    freeze.shortcut = QKeySequence(Qt::CTRL | Qt::Key_P);
    model.items.push_back(freeze);
    return model;
}

ViewMenu::ViewMenu(Monitor& monitor, QWidget* parent)
    : QMenu(parent)
    , monitor_(monitor)
{
    connect(&monitor, &Monitor::prefsChanged, this, &ViewMenu::scheduleRefresh);
    connect(&monitor, &Monitor::frozenChanged, this, &ViewMenu::scheduleRefresh);
    connect(&monitor, &Monitor::blockingChanged, this, &ViewMenu::scheduleRefresh);
    refresh();
}

void ViewMenu::run(const Item& item)
{
    // A shortcut may still reach an action in the moment before it is
    // disabled; the blocking check is the one that counts.
    if (monitor_.blocking())
        return;
    switch (item.kind) {
    case Item::Kind::mode: monitor_.switchMode(*item.mode); break;
    case Item::Kind::filter: monitor_.setFocusSearch(monitor_.focusSearch() + 1); break;
    case Item::Kind::freeze: monitor_.setFrozen(!monitor_.frozen()); break;
    }
}

void ViewMenu::scheduleRefresh()
{
    refreshGate_.schedule();
}

void ViewMenu::refresh()
{
    Model next = build(monitor_);
    if (next == model_)
        return;
    const bool sameShape = next.items.size() == model_.items.size();
    model_ = std::move(next);
    setTitle(model_.title);
    menuAction()->setText(model_.title);

    if (!sameShape) {
        clear();
        actions_.clear();
        for (std::size_t i = 0; i < model_.items.size(); ++i) {
            if (model_.items[i].dividerBefore)
                addSeparator();
            QAction* action = addAction(QString());
            // The window's shortcuts work wherever its focus is.
            action->setShortcutContext(Qt::WindowShortcut);
            connect(action, &QAction::triggered, this, [this, i] {
                if (i < model_.items.size())
                    run(model_.items[i]);
            });
            actions_.push_back(action);
        }
    }
    for (std::size_t i = 0; i < model_.items.size(); ++i) {
        actions_[i]->setText(model_.items[i].text);
        actions_[i]->setShortcut(model_.items[i].shortcut);
        actions_[i]->setEnabled(model_.enabled);
    }
}
