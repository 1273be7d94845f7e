#include "platform/file_manager.h"

#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <utility>

namespace {

FileManager::Reveal& installedReveal()
{
    static FileManager::Reveal reveal;
    return reveal;
}

} // namespace

FileManager::FileManager() : openUrl_([](const QUrl& url) { return QDesktopServices::openUrl(url); }) {}

FileManager::FileManager(const QDBusConnection& bus, OpenUrl openUrl)
    : bus_(bus), openUrl_(std::move(openUrl))
{
}

QDBusConnection FileManager::bus() const
{
    return bus_ ? *bus_ : QDBusConnection::sessionBus();
}

QUrl FileManager::parentFolder(const QString& path)
{
    const QFileInfo info(path);
    return QUrl::fromLocalFile(QDir::cleanPath(info.absolutePath()));
}

void FileManager::fallBack(const QString& path) const
{
    if (openUrl_)
        openUrl_(parentFolder(path));
}

void FileManager::showItem(const QString& path)
{
    if (path.isEmpty())
        return;
    QDBusConnection bus = this->bus();
    if (!bus.isConnected()) {
        fallBack(path);
        return;
    }
    QDBusMessage message = QDBusMessage::createMethodCall(QString::fromLatin1(service), QString::fromLatin1(objectPath),
                                                          QString::fromLatin1(interface), QStringLiteral("ShowItems"));
    message << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
    // The watcher owns the fallback, so the FileManager may be gone by the
    // time the reply arrives.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(message));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [openUrl = openUrl_, path](QDBusPendingCallWatcher* finished) {
                         if (finished->isError() && openUrl)
                             openUrl(parentFolder(path));
                         finished->deleteLater();
                     });
}

void FileManager::reveal(const QString& path)
{
    if (const Reveal& installed = installedReveal()) {
        installed(path);
        return;
    }
    FileManager().showItem(path);
}

ScopedReveal::ScopedReveal(FileManager::Reveal reveal) : previous_(std::exchange(installedReveal(), std::move(reveal))) {}

ScopedReveal::~ScopedReveal()
{
    installedReveal() = std::move(previous_);
}
