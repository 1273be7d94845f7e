#include "ui/menu_glyph.h"

#include "ui/theme.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace MenuGlyph {

double width(std::size_t count)
{
    const double n = double(std::max<std::size_t>(count, 1));
    return n * (barWidth + gap) - gap;
}

QColor color(std::optional<Severity> alert)
{
    // Trays have no template images, so the neutral bars take the light
    // text colour that reads on the dark panels trays use.
    if (!alert)
        return Theme::text();
    return *alert == Severity::critical ? Theme::crit() : Theme::warn();
}

void paint(QPainter& painter, const std::vector<double>& cores, std::optional<Severity> alert)
{
    const QColor full = color(alert);
    QColor track = full;
    track.setAlphaF(float(full.alphaF() * trackOpacity));
    for (std::size_t i = 0; i < cores.size(); ++i) {
        const double x = double(i) * (barWidth + gap);
        painter.fillRect(QRectF(x, 0, barWidth, height), track);
        // A load that is not a number, or none, still leaves a stub.
        const double load = cores[i];
        const double level = std::isnan(load) ? 1 : std::clamp(height * load, 1.0, height);
        painter.fillRect(QRectF(x, height - level, barWidth, level), full);
    }
}

QImage image(const std::vector<double>& cores, std::optional<Severity> alert, double dpr)
{
    const QSize size(int(std::ceil(width(cores.size()) * dpr)), int(std::ceil(height * dpr)));
    QImage result(size, QImage::Format_ARGB32_Premultiplied);
    result.fill(Qt::transparent);
    result.setDevicePixelRatio(dpr);
    QPainter painter(&result);
    paint(painter, cores, alert);
    return result;
}

QImage square(const std::vector<double>& cores, std::optional<Severity> alert, int side)
{
    side = std::max(side, 1);
    QImage result(side, side, QImage::Format_ARGB32_Premultiplied);
    result.fill(Qt::transparent);
    const double w = width(cores.size()) + 2 * backing;
    const double h = height + 2 * backing;
    const double scale = std::min({1.0, side / w, side / h});
    QPainter painter(&result);
    // Whole-pixel offsets keep the bars crisp at their own size.
    painter.translate(std::floor((side - w * scale) / 2), std::floor((side - h * scale) / 2));
    painter.scale(scale, scale);
    // Light bars alone vanish on a light panel: they stand on a dark
    // rounded ground, which a dark panel hardly shows.
    if (!cores.empty()) {
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0, 0, 0, 190));
        painter.drawRoundedRect(QRectF(0, 0, w, h), backing, backing);
        painter.setRenderHint(QPainter::Antialiasing, false);
    }
    painter.translate(backing, backing);
    paint(painter, cores, alert);
    return result;
}

QString percentText(double cpu)
{
    if (!std::isfinite(cpu))
        return QStringLiteral("—");
    // std::round takes halves away from zero.
    // Adding zero turns a rounded -0 into 0.
    return QString::number(std::round(cpu * 100) + 0.0, 'f', 0) + QLatin1Char('%');
}

} // namespace MenuGlyph
