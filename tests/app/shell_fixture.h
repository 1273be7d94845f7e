#pragma once
// Shell tests: the view fixture with the welcome tour off unless a test asks
// for it, and a settle that also runs the queued refreshes around the frames.

#include "view_fixture.h"

#include "update/updater.h"

#include <memory>

class ShellTest : public ViewTest {
protected:
    void SetUp() override
    {
        ViewTest::SetUp();
        defaults().set(QStringLiteral("showWelcome"), false);
    }

    // An updater that never reaches the network: no feed, no bundle, no
    // schedule. Tests set its panel; its state stays idle.
    Updater& updater()
    {
        if (!updater_)
            updater_ = std::make_unique<Updater>(Updater::Setup{});
        return *updater_;
    }

    void TearDown() override
    {
        updater_.reset();
        ViewTest::TearDown();
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

private:
    std::unique_ptr<Updater> updater_;
};
