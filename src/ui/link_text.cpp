#include "ui/link_text.h"

#include "ui/fonts.h"
#include "ui/row_feedback.h"
#include "ui/symbols.h"
#include "ui/theme.h"

#include <QDesktopServices>
#include <QFontMetricsF>
#include <QPainter>

namespace {
constexpr double arrowSize = 8;
constexpr double spacing = 4;
} // namespace

LinkText::LinkText(const QString& title, const QUrl& url, QWidget* parent)
    : PressButton(PressStyle::text(), title, parent), url_(url)
{
    setLabelFont(Fonts::font(11, QFont::Medium));
    setColor(Theme::cpu());
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    linkCursor(this);
    connect(this, &QAbstractButton::clicked, this, [this] {
        if (url_.isValid())
            QDesktopServices::openUrl(url_);
    });
}

QSizeF LinkText::labelSize() const
{
    const QFontMetricsF metrics(labelFont());
    return {metrics.horizontalAdvance(text()) + spacing + arrowSize, std::max(metrics.height(), arrowSize)};
}

void LinkText::paintLabel(QPainter& p, const QRectF& box, const QColor& color)
{
    const QFontMetricsF metrics(labelFont());
    const double width = metrics.horizontalAdvance(text());
    const double left = box.center().x() - labelSize().width() / 2;
    p.setFont(labelFont());
    p.setPen(color);
    p.drawText(QRectF(left, box.top(), width + 1, box.height()), Qt::AlignLeft | Qt::AlignVCenter, text());
    Symbols::draw(p, QRectF(left + width + spacing, box.center().y() - arrowSize / 2, arrowSize, arrowSize),
                  QStringLiteral("arrow.up.right"), color, QFont::Bold);
}
