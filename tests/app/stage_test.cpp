#include "app/root_view.h"
#include "app/stage.h"

#include "shell_fixture.h"

#include <QApplication>
#include <QBackingStore>
#include <QLabel>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <set>

using Mode = Monitor::Mode;

namespace {

struct Move {
    double opacity;
    double offset;
};

Move rest(Mode mode, Mode current)
{
    return {RootView::opacity(mode, current), RootView::offset(mode, current)};
}

void expectSpring(const Animation& a)
{
    EXPECT_EQ(a.kind, Animation::Kind::spring);
    EXPECT_DOUBLE_EQ(a.duration, Motion::standard());
}

// The curve that waits 0.6 × S and fades over 0.4 × S.
void expectLate(const Animation& a)
{
    EXPECT_EQ(a.kind, Animation::Kind::curve);
    EXPECT_DOUBLE_EQ(a.duration, 0.4 * Motion::standard());
    EXPECT_DOUBLE_EQ(a.delay, 0.6 * Motion::standard());
    EXPECT_DOUBLE_EQ(a.curve.x1, 0.22);
    EXPECT_DOUBLE_EQ(a.curve.x2, 0.36);
}

} // namespace

TEST(StageRules, SwitchSequences)
{
    // table → flow: the list slides left and fades on the spring; the flows
    // come in from the right.
    EXPECT_EQ(rest(Mode::table, Mode::flow).opacity, 0);
    EXPECT_EQ(rest(Mode::table, Mode::flow).offset, -28);
    expectSpring(RootView::animation(Mode::table, Mode::table, Mode::flow));
    EXPECT_EQ(RootView::insertion(Mode::flow, Mode::flow, Mode::table, false),
              (RootView::Insertion{true, 28}));
    EXPECT_EQ(rest(Mode::flow, Mode::flow).offset, 0);

    // ports → flow: the other way round.
    EXPECT_EQ(rest(Mode::ports, Mode::flow).offset, 28);
    expectSpring(RootView::animation(Mode::ports, Mode::ports, Mode::flow));
    EXPECT_EQ(RootView::insertion(Mode::flow, Mode::flow, Mode::ports, false),
              (RootView::Insertion{true, -28}));

    // table → field: the list stays in place and fades quickly on the curve;
    // the field is there at once, on top.
    EXPECT_EQ(rest(Mode::table, Mode::field).opacity, 0);
    EXPECT_EQ(rest(Mode::table, Mode::field).offset, 0);
    const Animation quick = RootView::animation(Mode::table, Mode::table, Mode::field);
    EXPECT_EQ(quick.kind, Animation::Kind::curve);
    EXPECT_DOUBLE_EQ(quick.duration, Motion::quick());
    EXPECT_DOUBLE_EQ(quick.delay, 0);
    EXPECT_EQ(RootView::insertion(Mode::field, Mode::field, Mode::table, false),
              (RootView::Insertion{false, 0}));
    EXPECT_EQ(rest(Mode::field, Mode::field).opacity, 1);

    // field → table: the field stays opaque on top; the list fades in late.
    EXPECT_EQ(rest(Mode::field, Mode::table).opacity, 1);
    EXPECT_EQ(rest(Mode::field, Mode::table).offset, 0);
    expectSpring(RootView::animation(Mode::field, Mode::field, Mode::table));
    expectLate(RootView::animation(Mode::table, Mode::field, Mode::table));
    EXPECT_EQ(rest(Mode::table, Mode::table).opacity, 1);

    // field → flow: the field fades in place, late; the flows come from the right.
    EXPECT_EQ(rest(Mode::field, Mode::flow).opacity, 0);
    EXPECT_EQ(rest(Mode::field, Mode::flow).offset, 0);
    expectLate(RootView::animation(Mode::field, Mode::field, Mode::flow));
    EXPECT_EQ(RootView::insertion(Mode::flow, Mode::flow, Mode::field, false),
              (RootView::Insertion{true, 28}));

    // flow → field: the flows slide right on the spring; field and list are
    // inserted without a transition, the list transparent and in place.
    EXPECT_EQ(rest(Mode::flow, Mode::field).offset, 28);
    expectSpring(RootView::animation(Mode::flow, Mode::flow, Mode::field));
    EXPECT_EQ(RootView::insertion(Mode::field, Mode::field, Mode::flow, false),
              (RootView::Insertion{false, 0}));
    EXPECT_EQ(RootView::insertion(Mode::table, Mode::field, Mode::flow, false),
              (RootView::Insertion{false, 0}));
    EXPECT_EQ(rest(Mode::table, Mode::field).opacity, 0);

    // Switches that do not touch the field or the list keep the spring.
    expectSpring(RootView::animation(Mode::table, Mode::flow, Mode::ports));
    expectSpring(RootView::animation(Mode::domains, Mode::domains, Mode::table));
}

TEST(StageRules, ReduceMotionOnlyFades)
{
    for (Mode previous : Monitor::allModes)
        for (Mode mode : {Mode::flow, Mode::domains, Mode::ports})
            EXPECT_EQ(RootView::insertion(mode, mode, previous, true), (RootView::Insertion{true, 0}));
    EXPECT_EQ(RootView::insertion(Mode::field, Mode::field, Mode::table, true),
              (RootView::Insertion{false, 0}));
}

TEST_F(ShellTest, StageHoldsExactlyTheMountedModes)
{
    auto m = make();
    int built = 0;
    Stage stage(*m, [&built](Mode mode, QWidget* parent) {
        ++built;
        return new QLabel(Monitor::modeText(mode), parent);
    });
    stage.resize(800, 600);
    stage.show();
    settle();
    QWidget* table = stage.view(Mode::table);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(stage.view(Mode::flow), nullptr);

    // Away and back inside the unmount delay: the same list view.
    m->switchMode(Mode::flow);
    settle(0.2);
    EXPECT_NE(stage.view(Mode::flow), nullptr);
    m->switchMode(Mode::table);
    settle();
    advance(1);
    settle();
    EXPECT_EQ(stage.view(Mode::table), table);
    EXPECT_EQ(stage.view(Mode::flow), nullptr);
    EXPECT_EQ(stage.opacity(Mode::table), 1);
    EXPECT_EQ(stage.offset(Mode::table), 0);
    EXPECT_EQ(built, 2);

    // Unmounted for good, mounted again: a fresh view.
    m->switchMode(Mode::ports);
    advance(1);
    settle();
    EXPECT_EQ(stage.view(Mode::table), nullptr);
    EXPECT_EQ(stage.offset(Mode::ports), 0);
    m->switchMode(Mode::table);
    advance(1);
    settle();
    EXPECT_NE(stage.view(Mode::table), nullptr);
    EXPECT_EQ(built, 4);
}

TEST_F(ShellTest, StageSlidesAndOnlyTheCurrentViewTakesThePointer)
{
    auto m = make();
    Stage stage(*m, [](Mode mode, QWidget* parent) { return new QLabel(Monitor::modeText(mode), parent); });
    stage.resize(800, 600);
    stage.show();
    settle();

    m->switchMode(Mode::flow);
    clock.scheduler.runPending();
    // The new view starts off to the right and transparent; the old one leaves.
    EXPECT_DOUBLE_EQ(stage.offset(Mode::flow), 28);
    EXPECT_DOUBLE_EQ(stage.opacity(Mode::flow), 0);
    EXPECT_TRUE(stage.moving());
    settle(0.3);
    EXPECT_LT(stage.offset(Mode::table), -20);
    EXPECT_LT(stage.opacity(Mode::table), 0.2);
    EXPECT_TRUE(stage.view(Mode::table)->testAttribute(Qt::WA_TransparentForMouseEvents));
    EXPECT_FALSE(stage.view(Mode::flow)->testAttribute(Qt::WA_TransparentForMouseEvents));
    advance(1);
    settle();
    EXPECT_FALSE(stage.moving());

    // The field over the list after a switch back: drawn, but the list gets
    // the clicks.
    m->switchMode(Mode::table);
    advance(1);
    settle();
    m->switchMode(Mode::field);
    settle(0.1);
    m->switchMode(Mode::table);
    settle(0.1);
    ASSERT_NE(stage.view(Mode::field), nullptr);
    EXPECT_EQ(stage.opacity(Mode::field), 1);
    EXPECT_TRUE(stage.view(Mode::field)->testAttribute(Qt::WA_TransparentForMouseEvents));
    EXPECT_FALSE(stage.view(Mode::table)->testAttribute(Qt::WA_TransparentForMouseEvents));
    EXPECT_EQ(stage.childAt(400, 300), stage.view(Mode::table));
    advance(1);
    settle();
    EXPECT_EQ(stage.view(Mode::field), nullptr);
    // Nothing ticks once all has settled.
    EXPECT_FALSE(FrameClock::shared().subscribed(&stage));
}

TEST_F(ShellTest, StageWithReduceMotionNeverOffsets)
{
    DesktopSettings::instance().setReduceMotionOverride(true);
    auto m = make();
    Stage stage(*m, [](Mode mode, QWidget* parent) { return new QLabel(Monitor::modeText(mode), parent); });
    stage.resize(800, 600);
    stage.show();
    settle();
    m->switchMode(Mode::ports);
    clock.scheduler.runPending();
    EXPECT_EQ(stage.offset(Mode::ports), 0);
    EXPECT_EQ(stage.opacity(Mode::ports), 0);
    settle(0.1);
    EXPECT_EQ(stage.offset(Mode::table), 0);
    EXPECT_GT(stage.opacity(Mode::ports), 0);
}

namespace {

// What a window shows, composed the way the window system composes it:
// each frame paints only its dirty parts, over the frame before, into the
// window's one backing store. A fresh picture of the whole window is what
// the frame should show; a pixel that differs from it was left over from
// an earlier frame.
class Composed {
public:
    Composed(QWidget& window, const QWidget& area)
        : window_(window), area_(area.mapTo(&window, QPoint()), area.size())
    {
    }

    // The backing store holds plain pixels only on an unscaled screen.
    bool usable() const { return window_.devicePixelRatio() == 1 && shown() != nullptr; }

    // Paints what is due, then counts the pixels of the area that differ
    // from a fresh picture by more than a rounding step.
    int stalePixels() const
    {
        QApplication::processEvents();
        const QImage now = shown()->copy(area_).convertToFormat(QImage::Format_RGB32);
        const QImage fresh = window_.grab(area_).toImage().convertToFormat(QImage::Format_RGB32);
        if (now.size() != fresh.size())
            return area_.width() * area_.height();
        int stale = 0;
        for (int y = 0; y < now.height(); ++y) {
            const auto* a = reinterpret_cast<const QRgb*>(now.constScanLine(y));
            const auto* b = reinterpret_cast<const QRgb*>(fresh.constScanLine(y));
            if (std::equal(a, a + now.width(), b))
                continue;
            for (int x = 0; x < now.width(); ++x)
                stale += std::max({std::abs(qRed(a[x]) - qRed(b[x])), std::abs(qGreen(a[x]) - qGreen(b[x])),
                                   std::abs(qBlue(a[x]) - qBlue(b[x]))}) > 2;
        }
        return stale;
    }

private:
    QImage* shown() const { return dynamic_cast<QImage*>(window_.backingStore()->paintDevice()); }

    QWidget& window_;
    QRect area_;
};

class StageFrames : public ShellTest {
protected:
    // Every ordered pair of modes exactly once, one switch after another.
    static constexpr std::array<Mode, 21> tour{
        Mode::table, Mode::field,   Mode::table,   Mode::flow,  Mode::table, Mode::domains, Mode::table,
        Mode::ports, Mode::field,   Mode::flow,    Mode::field, Mode::domains, Mode::field, Mode::ports,
        Mode::flow,  Mode::domains, Mode::flow,    Mode::ports, Mode::domains, Mode::ports, Mode::table};

    // A machine busy enough that the field shows large bubbles with their
    // labels, ticks and traffic, the list a screenful of rows, and the
    // flows, domains and ports something of each.
    static void feed(Monitor& m)
    {
        std::vector<GroupSample> groups;
        std::vector<Connection> connections;
        std::vector<Listener> listeners;
        for (int i = 0; i < 9; ++i) {
            GroupSample g = group(QStringLiteral("g%1").arg(i), 5 + 30.0 * (i % 4), {100 + i},
                                  QStringLiteral("Group %1").arg(i));
            g.mem = uint64_t(200 + 150 * i) << 20;
            g.threads = 20 + 60 * i;
            g.netIn = i % 3 ? 300'000 : 0;
            groups.push_back(g);
            Connection c;
            c.pid = 100 + i;
            c.remoteHost = QStringLiteral("203.0.113.%1").arg(1 + i % 4);
            c.id = QStringLiteral("%1 %2").arg(c.pid).arg(c.remoteHost);
            c.remotePort = 443;
            c.rateIn = g.netIn;
            c.bytesIn = 10 * g.netIn;
            connections.push_back(c);
            Listener l;
            l.pid = 100 + i;
            l.proto = QStringLiteral("tcp");
            l.port = 8000 + i;
            listeners.push_back(l);
        }
        for (int64_t serial = 1; serial <= 2; ++serial) {
            Snapshot s = snapshotOf(groups, serial);
            s.connections = connections;
            s.listeners = listeners;
            ingest(m, s);
        }
    }

    // Switches, and follows every frame of the change until its views are
    // unmounted and at rest; the most stale pixels any frame showed.
    int follow(Monitor& m, const Composed& window, Mode to)
    {
        m.switchMode(to);
        int worst = 0;
        // Past the slowest unmount, a quarter second after the motion ends.
        for (double t = 0; t < Motion::standard() + 0.3; t += FrameClock::interval) {
            advance(FrameClock::interval);
            worst = std::max(worst, window.stalePixels());
        }
        return worst;
    }

    void everyChange()
    {
        std::set<std::pair<Mode, Mode>> pairs;
        for (std::size_t i = 1; i < tour.size(); ++i)
            pairs.emplace(tour[i - 1], tour[i]);
        ASSERT_EQ(pairs.size(), 20u);

        auto m = make();
        RootView root(*m, updater());
        root.resize(RootView::minimumWidth, RootView::minimumHeight);
        root.show();
        feed(*m);
        settle();
        Composed window(root, *root.stage());
        if (!window.usable())
            GTEST_SKIP() << "needs an unscaled screen";
        ASSERT_EQ(m->mode(), tour.front());
        for (std::size_t i = 1; i < tour.size(); ++i)
            EXPECT_EQ(follow(*m, window, tour[i]), 0)
                << Monitor::modeText(tour[i - 1]).toStdString() << " to " << Monitor::modeText(tour[i]).toStdString();
    }
};

} // namespace

// Every frame of every change between two modes shows only what is drawn
// now: nothing a view drew in an earlier frame stays on the stage, though
// each frame repaints only what moved.
TEST_F(StageFrames, EveryModeChangeShowsNoPixelOfAnEarlierFrame)
{
    everyChange();
}

TEST_F(StageFrames, EveryModeChangeUnderReduceMotionShowsNoPixelOfAnEarlierFrame)
{
    DesktopSettings::instance().setReduceMotionOverride(true);
    everyChange();
}
