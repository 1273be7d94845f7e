#include "ui/emblem.h"

#include "ui/theme.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <algorithm>

namespace Emblem {

namespace {

QString hex(const QColor& colour)
{
    return colour.name(QColor::HexRgb);
}

QString number(double value)
{
    return QString::number(value, 'g', 6);
}

} // namespace

int tickClass(int index)
{
    const int r = ((index % 8) + 8) % 8;
    return std::min(r, 8 - r);
}

QColor mint()
{
    return QColor(0x4D, 0xF0, 0xB8);
}

QColor idle()
{
    return QColor(42, 50, 59);
}

QColor finalColor(int index)
{
    switch (tickClass(index)) {
    case 0:
        return mint();
    case 1: {
        QColor c = mint();
        c.setAlphaF(0.7f);
        return c;
    }
    default:
        return idle();
    }
}

double restingOuter(int index)
{
    switch (tickClass(index)) {
    case 0:
        return 27;
    case 1:
        return 24.5;
    default:
        return 23;
    }
}

void paintBeams(QPainter& p, double u, double opacity)
{
    QPainterPath wedge;
    wedge.moveTo(0, 0);
    wedge.lineTo(-beamHalfWidth * u, -beamReach * u);
    wedge.lineTo(beamHalfWidth * u, -beamReach * u);
    wedge.closeSubpath();
    QLinearGradient fade(QPointF(0, 0), QPointF(0, -beamFadeEnd * u));
    QColor clear = mint();
    clear.setAlphaF(0);
    fade.setColorAt(0, mint());
    fade.setColorAt(1, clear);
    p.setPen(Qt::NoPen);
    p.setBrush(fade);
    p.setOpacity(opacity);
    for (int beam = 0; beam < 2; ++beam) {
        p.drawPath(wedge);
        p.rotate(180);
    }
}

void paintIcon(QPainter& p, const QRectF& box)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const double u = std::min(box.width(), box.height()) / units;
    const QPointF c = box.center();
    QRectF plate(0, 0, units * u, units * u);
    plate.moveCenter(c);
    const double edge = plateEdge * u;
    p.setPen(QPen(Theme::line(), edge));
    p.setBrush(Theme::bg());
    p.drawRoundedRect(plate.adjusted(edge / 2, edge / 2, -edge / 2, -edge / 2), plateRadius * u - edge / 2,
                      plateRadius * u - edge / 2);

    p.translate(c);
    p.rotate(dialDegrees);
    paintBeams(p, u, beamOpacity);
    p.setOpacity(1);
    for (int i = 0; i < tickCount; ++i) {
        p.save();
        p.rotate(22.5 * i);
        p.setPen(QPen(finalColor(i), tickWidth * u, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(0, -restingOuter(i) * u), QPointF(0, -innerRadius * u));
        p.restore();
    }
    p.rotate(-dialDegrees);
    p.setPen(Qt::NoPen);
    p.setBrush(mint());
    p.drawEllipse(QPointF(0, 0), coreRadius * u, coreRadius * u);
    p.restore();
}

QImage iconImage(int edge)
{
    QImage image(edge, edge, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    paintIcon(p, QRectF(0, 0, edge, edge));
    return image;
}

QIcon appIcon()
{
    static const QIcon icon = [] {
        QIcon made;
        for (const int edge : iconSizes)
            made.addPixmap(QPixmap::fromImage(iconImage(edge)));
        return made;
    }();
    return icon;
}

QString iconSvg()
{
    const double mid = units / 2;
    const QString centre = QStringLiteral(" %1 %1)").arg(number(mid));
    QString svg = QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" "
                                 "viewBox=\"0 0 %1 %1\">\n")
                      .arg(number(units));
    svg += QStringLiteral("<defs><linearGradient id=\"beam\" gradientUnits=\"userSpaceOnUse\" x1=\"%1\" y1=\"%1\" "
                          "x2=\"%1\" y2=\"%2\"><stop offset=\"0\" stop-color=\"%3\"/><stop offset=\"1\" "
                          "stop-color=\"%3\" stop-opacity=\"0\"/></linearGradient></defs>\n")
               .arg(number(mid), number(mid - beamFadeEnd), hex(mint()));
    svg += QStringLiteral("<rect x=\"%1\" y=\"%1\" width=\"%2\" height=\"%2\" rx=\"%3\" fill=\"%4\" stroke=\"%5\" "
                          "stroke-width=\"%6\"/>\n")
               .arg(number(plateEdge / 2), number(units - plateEdge), number(plateRadius - plateEdge / 2),
                    hex(Theme::bg()), hex(Theme::line()), number(plateEdge));
    svg += QStringLiteral("<g transform=\"rotate(%1").arg(number(dialDegrees)) + centre + QStringLiteral("\">\n");
    const QString wedge = QStringLiteral("M%1 %1L%2 %3L%4 %3Z")
                              .arg(number(mid), number(mid - beamHalfWidth), number(mid - beamReach),
                                   number(mid + beamHalfWidth));
    svg += QStringLiteral("<g fill=\"url(#beam)\" opacity=\"%1\"><path d=\"%2\"/><path d=\"%2\" transform=\"rotate(180")
               .arg(number(beamOpacity), wedge)
        + centre + QStringLiteral("\"/></g>\n");
    for (int i = 0; i < tickCount; ++i) {
        const QColor colour = finalColor(i);
        svg += QStringLiteral("<line x1=\"%1\" y1=\"%2\" x2=\"%1\" y2=\"%3\" stroke=\"%4\" stroke-opacity=\"%5\" "
                              "stroke-width=\"%6\" stroke-linecap=\"round\" transform=\"rotate(%7")
                   .arg(number(mid), number(mid - restingOuter(i)), number(mid - innerRadius), hex(colour),
                        number(colour.alphaF()), number(tickWidth), number(22.5 * i))
            + centre + QStringLiteral("\"/>\n");
    }
    svg += QStringLiteral("</g>\n<circle cx=\"%1\" cy=\"%1\" r=\"%2\" fill=\"%3\"/>\n</svg>\n")
               .arg(number(mid), number(coreRadius), hex(mint()));
    return svg;
}

} // namespace Emblem
