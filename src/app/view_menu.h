#pragma once
// The "View" menu: the five modes (Ctrl+1 to Ctrl+5), the filter (Ctrl+F)
// and freezing the display (Ctrl+P). Its texts follow the language and the
// freeze; all of it is disabled while an overlay blocks the main window,
// and an action that fires regardless then does nothing.

#include "ui/refresh_gate.h"
#include "model/monitor.h"

#include <QKeySequence>
#include <QMenu>
#include <QString>

#include <optional>
#include <vector>

class ViewMenu : public QMenu {
    Q_OBJECT

public:
    struct Item {
        enum class Kind { mode, filter, freeze };
        Kind kind = Kind::mode;
        std::optional<Monitor::Mode> mode;
        QString text;
        QKeySequence shortcut;
        // A divider goes before this item.
        bool dividerBefore = false;

        bool operator==(const Item&) const = default;
    };

    struct Model {
        QString title;
        std::vector<Item> items;
        bool enabled = true;

        bool operator==(const Model&) const = default;
    };

    // In the current language, by the Monitor's freeze and blocking.
    static Model build(const Monitor& monitor);

    explicit ViewMenu(Monitor& monitor, QWidget* parent = nullptr);

    const Model& model() const { return model_; }
    // The menu's actions in item order (dividers left out).
    const std::vector<QAction*>& items() const { return actions_; }

private:
    void scheduleRefresh();
    void refresh();
    void run(const Item& item);

    Monitor& monitor_;
    Model model_;
    std::vector<QAction*> actions_;
    RefreshGate refreshGate_{this, [this] { refresh(); }};
};
