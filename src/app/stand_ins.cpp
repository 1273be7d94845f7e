#include "app/stand_ins.h"

#include "core/l10n.h"
#include "ui/fonts.h"
#include "ui/theme.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace {

QFont nameFont() { return Fonts::font(11, QFont::DemiBold); }
QFont noteFont() { return Fonts::mono(9.5); }

} // namespace

StandIn::StandIn(const char* en, const char* zh, QWidget* parent)
    : QWidget(parent)
    , name_(L10n::text(en, zh))
{
    setObjectName(QString::fromUtf8(en));
}

QString StandIn::notBuilt()
{
    return L10n::text("not built yet", "尚未构建");
}

QString StandIn::caption(const char* en, const char* zh)
{
    return L10n::text(en, zh) + QStringLiteral(" · ") + notBuilt();
}

QSize StandIn::sizeHint() const
{
    const QFontMetricsF name(nameFont());
    const QFontMetricsF note(noteFont());
    const double width = std::max(name.horizontalAdvance(name_), note.horizontalAdvance(notBuilt()));
    return {int(std::ceil(width)) + 24, int(std::ceil(name.height() + note.height())) + 16};
}

void StandIn::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    // Inset so that stand-ins side by side stay apart; a strip keeps its
    // full height.
    const double inset = height() < 36 ? 0.5 : 4.5;
    const QRectF box = QRectF(rect()).adjusted(inset, inset, -inset, -inset);
    if (box.width() > 8 && box.height() > 8) {
        QPainterPath outline;
        outline.addRoundedRect(box, 6, 6);
        p.fillPath(outline, Theme::raised());
        QPen dashed(Theme::line(), 1, Qt::DashLine);
        p.setPen(dashed);
        p.drawPath(outline);
    }

    // Name over note, centred; a strip too low for two lines gets one.
    const QFontMetricsF name(nameFont());
    const QFontMetricsF note(noteFont());
    const double total = name.height() + note.height();
    if (height() < total + 8) {
        p.setFont(noteFont());
        p.setPen(Theme::faint());
        p.drawText(rect(), Qt::AlignCenter, name_ + QStringLiteral(" · ") + notBuilt());
        return;
    }
    const double top = std::round((height() - total) / 2);
    p.setFont(nameFont());
    p.setPen(Theme::dim());
    p.drawText(QRectF(0, top, width(), name.height()), Qt::AlignCenter, name_);
    p.setFont(noteFont());
    p.setPen(Theme::faint());
    p.drawText(QRectF(0, top + name.height(), width(), note.height()), Qt::AlignCenter, notBuilt());
}
