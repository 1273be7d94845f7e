#include "platform/icon_themes.h"

#include "platform/user_file.h"

#include <QFile>

#include <algorithm>
#include <utility>

#include <sys/stat.h>

namespace {

// Index files are tens of kilobytes; hicolor's, with every context and
// scale, is the largest.
constexpr uint64_t maxIndexBytes = 1 << 20;
// Inheritance may loop or run long; real themes inherit two or three deep.
constexpr int maxThemes = 12;

const QString hicolor = QStringLiteral("hicolor");

bool statIs(const QString& path, mode_t type)
{
    struct stat st{};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && (st.st_mode & S_IFMT) == type;
}

// Applications install into hicolor without its index.theme beside them
// (a bundle's own share/icons has none): its usual application folders.
const IconThemes::Index& plainHicolor()
{
    static const IconThemes::Index index = [] {
        IconThemes::Index made;
        for (int size : {16, 22, 24, 32, 48, 64, 72, 96, 128, 192, 256, 512})
            made.folders.push_back({QStringLiteral("%1x%1/apps").arg(size), size, 1, false});
        made.folders.push_back({QStringLiteral("scalable/apps"), 48, 1, true});
        return made;
    }();
    return index;
}

} // namespace

IconThemes::Index IconThemes::parse(const QByteArray& text)
{
    Index index;
    QByteArray group;
    QList<QByteArray> listed;
    struct Entry {
        int size = 0, scale = 1;
        bool scalable = false;
    };
    std::unordered_map<QString, Entry> groups;
    for (QByteArray line : text.split('\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        if (line.startsWith('[') && line.endsWith(']')) {
            group = line.mid(1, line.size() - 2);
            continue;
        }
        const qsizetype eq = line.indexOf('=');
        if (eq <= 0)
            continue;
        const QByteArray key = line.left(eq).trimmed();
        const QByteArray value = line.mid(eq + 1).trimmed();
        if (group == "Icon Theme") {
            if (key == "Inherits") {
                for (const QByteArray& name : value.split(','))
                    if (!name.trimmed().isEmpty())
                        index.inherits << QString::fromUtf8(name.trimmed());
            } else if (key == "Directories" || key == "ScaledDirectories") {
                for (const QByteArray& dir : value.split(','))
                    if (!dir.trimmed().isEmpty())
                        listed << dir.trimmed();
            }
            continue;
        }
        Entry& entry = groups[QString::fromUtf8(group)];
        if (key == "Size")
            entry.size = value.toInt();
        else if (key == "Scale")
            entry.scale = std::max(1, value.toInt());
        else if (key == "Type")
            entry.scalable = value == "Scalable";
    }
    for (const QByteArray& dir : std::as_const(listed)) {
        const QString path = QString::fromUtf8(dir);
        // A folder must stay inside its theme.
        if (path.startsWith(u'/') || path.split(u'/').contains(QStringLiteral("..")))
            continue;
        auto it = groups.find(path);
        if (it == groups.end() || it->second.size <= 0)
            continue;
        if (std::any_of(index.folders.begin(), index.folders.end(), [&](const Folder& f) { return f.path == path; }))
            continue;
        index.folders.push_back({path, it->second.size, it->second.scale, it->second.scalable});
    }
    return index;
}

const IconThemes::Index* IconThemes::index(const QString& theme, const QStringList& bases)
{
    for (const QString& base : bases) {
        const QString path = base + u'/' + theme + QStringLiteral("/index.theme");
        if (auto it = indexes_.find(path); it != indexes_.end())
            return &it->second;
        std::string text;
        if (UserFile::read(QFile::encodeName(path).toStdString(), maxIndexBytes, &text) != UserFile::State::regular)
            continue;
        return &indexes_.emplace(path, parse(QByteArray::fromStdString(text))).first->second;
    }
    return theme == hicolor ? &plainHicolor() : nullptr;
}

const std::vector<const IconThemes::Folder*>& IconThemes::present(const QString& themeDir, const Index& index)
{
    // The same folder may be read with different indexes (a bundle's own
    // hicolor and the system's), so both name the entry.
    const QString key = themeDir + u'\n' + QString::number(quintptr(&index));
    auto it = present_.find(key);
    if (it != present_.end())
        return it->second;
    std::vector<const Folder*> folders;
    if (statIs(themeDir, S_IFDIR)) {
        for (const Folder& folder : index.folders)
            if (statIs(themeDir + u'/' + folder.path, S_IFDIR))
                folders.push_back(&folder);
    }
    return present_.emplace(key, std::move(folders)).first->second;
}

std::vector<IconThemes::Candidate> IconThemes::find(const QString& name, const QString& theme,
                                                    const QStringList& bases, int pixels)
{
    if (name.isEmpty() || name.contains(u'/') || name == QLatin1String("..") || name == QLatin1String("."))
        return {};
    QStringList chain{theme.isEmpty() || theme.contains(u'/') ? hicolor : theme};
    for (qsizetype i = 0; i < chain.size() && chain.size() < maxThemes; ++i) {
        if (const Index* found = index(chain[i], bases)) {
            for (const QString& parent : found->inherits)
                if (!chain.contains(parent) && !parent.contains(u'/') && !parent.startsWith(u'.'))
                    chain << parent;
        }
    }
    if (!chain.contains(hicolor))
        chain << hicolor;

    for (const QString& themeName : std::as_const(chain)) {
        const Index* themeIndex = index(themeName, bases);
        if (!themeIndex)
            continue;
        std::vector<Candidate> found;
        for (const QString& base : bases) {
            const QString themeDir = base + u'/' + themeName;
            for (const Folder* folder : present(themeDir, *themeIndex)) {
                const QString stem = themeDir + u'/' + folder->path + u'/' + name;
                for (const auto& [ext, drawing] : {std::pair(".png", false), std::pair(".svg", true),
                                                   std::pair(".xpm", false)}) {
                    const QString file = stem + QLatin1String(ext);
                    if (statIs(file, S_IFREG))
                        found.push_back({file, drawing ? 0 : folder->size * folder->scale});
                }
            }
        }
        if (found.empty())
            continue;
        // Drawings first, then from just large enough upwards, then from
        // just too small downwards; ties keep the bases' and index's order.
        auto rank = [pixels](const Candidate& c) {
            if (c.pixels == 0)
                return std::pair(0, 0);
            return c.pixels >= pixels ? std::pair(1, c.pixels) : std::pair(2, -c.pixels);
        };
        std::stable_sort(found.begin(), found.end(),
                         [&](const Candidate& a, const Candidate& b) { return rank(a) < rank(b); });
        return found;
    }
    return {};
}
