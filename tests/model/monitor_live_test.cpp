// The Monitor fed by a running sampler, demo and live, on the real event
// loop; and the desktop notifier where no notification service answers.

#include "event_loop_wait.h"
#include "monitor_fixture.h"

#include "engine/incident_store.h"


#include <unistd.h>

namespace {

// Scheduling on the event loop, not the manual clock.
class MonitorLiveTest : public MonitorTest {
protected:
    void SetUp() override
    {
        MonitorTest::SetUp();
        Scheduler::install(nullptr);
    }
};

} // namespace

TEST_F(MonitorLiveTest, DemoUpdatesFillTheModelOnTheMainThread)
{
    auto m = make(true);
    int updates = 0;
    bool offThread = false;
    QObject::connect(m.get(), &Monitor::snapshotChanged, m.get(), [&] {
        ++updates;
        offThread |= QThread::currentThread() != QCoreApplication::instance()->thread();
    });
    m->start();
    // The demo hands over its simulated past at once, then one update a second.
    ASSERT_TRUE(waitFor([&] { return m->history().size() > 121; }));
    EXPECT_FALSE(offThread);
    EXPECT_TRUE(m->ready());
    EXPECT_EQ(std::size_t(updates), m->history().size());
    ASSERT_FALSE(m->snapshot().groups.empty());
    for (const auto& series : m->series())
        EXPECT_LE(series.cpu.size(), 120u);
    const Monitor::Series busiest = m->series().value(m->snapshot().groups.front().key);
    EXPECT_EQ(busiest.cpu.size(), 120u);
    EXPECT_FALSE(m->owners().empty());
    EXPECT_FALSE(m->domains().records.isEmpty());
    EXPECT_TRUE(posted.empty());
    EXPECT_FALSE(m->rows().empty());
}

TEST_F(MonitorLiveTest, LiveSamplingShowsThisMachineAndItsIncidents)
{
    // Two incidents of an earlier run: the store hands them over ended.
    Incident earlier;
    earlier.kind = Incident::Kind::processCPU;
    earlier.subject = QStringLiteral("cc1");
    Incident older = earlier;
    older.id = QUuid::createUuid();
    IncidentStore(dir.filePath(QStringLiteral("incidents.json"))).save({earlier, older});

    auto m = make(false);
    m->start();
    ASSERT_TRUE(waitFor([&] { return m->ready(); }));
    EXPECT_GT(m->snapshot().system.memTotal, 1u);
    EXPECT_FALSE(m->snapshot().system.cores.empty());
    EXPECT_TRUE(m->owners().contains(int32_t(::getpid())));
    EXPECT_EQ(m->history().size(), 2u);
    ASSERT_EQ(m->incidents().size(), 2u);
    EXPECT_FALSE(m->worstOpen());

    m->clearIncidents();
    EXPECT_TRUE(m->incidents().empty());
    ASSERT_TRUE(waitFor([&] { return m->history().size() >= 4; }));
    EXPECT_TRUE(m->incidents().empty());
}
