#include "field/trace_stack.h"

#include "core/l10n.h"
#include "field/trace_geometry.h"
#include "ui/frame_clock.h"
#include "ui/scheduler.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// A history of `n` samples a second apart ending at `end`.
std::vector<SystemSample> history(int n, Date end = Date{3000})
{
    std::vector<SystemSample> out(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        auto& s = out[std::size_t(i)];
        s.date = end + double(i - (n - 1));
        s.cpu = 0.5;
        s.memTotal = 1000;
        s.memApp = 600;
        s.memWired = 300;
        s.memCompressed = 100;
    }
    return out;
}

Snapshot snapshotOf(const std::vector<SystemSample>& h, double interval = 1.0)
{
    Snapshot s;
    s.system = h.back();
    s.interval = interval;
    return s;
}

} // namespace

TEST(TraceStack, BuildsTheWindowTicksAndScales)
{
    L10n::setChinese(false);
    auto h = history(200);
    h[150].netIn = 100000;
    h.back().cpu = 0.499;
    h.back().cpuUser = 0.3;
    h.back().cpuSystem = 0.199;
    h.back().pressure = 3;
    const auto model = TraceStack::build(snapshotOf(h), h, Date{3000});

    const auto& cpu = model.rows[0];
    EXPECT_EQ(cpu.value, "49%");
    EXPECT_EQ(cpu.detail, "usr 30  sys 19");
    ASSERT_EQ(cpu.layer.series.size(), 1u);
    EXPECT_EQ(cpu.layer.series[0].size(), std::size_t(TraceGeometry::window));
    EXPECT_EQ(cpu.layer.stamp, Date{3000});
    // Samples at 2880 … 3000: half minutes start at 2880 (position 0, not
    // marked), 2910, 2940, 2970 and 3000.
    EXPECT_EQ(cpu.layer.ticks, (std::vector<int>{30, 60, 90, 120}));

    // Used memory equal to the installed memory is the top of the plot.
    EXPECT_DOUBLE_EQ(model.rows[1].layer.series[0].back(), 1.0);
    EXPECT_TRUE(model.rows[1].detail.startsWith("warning  swap "));

    // A peak of 100 000 B/s inside the last 120 samples: 256 KiB.
    EXPECT_DOUBLE_EQ(model.rows[2].scale, 262144);
    ASSERT_EQ(model.rows[2].layer.series.size(), 2u);
    EXPECT_DOUBLE_EQ(model.rows[3].scale, 65536);

    // The same inputs give an equal model, so a refresh costs nothing.
    EXPECT_EQ(TraceStack::build(snapshotOf(h), h, Date{3000}), model);
    // The peak left the visible samples: back to the lowest rung.
    h[150].netIn = 0;
    h[60].netIn = 100000;
    EXPECT_DOUBLE_EQ(TraceStack::build(snapshotOf(h), h, Date{3000}).rows[2].scale, 65536);
}

TEST(TraceStack, EmptyHistoryGivesEmptyTraces)
{
    const auto model = TraceStack::build(Snapshot{}, {}, Date{0});
    for (const auto& row : model.rows) {
        for (const auto& series : row.layer.series)
            EXPECT_TRUE(series.empty());
        EXPECT_TRUE(row.layer.ticks.empty());
    }
    EXPECT_DOUBLE_EQ(model.rows[2].scale, 65536);
    EXPECT_EQ(TraceStack::overlay(0, 1, {}, Date{0}, 1, Date{0}, {236, 60}, 100), std::nullopt);
}

TEST(TraceStack, HoverReadout)
{
    L10n::setChinese(false);
    auto h = history(10);
    h.back().netIn = 2048;
    h.back().topNet = "a&b <i>";
    const QSizeF size(236, 60); // step 2
    // Right after the sample the edge shows the second newest; its readout
    // ends after its values when no group is named.
    auto o = TraceStack::overlay(2, 65536, h, Date{3000}, 1, Date{3000}, size, 236);
    ASSERT_TRUE(o);
    EXPECT_DOUBLE_EQ(o->x, 236);
    EXPECT_TRUE(o->text.startsWith(QString::fromUtf8("−1s  ")));
    EXPECT_FALSE(o->text.contains(QString::fromUtf8("▸")));
    ASSERT_EQ(o->dots.size(), 2u);
    // After the glide the newest, with its busiest group as typed.
    o = TraceStack::overlay(2, 65536, h, Date{3000}, 1, Date{3002}, size, 236);
    ASSERT_TRUE(o);
    EXPECT_TRUE(o->text.startsWith(QString::fromUtf8("−0s  2")));
    EXPECT_TRUE(o->text.endsWith(QString::fromUtf8("  ▸ a&b <i>")));
    // The dot of a value over the scale stays at the plot's edge.
    o = TraceStack::overlay(0, 0.1, h, Date{3000}, 1, Date{3002}, size, 236);
    ASSERT_TRUE(o);
    EXPECT_DOUBLE_EQ(o->dots[0].centre.y(), 4);
}

// The sampler never sends an interval of 0 or less; such a snapshot must
// give a finished glide and finite geometry rather than a division by zero.
TEST(TraceStack, IntervalOfZeroIsAJump)
{
    ScopedManualScheduler scheduler;
    auto h = history(30);
    for (double interval : {0.0, -1.0}) {
        const auto model = TraceStack::build(snapshotOf(h, interval), h, Date{3000});
        EXPECT_EQ(model.rows[0].layer.interval, interval);
        auto o = TraceStack::overlay(0, 1, h, Date{3000}, interval, Date{3000}, {236, 60}, 236);
        ASSERT_TRUE(o);
        EXPECT_DOUBLE_EQ(o->x, 236);
        EXPECT_TRUE(o->text.startsWith(QString::fromUtf8("−0s  ")));

        TraceLayerView view(TraceStack::colors(0));
        view.resize(236, 60);
        view.show();
        view.apply(model.rows[0].layer);
        EXPECT_DOUBLE_EQ(view.glideProgress(), 1);
        EXPECT_FALSE(view.gliding());
        EXPECT_EQ(view.glidePixels(), TraceGeometry::roundToInt(2 * view.devicePixelRatioF()));
        view.grab();
    }
}
