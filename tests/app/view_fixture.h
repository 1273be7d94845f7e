#pragma once
// The window's widgets under test: a Monitor fed by hand on a manual clock
// (which also drives the frame clock), motion on whatever the desktop says,
// English unless a test switches.

#include "model/monitor_fixture.h"
#include "ui/desktop_settings.h"
#include "ui/frame_clock.h"

#include <QWidget>

class ViewTest : public MonitorTest {
protected:
    void SetUp() override
    {
        MonitorTest::SetUp();
        DesktopSettings::instance().setReduceMotionOverride(false);
        L10n::setChinese(false);
    }
    void TearDown() override
    {
        DesktopSettings::instance().setReduceMotionOverride(std::nullopt);
        MonitorTest::TearDown();
    }

    // Runs frames until nothing moves (at most `seconds`).
    void settle(double seconds = 3)
    {
        for (double t = 0; t < seconds && FrameClock::shared().running(); t += FrameClock::interval)
            advance(FrameClock::interval);
    }

    // Runs the queued refreshes.
    void runPending() { clock.scheduler.runPending(); }

    static void showOffscreen(QWidget& widget, QSize size = {})
    {
        if (size.isValid())
            widget.resize(size);
        else
            widget.adjustSize();
        widget.show();
    }

    void setLanguage(Monitor& monitor, AppLanguage language)
    {
        Preferences prefs = monitor.prefs();
        prefs.language = language;
        monitor.setPrefs(prefs);
        runPending();
    }
};
