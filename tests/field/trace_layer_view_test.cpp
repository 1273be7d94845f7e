#include "field/trace_layer_view.h"
#include "field/pictures.h"

#include "ui/frame_clock.h"
#include "ui/scheduler.h"
#include "ui/theme.h"

#include <QCoreApplication>
#include <QEvent>
#include <QImage>

#include <algorithm>
#include <cmath>

#include <gtest/gtest.h>

namespace {

class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

TraceLayerView::Model modelAt(double stamp, double value = 0.5)
{
    TraceLayerView::Model m;
    m.series = {std::vector<double>(121, value)};
    m.ticks = {30, 60, 500};
    m.stamp = Date{stamp};
    return m;
}

struct TraceView : ::testing::Test {
    ScopedManualScheduler scheduler;
    TraceLayerView view{{Theme::cpu()}};
    PaintCounter counter;

    void SetUp() override
    {
        view.resize(236, 60); // a step of 2
        view.show();
        view.installEventFilter(&counter);
        settle();
    }
    void settle() { QCoreApplication::processEvents(); }
    // Runs the frame clock for `seconds`, painting after every frame.
    void run(double seconds)
    {
        for (double t = 0; t < seconds; t += FrameClock::interval) {
            scheduler.scheduler.advance(FrameClock::interval);
            settle();
        }
    }
};

} // namespace

TEST_F(TraceView, GlideRepaintsOnlyOnWholeDevicePixels)
{
    view.apply(modelAt(1));
    EXPECT_TRUE(view.gliding());
    settle();
    const int builds = view.rebuilds();
    counter.paints = 0;
    // Between pixels the glide snoozes on the frame clock rather than take
    // sixty frames a second.
    const auto frames = FrameClock::shared().frames();
    run(1.2);
    EXPECT_LE(FrameClock::shared().frames() - frames, std::uint64_t(2 * view.devicePixelRatioF()) + 2);
    EXPECT_FALSE(FrameClock::shared().running());
    EXPECT_FALSE(view.gliding());
    EXPECT_DOUBLE_EQ(view.glideProgress(), 1);
    const int pixels = view.glidePixels();
    EXPECT_EQ(pixels, int(2 * view.devicePixelRatioF()));
    // One paint per device pixel the drawing moved, not one per frame, and
    // no redraw of the cached drawing.
    EXPECT_LE(counter.paints, pixels);
    EXPECT_GE(counter.paints, 1);
    EXPECT_EQ(view.rebuilds(), builds);
}

TEST_F(TraceView, EqualModelCostsNothingAndValuesRedrawInPlace)
{
    view.apply(modelAt(1));
    run(1.2);
    const int builds = view.rebuilds();
    counter.paints = 0;
    view.apply(modelAt(1));
    settle();
    EXPECT_EQ(counter.paints, 0);
    EXPECT_FALSE(view.gliding());

    // Same stamp, new values: redrawn, and the finished glide stays.
    view.apply(modelAt(1, 0.9));
    settle();
    EXPECT_EQ(view.rebuilds(), builds + 1);
    EXPECT_FALSE(view.gliding());
    EXPECT_DOUBLE_EQ(view.glideProgress(), 1);

    // A new stamp starts the glide again from 0.
    view.apply(modelAt(2, 0.9));
    EXPECT_TRUE(view.gliding());
    EXPECT_DOUBLE_EQ(view.glideProgress(), 0);
}

TEST_F(TraceView, HiddenViewDoesNotGlide)
{
    view.hide();
    view.apply(modelAt(1));
    EXPECT_FALSE(view.gliding());
    EXPECT_DOUBLE_EQ(view.glideProgress(), 1);
    view.show();
    view.apply(modelAt(2));
    EXPECT_TRUE(view.gliding());
    view.hide();
    EXPECT_FALSE(view.gliding());
}

TEST_F(TraceView, DrawsTheLineAtItsValueAndNothingWhenTiny)
{
    view.apply(modelAt(1, 1.7));
    run(1.2);
    const QImage image = view.grab().toImage();
    // A value above the scale is drawn at the top edge of the plot, 4 px
    // below the view's top.
    const QColor atLine = image.pixelColor(100, 4);
    const QColor above = image.pixelColor(100, 1);
    EXPECT_GT(atLine.red() + atLine.green() + atLine.blue(), above.red() + above.green() + above.blue() + 60);

    TraceLayerView tiny{{Theme::cpu()}};
    tiny.resize(200, 10);
    tiny.apply(modelAt(1));
    tiny.grab();
    EXPECT_EQ(tiny.rebuilds(), 1);
    const QImage flat = tiny.grab().toImage();
    EXPECT_EQ(flat.pixelColor(100, 5), Theme::bg());
}

TEST_F(TraceView, NewSamplesExtendTheDrawingAsAFreshOneWouldDrawIt)
{
    // Each new sample draws only the newest points into the cached strip;
    // after many, the picture must be the one a fresh view draws.
    TraceLayerView::Model m;
    m.stamp = Date{1};
    std::vector<double> up(121), down(121);
    for (int k = 0; k < 121; ++k) {
        up[std::size_t(k)] = 0.5 + 0.4 * std::sin(k * 0.7);
        down[std::size_t(k)] = 0.3 + 0.25 * std::cos(k * 1.3);
    }
    m.series = {up, down};
    m.ticks = {12, 42, 72, 102};
    TraceLayerView two{{Theme::net(), Theme::warn()}};
    two.resize(236, 60);
    two.show();
    two.apply(m);
    run(1.2);
    two.grab();
    const int builds = two.rebuilds();
    for (int n = 0; n < 40; ++n) {
        for (auto* series : {&up, &down}) {
            series->erase(series->begin());
            series->push_back(n % 7 == 0 ? std::nan("") : 0.5 + 0.45 * std::sin(n * 1.9 + double(series == &up)));
        }
        m.series = {up, down};
        for (int& t : m.ticks)
            t = t == 0 ? 120 - 1 : t - 1;
        std::sort(m.ticks.begin(), m.ticks.end());
        m.stamp = Date{m.stamp.sinceReference + 1};
        two.apply(m);
        run(1.05);
        two.grab();
    }
    // Drawn afresh only when the strip ran out of room.
    EXPECT_LE(two.rebuilds() - builds, 1);

    TraceLayerView fresh{{Theme::net(), Theme::warn()}};
    fresh.resize(236, 60);
    fresh.apply(m);
    const QImage a = two.grab().toImage();
    const QImage b = fresh.grab().toImage();
    ASSERT_EQ(a.size(), b.size());
    EXPECT_LE(worstDifference(a, b), 2);

    // While the history fills up, a new sample adds a point and drops none.
    TraceLayerView filling{{Theme::net(), Theme::warn()}};
    filling.resize(236, 60);
    filling.show();
    TraceLayerView::Model short_ = m;
    for (auto& values : short_.series)
        values.erase(values.begin(), values.begin() + 60);
    short_.ticks.clear();
    filling.apply(short_);
    filling.grab();
    const int fillingBuilds = filling.rebuilds();
    for (int n = 0; n < 5; ++n) {
        short_.series[0].push_back(0.2 + 0.1 * n);
        short_.series[1].push_back(0.6 - 0.1 * n);
        short_.stamp = Date{short_.stamp.sinceReference + 1};
        filling.apply(short_);
        run(1.05);
        filling.grab();
    }
    EXPECT_EQ(filling.rebuilds(), fillingBuilds);
    TraceLayerView freshShort{{Theme::net(), Theme::warn()}};
    freshShort.resize(236, 60);
    freshShort.apply(short_);
    EXPECT_LE(worstDifference(filling.grab().toImage(), freshShort.grab().toImage()), 2);

    // A change that is not a shift draws afresh.
    m.series[0][10] += 0.1;
    m.stamp = Date{m.stamp.sinceReference + 1};
    const int before = two.rebuilds();
    two.apply(m);
    two.grab();
    EXPECT_EQ(two.rebuilds(), before + 1);
}
