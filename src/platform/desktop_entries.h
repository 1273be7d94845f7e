#pragma once
// The installed applications, found through their desktop entries, and the
// rule that places an executable inside one of them.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <unordered_map>
#include <vector>

class DesktopEntries {
public:
    struct App {
        QString entryPath; // the .desktop file
        QString name;      // its Name
    };

    // The fields of one entry that matter here.
    struct Entry {
        QString name;
        QString exec;    // the program word of Exec, unquoted
        QString tryExec;
        QString icon;    // Icon: a theme icon name or an absolute path
    };

    // Parses the [Desktop Entry] group; nothing for hidden entries and for
    // types other than Application.
    static std::optional<Entry> parse(const QByteArray& text);

    // The program word of an Exec line: the first word, quotes removed,
    // after an "env VAR=value…" prefix.
    static QString programOf(const QString& exec);

    // The applications/ directories of the XDG data dirs, with the Flatpak
    // and Snap exports, most preferred first.
    static QStringList defaultDirs();

    DesktopEntries() = default;

    // Scans `dirs` (earlier ones win for the same entry id) and resolves each
    // program through `path` and symbolic links.
    static DesktopEntries load(const QStringList& dirs, const QStringList& path);
    static DesktopEntries loadDefault();

    // The application an executable belongs to: the outermost application
    // directory holding it, else the application whose program it is.
    const App* find(const QString& executable) const;

    size_t size() const { return apps_.size(); }

private:
    std::vector<App> apps_;
    std::vector<std::pair<QString, size_t>> dirs_;      // "dir/" → app, shortest first
    std::unordered_map<QString, size_t> programs_;      // program path → app
};
