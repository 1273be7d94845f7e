#include "field/capacity_bars.h"

#include "core/l10n.h"

#include <gtest/gtest.h>

TEST(CapacityBars, BarsAgainstTheirLimits)
{
    L10n::setChinese(false);
    SystemSample s;
    s.fileCount = 512;
    s.fileMax = 0;
    s.threadCount = 0;
    s.threadMax = 1000;
    s.procCount = 300;
    s.procMax = 1200;
    const auto model = CapacityBars::build(s);
    EXPECT_EQ(model.bars[0].title, "FILES");
    EXPECT_EQ(model.bars[0].count, "512");
    EXPECT_EQ(model.bars[0].limit, "max 0");
    // A limit of 0 counts as 1: a full bar, never past it.
    EXPECT_DOUBLE_EQ(model.bars[0].fraction, 1);
    EXPECT_DOUBLE_EQ(model.bars[1].fraction, 0);
    EXPECT_DOUBLE_EQ(model.bars[2].fraction, 0.25);
    // An empty bar still shows a sliver.
    EXPECT_DOUBLE_EQ(CapacityBars::fillWidth(0, 100), 3);
    EXPECT_DOUBLE_EQ(CapacityBars::fillWidth(0.5, 100), 50);

    L10n::setChinese(true);
    EXPECT_EQ(CapacityBars::build(s).bars[2].limit, QString::fromUtf8("上限 1200"));
    L10n::setChinese(false);
}
