#pragma once
// A Monitor under test: its own defaults file and incident store, a manual
// clock, a recorder in place of the desktop notifications, and direct access
// to the intake so updates can be handed over without a sampler.

#include "core/l10n.h"
#include "model/monitor.h"
#include "platform/defaults.h"
#include "platform/notifications.h"
#include "ui/interaction_hold.h"
#include "ui/scheduler.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

struct Posted {
    QString identifier, title, body;
};

class RecordingNotifier final : public Notifier {
public:
    explicit RecordingNotifier(std::vector<Posted>& sink, int& asked) : sink_(sink), asked_(asked) {}
    void requestPermission() override { ++asked_; }
    void post(const QString& identifier, const QString& title, const QString& body) override
    {
        sink_.push_back({identifier, title, body});
    }

private:
    std::vector<Posted>& sink_;
    int& asked_;
};

class MonitorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        Defaults::useFile(dir.filePath(QStringLiteral("Tavrin.conf")));
        InteractionHold::resetProcessValues();
        chinese = L10n::isChinese();
    }
    void TearDown() override
    {
        L10n::setChinese(chinese);
        InteractionHold::resetProcessValues();
        Defaults::useFile(dir.filePath(QStringLiteral("after.conf")));
    }

    Defaults& defaults() { return Defaults::standard(); }

    std::unique_ptr<Monitor> make(bool demo = false)
    {
        Sampler::Options options;
        options.demo = demo;
        options.storePath = dir.filePath(QStringLiteral("incidents.json"));
        return std::make_unique<Monitor>(options, std::make_unique<RecordingNotifier>(posted, asked));
    }

    static void ingest(Monitor& monitor, const Sampler::Update& update) { monitor.ingest(update); }
    static void ingest(Monitor& monitor, const Snapshot& snapshot,
                       std::vector<Incident> incidents = {}, std::vector<Incident> opened = {})
    {
        monitor.ingest(Sampler::Update{snapshot, std::move(incidents), std::move(opened)});
    }

    void advance(double seconds) { clock.scheduler.advance(seconds); }

    QTemporaryDir dir;
    ScopedManualScheduler clock;
    std::vector<Posted> posted;
    int asked = 0;
    bool chinese = false;
};

// A group with one member process per pid.
inline GroupSample group(const QString& key, double cpu, std::vector<int32_t> pids = {},
                         const QString& name = QString())
{
    GroupSample g(key, name.isEmpty() ? key : name, std::nullopt);
    for (int32_t pid : pids) {
        ProcSample p;
        p.pid = pid;
        p.name = g.name + QStringLiteral("-proc");
        p.groupKey = key;
        p.groupName = g.name;
        g.add(p);
    }
    g.cpu = cpu;
    return g;
}

inline Snapshot snapshotOf(std::vector<GroupSample> groups, int64_t netSerial = 0)
{
    Snapshot s;
    s.groups = std::move(groups);
    s.netSerial = netSerial;
    return s;
}
