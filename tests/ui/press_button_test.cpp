#include "widget_fixture.h"

#include "ui/desktop_settings.h"
#include "ui/press_button.h"
#include "ui/row_feedback.h"

#include <QFontMetricsF>
#include <QTest>

#include <cmath>

namespace {

class PressButtonTest : public WidgetTest {
protected:
    void TearDown() override
    {
        DesktopSettings::instance().setReduceMotionOverride(std::nullopt);
        WidgetTest::TearDown();
    }

    static void press(QWidget* w) { QTest::mousePress(w, Qt::LeftButton, {}, w->rect().center()); }
    static void release(QWidget* w, QPoint at = {-1, -1})
    {
        QTest::mouseRelease(w, Qt::LeftButton, {}, at == QPoint(-1, -1) ? w->rect().center() : at);
    }

    static std::unique_ptr<PressButton> shown(PressStyle style)
    {
        auto button = std::make_unique<PressButton>(style, QStringLiteral("Quit"));
        button->resize(80, 24);
        button->show();
        return button;
    }
};

} // namespace

TEST_F(PressButtonTest, IconGrowsUnderThePointerAndShrinksWhilePressed)
{
    auto button = shown(PressStyle::icon(6));
    enter(button.get());
    settle();
    EXPECT_DOUBLE_EQ(button->currentScale(), 1.04);
    EXPECT_DOUBLE_EQ(button->currentWash(), 0.055);

    press(button.get());
    settle();
    EXPECT_DOUBLE_EQ(button->currentScale(), 0.94);
    EXPECT_DOUBLE_EQ(button->currentWash(), 0.09);

    release(button.get());
    settle();
    EXPECT_DOUBLE_EQ(button->currentScale(), 1.04);
    send(button.get(), QEvent::Leave);
    settle();
    EXPECT_DOUBLE_EQ(button->currentScale(), 1);
    EXPECT_DOUBLE_EQ(button->currentWash(), 0);
    // Nothing moves, so nothing is subscribed to the frame clock.
    EXPECT_FALSE(FrameClock::shared().subscribed(button.get()));
}

TEST_F(PressButtonTest, DisabledButtonsShowNoHover)
{
    for (PressStyle style : {PressStyle::surface(8), PressStyle::icon(6), PressStyle::text()}) {
        auto button = shown(style);
        button->setEnabled(false);
        enter(button.get());
        settle();
        EXPECT_TRUE(button->hovering());
        EXPECT_DOUBLE_EQ(button->currentWash(), 0);
        EXPECT_DOUBLE_EQ(button->currentScale(), 1);
        EXPECT_EQ(button->labelColor(), button->color());

        // Enabled again under the pointer, it lights up.
        button->setEnabled(true);
        settle();
        EXPECT_GT(button->hoverAmount(), 0.99);
    }
}

TEST_F(PressButtonTest, TextBrightensWithoutAWash)
{
    auto button = shown(PressStyle::text());
    button->setColor(QColor::fromRgbF(0.5f, 0.5f, 0.5f));
    enter(button.get());
    settle();
    EXPECT_DOUBLE_EQ(button->currentWash(), 0);
    EXPECT_NEAR(button->labelColor().redF(), 0.64, 1e-3);

    press(button.get());
    settle();
    EXPECT_NEAR(button->labelColor().redF(), 0.59, 1e-3);
    EXPECT_DOUBLE_EQ(button->currentScale(), 0.97);
    release(button.get());
}

TEST_F(PressButtonTest, ReduceMotionKeepsTheSizeButNotTheWash)
{
    DesktopSettings::instance().setReduceMotionOverride(true);
    auto button = shown(PressStyle::icon(PressStyle::capsule));
    enter(button.get());
    press(button.get());
    settle();
    EXPECT_DOUBLE_EQ(button->currentScale(), 1);
    EXPECT_DOUBLE_EQ(button->currentWash(), 0.09);
    // The release settles without dipping below rest.
    release(button.get());
    double lowest = 1;
    for (int i = 0; i < 60; ++i) {
        advance(FrameClock::interval);
        lowest = std::min(lowest, button->pressAmount());
    }
    EXPECT_GE(lowest, 0);
}

TEST_F(PressButtonTest, HiddenUnderThePointerComesBackUnlit)
{
    auto button = shown(PressStyle::surface(8));
    enter(button.get());
    settle();
    button->hide();
    button->show();
    EXPECT_FALSE(button->hovering());
    EXPECT_DOUBLE_EQ(button->currentWash(), 0);
}

TEST_F(PressButtonTest, RowWithActionShowsThePressAndRunsOncePerClick)
{
    QWidget row;
    row.resize(200, 28);
    int runs = 0;
    RowFeedback* feedback = rowFeedback(&row, 6, [&] { ++runs; });
    row.show();
    EXPECT_EQ(feedback->geometry(), row.rect());

    enter(&row);
    settle();
    EXPECT_DOUBLE_EQ(feedback->currentWash(), 0.035);
    // Down, before any movement: pressed at once.
    press(&row);
    EXPECT_TRUE(feedback->pressed());
    settle();
    EXPECT_DOUBLE_EQ(feedback->currentWash(), 0.07);
    release(&row);
    EXPECT_EQ(runs, 1);
    settle();
    EXPECT_DOUBLE_EQ(feedback->currentWash(), 0.035);

    // Let go outside the row: no action.
    press(&row);
    release(&row, QPoint(-20, 5));
    EXPECT_EQ(runs, 1);
    EXPECT_FALSE(feedback->pressed());

    row.resize(300, 40);
    EXPECT_EQ(feedback->geometry(), row.rect());
}

TEST_F(PressButtonTest, RowWithoutActionOnlyHovers)
{
    QWidget row;
    row.resize(200, 28);
    RowFeedback* feedback = rowFeedback(&row, 6);
    row.show();
    enter(&row);
    press(&row);
    settle();
    EXPECT_FALSE(feedback->pressed());
    EXPECT_DOUBLE_EQ(feedback->currentWash(), 0.035);
    release(&row);
    send(&row, QEvent::Leave);
    settle();
    EXPECT_DOUBLE_EQ(feedback->currentWash(), 0);
}

TEST_F(PressButtonTest, ATextThatMayShrinkShrinksBeforeItIsCut)
{
    auto button = shown(PressStyle::surface(6));
    button->setText(QStringLiteral("Mute alerts"));
    button->setSymbol(QStringLiteral("bell.slash"), 10);
    button->setSymbolGap(5);
    button->setMinimumTextScale(0.85);
    const QFont font = button->labelFont();
    const double natural = QFontMetricsF(font).horizontalAdvance(button->text());
    button->resize(int(std::ceil(15 + natural * 0.93)), 28);
    EXPECT_EQ(button->shownText(), button->text());
    EXPECT_LT(button->shownFont().pixelSize(), font.pixelSize());
    button->resize(int(15 + natural * 0.5), 28);
    EXPECT_TRUE(button->shownText().endsWith(QChar(0x2026)));
    button->setMinimumTextScale(1); // the default never shrinks
    EXPECT_EQ(button->shownFont(), font);
}
