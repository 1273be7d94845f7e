#include "process/hold_button.h"

#include "app/view_fixture.h"
#include "ui/desktop_settings.h"

#include <QMenu>
#include <QMouseEvent>
#include <QApplication>

#include <gtest/gtest.h>

namespace {

class HoldButtonTest : public ViewTest {
protected:
    void SetUp() override
    {
        ViewTest::SetUp();
        button = std::make_unique<HoldButton>(QStringLiteral("Quit"), QStringLiteral("stop.fill"), QColor(Qt::yellow),
                                              [this](const std::vector<int32_t>& ids) { calls.push_back(ids); });
        button->setTargets({11, 12, 13});
        showOffscreen(*button, {160, 28});
    }

    void mouse(QEvent::Type type, QPointF at, Qt::MouseButtons buttons)
    {
        QMouseEvent event(type, at, button->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(button.get(), &event);
    }
    void press() { mouse(QEvent::MouseButtonPress, {80, 14}, Qt::LeftButton); }
    void release() { mouse(QEvent::MouseButtonRelease, {80, 14}, Qt::NoButton); }

    std::unique_ptr<HoldButton> button;
    std::vector<std::vector<int32_t>> calls;
};

} // namespace

TEST_F(HoldButtonTest, AnEarlyReleaseOrADragCancels)
{
    EXPECT_EQ(button->label(), QStringLiteral("Quit \u00D73"));
    EXPECT_TRUE(button->toolTip().endsWith(QStringLiteral("Quit \u00D73")));
    press();
    EXPECT_TRUE(button->pressing());
    advance(0.69);
    release();
    advance(0.5);
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(button->progressTarget(), 0);

    press();
    advance(0.3);
    mouse(QEvent::MouseMove, {80 + 41, 14}, Qt::LeftButton);
    EXPECT_FALSE(button->pressing());
    advance(1);
    EXPECT_TRUE(calls.empty());
}

TEST_F(HoldButtonTest, ACompletedHoldActsOnTheIdsCapturedAtPressStart)
{
    press();
    advance(0.3);
    button->setTargets({11}); // a member exits mid-press
    EXPECT_EQ(button->label(), QStringLiteral("Quit \u00D73"));
    advance(0.41);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], (std::vector<int32_t>{11, 12, 13}));
    EXPECT_TRUE(button->confirmed());
    EXPECT_EQ(button->shownSymbol(), QStringLiteral("checkmark"));
    EXPECT_LT(button->symbolSwap(), 0.5); // swapping in, not yet there
    release();
    runPending();
    EXPECT_EQ(button->label(), QStringLiteral("Quit"));
}

TEST_F(HoldButtonTest, APressEndsWithoutActingWhenItsButtonIsHiddenDisabledOrLosesThePointer)
{
    QMenu popup;
    popup.addAction(QStringLiteral("x"));
    const std::vector<std::pair<std::function<void()>, std::function<void()>>> ways{
        {[&] { button->hide(); }, [&] { button->show(); }},
        {[&] { button->setEnabled(false); }, [&] { button->setEnabled(true); }},
        {[&] { popup.popup(QPoint(0, 0)); }, [&] { popup.close(); }}, // the release goes to the popup
    };
    for (const auto& [takeAway, giveBack] : ways) {
        press();
        advance(0.3);
        takeAway();
        advance(0.5);
        EXPECT_FALSE(button->pressing());
        giveBack();
        advance(1);
    }
    EXPECT_TRUE(calls.empty());

    // A real hold still acts; hidden while confirmed, it comes back at rest.
    press();
    advance(0.71);
    release();
    EXPECT_EQ(calls.size(), 1u);
    button->hide();
    advance(1);
    button->show();
    EXPECT_EQ(button->progress(), 0);
    EXPECT_EQ(button->shownSymbol(), QStringLiteral("stop.fill"));
}

TEST_F(HoldButtonTest, TwoHoldsWithinTheResetAreTwoActionsAndTheOldResetLeavesTheNewBarAlone)
{
    press();
    advance(0.71);
    release();
    ASSERT_EQ(calls.size(), 1u);
    advance(0.3); // still confirmed
    press();
    EXPECT_FALSE(button->confirmed());
    advance(0.65); // the first hold's reset falls due mid-press
    EXPECT_TRUE(button->pressing());
    EXPECT_EQ(button->progressTarget(), 1);
    EXPECT_GT(button->progress(), 0.5);
    advance(0.1);
    EXPECT_EQ(calls.size(), 2u);
    release();
    advance(1.0);
    EXPECT_FALSE(button->confirmed());
    EXPECT_EQ(button->progressTarget(), 0);
}

TEST_F(HoldButtonTest, ReduceMotionKeepsTheScaleAtOne)
{
    press();
    EXPECT_LT(button->scaleTarget(), 1);
    advance(0.71);
    EXPECT_GT(button->scaleTarget(), 1);
    release();
    advance(1.5);

    DesktopSettings::instance().setReduceMotionOverride(true);
    press();
    EXPECT_EQ(button->scaleTarget(), 1);
    advance(0.71);
    EXPECT_EQ(button->scaleTarget(), 1);
    release();
}
