#include "app/header_bar.h"
#include "app/view_fixture.h"
#include "settings/network_pane.h"
#include "settings/settings_view.h"
#include "settings/welcome_view.h"
#include "ui/switch.h"
#include "ui/toggle_row.h"
#include "settings/illustrations.h"
#include "ui/drawn_texts.h"

#include <vector>

class TourSettingsTest : public ViewTest {};

// The tour's reverse-lookup switch and the settings window's are two views
// of one preference: a flip in either shows in the other at once.
TEST_F(TourSettingsTest, BothSwitchesShowOnePreference)
{
    auto m = make();
    SwitchesIllustration tour(*m);
    NetworkPane settings(*m);
    showOffscreen(tour);
    showOffscreen(settings, {560, 600});
    ASSERT_TRUE(m->prefs().resolveHosts);

    tour.resolveSwitch()->click();
    runPending();
    EXPECT_FALSE(m->prefs().resolveHosts);
    EXPECT_FALSE(settings.resolveRow()->toggle()->isOn());

    settings.resolveRow()->toggle()->click();
    runPending();
    EXPECT_TRUE(m->prefs().resolveHosts);
    EXPECT_TRUE(tour.resolveSwitch()->isOn());
}

// The header, the settings sidebar and the tour each draw the word-mark,
// all three in the one heavy weight at the expanded width.
TEST_F(TourSettingsTest, TheWordMarkIsOneFaceWhereverItIsDrawn)
{
    auto m = make();
    HeaderBar header(*m);
    SettingsView settings(*m);
    WelcomeView tour(*m, nullptr, 0.0);
    showOffscreen(header, {1200, HeaderBar::barHeight});
    showOffscreen(settings);
    showOffscreen(tour, {1200, 800});
    advance(1);
    settle();

    DrawnTexts recorder;
    for (QWidget* widget : std::initializer_list<QWidget*>{&header, &settings, &tour}) {
        int marks = 0;
        for (const DrawnText& drawn : recorder.all(*widget)) {
            const QString& text = drawn.text;
            const QFont& font = drawn.font;
            if (text != "TAVRIN")
                continue;
            ++marks;
            EXPECT_EQ(font.weight(), QFont::ExtraBold) << widget->metaObject()->className();
            EXPECT_EQ(font.stretch(), QFont::SemiExpanded) << widget->metaObject()->className();
        }
        EXPECT_EQ(marks, 1) << widget->metaObject()->className();
    }
}
