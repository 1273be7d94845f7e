#include "ui/process_icon.h"

#include "ui/fonts.h"
#include "ui/icons.h"
#include "ui/theme.h"

#include <QHash>
#include <QPainter>
#include <QStaticText>

#include <cmath>

namespace {

// Letters laid out once per letter and pixel size: a list repaints the same
// few dozen tiles all the time. Like the monogram cache, it only grows.
const QStaticText& letterLayout(const QString& letter, const QFont& font)
{
    static QHash<QPair<QString, int>, QStaticText> layouts;
    const auto key = qMakePair(letter, font.pixelSize());
    auto it = layouts.find(key);
    if (it == layouts.end()) {
        QStaticText text(letter);
        text.setTextFormat(Qt::PlainText);
        text.setPerformanceHint(QStaticText::AggressiveCaching);
        text.prepare(QTransform(), font);
        it = layouts.insert(key, text);
    }
    return *it;
}

} // namespace

ProcessIcon::ProcessIcon(const QString& name, const std::optional<QString>& bundlePath,
                         double size, QWidget* parent)
    : QWidget(parent)
    , name_(name)
    , letter_(Icons::letter(name))
    , bundlePath_(bundlePath)
    , size_(size)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void ProcessIcon::setName(const QString& name)
{
    if (name == name_)
        return;
    name_ = name;
    QString letter = Icons::letter(name);
    if (letter == letter_)
        return;
    letter_ = std::move(letter);
    if (!bundlePath_)
        update();
}

void ProcessIcon::setBundlePath(const std::optional<QString>& bundlePath)
{
    if (bundlePath == bundlePath_)
        return;
    bundlePath_ = bundlePath;
    update();
}

void ProcessIcon::setSize(double size)
{
    if (size == size_)
        return;
    size_ = size;
    updateGeometry();
    update();
}

void ProcessIcon::paintTileGround(QPainter& p, const QRectF& tile, double radius)
{
    p.setPen(Qt::NoPen);
    p.setBrush(Theme::raised());
    p.drawRoundedRect(tile, radius, radius);
    p.setPen(QPen(Theme::line(), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(tile.adjusted(0.5, 0.5, -0.5, -0.5), radius - 0.5, radius - 0.5);
}

QSize ProcessIcon::sizeHint() const
{
    const int edge = static_cast<int>(std::ceil(std::max(size_, 0.0)));
    return {edge, edge};
}

void ProcessIcon::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    paint(p, QRectF(rect()), size_, letter_, bundlePath_);
}

void ProcessIcon::paint(QPainter& p, const QRectF& box, double size, const QString& letter,
                        const std::optional<QString>& bundlePath)
{
    if (!(size > 0))
        return;
    QRectF square(0, 0, size, size);
    square.moveCenter(box.center());

    if (bundlePath) {
        Icons::icon(*bundlePath).paint(&p, square.toAlignedRect());
        return;
    }

    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    paintTileGround(p, square, cornerRadius(size));

    const QFont font = Fonts::mono(letterSize(size), QFont::DemiBold);
    const QStaticText& text = letterLayout(letter, font);
    const QSizeF extent = text.size();
    p.setFont(font);
    p.setPen(Theme::dim());
    // A letter may carry any number of marks; they stay on the tile.
    p.setClipRect(square, Qt::IntersectClip);
    p.drawStaticText(QPointF(std::round(square.center().x() - extent.width() / 2),
                             std::round(square.center().y() - extent.height() / 2)),
                     text);
    p.restore();
}
