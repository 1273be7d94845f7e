#include "widget_fixture.h"

#include "core/l10n.h"
#include "ui/desktop_settings.h"
#include "ui/press_button.h"
#include "ui/rule_row.h"
#include "ui/rule_slider.h"
#include "ui/segmented.h"
#include "ui/switch.h"
#include "ui/theme.h"
#include "ui/toggle_row.h"

#include <QTest>

#include <cmath>

namespace {

class SettingsControlsTest : public WidgetTest {
protected:
    void SetUp() override
    {
        WidgetTest::SetUp();
        DesktopSettings::instance().setReduceMotionOverride(false);
        chinese_ = L10n::isChinese();
        L10n::setChinese(false);
    }
    void TearDown() override
    {
        L10n::setChinese(chinese_);
        DesktopSettings::instance().setReduceMotionOverride(std::nullopt);
        WidgetTest::TearDown();
    }

    // A binding over a local value that counts its writes.
    template <class T>
    Binding<T> over(T& value, int& writes)
    {
        return {[&value] { return value; }, [&value, &writes](const T& v) {
                    value = v;
                    ++writes;
                }};
    }

    static void click(QWidget* w, QPoint at = {-1, -1})
    {
        QTest::mouseClick(w, Qt::LeftButton, {}, at == QPoint(-1, -1) ? w->rect().center() : at);
    }

    bool chinese_ = false;
};

} // namespace

TEST(RuleMaths, ValueAtClampsSnapsAndRoundsHalvesUp)
{
    const RuleSlider::Range growth{0.5, 16};
    // A slider 45 wide has a 31 px track from x = 7 to x = 38.
    EXPECT_EQ(RuleSlider::valueAt(0, 45, growth, 0.5), 0.5);   // left of the track
    EXPECT_EQ(RuleSlider::valueAt(3, 45, growth, 0.5), 0.5);
    EXPECT_EQ(RuleSlider::valueAt(45, 45, growth, 0.5), 16);   // right of it
    EXPECT_EQ(RuleSlider::valueAt(400, 45, growth, 0.5), 16);
    // Halfway along lands on 8.25, exactly between 8 and 8.5: the larger.
    EXPECT_EQ(RuleSlider::valueAt(7 + 15.5, 45, growth, 0.5), 8.5);
    // Steps count from zero, not from the lower end.
    EXPECT_EQ(RuleSlider::valueAt(7 + 0.1, 45 + 31 * 9, {50, 800}, 50), 50);
    // A track shorter than 1 px takes the offset undivided.
    EXPECT_EQ(RuleSlider::valueAt(7.25, 14.5, {0, 100}, 1), 25);
    EXPECT_EQ(RuleSlider::valueAt(9, 14.5, {0, 100}, 1), 100);
    EXPECT_EQ(RuleSlider::valueAt(7, 10, {0, 100}, 1), 0);
    // A stored value outside the range sits at the nearer end.
    EXPECT_EQ(RuleSlider::position(2000, {50, 100}), 1);
    EXPECT_EQ(RuleSlider::position(-3, {50, 100}), 0);
    EXPECT_EQ(RuleSlider::position(75, {50, 100}), 0.5);
}

TEST(RuleMaths, FormatAndSentence)
{
    EXPECT_EQ(RuleRow::format(8.0, QString()), "8");
    EXPECT_EQ(RuleRow::format(0.5, QString()), "0.5");
    const QString odd = RuleRow::format(12.25, QString());
    EXPECT_TRUE(odd == "12.2" || odd == "12.3") << odd.toStdString();
    EXPECT_EQ(RuleRow::format(85, "%"), "85%");
    EXPECT_EQ(RuleRow::format(1.5, " GB"), "1.5 GB");
    EXPECT_EQ(RuleRow::format(-0.5, " GB"), "-0.5 GB");
    EXPECT_EQ(RuleRow::format(NAN, QString()), "nan");

    using S = RuleRow::Sentence;
    EXPECT_EQ(RuleRow::split("above {} for 8 s"), (S{"above ", " for 8 s"}));
    EXPECT_EQ(RuleRow::split("no placeholder"), (S{"no placeholder", ""}));
    EXPECT_EQ(RuleRow::split(""), (S{"", ""}));
    EXPECT_EQ(RuleRow::split("a {} b {} c"), (S{"a ", " b "}));
}

TEST_F(SettingsControlsTest, SegmentedWithoutAMatchSelectsNoneUntilTapped)
{
    EXPECT_EQ(Segmented::indexOf<int>({1, 2, 3}, 7), -1);
    EXPECT_EQ(Segmented::indexOf<int>({1, 2, 3}, 3), 2);

    AppLanguage language = AppLanguage::system;
    int writes = 0;
    Binding<AppLanguage> binding = over(language, writes);
    // Only two of the three languages are offered, so "system" matches none.
    std::unique_ptr<Segmented> picker(Segmented::make<AppLanguage>(
        {{AppLanguage::zh, "中文"}, {AppLanguage::en, "English"}}, binding));
    picker->show();
    EXPECT_EQ(picker->selectedIndex(), -1);

    click(picker->option(1));
    EXPECT_EQ(language, AppLanguage::en);
    EXPECT_EQ(picker->selectedIndex(), 1);
    // Tapping the selected option writes again; the Monitor ignores it.
    click(picker->option(1));
    EXPECT_EQ(writes, 2);
    settle();
    EXPECT_EQ(picker->option(1)->color(), Theme::bg());
    EXPECT_EQ(picker->option(0)->color(), Theme::dim());
}

TEST_F(SettingsControlsTest, SwitchFlipsItsBindingAndFollowsOutsideChanges)
{
    bool on = false;
    int writes = 0;
    ToggleRow row("Title", "A detail long enough to wrap onto another line.", over(on, writes));
    row.resize(300, row.sizeHint().height());
    row.show();
    Switch* toggle = row.toggle();
    click(toggle);
    EXPECT_TRUE(on);
    EXPECT_TRUE(toggle->isOn());
    EXPECT_TRUE(toggle->moving());
    settle();
    EXPECT_FALSE(FrameClock::shared().running());
    EXPECT_DOUBLE_EQ(toggle->knob(), 1);

    on = false; // changed elsewhere
    row.sync();
    EXPECT_FALSE(toggle->isOn());
    EXPECT_EQ(writes, 1);
}

TEST_F(SettingsControlsTest, RuleRowResetVanishesAtEqualityAndDragsMoveIntoRange)
{
    double threshold = 900; // stored outside 50...800
    int writes = 0;
    RuleRow::Spec spec{"Per-process CPU", "Above {} for 45 s", {50, 800}, 50, "%", 150, Theme::cpu()};
    RuleRow row(spec, over(threshold, writes), RuleRow::Live{12.5, "cc1plus"});
    row.resize(500, row.sizeHint().height());
    row.show();

    EXPECT_EQ(row.valueText(), "900%");
    EXPECT_EQ(row.sentenceText(), "Above 900% for 45 s");
    EXPECT_FALSE(row.resetButton()->isHidden());
    EXPECT_EQ(row.resetButton()->text(), "Reset to 150%");
    EXPECT_EQ(row.peakText(), "Peak now 12.5%  cc1plus");

    // The first press writes a value inside the range.
    RuleSlider* slider = row.slider();
    QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(slider->width() - 1, 13));
    EXPECT_TRUE(slider->dragging());
    EXPECT_EQ(threshold, 800);
    // Dragging onto the default's place lands on it: the reset goes.
    const double w = slider->width() - RuleSlider::knobSize;
    const int atDefault = int(std::round(7 + w * RuleSlider::position(150, spec.range)));
    QMouseEvent move(QEvent::MouseMove, QPointF(atDefault, 13), slider->mapToGlobal(QPointF(atDefault, 13)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(slider, &move);
    EXPECT_EQ(threshold, 150);
    EXPECT_TRUE(row.resetButton()->isHidden());
    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(atDefault, 13));
    EXPECT_FALSE(slider->dragging());

    // Away from the default again, then the reset button brings it back.
    threshold = 300;
    row.sync();
    EXPECT_FALSE(row.resetButton()->isHidden());
    click(row.resetButton());
    EXPECT_EQ(threshold, 150);
    EXPECT_TRUE(row.resetButton()->isHidden());
    settle();

    row.setLive(std::nullopt);
    EXPECT_EQ(row.peakText(), QString());
}

TEST_F(SettingsControlsTest, RuleRowSaysWhenAStoredLimitIsNotUsable)
{
    double threshold = 0;
    int writes = 0;
    RuleRow row({"Download rate", "A process stays above {} for 10 s", {0.5, 100}, 0.5, " MB/s", 5,
                 Theme::net()},
                over(threshold, writes), std::nullopt);
    EXPECT_FALSE(RuleRow::usable(0));
    EXPECT_FALSE(RuleRow::usable(NAN));
    EXPECT_TRUE(RuleRow::usable(0.5));
    EXPECT_EQ(row.valueText(), "0 MB/s");
    EXPECT_EQ(row.peakText(), QString());
    EXPECT_EQ(writes, 0);
}

TEST_F(SettingsControlsTest, SwitchBouncesPastItsEndOnlyWhileMotionIsFull)
{
    const auto furthest = [this](bool reduce) {
        DesktopSettings::instance().setReduceMotionOverride(reduce);
        bool on = false;
        int writes = 0;
        Switch toggle(over(on, writes));
        toggle.show();
        click(&toggle);
        double most = 0;
        for (int i = 0; i < 120 && toggle.moving(); ++i) {
            advance(FrameClock::interval);
            most = std::max(most, toggle.knob());
        }
        EXPECT_FALSE(toggle.moving());
        EXPECT_DOUBLE_EQ(toggle.knob(), 1);
        return most;
    };
    EXPECT_GT(furthest(false), 1.0);  // the release spring's bounce
    EXPECT_LE(furthest(true), 1.0);   // critically damped
}
