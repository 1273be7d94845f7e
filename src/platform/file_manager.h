#pragma once
// Shows a file selected in the desktop's file manager: the session bus's
// org.freedesktop.FileManager1.ShowItems, else the file's folder opened
// through the desktop. Nothing is reported either way.

#include <QDBusConnection>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

class FileManager {
public:
    using OpenUrl = std::function<bool(const QUrl&)>;
    using Reveal = std::function<void(const QString& path)>;

    // The session bus, connected on first use, and QDesktopServices.
    FileManager();
    // Another bus and another way to open the folder, for tests.
    FileManager(const QDBusConnection& bus, OpenUrl openUrl);

    // Asks for the file to be shown; the call does not wait for the file
    // manager. Falls back to the parent folder when the bus is missing or
    // the call fails.
    void showItem(const QString& path);

    // What the process menu and the inspector call: a FileManager on the
    // session bus, unless a test has put a recorder in its place.
    static void reveal(const QString& path);

    static constexpr const char* service = "org.freedesktop.FileManager1";
    static constexpr const char* objectPath = "/org/freedesktop/FileManager1";
    static constexpr const char* interface = "org.freedesktop.FileManager1";

    // The folder opened when the file manager cannot be asked.
    static QUrl parentFolder(const QString& path);

private:
    QDBusConnection bus() const;
    void fallBack(const QString& path) const;

    std::optional<QDBusConnection> bus_;
    OpenUrl openUrl_;
};

// Replaces FileManager::reveal for the life of the object.
class ScopedReveal {
public:
    explicit ScopedReveal(FileManager::Reveal reveal);
    ~ScopedReveal();
    ScopedReveal(const ScopedReveal&) = delete;
    ScopedReveal& operator=(const ScopedReveal&) = delete;

private:
    FileManager::Reveal previous_;
};
