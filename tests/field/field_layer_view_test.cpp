#include "field/field_layer_view.h"
#include "field/field_style.h"
#include "field/field_view.h"
#include "field/legend_flow.h"
#include "field/pictures.h"

#include "app/view_fixture.h"
#include "ui/drawn_texts.h"
#include "ui/fonts.h"
#include "ui/interaction_hold.h"
#include "ui/theme.h"

#include <QApplication>
#include <QBackingStore>
#include <QImage>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

GroupSample bubble(const QString& key, uint64_t mem, double cpu = 0)
{
    GroupSample g(key, key, std::nullopt);
    g.mem = mem;
    g.cpu = cpu;
    return g;
}

class FieldLayerViewTest : public ViewTest {
protected:
    static QColor over(const QColor& ground, const QColor& paint)
    {
        const double a = paint.alphaF();
        return QColor::fromRgbF(float(ground.redF() * (1 - a) + paint.redF() * a),
                                float(ground.greenF() * (1 - a) + paint.greenF() * a),
                                float(ground.blueF() * (1 - a) + paint.blueF() * a));
    }
    static bool near(const QColor& a, const QColor& b, int tolerance = 3)
    {
        return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
            && std::abs(a.blue() - b.blue()) <= tolerance;
    }
    static QPoint pixel(QPointF p) { return QPoint(int(std::floor(p.x())), int(std::floor(p.y()))); }
};

} // namespace

TEST_F(FieldLayerViewTest, PaintsDiscsRingsAndForgetsRemovedGroups)
{
    FieldLayerView view(nullptr);
    showOffscreen(view, QSize(400, 300));
    const GroupSample a = bubble("a", 4000, 0);
    const GroupSample b = bubble("b", 1000, 10);
    view.apply({a, b}, {}, std::nullopt, 400);
    settle();
    ASSERT_TRUE(view.entered());
    EXPECT_TRUE(view.covering());
    EXPECT_FALSE(view.ticking());
    EXPECT_FALSE(view.motionTicking()); // nothing spins, glows or flows

    QImage image = view.grab().toImage();
    const FieldSim::Body bodyA = view.sim().bodies.at("a");
    const FieldSim::Body bodyB = view.sim().bodies.at("b");
    EXPECT_TRUE(near(image.pixelColor(pixel(bodyA.pos)), over(Theme::bg(), FieldStyle::disc(0, false).fill)));
    EXPECT_TRUE(near(image.pixelColor(pixel(bodyB.pos)), over(Theme::bg(), FieldStyle::disc(10, false).fill)));

    // Selected: a dashed ring four points outside the disc.
    view.apply({a, b}, {}, QStringLiteral("a"), 400);
    EXPECT_TRUE(view.motionTicking());
    advance(0.1);
    image = view.grab().toImage();
    int lit = 0;
    for (int k = 0; k < 360; ++k) {
        const double angle = k * std::numbers::pi / 180;
        const QPointF at = bodyA.pos + (bodyA.r + 4) * QPointF(std::cos(angle), std::sin(angle));
        if (image.pixelColor(pixel(at)).lightness() > Theme::bg().lightness() + 30)
            ++lit;
    }
    EXPECT_GT(lit, 60);
    EXPECT_LT(lit, 300); // dashes, not a solid line

    // A group that leaves takes its picture with it.
    view.apply({a}, {}, std::nullopt, 400);
    settle();
    EXPECT_FALSE(view.sim().bodies.contains("b"));
    image = view.grab().toImage();
    // Look inside b's old disc, on the side away from a.
    const QPointF away = bodyB.pos - bodyA.pos;
    const QPointF inside = bodyB.pos + away / std::hypot(away.x(), away.y()) * (bodyB.r - 3);
    EXPECT_TRUE(near(image.pixelColor(pixel(inside)), Theme::bg(), 1));
    EXPECT_FALSE(view.motionTicking());
}

TEST_F(FieldLayerViewTest, TurningTicksSleepBetweenPixels)
{
    FieldLayerView view(nullptr);
    showOffscreen(view, QSize(400, 300));
    GroupSample a = bubble("a", 4000);
    a.threads = 200;
    view.apply({a}, {}, std::nullopt, 400);
    settle();
    advance(0.1);
    // Settled, with only slow ticks turning: no frames between their pixels.
    EXPECT_FALSE(view.ticking());
    EXPECT_FALSE(view.motionTicking());
    const int before = view.repaints();
    advance(5);
    EXPECT_GT(view.repaints(), before + 3);
    EXPECT_FALSE(view.motionTicking());

    // Hidden, nothing turns at all.
    view.hide();
    const int hidden = view.repaints();
    advance(5);
    EXPECT_EQ(view.repaints(), hidden);
}

TEST_F(FieldLayerViewTest, EndlessMotionsStepTogetherOnTheDotsSteps)
{
    FieldLayerView view(nullptr);
    showOffscreen(view, QSize(500, 400));
    std::vector<GroupSample> groups;
    for (const char* key : {"a", "b", "c", "d"}) {
        GroupSample g = bubble(key, 4000);
        g.netIn = 400'000;
        g.netOut = 90'000;
        groups.push_back(g);
    }
    // A halo and a selection ring beside the dots.
    view.apply(groups, {{QStringLiteral("c"), Severity::warn}}, QStringLiteral("d"), 400);
    for (int i = 0; i < 1200 && view.ticking(); ++i)
        advance(FrameClock::interval);
    ASSERT_FALSE(view.ticking());
    ASSERT_TRUE(view.motionTicking());
    // Every bubble still takes each of its dots' pixels (about 19 a
    // second), but all of them, the halo and the ring on the same frames.
    const auto frames = FrameClock::shared().frames();
    const int before = view.repaints();
    advance(1);
    EXPECT_LE(FrameClock::shared().frames() - frames, 20u);
    EXPECT_GE(view.repaints() - before, 4 * 17);
}

TEST_F(FieldLayerViewTest, ClickSelectsDragThrowsAndRightClickOpensTheMenu)
{
    FieldLayerView view(nullptr);
    showOffscreen(view, QSize(400, 300));
    std::vector<std::optional<QString>> picked;
    view.onSelect = [&](const std::optional<QString>& key) { picked.push_back(key); };
    view.apply({bubble("a", 4000)}, {}, std::nullopt, 400);
    settle();
    const QPointF at = view.sim().bodies.at("a").pos;

    QTest::mousePress(&view, Qt::LeftButton, {}, at.toPoint());
    EXPECT_EQ(view.sim().dragging, QStringLiteral("a"));
    settle(0.5);
    EXPECT_NEAR(view.scale("a"), 0.97, 0.01);
    QTest::mouseRelease(&view, Qt::LeftButton, {}, at.toPoint());
    QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(2, 2));
    ASSERT_EQ(picked.size(), 2u);
    EXPECT_EQ(picked[0], QStringLiteral("a"));
    EXPECT_EQ(picked[1], std::nullopt);

    // A drag moves the bubble with the pointer and does not select.
    QTest::mousePress(&view, Qt::LeftButton, {}, at.toPoint());
    QMouseEvent move(QEvent::MouseMove, at + QPointF(30, 0), view.mapToGlobal(at + QPointF(30, 0)),
                     Qt::NoButton, Qt::LeftButton, {});
    QCoreApplication::sendEvent(&view, &move);
    advance(FrameClock::interval);
    EXPECT_EQ(view.sim().bodies.at("a").pos, at + QPointF(30, 0));
    QTest::mouseRelease(&view, Qt::LeftButton, {}, (at + QPointF(30, 0)).toPoint());
    EXPECT_EQ(picked.size(), 2u);
    EXPECT_FALSE(view.sim().dragging);
}

TEST_F(FieldLayerViewTest, SimulatedHoverHoldsABubbleUntilItsTime)
{
    defaults().set(QStringLiteral("simulateHoverBubble"), QStringLiteral("a"));
    defaults().set(QStringLiteral("simulateHoverUntil"), 10);
    InteractionHold::launch();
    auto monitor = make();
    FieldLayerView view(monitor.get());
    showOffscreen(view, QSize(400, 300));
    const std::vector groups{bubble("a", 4000), bubble("b", 1000)};
    view.apply(groups, {}, std::nullopt, 400);
    settle();
    // Flights are not hovered; the next sample finds it resting.
    view.apply(groups, {}, std::nullopt, 400);
    settle();
    EXPECT_EQ(view.hovered(), QStringLiteral("a"));
    EXPECT_EQ(view.sim().pinned, QStringLiteral("a"));
    EXPECT_NEAR(view.scale("a"), 1.04, 1e-3);
    ASSERT_TRUE(view.tip());
    EXPECT_TRUE(view.tip()->first.startsWith(QStringLiteral("a   CPU 0.0%")));

    advance(10);
    view.apply(groups, {}, std::nullopt, 400);
    settle();
    EXPECT_EQ(view.hovered(), std::nullopt);
    EXPECT_EQ(view.sim().pinned, std::nullopt);
    EXPECT_FALSE(view.tip());
    // Saved for the next entry when the field goes.
    monitor->fieldLayout = {};
}

TEST_F(FieldLayerViewTest, CollapseUncoversTheListAndKeepsTheLiveLayout)
{
    auto monitor = make();
    FieldLayerView view(monitor.get());
    showOffscreen(view, QSize(400, 300));
    std::vector<bool> covering;
    QObject::connect(&view, &FieldLayerView::coveringChanged,
                     [&](bool on) { covering.push_back(on); });
    const std::vector groups{bubble("a", 4000), bubble("b", 1000)};
    view.apply(groups, {}, std::nullopt, 400);
    settle();
    ASSERT_EQ(covering, std::vector<bool>{true});
    const QPointF livedAt = view.sim().bodies.at("a").pos;

    // The list's row of "a" is on screen; "b" lies below the visible rows.
    QSet<QString> hidden;
    monitor->rowIconHider = [&](const QSet<QString>& keys) { hidden = keys; };
    monitor->rowAnchorSource = [] {
        Monitor::RowAnchors anchors;
        anchors.points = {{QStringLiteral("a"), QPointF(37, 50)}, {QStringLiteral("b"), QPointF(37, 900)}};
        anchors.clip = QRectF(0, 0, 400, 300);
        return std::optional(anchors);
    };
    view.transition(false, FieldLayerView::Phase::toRows);
    EXPECT_EQ(covering, (std::vector<bool>{true, false}));
    EXPECT_EQ(hidden, QSet<QString>{QStringLiteral("a")});
    settle(1);
    EXPECT_LT(std::hypot(view.sim().bodies.at("a").pos.x() - 37, view.sim().bodies.at("a").pos.y() - 50), 1e-6);
    EXPECT_EQ(view.sim().bodies.at("b").alpha, 0);
    // Saved where the bubbles lived, not where they are flying.
    EXPECT_EQ(monitor->fieldLayout.points.value("a"), livedAt);
    EXPECT_EQ(monitor->fieldLayout.size, QSizeF(400, 300));

    // Pointer input is ignored outside the live phase.
    QTest::mouseClick(&view, Qt::LeftButton, {}, livedAt.toPoint());
    EXPECT_FALSE(view.sim().dragging);
}

TEST_F(FieldLayerViewTest, FieldViewChoosesPhaseAndTogglesSelection)
{
    EXPECT_EQ(FieldView::phaseOf(Monitor::Mode::field), FieldLayerView::Phase::live);
    EXPECT_EQ(FieldView::phaseOf(Monitor::Mode::table), FieldLayerView::Phase::toRows);
    EXPECT_EQ(FieldView::phaseOf(Monitor::Mode::ports), FieldLayerView::Phase::dissolve);

    auto monitor = make();
    FieldView view(*monitor, {});
    monitor->setFocusPid(42);
    view.select(QStringLiteral("a"));
    EXPECT_EQ(monitor->selection(), QStringLiteral("a"));
    EXPECT_EQ(monitor->focusPid(), std::nullopt);
    view.select(QStringLiteral("a"));
    EXPECT_EQ(monitor->selection(), std::nullopt);
    view.select(QStringLiteral("b"));
    view.select(std::nullopt);
    EXPECT_EQ(monitor->selection(), std::nullopt);
    // The legend waits for the view to show, in the field only.
    EXPECT_EQ(view.legendOpacity(), 0);
    EXPECT_EQ(FieldView::legendTexts().size(), 5);

    // A filter that keeps nothing is said, as the other modes say it; a
    // pasted page of it is cut to a line.
    ingest(*monitor, snapshotOf({group(QStringLiteral("web"), 1, {40})}));
    monitor->switchMode(Monitor::Mode::field);
    monitor->setFilter(QStringLiteral("zzz"));
    runPending();
    EXPECT_EQ(view.shownEmptyText(), QStringLiteral("No apps match “zzz”"));
    monitor->setFilter(QString(20000, QLatin1Char('z')));
    runPending();
    EXPECT_LT(view.shownEmptyText().size(), 80);
    L10n::setChinese(true);
    monitor->setFilter(QStringLiteral("zzz"));
    runPending();
    EXPECT_EQ(view.shownEmptyText(), QStringLiteral("没有与「zzz」匹配的 App"));
    L10n::setChinese(false);
    monitor->setFilter(QString());
    runPending();
    EXPECT_EQ(view.shownEmptyText(), QString());
}

TEST_F(FieldLayerViewTest, CrowdedFieldLeavesItsLegendAndTopEdgeClear)
{
    // The demo's 58 groups in the field of a 1024 x 600 window.
    auto monitor = make();
    std::vector<GroupSample> groups;
    for (int i = 0; i < 58; ++i) {
        GroupSample g = group(QStringLiteral("g%1").arg(i), i >= 46 ? 0.5 : 0, {100 + i});
        g.mem = uint64_t(4'000'000'000 / (1 + (i * 7) % 58));
        // Every bubble sends and receives, so dots circle all of them.
        g.netIn = g.netOut = 4e6;
        groups.push_back(g);
    }
    ingest(*monitor, snapshotOf(groups));
    monitor->switchMode(Monitor::Mode::field);
    FieldView view(*monitor, {});
    showOffscreen(view, QSize(623, 405));
    runPending();
    settle(30);
    const FieldSim& sim = view.layer()->sim();
    ASSERT_GE(sim.bodies.size(), 44u);
    const QRect legend = view.legendGeometry();
    ASSERT_GT(legend.height(), 0);
    for (const auto& [key, b] : sim.bodies) {
        SCOPED_TRACE(key.toStdString());
        EXPECT_GE(b.pos.y() - b.r, FieldView::topClearance - 0.01);
        EXPECT_LE(b.pos.y() + b.r, legend.top() + 0.01);
    }
    // No traffic dot runs through the legend's text.
    const QImage shot = view.layer()->grab(legend).toImage();
    const QColor net = Theme::net();
    int dotted = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x) {
            const QColor c = shot.pixelColor(x, y);
            if (std::abs(c.hue() - net.hue()) < 12 && c.saturation() > 90 && c.value() > 90)
                ++dotted;
        }
    EXPECT_EQ(dotted, 0);
}

// Beside the inspector the stage is narrow: the legend wraps rather than
// cut a key, in either language, and lays itself out again for another.
TEST_F(FieldLayerViewTest, NarrowLegendWrapsWithoutCuttingAKey)
{
    auto monitor = make();
    monitor->switchMode(Monitor::Mode::field);
    FieldView view(*monitor, {});
    const QFontMetricsF metrics(
        Fonts::font(9.5, QFont::DemiBold, Fonts::Face::ui, Fonts::Width::condensed, 0.6));
    for (bool chinese : {false, true, false}) {
        setLanguage(*monitor, chinese ? AppLanguage::zh : AppLanguage::en);
        const QStringList texts = FieldView::legendTexts();
        // Each language starts at the width the last one ended at.
        for (int width : {1100, 292, 340, 430, 623, 1100}) {
            showOffscreen(view, QSize(width, 360));
            runPending();
            const std::string at = std::to_string(width) + (chinese ? " zh" : " en");
            const auto shown = view.shownLegend();
            // Every key is there and whole; only the hint may be left out.
            ASSERT_GE(shown.size(), 4u) << at;
            for (std::size_t i = 0; i < 4; ++i)
                EXPECT_EQ(shown[i].first, texts[int(i)]) << at;
            const QRect legend = view.legendGeometry();
            for (std::size_t i = 0; i < shown.size(); ++i) {
                const auto& [text, box] = shown[i];
                EXPECT_TRUE(texts.contains(text)) << at << " " << text.toStdString();
                // Its box holds it, inside the legend and the stage.
                EXPECT_GE(box.width() + 0.01, metrics.horizontalAdvance(text)) << at;
                EXPECT_TRUE(QRectF(legend).adjusted(-0.01, -0.01, 0.01, 0.01).contains(box)) << at;
                EXPECT_LE(box.right(), width - 12 + 0.01) << at;
                for (std::size_t j = i + 1; j < shown.size(); ++j)
                    EXPECT_FALSE(box.intersects(shown[j].second)) << at;
            }
            // The bubbles keep above its top line.
            EXPECT_EQ(legend.bottom() + 1, view.height()) << at;
            if (width >= 1100) {
                EXPECT_EQ(shown.size(), 5u) << "wide, one line holds all five";
                EXPECT_LT(legend.height(), 2 * metrics.height() + 24);
            }
        }
    }
}

TEST(LegendFlow, WrapsDropsTheHintAndCutsOnlyWhatNoLineHolds)
{
    const std::vector<double> widths{60, 50, 70, 80, 60};
    // All on one line.
    LegendFlow flow = LegendFlow::lay(widths, 400, 14);
    EXPECT_EQ(flow.lines, 1);
    EXPECT_EQ(flow.places.size(), 5u);
    EXPECT_DOUBLE_EQ(flow.width, 320 + 4 * 14);
    // The hint alone would need a line: it goes.
    flow = LegendFlow::lay(widths, 320, 14);
    ASSERT_EQ(flow.places.size(), 4u);
    EXPECT_EQ(flow.lines, 1);
    // A key that does not fit starts the next line, at its left edge.
    flow = LegendFlow::lay(widths, 250, 14);
    EXPECT_EQ(flow.lines, 2);
    EXPECT_EQ(flow.places[3], (LegendFlow::Place{3, 1, 0, 80}));
    EXPECT_EQ(flow.places[4], (LegendFlow::Place{4, 1, 94, 60}));
    // Narrower than an entry: one a line, cut to it.
    flow = LegendFlow::lay(widths, 65, 14);
    EXPECT_EQ(flow.lines, 4);
    EXPECT_EQ(flow.places[3].width, 65);
    for (const LegendFlow::Place& place : flow.places)
        EXPECT_LE(place.x + place.width, 65);
}

TEST_F(FieldLayerViewTest, MotionsRepaintedPieceByPieceMatchAFreshPicture)
{
    FieldLayerView view(nullptr);
    showOffscreen(view, QSize(420, 320));
    std::vector<GroupSample> groups;
    for (int i = 0; i < 7; ++i) {
        GroupSample g = bubble(QStringLiteral("g%1").arg(i), 2000 + 900 * i, i == 4 ? 10.0 : 0.0);
        g.threads = 30 + 70 * i;
        g.netIn = i % 2 ? 400'000 : 0;
        g.netOut = i % 3 ? 90'000 : 0;
        groups.push_back(g);
    }
    view.apply(groups, {{QStringLiteral("g2"), Severity::warn}}, QStringLiteral("g5"), 400);
    // The endless motions keep the clock running: wait for the bubbles.
    for (int i = 0; i < 1200 && view.ticking(); ++i)
        advance(FrameClock::interval);
    QApplication::processEvents();
    ASSERT_TRUE(view.covering());
    EXPECT_FALSE(view.ticking());
    // A scaled backing store holds its pixels only while it paints.
    if (view.devicePixelRatio() != 1)
        GTEST_SKIP() << "needs an unscaled screen";
    auto* shown = dynamic_cast<QImage*>(view.backingStore()->paintDevice());
    ASSERT_NE(shown, nullptr);
    const QRect pixels(QPoint(), view.size());
    const auto picture = [&] { return shown->copy(pixels).convertToFormat(QImage::Format_ARGB32); };
    const QImage first = picture();

    // Dots, ticks, the halo and the ring all move on, each repainting only
    // its own pixels.
    const int before = view.repaints();
    for (int frame = 0; frame < 50; ++frame) {
        advance(FrameClock::interval);
        QApplication::processEvents();
    }
    EXPECT_GT(view.repaints(), before + 50);
    const QImage pieces = picture();
    const QImage fresh = view.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(fresh.size(), pixels.size());

    int moved = 0;
    EXPECT_LE(worstDifference(pieces, fresh, &moved), 1);
    moved = 0;
    worstDifference(pieces, first, &moved);
    EXPECT_GT(moved, 200);

    // A sample that changes only a bubble's figures, to a shorter text,
    // and another's pace of traffic, repaints only that line and the dots:
    // no whole bubble, and nothing of the longer text or of the old dots
    // stays behind.
    groups[4].cpu = 9.9;
    groups[1].netIn = 1'500'000;
    groups[3].netOut = 20'000;
    const int whole = view.repaints();
    view.apply(groups, {{QStringLiteral("g2"), Severity::warn}}, QStringLiteral("g5"), 400);
    QApplication::processEvents();
    EXPECT_EQ(view.repaints(), whole);
    const QImage figures = picture();
    int changed = 0;
    worstDifference(figures, pieces, &changed);
    EXPECT_GT(changed, 10);
    int stale = 0;
    EXPECT_LE(worstDifference(figures, view.grab().toImage().convertToFormat(QImage::Format_ARGB32), &stale), 1);
}

TEST_F(FieldLayerViewTest, CreepingBubblesStayWhereTheyWereDrawn)
{
    FieldLayerView view(nullptr);
    showOffscreen(view, QSize(420, 320));
    std::vector<GroupSample> groups;
    for (int i = 0; i < 6; ++i)
        groups.push_back(bubble(QStringLiteral("g%1").arg(i), 40'000'000 + 9'000'000 * i));
    view.apply(groups, {}, std::nullopt, 400);
    settle(20);
    QApplication::processEvents();
    ASSERT_FALSE(view.ticking());

    // Memory that wanders by a few parts in a thousand a sample nudges the
    // bubbles by hundredths of a pixel: few whole repaints.
    const int before = view.repaints();
    for (int second = 0; second < 30; ++second) {
        for (std::size_t i = 0; i < groups.size(); ++i)
            groups[i].mem = uint64_t(double(40'000'000 + 9'000'000 * int(i)) * (1 + 0.003 * ((second + int(i)) % 3)));
        view.apply(groups, {}, std::nullopt, 400);
        settle(1);
        advance(1);
    }
    QApplication::processEvents();
    // Redrawn at every fiftieth of a pixel, the same samples take 75.
    EXPECT_LE(view.repaints() - before, 12);
}

// A canvas as narrow as the field beside the inspector, crowded with long
// names. Its labels reach any device but the raster engine as text, where
// they lie; on every frame as the bubbles come in, none runs into another
// and none is cut but with an ellipsis.
TEST_F(FieldLayerViewTest, LabelsReachARecorderAsTextApartAndWhole)
{
    FieldLayerView view(nullptr);
    showOffscreen(view, QSize(290, 330));
    std::vector<GroupSample> groups;
    for (int i = 0; i < 58; ++i) {
        GroupSample g = bubble(QStringLiteral("g%1").arg(i), uint64_t(7'000'000'000 / (1 + (i * 7) % 58)), i * 3.7);
        g.name = QStringLiteral("Application helper %1").arg(i);
        groups.push_back(g);
    }
    view.apply(groups, {}, std::nullopt, 400);
    DrawnTexts recorder;
    std::size_t seen = 0;
    for (int frame = 0; frame < 40; ++frame) {
        advance(0.1);
        const std::vector<DrawnText> texts = recorder.of(view);
        seen = std::max(seen, texts.size());
        for (std::size_t a = 0; a < texts.size(); ++a) {
            EXPECT_FALSE(texts[a].cut && !texts[a].elided()) << texts[a].text.toStdString() << ", frame " << frame;
            for (std::size_t b = a + 1; b < texts.size(); ++b)
                EXPECT_FALSE(DrawnTexts::overlap(texts[a], texts[b]))
                    << texts[a].text.toStdString() << " over " << texts[b].text.toStdString() << ", frame " << frame;
        }
    }
    EXPECT_GE(seen, 8u);
}
