// The desktop notifier against a private message bus: with a stand-in
// notification service it posts what it is given; without one, or without
// any bus, it posts nothing and reports nothing.

#include "platform/notifications.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QThread>
#include <QVariantMap>

#include "event_loop_wait.h"
#include "ui/private_bus.h"

#include <gtest/gtest.h>

// Answers like a notification server and keeps what it was sent.
class FakeNotificationServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Shown {
        QString app, summary, body;
        QVariantMap hints;
        int timeout = 0;
    };
    std::vector<Shown> shown;
    QStringList capabilities{QStringLiteral("body")};

public slots:
    QStringList GetCapabilities() { return capabilities; }
    uint Notify(const QString& app, uint replaces, const QString& icon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints, int timeout)
    {
        Q_UNUSED(replaces);
        Q_UNUSED(icon);
        Q_UNUSED(actions);
        shown.push_back({app, summary, body, hints, timeout});
        return uint(shown.size());
    }
};

using PrivateBus = PrivateBusTest;

TEST_F(PrivateBus, PostsToTheServiceOnceItHasAnswered)
{
    QDBusConnection server = connect(QStringLiteral("server"));
    ASSERT_TRUE(server.isConnected());
    FakeNotificationServer fake;
    ASSERT_TRUE(server.registerObject(QString::fromLatin1(DesktopNotifier::path), &fake,
                                      QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(server.registerService(QString::fromLatin1(DesktopNotifier::service)));

    DesktopNotifier notifier(connect(QStringLiteral("client")));
    notifier.post(QStringLiteral("ID"), QStringLiteral("early"), QString()); // not yet granted
    notifier.requestPermission();
    ASSERT_TRUE(waitFor([&] { return notifier.granted(); }));

    notifier.post(QStringLiteral("ID"), QStringLiteral("System: CPU"), QStringLiteral("97% · cc1"));
    ASSERT_TRUE(waitFor([&] { return !fake.shown.empty(); }));
    ASSERT_EQ(fake.shown.size(), 1u);
    EXPECT_EQ(fake.shown[0].app, QStringLiteral("Tavrin"));
    EXPECT_EQ(fake.shown[0].summary, QStringLiteral("System: CPU"));
    EXPECT_EQ(fake.shown[0].body, QStringLiteral("97% · cc1"));
    EXPECT_EQ(fake.shown[0].hints.value(QStringLiteral("suppress-sound")).toBool(), true);
    EXPECT_EQ(fake.shown[0].timeout, -1);
}

TEST_F(PrivateBus, NamesReachAMarkupServerAsTextAndOthersAsGiven)
{
    QDBusConnection server = connect(QStringLiteral("server"));
    FakeNotificationServer fake;
    ASSERT_TRUE(server.registerObject(QString::fromLatin1(DesktopNotifier::path), &fake,
                                      QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(server.registerService(QString::fromLatin1(DesktopNotifier::service)));
    const QString title = QStringLiteral("<b>BOLD: High CPU");
    const QString body = QStringLiteral("97% · <img src=proof.png> · <b>BOLD · a & b");

    fake.capabilities = {QStringLiteral("body"), QStringLiteral("body-markup")};
    DesktopNotifier markup(connect(QStringLiteral("markup")));
    markup.requestPermission();
    ASSERT_TRUE(waitFor([&] { return markup.granted(); }));
    EXPECT_TRUE(markup.bodyMarkup());
    markup.post(QStringLiteral("ID"), title, body);
    ASSERT_TRUE(waitFor([&] { return fake.shown.size() == 1; }));
    EXPECT_EQ(fake.shown[0].body, QStringLiteral("97% · &lt;img src=proof.png&gt; · &lt;b&gt;BOLD · a &amp; b"));
    // The summary is never markup.
    EXPECT_EQ(fake.shown[0].summary, title);

    // A server that shows bodies as they are would print the entities.
    fake.capabilities = {QStringLiteral("body")};
    DesktopNotifier plain(connect(QStringLiteral("plain")));
    plain.requestPermission();
    ASSERT_TRUE(waitFor([&] { return plain.granted(); }));
    EXPECT_FALSE(plain.bodyMarkup());
    plain.post(QStringLiteral("ID"), title, body);
    ASSERT_TRUE(waitFor([&] { return fake.shown.size() == 2; }));
    EXPECT_EQ(fake.shown[1].body, body);
}

TEST_F(PrivateBus, WithoutAServiceNothingIsPosted)
{
    DesktopNotifier notifier(connect(QStringLiteral("client")));
    notifier.requestPermission();
    // The bus answers for the missing service with an error.
    ASSERT_TRUE(waitFor([&] { return notifier.answered(); }));
    EXPECT_FALSE(notifier.granted());
    notifier.post(QStringLiteral("ID"), QStringLiteral("title"), QStringLiteral("body"));
}

TEST(DesktopNotifier, WithoutAnyBusNothingIsPostedOrReported)
{
    DesktopNotifier notifier(QDBusConnection::connectToBus(
        QStringLiteral("unix:path=/nonexistent/tavrin-test-bus"), QStringLiteral("nowhere")));
    notifier.requestPermission();
    notifier.post(QStringLiteral("ID"), QStringLiteral("title"), QStringLiteral("body"));
    QCoreApplication::processEvents();
    EXPECT_FALSE(notifier.granted());
    QDBusConnection::disconnectFromBus(QStringLiteral("nowhere"));
}

#include "notifications_test.moc"
