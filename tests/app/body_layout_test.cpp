#include "app/body_layout.h"

#include <gtest/gtest.h>

namespace {

constexpr int inspector = BodyLayout::inspectorWidth + BodyLayout::rule;

// The centre's right edge and the inspector's left edge: beside each other
// the one meets the other, over it the centre runs to the row's end.
int centreRight(const BodyLayout& l)
{
    return l.centreLeft + l.centreWidth;
}

} // namespace

// On a wide row nothing gives way: the column keeps its width and the
// inspector takes its room from the centre, on its motion.
TEST(BodyLayout, WideRowsKeepEveryColumnSideBySide)
{
    for (int width : {1024, 1120, 1400, 2000}) {
        for (double shown : {0.0, 0.5, 1.0}) {
            const BodyLayout l = BodyLayout::share(width, true, shown);
            SCOPED_TRACE(testing::Message() << width << " shown " << shown);
            EXPECT_FALSE(l.folded);
            EXPECT_FALSE(l.overlaid);
            EXPECT_EQ(l.instruments, BodyLayout::instrumentsWidth);
            EXPECT_EQ(l.centreLeft, BodyLayout::instrumentsWidth + 1);
            EXPECT_EQ(centreRight(l), l.inspectorLeft);
            EXPECT_EQ(l.inspectorLeft, width - int(inspector * shown + 0.5));
        }
    }
    // A 1024-pixel screen keeps the column whole beside the inspector.
    EXPECT_GE(BodyLayout::share(1024, true, 1).centreWidth, BodyLayout::centreMinimum);
}

// An 800-pixel row used to leave the centre some 68 pixels beside the
// inspector. The column folds first, and that is room enough.
TEST(BodyLayout, TheColumnFoldsBeforeTheCentreGetsTooNarrow)
{
    const BodyLayout closed = BodyLayout::share(800, false, 0);
    EXPECT_FALSE(closed.folded);
    EXPECT_GE(closed.centreWidth, BodyLayout::centreMinimum);

    const BodyLayout open = BodyLayout::share(800, true, 1);
    EXPECT_TRUE(open.folded);
    EXPECT_FALSE(open.overlaid);
    EXPECT_EQ(open.instruments, BodyLayout::stripWidth);
    EXPECT_GE(open.centreWidth, BodyLayout::centreMinimum);
    EXPECT_EQ(centreRight(open), open.inspectorLeft);
    EXPECT_EQ(open.inspectorLeft, 800 - inspector);

    // The fold follows the wish for the inspector, not its motion: it
    // stands from the first frame to the last.
    EXPECT_TRUE(BodyLayout::share(800, true, 0).folded);
    EXPECT_FALSE(BodyLayout::share(800, false, 0.9).folded);

    // Where the column starts to fold: one pixel less than it needs.
    const int whole = BodyLayout::instrumentsWidth + 1 + BodyLayout::centreMinimum + inspector;
    EXPECT_FALSE(BodyLayout::share(whole, true, 1).folded);
    EXPECT_TRUE(BodyLayout::share(whole - 1, true, 1).folded);
}

// Where even the strip leaves the centre too little, the inspector lies
// over the centre, which keeps the whole row; so does an inspector on its
// way out past an unfolding column.
TEST(BodyLayout, TheInspectorLiesOverACentreTooNarrowForIt)
{
    for (double shown : {0.25, 1.0}) {
        const BodyLayout l = BodyLayout::share(640, true, shown);
        EXPECT_TRUE(l.folded);
        EXPECT_TRUE(l.overlaid);
        EXPECT_EQ(l.centreLeft, BodyLayout::stripWidth + 1);
        EXPECT_EQ(centreRight(l), 640);
        EXPECT_EQ(l.inspectorLeft, 640 - int(inspector * shown + 0.5));
    }
    // Closing at 800: the column unfolds at once, and the leaving inspector
    // passes over the centre instead of squeezing it to a sliver.
    const BodyLayout leaving = BodyLayout::share(800, false, 0.8);
    EXPECT_FALSE(leaving.folded);
    EXPECT_TRUE(leaving.overlaid);
    EXPECT_EQ(centreRight(leaving), 800);

    // Nothing is ever narrower than nothing.
    const BodyLayout tiny = BodyLayout::share(40, true, 1);
    EXPECT_GE(tiny.centreWidth, 0);
    // Wherever the centre stands beside the inspector, it keeps its minimum.
    for (int width = 300; width <= 1500; width += 7) {
        const BodyLayout l = BodyLayout::share(width, true, 1);
        if (!l.overlaid) {
            EXPECT_GE(l.centreWidth, BodyLayout::centreMinimum) << width;
        }
    }
}
