#pragma once
// Where the Feedback and About panes are made.

#include <QWidget>

class Monitor;

namespace PaneFactory {

QWidget* feedback(Monitor& monitor, QWidget* parent);
QWidget* about(Monitor& monitor, QWidget* parent);

} // namespace PaneFactory
