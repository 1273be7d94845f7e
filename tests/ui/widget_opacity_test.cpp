#include "ui/widget_opacity.h"

#include <QGraphicsBlurEffect>
#include <QWidget>

#include <gtest/gtest.h>

// A view that paints its whole ground may spare the window painting
// beneath it, but not while it, or anything around it, is drawn faded:
// the window would then show what an earlier frame left beneath.
TEST(WidgetOpacity, AGroundClaimHoldsOnlyWhileNothingAroundDrawsItFaded)
{
    QWidget window;
    auto* page = new QWidget(&window);
    auto* ground = new QWidget(page);
    const auto claimed = [&] { return ground->testAttribute(Qt::WA_OpaquePaintEvent); };

    WidgetOpacity::claimGround(ground);
    EXPECT_TRUE(claimed());
    WidgetOpacity::set(page, 0.5);
    EXPECT_FALSE(claimed());
    WidgetOpacity::set(page, 0);
    EXPECT_FALSE(claimed());
    WidgetOpacity::set(page, 1);
    EXPECT_TRUE(claimed());

    // Claimed while faded: it holds once the page is whole again.
    WidgetOpacity::claimGround(ground, false);
    WidgetOpacity::setHidingAtZero(&window, 0.3);
    WidgetOpacity::claimGround(ground);
    EXPECT_FALSE(claimed());
    WidgetOpacity::setHidingAtZero(&window, 1);
    EXPECT_TRUE(claimed());

    // Given up, it stays given up whatever the page does.
    WidgetOpacity::claimGround(ground, false);
    WidgetOpacity::set(page, 0.4);
    WidgetOpacity::set(page, 1);
    EXPECT_FALSE(claimed());

    // An effect of another kind, announced, lifts the claim as well.
    WidgetOpacity::claimGround(ground);
    page->setGraphicsEffect(new QGraphicsBlurEffect(page));
    WidgetOpacity::effectChanged(page);
    EXPECT_FALSE(claimed());
    page->setGraphicsEffect(nullptr);
    WidgetOpacity::effectChanged(page);
    EXPECT_TRUE(claimed());
}
