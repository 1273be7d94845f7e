#include "ui/icons.h"

#include "platform/desktop_entries.h"
#include "ui/fonts.h"
#include "ui/theme.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIconEngine>
#include <QPainter>
#include <QPixmap>
#include <QStandardPaths>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

// Desktop entries are a few kilobytes; anything far larger is not one.
constexpr qint64 maxEntryBytes = 1 << 20;

// Both engines keep what they rendered per device size, because the layer
// views ask for the same pixmap on every frame. A handful of sizes is all
// any view uses.
class RenderCache {
public:
    template <class Render>
    QPixmap get(QSize size, Render render)
    {
        for (const auto& [key, pixmap] : entries_) {
            if (key == size)
                return pixmap;
        }
        QPixmap pixmap(size);
        pixmap.fill(Qt::transparent);
        {
            QPainter p(&pixmap);
            render(p, QRectF(QPointF(0, 0), QSizeF(size)));
        }
        if (entries_.size() >= 8)
            entries_.erase(entries_.begin());
        entries_.emplace_back(size, pixmap);
        return pixmap;
    }

private:
    std::vector<std::pair<QSize, QPixmap>> entries_;
};

// Shared behaviour of the two engines: painting goes through a cached
// pixmap at the device's resolution.
class CachedEngine : public QIconEngine {
public:
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal dpr = painter->device() ? painter->device()->devicePixelRatioF() : 1;
        const QSize device = (QSizeF(rect.size()) * dpr).toSize();
        if (device.isEmpty())
            return;
        painter->drawPixmap(rect, pixmap(device, mode, state));
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode, QIcon::State) override
    {
        if (size.isEmpty())
            return {};
        return cache_.get(size, [this](QPainter& p, const QRectF& box) { render(p, box); });
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }

protected:
    virtual void render(QPainter& p, const QRectF& box) = 0;

private:
    RenderCache cache_;
};

// An application's icon, scaled to fill the square it is asked for (themes
// often have nothing larger than 32 or 48 pixels).
class FillEngine final : public CachedEngine {
public:
    explicit FillEngine(QIcon source) : source_(std::move(source)) {}
    QIconEngine* clone() const override { return new FillEngine(source_); }
    QString key() const override { return QStringLiteral("tavrin.fill"); }

protected:
    void render(QPainter& p, const QRectF& box) override
    {
        const QPixmap source = source_.pixmap(box.size().toSize());
        if (source.isNull())
            return;
        QSizeF fitted = QSizeF(source.size()).scaled(box.size(), Qt::KeepAspectRatio);
        QRectF target(QPointF(0, 0), fitted);
        target.moveCenter(box.center());
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawPixmap(target, source, QRectF(source.rect()));
    }

private:
    QIcon source_;
};

// The letter tile, laid out on an 18 × 18 square scaled to the box.
class MonogramEngine final : public CachedEngine {
public:
    explicit MonogramEngine(QString letter) : letter_(std::move(letter)) {}
    QIconEngine* clone() const override { return new MonogramEngine(letter_); }
    QString key() const override { return QStringLiteral("tavrin.monogram"); }

protected:
    void render(QPainter& p, const QRectF& box) override
    {
        const double s = std::min(box.width(), box.height()) / Icons::monogramSize;
        const QPointF origin = box.center() - QPointF(9 * s, 9 * s);
        auto at = [&](double x, double y, double w, double h) {
            return QRectF(origin + QPointF(x * s, y * s), QSizeF(w * s, h * s));
        };
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(Theme::line(), s));
        p.setBrush(Theme::raised());
        p.drawRoundedRect(at(0.5, 2, 17, 14), 4.5 * s, 4.5 * s);

        // Sized in device pixels rather than scaled, so the glyph is hinted.
        p.setFont(Fonts::font(9.5 * s, QFont::DemiBold, Fonts::Face::mono));
        p.setPen(Theme::dim());
        // A letter may carry any number of marks; they stay on the tile.
        p.setClipRect(at(0.5, 2, 17, 14), Qt::IntersectClip);
        p.drawText(at(0, 0, 18, 18), Qt::AlignCenter, letter_);
    }

private:
    QString letter_;
};

// A plain application tile for entries whose icon cannot be found, when the
// icon theme has no generic one either.
class GenericEngine final : public CachedEngine {
public:
    QIconEngine* clone() const override { return new GenericEngine; }
    QString key() const override { return QStringLiteral("tavrin.generic"); }

protected:
    void render(QPainter& p, const QRectF& box) override
    {
        const double s = std::min(box.width(), box.height()) / Icons::iconSize;
        QRectF tile(QPointF(0, 0), QSizeF(30 * s, 30 * s));
        tile.moveCenter(box.center());
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(Theme::line(), 1.5 * s));
        p.setBrush(Theme::raised());
        p.drawRoundedRect(tile, 7 * s, 7 * s);
        // Four small panes: "an application", with no particular one in mind.
        p.setPen(Qt::NoPen);
        p.setBrush(Theme::faint());
        const double pane = 6 * s, gap = 3 * s;
        const QPointF first = tile.center() - QPointF(pane + gap / 2, pane + gap / 2);
        for (int i = 0; i < 4; ++i) {
            const QPointF at = first + QPointF((i % 2) * (pane + gap), (i / 2) * (pane + gap));
            p.drawRoundedRect(QRectF(at, QSizeF(pane, pane)), 1.5 * s, 1.5 * s);
        }
    }
};

// The XDG data dirs, most preferred first: $XDG_DATA_HOME, then
// $XDG_DATA_DIRS (read afresh, so a changed environment is seen), then the
// data dir holding the entry itself: Flatpak and Snap export their icons
// beside their entries, and those dirs are not always in $XDG_DATA_DIRS.
QStringList dataDirs(const QString& entryPath)
{
    QStringList dirs = QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation);
    if (entryPath.isEmpty())
        return dirs;
    QDir dir = QFileInfo(entryPath).dir();
    for (int depth = 0; depth < 4 && !dir.isRoot(); ++depth) {
        if (dir.dirName() == QLatin1String("applications")) {
            dir.cdUp();
            if (!dirs.contains(dir.path()))
                dirs << dir.path();
            break;
        }
        dir.cdUp();
    }
    return dirs;
}

// Some platform themes (and the offscreen one) give the icon loader no
// search paths and no theme. Entries name their icons by the freedesktop
// icon theme rules, so make sure the XDG icon folders are searched and fall
// back to hicolor, the theme every application installs into.
void prepareThemeLookup(const QStringList& dataDirs)
{
    QStringList paths = QIcon::themeSearchPaths();
    QStringList wanted{QDir::homePath() + QStringLiteral("/.icons")};
    for (const QString& dir : dataDirs)
        wanted << dir + QStringLiteral("/icons");
    bool changed = false;
    for (const QString& dir : std::as_const(wanted)) {
        if (!paths.contains(dir)) {
            paths << dir;
            changed = true;
        }
    }
    if (changed)
        QIcon::setThemeSearchPaths(paths);
    if (QIcon::themeName().isEmpty())
        QIcon::setThemeName(QStringLiteral("hicolor"));
}

bool renders(const QIcon& icon)
{
    return !icon.isNull() && !icon.pixmap(QSize(Icons::iconSize, Icons::iconSize)).isNull();
}

// Unthemed icons in the data dirs' pixmaps/ folders, by name with or without
// an extension.
QIcon fromPixmaps(const QString& name, const QStringList& dataDirs)
{
    static const QStringList extensions{QStringLiteral(".png"), QStringLiteral(".svg"),
                                        QStringLiteral(".xpm")};
    for (const QString& dir : dataDirs) {
        const QString base = dir + QStringLiteral("/pixmaps/") + name;
        QStringList candidates{base};
        for (const QString& ext : extensions)
            candidates << base + ext;
        for (const QString& file : std::as_const(candidates)) {
            if (!QFileInfo(file).isFile())
                continue;
            QIcon icon(file);
            if (renders(icon))
                return icon;
        }
    }
    return {};
}

// The icon name or file named by a desktop entry's Icon=; empty when the
// file cannot be read or names none.
QString iconNameOf(const QString& entryPath)
{
    QFile file(entryPath);
    if (!QFileInfo(file).isFile() || !file.open(QIODevice::ReadOnly))
        return {};
    const auto entry = DesktopEntries::parse(file.read(maxEntryBytes));
    return entry ? entry->icon : QString();
}

// A bundle carries its own desktop entry, and the icons it names, in
// Contents/share: the first entry there, by name.
QString bundleEntry(const QString& bundlePath)
{
    if (!bundlePath.endsWith(QLatin1String(".app")) || !QFileInfo(bundlePath).isDir())
        return {};
    const QDir dir(bundlePath + QStringLiteral("/Contents/share/applications"));
    const QStringList entries = dir.entryList({QStringLiteral("*.desktop")}, QDir::Files, QDir::Name);
    return entries.isEmpty() ? QString() : dir.filePath(entries.first());
}

QIcon resolve(const QString& path)
{
    const QString own = bundleEntry(path);
    const QString entryPath = own.isEmpty() ? path : own;
    const QString name = iconNameOf(entryPath);
    if (name.isEmpty())
        return {};
    if (QDir::isAbsolutePath(name)) {
        if (!QFileInfo(name).isFile())
            return {};
        QIcon icon(name);
        return renders(icon) ? icon : QIcon();
    }
    if (name.contains(u'/'))
        return {};
    const QStringList dirs = dataDirs(entryPath);
    prepareThemeLookup(dirs);
    // Some entries give a file name; themes know icons without extensions.
    QString themed = name;
    for (const char* ext : {".png", ".svg", ".xpm"}) {
        if (themed.endsWith(QLatin1String(ext))) {
            themed.chop(4);
            break;
        }
    }
    QIcon icon = QIcon::fromTheme(themed);
    if (renders(icon))
        return icon;
    return fromPixmaps(name, dirs);
}

QIcon generic()
{
    static const QIcon icon = [] {
        prepareThemeLookup(dataDirs(QString()));
        QIcon themed = QIcon::fromTheme(QStringLiteral("application-x-executable"));
        if (renders(themed))
            return QIcon(new FillEngine(themed));
        return QIcon(new GenericEngine);
    }();
    return icon;
}

} // namespace

namespace Icons {

QIcon icon(const QString& bundlePath)
{
    static std::unordered_map<QString, QIcon> cache;
    if (auto it = cache.find(bundlePath); it != cache.end())
        return it->second;
    const QIcon found = resolve(bundlePath);
    QIcon result = found.isNull() ? generic() : QIcon(new FillEngine(found));
    cache.emplace(bundlePath, result);
    return result;
}

QIcon monogram(QStringView name)
{
    static std::unordered_map<QString, QIcon> monograms;
    QString key = letter(name);
    if (auto it = monograms.find(key); it != monograms.end())
        return it->second;
    QIcon result(new MonogramEngine(key));
    monograms.emplace(std::move(key), result);
    return result;
}

QString letter(QStringView name)
{
    // By user-perceived character, so a letter keeps its combining marks.
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, name.data(), int(name.size()));
    qsizetype start = 0;
    while (start < name.size()) {
        qsizetype end = graphemes.toNextBoundary();
        if (end <= start)
            break;
        const QStringView cluster = name.sliced(start, end - start);
        char32_t first = cluster.front().unicode();
        if (cluster.size() > 1 && cluster[0].isHighSurrogate() && cluster[1].isLowSurrogate())
            first = QChar::surrogateToUcs4(cluster[0], cluster[1]);
        if (QChar::isLetterOrNumber(first))
            return cluster.toString().toUpper();
        start = end;
    }
    return QStringLiteral("·");
}

} // namespace Icons
