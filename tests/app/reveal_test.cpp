#include "app/reveal.h"

#include "view_fixture.h"

namespace {

class RevealTest : public ViewTest {
protected:
    // A column on screen, hidden under a reveal of the given order.
    struct Column {
        QWidget widget;
        Reveal* reveal;

        Column(int order, bool shown = false) : reveal(Reveal::attach(&widget, order, shown))
        {
            widget.resize(200, 300);
            widget.show();
        }
    };
};

} // namespace

TEST_F(RevealTest, DelaysAreFixedSecondsByOrder)
{
    EXPECT_DOUBLE_EQ(Reveal::delay(0), 0.08);
    EXPECT_DOUBLE_EQ(Reveal::delay(1), 0.18);
    EXPECT_NEAR(Reveal::delay(2), 0.28, 1e-12);
    EXPECT_DOUBLE_EQ(Reveal::delay(-3), 0.08);
    EXPECT_EQ(Reveal::hiddenOffset(false), 12);
    EXPECT_EQ(Reveal::hiddenOffset(true), 0);
}

TEST_F(RevealTest, ColumnsComeInOneAfterAnother)
{
    Column instruments(0), centre(1);
    EXPECT_EQ(instruments.reveal->opacity(), 0);
    EXPECT_EQ(instruments.reveal->offset(), 12);
    EXPECT_TRUE(instruments.widget.testAttribute(Qt::WA_TransparentForMouseEvents));

    instruments.reveal->setShown(true);
    centre.reveal->setShown(true);
    advance(0.07);
    EXPECT_TRUE(instruments.reveal->waiting());
    EXPECT_FALSE(instruments.reveal->moving());
    EXPECT_EQ(instruments.reveal->opacity(), 0);
    EXPECT_FALSE(instruments.widget.testAttribute(Qt::WA_TransparentForMouseEvents));

    advance(0.02); // 0.09 s
    EXPECT_FALSE(instruments.reveal->waiting());
    EXPECT_TRUE(instruments.reveal->moving());
    EXPECT_TRUE(centre.reveal->waiting());

    advance(0.08); // 0.17 s
    EXPECT_GT(instruments.reveal->opacity(), 0);
    EXPECT_LT(instruments.reveal->offset(), 12);
    EXPECT_FALSE(centre.reveal->moving());
    EXPECT_EQ(centre.reveal->opacity(), 0);

    advance(0.02); // 0.19 s
    EXPECT_TRUE(centre.reveal->moving());

    settle();
    for (Column* c : {&instruments, &centre}) {
        EXPECT_EQ(c->reveal->opacity(), 1);
        EXPECT_EQ(c->reveal->offset(), 0);
        // Settled, the column paints as if nothing were there.
        EXPECT_FALSE(c->reveal->effective());
        EXPECT_EQ(c->widget.graphicsEffect(), nullptr);
    }
    EXPECT_FALSE(FrameClock::shared().running());
}

TEST_F(RevealTest, HidingIsImmediateWhateverTheOrder)
{
    Column late(3, true);
    EXPECT_EQ(late.reveal->opacity(), 1);
    EXPECT_FALSE(late.reveal->effective());

    late.reveal->setShown(false);
    EXPECT_FALSE(late.reveal->waiting());
    EXPECT_TRUE(late.reveal->moving());
    EXPECT_TRUE(late.reveal->effective());
    advance(FrameClock::interval);
    EXPECT_LT(late.reveal->opacity(), 1);
    EXPECT_GT(late.reveal->offset(), 0);

    // Shown again before it has gone: the pending start can be overtaken
    // by another hide, which wins.
    late.reveal->setShown(true);
    late.reveal->setShown(false);
    settle();
    advance(1);
    EXPECT_EQ(late.reveal->opacity(), 0);
    EXPECT_EQ(late.reveal->offset(), 12);
    EXPECT_TRUE(late.widget.testAttribute(Qt::WA_TransparentForMouseEvents));
}

TEST_F(RevealTest, ReducedMotionOnlyFades)
{
    DesktopSettings::instance().setReduceMotionOverride(true);
    Column column(0);
    EXPECT_EQ(column.reveal->offset(), 0);
    column.reveal->setShown(true);
    for (int i = 0; i < 60; ++i) {
        advance(FrameClock::interval);
        EXPECT_EQ(column.reveal->offset(), 0);
    }
    EXPECT_EQ(column.reveal->opacity(), 1);
    column.reveal->setShown(false);
    settle();
    EXPECT_EQ(column.reveal->offset(), 0);
    EXPECT_EQ(column.reveal->opacity(), 0);
}

TEST_F(RevealTest, FollowsTheFirstSamplesAndTheWelcomeTour)
{
    defaults().set(QStringLiteral("showWelcome"), true);
    auto m = make();
    Column column(0);
    column.reveal->follow(*m);
    ingest(*m, Snapshot{});
    ingest(*m, Snapshot{});
    ASSERT_TRUE(m->ready());
    settle();
    // The tour is up: still hidden after the first samples.
    EXPECT_FALSE(column.reveal->shown());
    EXPECT_EQ(column.reveal->opacity(), 0);

    m->finishWelcome();
    EXPECT_TRUE(column.reveal->waiting());
    settle();
    advance(0.1);
    settle();
    EXPECT_EQ(column.reveal->opacity(), 1);

    // A window opened after the first samples shows its columns at once.
    Column opened(1);
    opened.reveal->follow(*m);
    EXPECT_TRUE(opened.reveal->shown());
    EXPECT_FALSE(opened.reveal->waiting());
    EXPECT_FALSE(opened.reveal->moving());
    EXPECT_EQ(opened.reveal->opacity(), 1);
}

TEST_F(RevealTest, ContentOffScreenJumps)
{
    QWidget hidden;
    Reveal* reveal = Reveal::attach(&hidden, 1);
    reveal->setShown(true);
    EXPECT_FALSE(reveal->waiting());
    EXPECT_EQ(reveal->opacity(), 1);
    EXPECT_FALSE(reveal->effective());
    EXPECT_FALSE(FrameClock::shared().running());
}
