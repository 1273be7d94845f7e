#include "widget_fixture.h"

#include "ui/hover_hold.h"

#include <QWidget>

#include <memory>

using Reason = InteractionHold::Reason;

TEST_F(WidgetTest, NestedViewsHoldUntilThePointerLeavesTheOuterOne)
{
    InteractionHold hold(QStringLiteral("menu"));
    QWidget panel;
    auto* list = new QWidget(&panel);
    hold.holds(&panel);
    hold.holds(list);
    hold.holds(list);

    enter(&panel);
    enter(list);
    // Back from the inner list to the panel: only the list hears a Leave.
    send(list, QEvent::Leave);
    EXPECT_TRUE(hold.holdsReason(Reason::pointer));
    send(&panel, QEvent::Leave);
    EXPECT_FALSE(hold.holdsReason(Reason::pointer));
    EXPECT_TRUE(hold.active());
    advance(0.5);
    EXPECT_FALSE(hold.active());
}

TEST_F(WidgetTest, ViewHiddenOrDisabledUnderThePointerLetsGo)
{
    InteractionHold hold(QStringLiteral("ports"));
    QWidget view;
    view.show();
    hold.holds(&view);

    enter(&view);
    view.hide();
    EXPECT_FALSE(hold.holdsReason(Reason::pointer));
    advance(0.5);
    EXPECT_FALSE(hold.active());

    view.show();
    enter(&view);
    view.setEnabled(false);
    EXPECT_FALSE(hold.holdsReason(Reason::pointer));
    // Entering a disabled view does not hold; enabling it under the pointer does.
    send(&view, QEvent::Leave);
    enter(&view);
    EXPECT_FALSE(hold.holdsReason(Reason::pointer));
    view.setEnabled(true);
    EXPECT_TRUE(hold.holdsReason(Reason::pointer));
}

TEST_F(WidgetTest, ViewDestroyedUnderThePointerLetsGo)
{
    InteractionHold hold(QStringLiteral("flow"));
    auto view = std::make_unique<QWidget>();
    hold.holds(view.get());
    enter(view.get());
    view.reset();
    EXPECT_FALSE(hold.holdsReason(Reason::pointer));
    advance(0.5);
    EXPECT_FALSE(hold.active());
}

TEST_F(WidgetTest, ViewsOutliveTheirHold)
{
    QWidget view;
    {
        InteractionHold hold(QStringLiteral("flow"));
        hold.holds(&view);
        enter(&view);
    }
    send(&view, QEvent::Leave);
    enter(&view);
    SUCCEED();
}
