#pragma once
// A widget drawn at an opacity through an opacity effect that exists only
// while it is needed: none at 1, so an opaque widget paints straight into
// its window.
//
// A widget that paints every pixel of its ground may claim it, and the
// window then paints nothing beneath it. Drawn through an effect, on
// itself or on any widget around it, the claim turns false, yet the window
// would still believe it: nothing would paint beneath the faded view, and
// what an earlier frame left there would show through. So a claim made
// here holds only while no widget from the claimant up to its window has
// an effect, and every effect set here brings the claims inside up to date.

class QWidget;

namespace WidgetOpacity {

// Sets the opacity, clamped to 0…1. Leaves the widget's visibility alone.
void set(QWidget* widget, double opacity);
// The same, and hides the widget at 0 so it takes no pointer.
void setHidingAtZero(QWidget* widget, double opacity);

// Claims (or gives up) the widget's whole ground, while it is drawn whole.
void claimGround(QWidget* widget, bool claim = true);
// Brings the claims in and under `widget` up to date; for code that gives
// it an effect of its own.
void effectChanged(QWidget* widget);

} // namespace WidgetOpacity
