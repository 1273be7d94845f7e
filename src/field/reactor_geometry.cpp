#include "field/reactor_geometry.h"

#include "core/fmt.h"
#include "core/l10n.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

double clean(double share)
{
    return std::isfinite(share) && share > 0 ? share : 0;
}

QString memName(int index)
{
    switch (index) {
    case 0: return L10n::text("App memory", "应用内存");
    case 1: return L10n::text("Wired", "联动内存");
    case 2: return L10n::text("Compressed", "已压缩");
    default: return L10n::text("Cached files", "缓存文件");
    }
}

} // namespace

ReactorGeometry::ReactorGeometry(QSizeF size, const std::vector<CoreKind>& kinds)
{
    const bool both = std::find(kinds.begin(), kinds.end(), CoreKind::efficiency) != kinds.end()
        && std::find(kinds.begin(), kinds.end(), CoreKind::performance) != kinds.end();
    const double gap = both ? kindGap : 0;
    const double n = double(kinds.size());
    double sweep = n > 0 ? (360 - 2 * gap - sectorGap * n) / n : 0;
    if (n > 0 && sweep <= 0) {
        // Past about 225 cores the 1.6° gaps alone fill the circle: the
        // sectors touch instead.
        spacing = 0;
        sweep = (360 - 2 * gap) / n;
    }
    double start = gap / 2 - 90;
    sectors.reserve(kinds.size());
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        if (i > 0) {
            start = sectors.back().end + spacing;
            if (kinds[i] != kinds[i - 1])
                start += gap;
        }
        sectors.push_back({start, start + sweep});
    }
    centre = QPointF(size.width() / 2, size.height() / 2);
    r = std::max(std::min(size.width(), size.height()) / 2 - 6, 10.0);
}

int ReactorGeometry::bands() const
{
    return std::clamp(int(std::floor(r * depth / minBandPitch)), 1, maxBands);
}

double ReactorGeometry::wedgeRadius(double load) const
{
    const double u = std::isfinite(load) ? std::clamp(load, minLoad, 1.0) : minLoad;
    return r * (innerEdge + u * depth);
}

std::array<ReactorGeometry::MemSegment, 4>
ReactorGeometry::memSegments(const std::array<double, 4>& shares)
{
    std::array<MemSegment, 4> out;
    double start = 0;
    for (std::size_t i = 0; i < shares.size(); ++i) {
        const double end = std::min(start + clean(shares[i]), 1.0);
        MemSegment& s = out[i];
        s.start = start;
        s.end = end;
        s.a = start + memGap < end ? start + memGap : end;
        s.b = end - memGap >= s.a ? end - memGap : s.a;
        start = end;
    }
    return out;
}

std::array<double, 4> ReactorGeometry::memShares(const SystemSample& s)
{
    const double total = s.memTotal == 0 ? 1.0 : double(s.memTotal);
    return {double(s.memApp) / total, double(s.memWired) / total,
            double(s.memCompressed) / total, double(s.memCached) / total};
}

std::optional<QString> ReactorGeometry::tip(QPointF p, const SystemSample& s,
                                            const std::vector<CoreKind>& kinds) const
{
    double angle = std::atan2(p.y() - centre.y(), p.x() - centre.x()) * 180 / std::numbers::pi;
    if (angle < -90)
        angle += 360;
    const double dist = std::hypot(p.x() - centre.x(), p.y() - centre.y());

    if (dist >= innerEdge * r - 2 && dist <= outerEdge * r + 4) {
        const double reach = spacing / 2;
        for (std::size_t i = 0; i < sectors.size(); ++i) {
            if (angle < sectors[i].start - reach || angle > sectors[i].end + reach)
                continue;
            if (i >= s.cores.size() || i >= kinds.size())
                return std::nullopt;
            const long ordinal = std::count(kinds.begin(), kinds.begin() + long(i) + 1, kinds[i]);
            const double load = std::isfinite(s.cores[i]) ? s.cores[i] : 0;
            return QStringLiteral("%1%2  %3%")
                .arg(kinds[i] == CoreKind::efficiency ? QChar('E') : QChar('P'))
                .arg(ordinal)
                .arg(int(std::clamp(std::trunc(load * 100), -1e6, 1e6)));
        }
        return std::nullopt;
    }

    if (std::abs(dist - memRadius * r) <= 9) {
        // The segments the ring draws, so the tip never names one that shows
        // no colour or lies past the top of the circle.
        const auto segments = memSegments(memShares(s));
        const double at = (angle + 90) / 360;
        const double total = double(s.memTotal);
        for (int i = 0; i < 4; ++i) {
            const MemSegment& seg = segments[std::size_t(i)];
            if (seg.visible() && seg.start <= at && at < seg.end)
                return memName(i) + QStringLiteral("  ") + Fmt::bytes((seg.end - seg.start) * total);
        }
        const double used = segments.back().end;
        return L10n::text("Free", "可用") + QStringLiteral("  ") + Fmt::bytes((1 - used) * total);
    }
    return std::nullopt;
}

int ReactorGeometry::readoutPercent(double cpu)
{
    const double v = std::isfinite(cpu) ? std::clamp(cpu * 100, -1e6, 1e6) : 0;
    return int(std::round(v));
}
