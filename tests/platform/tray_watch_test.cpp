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
    ASSERT_TRUE(waitFor([&] { return watch.available(); }, 5));
    EXPECT_TRUE(watch.statusNotifier());
    EXPECT_FALSE(watch.xembed());
    ASSERT_EQ(changed.size(), 1);
    EXPECT_TRUE(changed.at(0).at(0).toBool());

    ASSERT_TRUE(host.unregisterService(name));
    ASSERT_TRUE(waitFor([&] { return !watch.available(); }, 5));
    ASSERT_EQ(changed.size(), 2);
    EXPECT_FALSE(changed.at(1).at(0).toBool());

    // A watch made while a tray is there sees it at once, and a host that
    // ends without a word takes its name with it.
    {
        QDBusConnection other = connect(QStringLiteral("other"));
        ASSERT_TRUE(other.registerService(name));
    }
    TrayWatch late(connect(QStringLiteral("late")), false);
    EXPECT_TRUE(late.available());
    QDBusConnection::disconnectFromBus(QStringLiteral("other"));
    EXPECT_TRUE(waitFor([&] { return !late.available(); }, 5));
}

TEST(TrayWatch, WithoutABusOrAnXServerThereIsNoTray)
{
    TrayWatch watch(QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/tavrin-test-bus"),
                                                  QStringLiteral("nowhere")),
                    true);
    EXPECT_FALSE(watch.available());
    QDBusConnection::disconnectFromBus(QStringLiteral("nowhere"));
}
