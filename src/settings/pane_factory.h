#pragma once
// Where the Feedback and About panes are made. Until they exist these give
// an empty pane, so the window already lists all six.

#include <QWidget>

class Monitor;

namespace PaneFactory {

QWidget* feedback(Monitor& monitor, QWidget* parent);
QWidget* about(Monitor& monitor, QWidget* parent);

} // namespace PaneFactory
