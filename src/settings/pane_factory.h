#pragma once
// Where the Feedback and About panes are made.

#include <QWidget>

#include <functional>

class Monitor;
class Updater;

// What the panes beyond the preferences need: the updater (absent in
// windows made without one) and the way to the main window.
struct PaneContext {
    Monitor& monitor;
    Updater* updater = nullptr;
    std::function<void()> showMain;
};

namespace PaneFactory {

QWidget* feedback(const PaneContext& context, QWidget* parent);
QWidget* about(const PaneContext& context, QWidget* parent);

} // namespace PaneFactory
