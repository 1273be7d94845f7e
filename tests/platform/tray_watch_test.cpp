// The tray watch against a private bus: the StatusNotifierItem watcher's
// name coming and going is a tray coming and going.

#include "platform/tray_watch.h"

#include "ui/private_bus.h"

#include <QSignalSpy>

using TrayWatchBus = PrivateBusTest;

TEST_F(TrayWatchBus, FollowsTheWatcherNameAsItComesAndGoes)
{
    QDBusConnection host = connect(QStringLiteral("host"));
    ASSERT_TRUE(host.isConnected());
    const QString name = QString::fromLatin1(TrayWatch::watcherService);

    TrayWatch watch(connect(QStringLiteral("app")), false);
    EXPECT_FALSE(watch.available());
    QSignalSpy changed(&watch, &TrayWatch::changed);

    ASSERT_TRUE(host.registerService(name));
    ASSERT_TRUE(waitFor([&] { return watch.available(); }));
    ASSERT_EQ(changed.size(), 1);
    EXPECT_TRUE(changed.at(0).at(0).toBool());

    ASSERT_TRUE(host.unregisterService(name));
    ASSERT_TRUE(waitFor([&] { return !watch.available(); }));
    ASSERT_EQ(changed.size(), 2);
    EXPECT_FALSE(changed.at(1).at(0).toBool());

    // A watch made while a tray is there sees it at once.
    ASSERT_TRUE(host.registerService(name));
    EXPECT_TRUE(TrayWatch(connect(QStringLiteral("late")), false).available());
}
