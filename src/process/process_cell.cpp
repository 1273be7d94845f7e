#include "process/process_cell.h"

#include "core/fmt.h"
#include "process/sparkline.h"
#include "ui/fonts.h"
#include "ui/icons.h"
#include "ui/process_icon.h"
#include "ui/symbols.h"
#include "ui/text_face.h"
#include "ui/theme.h"

#include <QFontMetricsF>
#include <QHash>
#include <QPainter>
#include <QStaticText>

#include <algorithm>
#include <cmath>

namespace ProcessCell {

namespace {

using Theme::withAlpha;

QString rate(double value)
{
    return Fmt::bytes(value) + QStringLiteral("/s");
}

MetricText count(int64_t value, bool restricted, int64_t threshold)
{
    if (restricted)
        return {QStringLiteral("—"), Theme::faint()};
    return {QString::number(value), value >= threshold ? Theme::warn() : Theme::dim()};
}

using Face = TextFace;

struct Faces {
    Face groupName{Fonts::font(12, QFont::Medium)};
    Face memberName{Fonts::font(11)};
    Face pid{Fonts::mono(10)};
    Face count{Fonts::mono(9.5)};
    Face metric{Fonts::mono(11)};
    Face letter{Fonts::mono(tileLetter, QFont::DemiBold)};
};

// Made once; the faces do not depend on the language. Main thread only.
Faces& faces()
{
    static Faces f;
    return f;
}

} // namespace

std::array<MetricText, 6> metrics(double cpu, uint64_t mem, int64_t threads, int64_t fds,
                                  double netIn, double netOut, bool restricted,
                                  const Thresholds& thresholds)
{
    std::array<MetricText, 6> m;
    if (cpu >= 100)
        m[0] = {QString::number(cpu, 'f', 0) + QLatin1Char('%'),
                Theme::heat(cpu / 800 + 0.5)};
    else
        m[0] = {QString::number(cpu, 'f', 1) + QLatin1Char('%'),
                cpu < 0.5 ? Theme::faint() : Theme::text()};
    m[1] = {Fmt::bytes(double(mem)), mem < 52'428'800 ? Theme::dim() : Theme::text()};
    m[2] = count(threads, restricted, thresholds.threads);
    m[3] = count(fds, restricted, thresholds.fds);
    m[4] = netIn > 0 ? MetricText{rate(netIn), Theme::net()}
                     : MetricText{QStringLiteral("·"), Theme::faint()};
    m[5] = netOut > 0 ? MetricText{rate(netOut), withAlpha(Theme::net(), 0.7)}
                      : MetricText{QStringLiteral("·"), Theme::faint()};
    return m;
}

bool restricted(const GroupSample& group)
{
    return std::all_of(group.members.begin(), group.members.end(),
                       [](const ProcSample& p) { return p.restricted; });
}

namespace {

Columns columnsAt(double width, int dropped)
{
    Columns c;
    c.spark = dropped < 1;
    c.shown[4] = c.shown[5] = dropped < 2;
    c.shown[2] = c.shown[3] = dropped < 3;
    c.shown[1] = dropped < 4;
    double right = width - 12;
    for (int i = 5; i >= 0; --i) {
        const auto index = std::size_t(i);
        if (!c.shown[index])
            continue;
        right -= widths[index];
        c.left[index] = right;
    }
    // The CPU column always shows, so `right` is its left edge.
    c.sparkLeft = right - sparkColumn;
    // The name keeps 8 pixels clear of the sparkline, or of the CPU figure
    // when the sparkline is gone.
    c.nameLimit = c.spark ? right - sparkColumn - 8 : right - 8;
    return c;
}

} // namespace

Columns columns(double width)
{
    // Every column stands from fullWidth up, where a group's name and count
    // have exactly their readable room.
    if (width >= fullWidth)
        return columnsAt(width, 0);
    constexpr int stages = 4;
    for (int dropped = 1; dropped < stages; ++dropped) {
        Columns c = columnsAt(width, dropped);
        if (c.nameLimit - groupNameX >= nameReadable)
            return c;
    }
    return columnsAt(width, stages);
}

Layout cellLayout(double width, double height, bool member, double nameWidth, double countWidth,
                  bool flagVisible)
{
    Layout l;
    const double h = height;
    const Columns c = columns(width);
    for (std::size_t i = 0; i < widths.size(); ++i)
        if (c.shown[i])
            l.metrics[i] = QRectF(c.left[i], (h - 14) / 2, widths[i], 14);
    if (c.spark)
        l.spark = QRectF(c.sparkLeft, (h - 14) / 2, sparkColumn - 10, 14);
    double nameX;
    if (member) {
        l.pid = QRectF(18, (h - 13) / 2, 52, 13);
        nameX = 78;
    } else {
        l.chevron = QPointF(20, h / 2);
        l.icon = QRectF(28, (h - 18) / 2, 18, 18);
        l.tile = l.icon.adjusted(0, 1.5, 0, -1.5);
        nameX = groupNameX;
    }
    const double room = c.nameLimit - nameX - (countWidth > 0 ? 44 : 0) - (flagVisible ? 14 : 0);
    const double nameW = std::min(std::ceil(nameWidth) + 5, std::max(room, nameFloor));
    l.name = QRectF(nameX, (h - 16) / 2, nameW, 16);
    double x = nameX + nameW + 6;
    if (countWidth > 0) {
        l.count = QRectF(x, (h - 14) / 2, std::ceil(countWidth), 14);
        x += l.count.width() + 7;
    }
    if (flagVisible)
        l.flag = QRectF(x, (h - 6) / 2, 6, 6);
    return l;
}

Look look(bool member, bool selected, bool expanded)
{
    Look l;
    if (selected)
        l.background = Theme::raised();
    else if (member)
        l.background = withAlpha(Theme::bg(), 0.5);
    else
        l.background = QColor(0, 0, 0, 0);
    l.accent = selected && !member ? 1 : 0;
    l.chevron = expanded ? 90 : 0;
    return l;
}

void paintBackground(QPainter& painter, const QRectF& rect, const Paint& paint)
{
    if (paint.background.alpha() > 0)
        painter.fillRect(rect, paint.background);
    if (paint.accent > 0)
        painter.fillRect(QRectF(rect.left(), rect.top(), 2, rect.height()),
                         withAlpha(Theme::cpu(), paint.accent));
}

void paintWash(QPainter& painter, const QRectF& rect, const Paint& paint)
{
    if (paint.wash > 0)
        painter.fillRect(rect, QColor::fromRgbF(1, 1, 1, float(paint.wash)));
}

void paintChevron(QPainter& painter, const QRectF& rect, double angle)
{
    const QPointF centre(rect.left() + 20, rect.top() + rect.height() / 2);
    // Resting chevrons come from the symbol cache; only a turning one is
    // drawn as a path.
    if (angle == 0 || angle == 90) {
        Symbols::draw(painter, QRectF(centre.x() - 5, centre.y() - 5, 10, 10),
                      angle == 0 ? u"chevron.right" : u"chevron.down", Theme::faint(), QFont::Bold);
        return;
    }
    painter.save();
    painter.translate(centre);
    painter.rotate(angle);
    Symbols::draw(painter, QRectF(-5, -5, 10, 10), u"chevron.right", Theme::faint(), QFont::Bold);
    painter.restore();
}

namespace {

// The tile of a group without an application icon: a rounded 18 × 15
// rectangle, its border inside it, and the letter in the middle.
void paintTile(QPainter& painter, const QRectF& tile, const QString& letter)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    ProcessIcon::paintTileGround(painter, tile, tileRadius);
    painter.setPen(Theme::dim());
    // A letter may carry any number of marks; they stay on the tile.
    painter.setClipRect(tile, Qt::IntersectClip);
    faces().letter.draw(painter, tile, letter, Face::Align::centre);
    painter.restore();
}

// A mark that encloses its letter (U+20DD) or stands wide of it reaches
// past the name's advance: the name keeps to its own column, clear of the
// icon or pid before it and the count after it, within the row.
void drawName(QPainter& painter, Face& face, const QRectF& box, const QRectF& row, const QString& name)
{
    painter.save();
    painter.setClipRect(QRectF(box.left() - 3, row.top(), box.width() + 6, row.height()), Qt::IntersectClip);
    face.draw(painter, box, name, false, true);
    painter.restore();
}

void paintMetrics(QPainter& painter, const Layout& layout, const std::array<MetricText, 6>& m,
                  const QPointF& origin)
{
    Face& face = faces().metric;
    for (std::size_t i = 0; i < m.size(); ++i) {
        if (layout.metrics[i].isEmpty())
            continue;
        painter.setPen(m[i].color);
        face.draw(painter, layout.metrics[i].translated(origin), m[i].text, true);
    }
}

} // namespace

void paintGroup(QPainter& painter, const QRectF& rect, const GroupSample& group, const Paint& paint)
{
    Faces& f = faces();
    const bool several = group.members.size() >= 2;
    const QString countText = several ? QStringLiteral("×") + QString::number(group.members.size())
                                      : QString();
    const double nameWidth = f.groupName.width(group.name);
    const double countWidth = several ? f.count.width(countText) : 0;
    const Layout l = cellLayout(rect.width(), rect.height(), false, nameWidth, countWidth,
                                paint.flag.has_value());
    const QPointF o = rect.topLeft();

    painter.save();
    painter.setOpacity(paint.opacity);
    if (paint.chrome)
        paintBackground(painter, rect, paint);

    if (several && paint.chrome)
        paintChevron(painter, rect, paint.chevron);
    if (!paint.iconHidden) {
        if (group.bundlePath)
            ProcessIcon::paint(painter, l.icon.translated(o), 18, QString(), group.bundlePath);
        else
            paintTile(painter, l.tile.translated(o), Icons::letter(group.name));
    }

    painter.setPen(Theme::text());
    drawName(painter, f.groupName, l.name.translated(o), rect, group.name);
    if (several) {
        painter.setPen(Theme::dim());
        f.count.draw(painter, l.count.translated(o), countText);
    }
    if (paint.flag) {
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(*paint.flag == Severity::critical ? Theme::crit() : Theme::warn());
        painter.drawEllipse(l.flag.translated(o));
    }
    if (paint.spark && paint.spark->size() >= 2 && !l.spark.isEmpty()) {
        const auto& all = *paint.spark;
        const std::size_t n = std::min<std::size_t>(all.size(), sparkPoints);
        const QPainterPath path = sparkPath(std::span(all).last(n), 100, l.spark.translated(o));
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setBrush(Qt::NoBrush);
        QPen pen(withAlpha(Theme::cpu(), group.cpu >= 0.5 ? 0.9 : 0.35), 1);
        pen.setJoinStyle(Qt::RoundJoin);
        painter.setPen(pen);
        painter.drawPath(path);
    }
    static const Thresholds defaults;
    const Thresholds& t = paint.thresholds ? *paint.thresholds : defaults;
    paintMetrics(painter, l,
                 metrics(group.cpu, group.mem, group.threads, group.fds, group.netIn, group.netOut,
                         restricted(group), t),
                 o);
    if (paint.chrome)
        paintWash(painter, rect, paint);
    painter.restore();
}

void paintMember(QPainter& painter, const QRectF& rect, const ProcSample& member, const Paint& paint)
{
    Faces& f = faces();
    const double nameWidth = f.memberName.width(member.name);
    const Layout l = cellLayout(rect.width(), rect.height(), true, nameWidth, 0, false);
    const QPointF o = rect.topLeft();

    painter.save();
    painter.setOpacity(paint.opacity);
    if (paint.chrome)
        paintBackground(painter, rect, paint);
    painter.setPen(Theme::faint());
    f.pid.draw(painter, l.pid.translated(o), QString::number(member.pid), true);
    painter.setPen(Theme::dim());
    drawName(painter, f.memberName, l.name.translated(o), rect, member.name);
    static const Thresholds defaults;
    const Thresholds& t = paint.thresholds ? *paint.thresholds : defaults;
    paintMetrics(painter, l,
                 metrics(member.cpu, member.mem, member.threads, member.fds, member.netIn,
                         member.netOut, member.restricted, t),
                 o);
    if (paint.chrome)
        paintWash(painter, rect, paint);
    painter.restore();
}

} // namespace ProcessCell
