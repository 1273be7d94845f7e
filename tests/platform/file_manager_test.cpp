#include "platform/file_manager.h"

#include "ui/private_bus.h"

#include <QDBusConnection>
#include <QObject>
#include <QStringList>

#include <gtest/gtest.h>

namespace {

// Stands in for the desktop's file manager on the private bus.
class FakeFileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

public:
    QStringList shown;
    QString startupId = QStringLiteral("unset");

public slots:
    void ShowItems(const QStringList& uris, const QString& startup)
    {
        shown << uris;
        startupId = startup;
    }
};

using FileManagerTest = PrivateBusTest;

} // namespace

TEST_F(FileManagerTest, AsksTheFileManagerToShowTheItem)
{
    QDBusConnection server = connect(QStringLiteral("fm-server"));
    FakeFileManager fake;
    ASSERT_TRUE(server.registerObject(QString::fromLatin1(FileManager::objectPath), &fake,
                                      QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(server.registerService(QString::fromLatin1(FileManager::service)));

    QList<QUrl> opened;
    FileManager manager(connect(QStringLiteral("fm-client")), [&](const QUrl& url) {
        opened << url;
        return true;
    });
    manager.showItem(QStringLiteral("/usr/bin/some tool"));
    ASSERT_TRUE(waitFor([&] { return !fake.shown.isEmpty(); }));
    EXPECT_EQ(fake.shown, QStringList{QStringLiteral("file:///usr/bin/some tool")});
    EXPECT_EQ(fake.startupId, QString());
    EXPECT_TRUE(opened.isEmpty());
}

TEST_F(FileManagerTest, OpensTheParentFolderWhenNoFileManagerAnswers)
{
    QList<QUrl> opened;
    FileManager manager(connect(QStringLiteral("fm-lonely")), [&](const QUrl& url) {
        opened << url;
        return true;
    });
    manager.showItem(QStringLiteral("/opt/app/bin/tool"));
    ASSERT_TRUE(waitFor([&] { return !opened.isEmpty(); }));
    EXPECT_EQ(opened, QList<QUrl>{QUrl::fromLocalFile(QStringLiteral("/opt/app/bin"))});
}

TEST(FileManager, OpensTheParentFolderWithoutABusAndIgnoresAnEmptyPath)
{
    QList<QUrl> opened;
    FileManager manager(QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), QStringLiteral("fm-none")),
                        [&](const QUrl& url) {
                            opened << url;
                            return true;
                        });
    manager.showItem(QString());
    manager.showItem(QStringLiteral("/a/b/../c/file.txt"));
    EXPECT_EQ(opened, QList<QUrl>{QUrl::fromLocalFile(QStringLiteral("/a/c"))});
    QDBusConnection::disconnectFromBus(QStringLiteral("fm-none"));
}

TEST(FileManager, RevealGoesThroughTheInstalledRecorder)
{
    QStringList revealed;
    {
        ScopedReveal scope([&](const QString& path) { revealed << path; });
        FileManager::reveal(QStringLiteral("/x/y"));
    }
    EXPECT_EQ(revealed, QStringList{QStringLiteral("/x/y")});
}

#include "file_manager_test.moc"
