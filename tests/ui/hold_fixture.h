#pragma once
// A hold test runs on a manual clock against its own defaults file, with the
// process-wide simulation values forgotten before and after.

#include "platform/defaults.h"
#include "ui/interaction_hold.h"
#include "ui/scheduler.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

class HoldTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        Defaults::useFile(dir.filePath(QStringLiteral("Tavrin.conf")));
        InteractionHold::resetProcessValues();
    }
    void TearDown() override
    {
        InteractionHold::resetProcessValues();
        Defaults::useFile(dir.filePath(QStringLiteral("after.conf")));
    }

    void advance(double seconds) { clock.scheduler.advance(seconds); }
    double now() const { return clock.scheduler.now(); }

    QTemporaryDir dir;
    ScopedManualScheduler clock;
};
