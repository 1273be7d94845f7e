#pragma once
// Where the Feedback and About panes are made.

#include <QWidget>

#include <functional>

class Monitor;

// What the panes beyond the preferences need: the software update card's
// maker (absent in windows made without an updater) and the way to the
// main window.
struct PaneContext {
    using CardFactory = std::function<QWidget*(QWidget* parent)>;
    Monitor& monitor;
    CardFactory updateCard;
    std::function<void()> showMain;
};

namespace PaneFactory {

QWidget* feedback(const PaneContext& context, QWidget* parent);
QWidget* about(const PaneContext& context, QWidget* parent);

} // namespace PaneFactory
