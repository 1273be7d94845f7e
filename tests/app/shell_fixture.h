#pragma once
// Shell tests: the view fixture with the welcome tour off unless a test asks
// for it, and a settle that also runs the queued refreshes around the frames.

#include "view_fixture.h"

class ShellTest : public ViewTest {
protected:
    void SetUp() override
    {
        ViewTest::SetUp();
        defaults().set(QStringLiteral("showWelcome"), false);
    }

    // Queued refreshes, then frames until nothing moves (at most `seconds`).
    void settle(double seconds = 3)
    {
        runPending();
        ViewTest::settle(seconds);
        runPending();
    }

    // Two live updates make the Monitor ready.
    static void makeReady(Monitor& m)
    {
        ingest(m, snapshotOf({group(QStringLiteral("a"), 10, {11})}));
        ingest(m, snapshotOf({group(QStringLiteral("a"), 10, {11})}));
    }
};
