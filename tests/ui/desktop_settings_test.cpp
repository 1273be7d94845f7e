// The desktop switches from a stand-in portal on a private bus: read at
// start, followed on change, defaults whenever an answer is missing.

#include "platform/defaults.h"
#include "ui/desktop_settings.h"

#include "private_bus.h"

#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QSignalSpy>

#include <map>

// Answers Read like the desktop portal: the value inside one variant more
// than it has, and NotFound for keys it does not hold.
class FakePortal : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")

public:
    std::map<std::pair<QString, QString>, QVariant> values;
    int reads = 0;

    void change(const QString& group, const QString& key, const QVariant& value)
    {
        emit SettingChanged(group, key, QDBusVariant(value));
    }

public slots:
    QDBusVariant Read(const QString& group, const QString& key)
    {
        ++reads;
        const auto it = values.find({group, key});
        if (it == values.end()) {
            sendErrorReply(QStringLiteral("org.freedesktop.portal.Error.NotFound"),
                           QStringLiteral("Requested setting not found"));
            return {};
        }
        return QDBusVariant(QVariant::fromValue(QDBusVariant(it->second)));
    }

signals:
    void SettingChanged(const QString& group, const QString& key, const QDBusVariant& value);
};

class DesktopSettingsTest : public PrivateBusTest {
protected:
    void SetUp() override
    {
        PrivateBusTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        server = connect(QStringLiteral("portal"));
        ASSERT_TRUE(server.isConnected());
    }

    void publish()
    {
        ASSERT_TRUE(server.registerObject(QString::fromLatin1(DesktopSettings::path), &portal,
                                          QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals));
        ASSERT_TRUE(server.registerService(QString::fromLatin1(DesktopSettings::service)));
    }

    QDBusConnection server{QString()};
    FakePortal portal;
};

TEST(DesktopSettings, WithoutABusTheDefaultsHold)
{
    DesktopSettings settings(std::nullopt);
    EXPECT_FALSE(settings.reduceMotion());
    EXPECT_TRUE(settings.eventSounds());
    EXPECT_EQ(settings.readsPending(), 0);
    EXPECT_EQ(settings.movement(Animation::spring()).kind, Animation::Kind::spring);

    QSignalSpy changed(&settings, &DesktopSettings::changed);
    settings.setReduceMotionOverride(true);
    EXPECT_TRUE(settings.reduceMotion());
    EXPECT_EQ(settings.movement(Animation::spring()).kind, Animation::Kind::none);
    EXPECT_EQ(settings.movement(Animation::ease()).kind, Animation::Kind::none);
    settings.setReduceMotionOverride(true);
    settings.setReduceMotionOverride(std::nullopt);
    EXPECT_FALSE(settings.reduceMotion());
    EXPECT_EQ(changed.count(), 2);
}

TEST(DesktopSettings, TheDefaultsKeyOverridesReduceMotion)
{
    QTemporaryDir dir;
    Defaults defaults(dir.filePath(QStringLiteral("d.conf")));
    EXPECT_EQ(DesktopSettings::readReduceMotionOverride(defaults), std::nullopt);
    defaults.set(QStringLiteral("reduceMotion"), QStringLiteral("YES"));
    EXPECT_EQ(DesktopSettings::readReduceMotionOverride(defaults), std::optional(true));
    defaults.set(QStringLiteral("reduceMotion"), false);
    EXPECT_EQ(DesktopSettings::readReduceMotionOverride(defaults), std::optional(false));
    defaults.set(QStringLiteral("reduceMotion"), QStringLiteral("perhaps"));
    EXPECT_EQ(DesktopSettings::readReduceMotionOverride(defaults), std::nullopt);
}

TEST_F(DesktopSettingsTest, ReadsBothSwitchesFromThePortal)
{
    portal.values[{QStringLiteral("org.gnome.desktop.interface"), QStringLiteral("enable-animations")}] = false;
    portal.values[{QStringLiteral("org.gnome.desktop.sound"), QStringLiteral("event-sounds")}] = false;
    publish();
    DesktopSettings settings(connect(QStringLiteral("client")));
    QSignalSpy changed(&settings, &DesktopSettings::changed);
    EXPECT_FALSE(settings.reduceMotion()); // defaults until the answers come
    ASSERT_TRUE(waitFor([&] { return settings.readsPending() == 0; }));
    EXPECT_EQ(portal.reads, 2);
    EXPECT_TRUE(settings.reduceMotion());
    EXPECT_FALSE(settings.eventSounds());
    EXPECT_EQ(changed.count(), 2);

    // The override wins over the desktop, both ways.
    settings.setReduceMotionOverride(false);
    EXPECT_FALSE(settings.reduceMotion());
    EXPECT_FALSE(settings.animationsEnabled());
}

TEST_F(DesktopSettingsTest, FollowsChangesAndTreatsOddValuesAsAbsent)
{
    publish(); // holds neither key: NotFound for both
    DesktopSettings settings(connect(QStringLiteral("client")));
    ASSERT_TRUE(waitFor([&] { return settings.readsPending() == 0; }));
    EXPECT_FALSE(settings.reduceMotion());
    EXPECT_TRUE(settings.eventSounds());

    QSignalSpy changed(&settings, &DesktopSettings::changed);
    const QString ui = QStringLiteral("org.gnome.desktop.interface");
    const QString sound = QStringLiteral("org.gnome.desktop.sound");
    portal.change(ui, QStringLiteral("enable-animations"), false);
    ASSERT_TRUE(waitFor([&] { return settings.reduceMotion(); }));
    portal.change(sound, QStringLiteral("event-sounds"), false);
    ASSERT_TRUE(waitFor([&] { return !settings.eventSounds(); }));
    EXPECT_EQ(changed.count(), 2);

    // Other keys and namespaces are not ours; a value that is not a Bool
    // counts as absent, which means the default.
    portal.change(ui, QStringLiteral("gtk-theme"), QStringLiteral("Adwaita"));
    portal.change(sound, QStringLiteral("enable-animations"), true);
    portal.change(ui, QStringLiteral("enable-animations"), QStringLiteral("no"));
    ASSERT_TRUE(waitFor([&] { return !settings.reduceMotion(); }));
    EXPECT_FALSE(settings.eventSounds());
    EXPECT_EQ(changed.count(), 3);
}

TEST_F(DesktopSettingsTest, ABusWithoutAPortalLeavesTheDefaultsQuietly)
{
    DesktopSettings settings(connect(QStringLiteral("client")));
    QSignalSpy changed(&settings, &DesktopSettings::changed);
    ASSERT_TRUE(waitFor([&] { return settings.readsPending() == 0; }));
    EXPECT_FALSE(settings.reduceMotion());
    EXPECT_TRUE(settings.eventSounds());
    EXPECT_EQ(changed.count(), 0);
}

#include "desktop_settings_test.moc"
