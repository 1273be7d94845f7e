#include "app/view_fixture.h"
#include "settings/network_pane.h"
#include "ui/switch.h"
#include "ui/toggle_row.h"
#include "settings/illustrations.h"

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
