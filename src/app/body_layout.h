#pragma once
// How the row under the header shares its width between the instruments
// column, the centre column and the inspector. On a wide window all three
// stand side by side at their own widths. When the centre would be left
// narrower than it can show its views in, the instruments column folds to
// a strip first; if the centre is still too narrow beside the inspector,
// the inspector lies over the centre's trailing edge instead of squeezing
// it. Widths include the one-pixel rule at each column's leading edge
// where there is one.

struct BodyLayout {
    // Geometry, in pixels.
    static constexpr int instrumentsWidth = 400;
    static constexpr int stripWidth = 92;
    static constexpr int inspectorWidth = 330;
    static constexpr int rule = 1;
    // The least width the centre keeps for its views before anything else
    // gives way to it.
    static constexpr int centreMinimum = 280;

    bool folded = false;      // the instruments column is a strip
    bool overlaid = false;    // the inspector lies over the centre
    int instruments = 0;      // the instruments column's width, without its rule
    int centreLeft = 0;
    int centreWidth = 0;
    int inspectorLeft = 0;    // where the inspector's rule stands

    bool operator==(const BodyLayout&) const = default;

    // The row `width` wide. `open` is whether the inspector is wanted (it
    // decides the fold, so the column folds as the inspector starts to come
    // and unfolds as it starts to go); `shown`, 0 to 1, is how far the
    // inspector has come in on its motion.
    static BodyLayout share(int width, bool open, double shown);
};
