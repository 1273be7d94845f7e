#include "ui/symbols.h"

#include <QFontInfo>
#include <QGuiApplication>
#include <QHash>
#include <QPainter>
#include <QPainterPathStroker>
#include <QRawFont>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace Symbols {

namespace {

using Draw = QPainterPath (*)();

// Three dots at the corners of a triangle joined by dotted edges; the font
// has no glyph of connected points that does not read as "share".
QPainterPath connectedPoints()
{
    QPainterPath p;
    const std::array<QPointF, 3> corners{QPointF(12, 4), QPointF(3.5, 19), QPointF(20.5, 19)};
    for (const QPointF& c : corners)
        p.addEllipse(c, 3.2, 3.2);
    for (std::size_t i = 0; i < corners.size(); ++i) {
        const QPointF a = corners[i], b = corners[(i + 1) % corners.size()];
        // Dots along the edge, clear of the corner dots.
        for (int k = 1; k <= 3; ++k)
            p.addEllipse(a + (b - a) * (k / 4.0), 1.15, 1.15);
    }
    return p;
}

struct Entry {
    const char* name;
    char32_t codepoint; // Material Icons; 0 when drawn
    Draw draw = nullptr;
    // Solid blocks look heavier than line symbols of the same extent.
    double scale = 1;
};

// Sorted by name. The comment names the Material glyph.
constexpr std::array entries{
    Entry{"arrow.clockwise", 0xe5d5},                    // refresh
    Entry{"arrow.down", 0xe5db},                         // arrow_downward
    Entry{"arrow.up", 0xe5d8},                           // arrow_upward
    Entry{"arrow.up.right", 0xf1e1},                     // north_east
    Entry{"bell.slash", 0xe7f6},                         // notifications_off
    Entry{"bolt.fill", 0xea0b},                          // bolt
    Entry{"bubble.left.and.text.bubble.right", 0xe0bf},  // forum
    Entry{"checkmark", 0xe5ca},                          // check
    Entry{"chevron.down", 0xe5cf},                       // expand_more
    Entry{"chevron.left", 0xe5cb},                       // chevron_left
    Entry{"chevron.right", 0xe5cc},                      // chevron_right
    Entry{"circle.hexagongrid", 0xe6dd},                 // bubble_chart
    Entry{"doc.on.doc", 0xe14d},                         // content_copy
    Entry{"door.left.hand.open", 0xeb4f},                // meeting_room
    Entry{"exclamationmark.triangle.fill", 0xe002},      // warning
    Entry{"folder", 0xe2c7},                             // folder
    Entry{"gearshape", 0xe8b8},                          // settings
    Entry{"globe", 0xe894},                              // language
    Entry{"info.circle", 0xe88f},                        // info_outline
    Entry{"list.bullet", 0xe241},                        // format_list_bulleted
    Entry{"magnifyingglass", 0xe8b6},                    // search
    Entry{"pause.fill", 0xe034},                         // pause
    Entry{"play.fill", 0xe037},                          // play_arrow
    Entry{"point.3.connected.trianglepath.dotted", 0, connectedPoints},
    Entry{"slider.horizontal.3", 0xe429},                // tune
    Entry{"stop.fill", 0xe047, nullptr, 0.8},            // stop
    Entry{"waveform.path.ecg", 0xeaa2},                  // monitor_heart
    Entry{"xmark", 0xe5cd},                              // close
    Entry{"xmark.circle.fill", 0xe5c9},                  // cancel
};

const Entry* find(QStringView name)
{
    const auto it = std::lower_bound(entries.begin(), entries.end(), name,
                                     [](const Entry& e, QStringView n) {
                                         return QLatin1StringView(e.name) < n;
                                     });
    if (it == entries.end() || QLatin1StringView(it->name) != name)
        return nullptr;
    return &*it;
}

// A ringed square with a dot: plainly a placeholder, never mistaken for a
// real symbol, never blank.
QPainterPath fallbackMark()
{
    QPainterPath p;
    p.setFillRule(Qt::OddEvenFill);
    p.addRoundedRect(QRectF(2, 2, 20, 20), 4, 4);
    p.addRoundedRect(QRectF(4.5, 4.5, 15, 15), 2, 2);
    p.addEllipse(QPointF(12, 12), 3, 3);
    return p;
}

// Into the unit square, aspect kept, centred; `extent` of its side.
QPainterPath normalised(const QPainterPath& source, double extent = 1)
{
    const QRectF ink = source.boundingRect();
    if (ink.isEmpty())
        return {};
    const double scale = extent / std::max(ink.width(), ink.height());
    QTransform t;
    t.translate(0.5, 0.5);
    t.scale(scale, scale);
    t.translate(-ink.center().x(), -ink.center().y());
    return t.map(source);
}

const QRawFont& iconFont()
{
    static const QRawFont font = [] {
        QFont f(fontFamily());
        f.setPixelSize(96);
        f.setStyleStrategy(QFont::NoFontMerging);
        if (QFontInfo(f).family() != fontFamily())
            return QRawFont();
        return QRawFont::fromFont(f);
    }();
    return font;
}

QPainterPath glyphPath(char32_t codepoint)
{
    const QRawFont& font = iconFont();
    if (!font.isValid() || !font.supportsCharacter(codepoint))
        return {};
    const QList<quint32> glyphs = font.glyphIndexesForString(QString::fromUcs4(&codepoint, 1));
    if (glyphs.size() != 1 || glyphs.front() == 0)
        return {};
    return font.pathForGlyph(glyphs.front());
}

QPainterPath build(QStringView name)
{
    QPainterPath p;
    if (const Entry* e = find(name))
        p = normalised(e->draw ? e->draw() : glyphPath(e->codepoint), e->scale);
    return p.isEmpty() ? normalised(fallbackMark()) : p;
}

const QPainterPath& cachedPath(QStringView name)
{
    static QHash<QString, QPainterPath> paths;
    const QString key = name.toString();
    auto it = paths.constFind(key);
    if (it == paths.constEnd())
        it = paths.insert(key, build(name));
    return *it;
}

// Fills the symbol into `box` (its height sets the size).
void paintPath(QPainter& painter, const QRectF& box, QStringView name, const QColor& color,
               QFont::Weight weight)
{
    const double size = box.height();
    if (!(size > 0))
        return;
    const double pen = weightStroke(weight) * size;
    const double inner = std::max(size - pen, size * 0.5);
    QTransform t;
    t.translate(box.center().x() - inner / 2, box.center().y() - inner / 2);
    t.scale(inner, inner);
    const QPainterPath shape = t.map(cachedPath(name));

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(shape, color);
    if (pen > 0) {
        QPainterPathStroker stroker;
        stroker.setWidth(pen);
        stroker.setJoinStyle(Qt::RoundJoin);
        stroker.setCapStyle(Qt::RoundCap);
        painter.fillPath(stroker.createStroke(shape), color);
    }
    painter.restore();
}

struct PixmapKey {
    QString name;
    QRgb color;
    int weight;
    qint64 size;  // 1/1000 px
    qint64 ratio; // 1/1000
    bool operator==(const PixmapKey&) const = default;
};

size_t qHash(const PixmapKey& k, size_t seed = 0)
{
    return qHashMulti(seed, k.name, k.color, k.weight, k.size, k.ratio);
}

constexpr qsizetype pixmapCacheLimit = 2048;

} // namespace

QString fontFamily()
{
    return QStringLiteral("Material Icons");
}

bool fontInstalled()
{
    return iconFont().isValid();
}

bool has(QStringView name)
{
    return find(name) != nullptr;
}

QStringList names()
{
    QStringList list;
    list.reserve(qsizetype(entries.size()));
    for (const Entry& e : entries)
        list << QString::fromLatin1(e.name);
    return list;
}

char32_t codepoint(QStringView name)
{
    const Entry* e = find(name);
    return e ? e->codepoint : 0;
}

QPainterPath path(QStringView name)
{
    return cachedPath(name);
}

double weightStroke(QFont::Weight weight)
{
    // Added to the glyph's own strokes (about a tenth of its size) to reach
    // the design's weights.
    if (weight >= QFont::Black)
        return 0.09;
    if (weight >= QFont::ExtraBold)
        return 0.075;
    if (weight >= QFont::Bold)
        return 0.06;
    if (weight >= QFont::DemiBold)
        return 0.04;
    if (weight >= QFont::Medium)
        return 0.02;
    return 0;
}

QPixmap pixmap(QStringView name, double size, const QColor& color, QFont::Weight weight, qreal dpr)
{
    if (!(size > 0) || !std::isfinite(size) || !(dpr > 0) || !std::isfinite(dpr))
        return {};
    size = std::min(size, 1024.0);
    dpr = std::min(dpr, 8.0);
    static QHash<PixmapKey, QPixmap> cache;
    const PixmapKey key{name.toString(), color.rgba(), int(weight), std::llround(size * 1000),
                        std::llround(dpr * 1000)};
    if (const auto it = cache.constFind(key); it != cache.constEnd())
        return *it;

    const int pixels = static_cast<int>(std::ceil(size * dpr - 1e-6));
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    image.setDevicePixelRatio(dpr);
    {
        QPainter painter(&image);
        const double margin = (pixels / dpr - size) / 2;
        paintPath(painter, QRectF(margin, margin, size, size), name, color, weight);
    }
    if (cache.size() >= pixmapCacheLimit)
        cache.clear();
    return *cache.insert(key, QPixmap::fromImage(std::move(image)));
}

void draw(QPainter& painter, const QRectF& box, QStringView name, const QColor& color,
          QFont::Weight weight)
{
    const double size = box.height();
    if (!(size > 0))
        return;
    if (painter.transform().type() > QTransform::TxTranslate) {
        paintPath(painter, box, name, color, weight);
        return;
    }
    const qreal dpr = painter.device() ? painter.device()->devicePixelRatioF() : 1;
    const QPixmap image = pixmap(name, size, color, weight, dpr);
    const double side = image.width() / dpr;
    painter.drawPixmap(QPointF(box.center().x() - side / 2, box.center().y() - side / 2), image);
}

} // namespace Symbols
