#include "app/body_layout.h"

#include <algorithm>
#include <cmath>

BodyLayout BodyLayout::share(int width, bool open, double shown)
{
    const int inspector = inspectorWidth + rule;
    const int room = int(std::lround(inspector * std::clamp(shown, 0.0, 1.0)));

    BodyLayout layout;
    layout.folded = width - (instrumentsWidth + rule) - (open ? inspector : 0) < centreMinimum;
    layout.instruments = layout.folded ? stripWidth : instrumentsWidth;
    layout.centreLeft = layout.instruments + rule;
    // Decided by the width alone, not by the motion: an inspector on its
    // way out over the centre leaves over it, never squeezing it on the way.
    layout.overlaid = width - layout.centreLeft - inspector < centreMinimum;
    const int centreRight = layout.overlaid ? width : width - room;
    layout.centreWidth = std::max(0, centreRight - layout.centreLeft);
    layout.inspectorLeft = width - room;
    return layout;
}
