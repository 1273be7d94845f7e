#include "field/capacity_bars.h"

#include "core/l10n.h"
#include "model/monitor_fixture.h"
#include "ui/frame_clock.h"

#include <QCoreApplication>

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

namespace {

struct Bars : MonitorTest {
    static Snapshot withProcesses(int count)
    {
        Snapshot s;
        s.system.procCount = count;
        s.system.procMax = 100000;
        s.system.threadMax = 1000;
        s.system.fileMax = 1000;
        return s;
    }
};

} // namespace

TEST_F(Bars, OnlyAVisibleMoveWakesTheFrameClock)
{
    auto monitor = make();
    ingest(*monitor, withProcesses(300));
    CapacityBars bars(*monitor);
    bars.resize(300, bars.sizeHint().height());
    bars.show();
    QCoreApplication::processEvents();
    advance(0);

    // A few more processes against a large limit move no fill by more than a
    // device pixel: the fill takes its place at once, with no ease.
    ingest(*monitor, withProcesses(310));
    advance(0);
    EXPECT_FALSE(FrameClock::shared().running());
    EXPECT_DOUBLE_EQ(bars.shownFraction(2), 0.0031);

    // A large change eases.
    ingest(*monitor, withProcesses(60000));
    advance(0);
    EXPECT_TRUE(FrameClock::shared().running());
    EXPECT_LT(bars.shownFraction(2), 0.6);
    advance(1);
    EXPECT_DOUBLE_EQ(bars.shownFraction(2), 0.6);
    EXPECT_FALSE(FrameClock::shared().running());
}
