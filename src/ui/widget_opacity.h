#pragma once
// A widget drawn at an opacity through an opacity effect that exists only
// while it is needed: none at 1, so an opaque widget paints straight into
// its window.

class QWidget;

namespace WidgetOpacity {

// Sets the opacity, clamped to 0…1. Leaves the widget's visibility alone.
void set(QWidget* widget, double opacity);
// The same, and hides the widget at 0 so it takes no pointer.
void setHidingAtZero(QWidget* widget, double opacity);

} // namespace WidgetOpacity
