#include "platform/desktop_entries.h"

#include "platform/user_file.h"

#include <QDir>
#include <QDirIterator>
#include <QRegularExpression>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>

namespace {

// Entries are a few kilobytes; anything far larger is not one.
constexpr uint64_t maxEntryBytes = 256 * 1024;

// Directories many unrelated programs share: only the program itself
// belongs to its application there.
bool isSharedDir(const QString& dir)
{
    static const QStringList shared = {
        QStringLiteral("/usr/bin"), QStringLiteral("/bin"), QStringLiteral("/usr/sbin"),
        QStringLiteral("/sbin"), QStringLiteral("/usr/local/bin"), QStringLiteral("/usr/games"),
        QStringLiteral("/usr/libexec"), QStringLiteral("/usr/local/sbin"),
        QStringLiteral("/usr/local/games"), QStringLiteral("/snap/bin"),
        QDir::homePath() + QStringLiteral("/.local/bin"), QDir::homePath() + QStringLiteral("/bin"),
    };
    return shared.contains(dir) || dir == QStringLiteral("/");
}

// Shells, interpreters and launchers run the programs of many applications
// and much else besides: an entry that starts one names none of them.
bool isLauncher(const QString& program)
{
    static const QRegularExpression launcher(QStringLiteral(
        "^(sh|bash|dash|zsh|fish|ksh|mksh|csh|tcsh|env|sudo|pkexec|nice|ionice|taskset|"
        "flatpak|snap|bwrap|firejail|xdg-open|gio|exo-open|gjs|mono|dotnet|electron[0-9]*|"
        "(python|perl|ruby|lua|php|node|nodejs|java|javaw|wine|wine64|tclsh|wish)[0-9.]*)$"));
    return launcher.match(QFileInfo(program).fileName()).hasMatch();
}

QString resolveProgram(const QString& program, const QStringList& path)
{
    if (program.isEmpty())
        return {};
    QString found;
    if (program.startsWith(u'/')) {
        found = program;
    } else if (!program.contains(u'/')) {
        for (const QString& dir : path) {
            const QString candidate = dir + u'/' + program;
            const QFileInfo fi(candidate);
            if (fi.isFile() && fi.isExecutable()) {
                found = candidate;
                break;
            }
        }
    }
    if (found.isEmpty())
        return {};
    const QString canonical = QFileInfo(found).canonicalFilePath();
    return canonical.isEmpty() ? found : canonical;
}

} // namespace

std::optional<DesktopEntries::Entry> DesktopEntries::parse(const QByteArray& text)
{
    Entry e;
    bool inGroup = false, application = false;
    for (QByteArray line : text.split('\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        if (line.startsWith('[')) {
            if (inGroup)
                break; // only the first group counts
            inGroup = line == "[Desktop Entry]";
            continue;
        }
        if (!inGroup)
            continue;
        const int eq = line.indexOf('=');
        if (eq <= 0)
            continue;
        const QByteArray key = line.left(eq).trimmed();
        const QString value = QString::fromUtf8(line.mid(eq + 1).trimmed());
        if (key == "Type")
            application = value == QLatin1String("Application");
        else if (key == "Name")
            e.name = value;
        else if (key == "Exec")
            e.exec = programOf(value);
        else if (key == "TryExec")
            e.tryExec = value;
        else if (key == "Icon")
            e.icon = value;
        else if (key == "Hidden" && value == QLatin1String("true"))
            return std::nullopt;
    }
    if (!application || e.name.isEmpty() || (e.exec.isEmpty() && e.tryExec.isEmpty()))
        return std::nullopt;
    return e;
}

QString DesktopEntries::programOf(const QString& exec)
{
    // Split into words, honouring double quotes and backslash escapes.
    QStringList words;
    QString cur;
    bool quoted = false, any = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec[i];
        if (c == u'\\' && i + 1 < exec.size()) {
            cur += exec[++i];
            any = true;
        } else if (c == u'"') {
            quoted = !quoted;
            any = true;
        } else if (c.isSpace() && !quoted) {
            if (any)
                words << cur;
            cur.clear();
            any = false;
            if (words.size() > 16)
                break;
        } else {
            cur += c;
            any = true;
        }
    }
    if (any)
        words << cur;
    qsizetype i = 0;
    if (i < words.size() && (words[i] == QLatin1String("env") || words[i] == QLatin1String("/usr/bin/env"))) {
        ++i;
        while (i < words.size() && (words[i].contains(u'=') || words[i].startsWith(u'-')))
            ++i;
    }
    return i < words.size() ? words[i] : QString();
}

QStringList DesktopEntries::defaultDirs()
{
    QStringList data;
    QString home = qEnvironmentVariable("XDG_DATA_HOME");
    if (home.isEmpty())
        home = QDir::homePath() + QStringLiteral("/.local/share");
    data << home;
    QString dirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (dirs.isEmpty())
        dirs = QStringLiteral("/usr/local/share:/usr/share");
    data << dirs.split(u':', Qt::SkipEmptyParts);
    data << home + QStringLiteral("/flatpak/exports/share")
         << QStringLiteral("/var/lib/flatpak/exports/share");
    QStringList out;
    for (const QString& d : data) {
        const QString a = d + QStringLiteral("/applications");
        if (!out.contains(a))
            out << a;
    }
    out << QStringLiteral("/var/lib/snapd/desktop/applications");
    return out;
}

DesktopEntries DesktopEntries::load(const QStringList& dirs, const QStringList& path)
{
    DesktopEntries index;
    QSet<QString> seenIds;
    for (const QString& dir : dirs) {
        QDirIterator it(dir, {QStringLiteral("*.desktop")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString file = it.next();
            // The entry id is its path under the directory with '/' as '-';
            // a more preferred directory's entry hides the same id later.
            QString id = file.mid(dir.size() + 1);
            id.replace(u'/', u'-');
            if (seenIds.contains(id))
                continue;
            seenIds.insert(id);
            // Only a regular file is read: a FIFO named like an entry would
            // never answer.
            std::string text;
            if (UserFile::read(QFile::encodeName(file).toStdString(), maxEntryBytes, &text)
                != UserFile::State::regular)
                continue;
            const auto entry = parse(QByteArray::fromStdString(text));
            if (!entry)
                continue;
            const QString program = resolveProgram(entry->tryExec.isEmpty() ? entry->exec : entry->tryExec, path);
            if (program.isEmpty() || isLauncher(program))
                continue;
            const size_t n = index.apps_.size();
            index.apps_.push_back({file, entry->name});
            index.programs_.emplace(program, n); // the first entry keeps a program
            const QString programDir = QFileInfo(program).path();
            if (!isSharedDir(programDir)) {
                const QString key = programDir + u'/';
                const bool known = std::any_of(index.dirs_.begin(), index.dirs_.end(),
                                               [&](const auto& d) { return d.first == key; });
                if (!known)
                    index.dirs_.emplace_back(key, n);
            }
        }
    }
    std::stable_sort(index.dirs_.begin(), index.dirs_.end(),
                     [](const auto& a, const auto& b) { return a.first.size() < b.first.size(); });
    return index;
}

DesktopEntries DesktopEntries::loadDefault()
{
    return load(defaultDirs(), qEnvironmentVariable("PATH").split(u':', Qt::SkipEmptyParts));
}

const DesktopEntries::App* DesktopEntries::find(const QString& executable) const
{
    if (executable.isEmpty())
        return nullptr;
    for (const auto& [dir, app] : dirs_) {
        if (executable.startsWith(dir))
            return &apps_[app];
    }
    auto it = programs_.find(executable);
    return it == programs_.end() ? nullptr : &apps_[it->second];
}
