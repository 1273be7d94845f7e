#include "app/root_view.h"
#include "app/stage.h"

#include "shell_fixture.h"

#include <QLabel>

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
