#include "field/field_style.h"

#include "core/fmt.h"
#include "core/outside_text.h"
#include "field/trace_geometry.h"
#include "ui/theme.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace FieldStyle {

namespace {

double heat(double cpu)
{
    if (!(cpu > 0))
        return 0;
    return std::min(cpu / 400, 1.0);
}

// x mod m into [0, m), also for negative x.
double wrap(double x, double m)
{
    const double r = std::fmod(x, m);
    return r < 0 ? r + m : r;
}

} // namespace

Disc disc(double cpu, bool emphasised)
{
    const double h = heat(cpu);
    const QColor c = Theme::heat(h);
    return {Theme::withAlpha(c, 0.1 + 0.22 * h), Theme::withAlpha(c, emphasised ? 1.0 : 0.45 + 0.5 * h),
            emphasised ? 1.8 : 1.0};
}

QColor ticks(int64_t threads, int threadLimit)
{
    return threads >= threadLimit ? Theme::withAlpha(Theme::warn(), 0.8)
                                  : Theme::withAlpha(Theme::dim(), 0.5);
}

double tickSpeed(double cpu)
{
    return 5 * heat(cpu) + 0.15;
}

int tickCount(int64_t threads)
{
    if (threads >= 576)
        return 72;
    return threads > 0 ? int(threads / 8) : 0;
}

bool ticksShown(int count, double radius)
{
    return count >= 1 && radius > 12;
}

QColor halo(Severity severity)
{
    return severity == Severity::critical ? Theme::crit() : Theme::warn();
}

std::optional<double> nameSize(double radius)
{
    if (!(radius > 26))
        return std::nullopt;
    return std::min(std::max(radius / 4.2, 9.5), 13.0);
}

QRectF nameFrame(double radius, double size)
{
    return {-0.85 * radius, -3 - size, 1.7 * radius, size + 4};
}

QRectF detailFrame(double radius)
{
    return {-0.95 * radius, 3, 1.9 * radius, 12};
}

QString cpuText(double cpu)
{
    if (!std::isfinite(cpu))
        cpu = 0;
    return cpu >= 100 ? QString::asprintf("%.0f%%", cpu) : QString::asprintf("%.1f%%", cpu);
}

QString detailText(const GroupSample& group)
{
    return Fmt::bytes(double(group.mem)) + QStringLiteral("  ") + cpuText(group.cpu);
}

int dots(double rate)
{
    if (!(rate > 2048))
        return 0;
    if (std::isinf(rate))
        return 14;
    const int doublings = TraceGeometry::toInt(std::trunc(std::log2(rate / 1024)));
    return std::clamp(doublings, 1, 14);
}

Dot dot(int slot, int index, int count, double radius, double seconds)
{
    if (count < 1)
        return {};
    const double delay = flowPeriod / count * 0.62;
    const double phase = wrap(seconds - index * delay, flowPeriod) / flowPeriod;
    const double near = radius + 6;
    const double far = radius + 32;
    // Inbound dots fall towards the disc, outbound ones leave it.
    const double distance = slot == 0 ? far + (near - far) * phase : near + (far - near) * phase;
    const double angle = 2 * std::numbers::pi * index / count + (slot == 0 ? 0 : 0.5);
    // Straight up from the centre, turned by the dot's angle.
    const QPointF centre(distance * std::sin(angle), -distance * std::cos(angle));
    const double opacity = phase < 0.5 ? 2 * phase : 2 * (1 - phase);
    return {centre, opacity};
}

double marchPhase(double seconds)
{
    return wrap(seconds, 0.6) / 0.6 * 7;
}

double throb(double seconds)
{
    const double t = wrap(seconds, 1.6);
    const double u = t < 0.8 ? t / 0.8 : 2 - t / 0.8;
    return 0.85 + (0.25 - 0.85) * u;
}

QString tooltipText(const GroupSample& group)
{
    return OutsideText::isolate(group.name) + QStringLiteral("   CPU ") + cpuText(group.cpu)
        + QStringLiteral("  MEM ") + Fmt::bytes(double(group.mem)) + QStringLiteral("  THR ") + QString::number(group.threads)
        + QStringLiteral("  FD ") + QString::number(group.fds);
}

QRectF tooltipFrame(QPointF point, double textWidth, double viewWidth)
{
    const double w = textWidth + 18;
    const double x = std::min(std::max(point.x() - w / 2, 6.0), viewWidth - w - 6);
    const double y = std::max(point.y() - 34, 6.0);
    return {x, y, w, 18};
}

std::vector<GroupSample> chooseGroups(const std::vector<GroupSample>& rows,
                                      const QSet<QString>& pinned)
{
    std::vector<const GroupSample*> byMem;
    byMem.reserve(rows.size());
    for (const GroupSample& g : rows)
        byMem.push_back(&g);
    std::vector<const GroupSample*> byCpu = byMem;
    std::stable_sort(byMem.begin(), byMem.end(),
                     [](const GroupSample* a, const GroupSample* b) { return a->mem > b->mem; });
    std::stable_sort(byCpu.begin(), byCpu.end(),
                     [](const GroupSample* a, const GroupSample* b) { return a->cpu > b->cpu; });

    std::vector<GroupSample> chosen;
    QSet<QString> taken;
    auto take = [&](const GroupSample& g) {
        if (taken.contains(g.key))
            return;
        taken.insert(g.key);
        chosen.push_back(g);
    };
    for (std::size_t i = 0; i < byMem.size() && i < 44; ++i)
        take(*byMem[i]);
    for (std::size_t i = 0; i < byCpu.size() && i < 12; ++i)
        take(*byCpu[i]);
    if (!pinned.isEmpty())
        for (const GroupSample& g : rows)
            if (pinned.contains(g.key))
                take(g);
    return chosen;
}

QHash<QString, Severity> mergeFlags(const std::vector<Incident>& open)
{
    QHash<QString, Severity> flags;
    for (const Incident& incident : open) {
        if (!incident.groupKey)
            continue;
        auto it = flags.find(*incident.groupKey);
        if (it == flags.end())
            flags.insert(*incident.groupKey, incident.severity);
        else if (*it < incident.severity)
            *it = incident.severity;
    }
    return flags;
}

RowPoints rowPoints(const QHash<QString, QPointF>& points, const QRectF& clip)
{
    RowPoints result;
    for (auto it = points.begin(); it != points.end(); ++it) {
        const double y = it.value().y();
        if (clip.top() + 4 < y && y < clip.bottom() - 4)
            result.visible.emplace(it.key(), it.value());
        else
            result.away.emplace(it.key(), y < clip.center().y() ? -1.0 : 1.0);
    }
    return result;
}

} // namespace FieldStyle
