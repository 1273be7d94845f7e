#include "ui/icons.h"

#include "platform/desktop_entries.h"
#include "platform/icon_themes.h"
#include "platform/user_file.h"
#include "ui/fonts.h"
#include "ui/svg_check.h"
#include "ui/theme.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIconEngine>
#include <QImageReader>
#include <QPainter>
#include <QPixmap>
#include <QStandardPaths>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <memory>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

// Desktop entries are a few kilobytes; anything far larger is not one.
constexpr uint64_t maxEntryBytes = 1 << 20;
// A large PNG or a detailed SVG is a few hundred kilobytes.
constexpr uint64_t maxIconBytes = 4 << 20;
// Theme icons are picked for the largest edge any view draws: the full
// icon on a doubled screen.
constexpr int wantedPixels = Icons::iconSize * 2;
constexpr int keptPixels = 256;

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

// An application's picture, decoded from the bytes of one checked file: a
// raster image, or an SVG drawn afresh for each size it is asked for.
struct Picture {
    QImage raster;
    QByteArray svg;
    QSize svgSize;

    QSize size() const { return raster.isNull() ? svgSize : raster.size(); }

    QImage render(QSize size) const
    {
        if (!raster.isNull())
            return raster.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        QBuffer buffer;
        buffer.setData(svg);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, "svg");
        reader.setScaledSize(size);
        return reader.read();
    }
};

// An application's icon, scaled to fill the square it is asked for (themes
// often have nothing larger than 32 or 48 pixels).
class FillEngine final : public CachedEngine {
public:
    explicit FillEngine(std::shared_ptr<const Picture> picture) : picture_(std::move(picture)) {}
    QIconEngine* clone() const override { return new FillEngine(picture_); }
    QString key() const override { return QStringLiteral("tavrin.fill"); }

protected:
    void render(QPainter& p, const QRectF& box) override
    {
        const QSize fitted = picture_->size().scaled(box.size().toSize(), Qt::KeepAspectRatio);
        if (fitted.isEmpty())
            return;
        const QImage image = picture_->render(fitted);
        if (image.isNull())
            return;
        QRectF target(QPointF(0, 0), QSizeF(fitted));
        target.moveCenter(box.center());
        p.drawImage(target.topLeft(), image);
    }

private:
    std::shared_ptr<const Picture> picture_;
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

// Where one lookup may search: icon theme folders and unthemed pixmaps.
struct Places {
    QStringList icons;
    QStringList pixmaps;
};

Places places(const QStringList& dataDirs, bool home)
{
    Places out;
    if (home)
        out.icons << QDir::homePath() + QStringLiteral("/.icons");
    for (const QString& dir : dataDirs) {
        out.icons << dir + QStringLiteral("/icons");
        out.pixmaps << dir + QStringLiteral("/pixmaps");
    }
    return out;
}

// The picture in the file at `path`, read only when it is a regular file
// within the cap (a FIFO there would hold the window for good), and decoded
// from its bytes; an SVG only when it reaches no other file.
std::optional<Picture> readPicture(const QString& path)
{
    std::string bytes;
    if (UserFile::read(QFile::encodeName(path).toStdString(), maxIconBytes, &bytes) != UserFile::State::regular)
        return std::nullopt;
    const QByteArray data = QByteArray::fromStdString(bytes);
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QByteArray format = QImageReader::imageFormat(&buffer);
    if (format.isEmpty() && path.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive))
        format = "svg";
    if (format.isEmpty())
        return std::nullopt;
    buffer.seek(0);
    Picture picture;
    if (format.startsWith("svg")) {
        if (!SvgCheck::selfContained(data))
            return std::nullopt;
        QImageReader reader(&buffer, "svg");
        picture.svg = data;
        picture.svgSize = reader.size();
        if (picture.svgSize.isEmpty() || picture.render(QSize(Icons::iconSize, Icons::iconSize)).isNull())
            return std::nullopt;
        return picture;
    }
    QImageReader reader(&buffer, format);
    picture.raster = reader.read();
    if (picture.raster.isNull())
        return std::nullopt;
    // Kept for the life of the process: no larger than any view needs.
    if (std::max(picture.raster.width(), picture.raster.height()) > keptPixels)
        picture.raster = picture.raster.scaled(keptPixels, keptPixels, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return picture;
}

IconThemes& themes()
{
    static IconThemes shared;
    return shared;
}

// The picture a theme gives `name`, from its best file that reads; a few
// are tried, so a broken file among many sizes costs little.
std::optional<Picture> fromThemes(const QString& name, const QStringList& iconDirs)
{
    int tried = 0;
    for (const IconThemes::Candidate& file : themes().find(name, QIcon::themeName(), iconDirs, wantedPixels)) {
        if (auto picture = readPicture(file.path))
            return picture;
        if (++tried == 4)
            break;
    }
    return std::nullopt;
}

// Unthemed icons in the data dirs' pixmaps/ folders, by name with or without
// an extension.
std::optional<Picture> fromPixmaps(const QString& name, const QStringList& pixmapDirs)
{
    for (const QString& dir : pixmapDirs) {
        const QString base = dir + u'/' + name;
        for (const char* ext : {"", ".png", ".svg", ".xpm"}) {
            if (auto picture = readPicture(base + QLatin1String(ext)))
                return picture;
        }
    }
    return std::nullopt;
}

// The icon name or file named by a desktop entry's Icon=; empty when the
// file cannot be read or names none.
QString iconNameOf(const QString& entryPath)
{
    std::string text;
    if (entryPath.isEmpty()
        || UserFile::read(QFile::encodeName(entryPath).toStdString(), maxEntryBytes, &text) != UserFile::State::regular)
        return {};
    const auto entry = DesktopEntries::parse(QByteArray::fromStdString(text));
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

std::optional<Picture> resolve(const QString& path)
{
    const QString own = bundleEntry(path);
    const QString entryPath = own.isEmpty() ? path : own;
    const QString name = iconNameOf(entryPath);
    if (name.isEmpty())
        return std::nullopt;
    if (QDir::isAbsolutePath(name))
        return readPicture(name);
    if (name.contains(u'/'))
        return std::nullopt;
    // A bundle's icons serve its own group alone, and it is found in them
    // alone: its share folder is searched, and nothing else.
    const Places where = own.isEmpty() ? places(dataDirs(entryPath), true)
                                       : places({path + QStringLiteral("/Contents/share")}, false);
    // Some entries give a file name; themes know icons without extensions.
    QString themed = name;
    for (const char* ext : {".png", ".svg", ".xpm"}) {
        if (themed.endsWith(QLatin1String(ext))) {
            themed.chop(4);
            break;
        }
    }
    if (auto picture = fromThemes(themed, where.icons))
        return picture;
    return fromPixmaps(name, where.pixmaps);
}

QIcon generic()
{
    static const QIcon icon = [] {
        if (auto picture = fromThemes(QStringLiteral("application-x-executable"),
                                      places(dataDirs(QString()), true).icons))
            return QIcon(new FillEngine(std::make_shared<const Picture>(std::move(*picture))));
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
    auto found = resolve(bundlePath);
    QIcon result = found ? QIcon(new FillEngine(std::make_shared<const Picture>(std::move(*found)))) : generic();
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
        if (QChar::isLetterOrNumber(first)) {
            // An enclosing mark (U+20DD) rings the letter wider than any
            // tile: the tile shows the letter without it.
            QString kept;
            for (qsizetype i = 0; i < cluster.size(); ++i) {
                const bool pair = cluster[i].isHighSurrogate() && i + 1 < cluster.size() && cluster[i + 1].isLowSurrogate();
                const char32_t c = pair ? QChar::surrogateToUcs4(cluster[i], cluster[i + 1]) : cluster[i].unicode();
                if (QChar::category(c) != QChar::Mark_Enclosing)
                    kept += cluster.sliced(i, pair ? 2 : 1);
                i += pair;
            }
            return kept.toUpper();
        }
        start = end;
    }
    return QStringLiteral("·");
}

} // namespace Icons
