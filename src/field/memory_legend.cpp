#include "field/memory_legend.h"

#include "field/repaint_counter.h"

#include "core/fmt.h"
#include "field/reactor_layer_view.h"
#include "model/monitor.h"
#include "ui/fonts.h"
#include "ui/theme.h"

#include <QFontMetricsF>
#include <QPainter>

namespace {

QFont labelFont()
{
    return Fonts::font(8.5, QFont::DemiBold, Fonts::Face::ui, Fonts::Width::condensed, 0.8);
}

QFont sizeFont()
{
    return Fonts::mono(9.5);
}

constexpr double entrySpacing = 12;
constexpr double innerSpacing = 4;
constexpr double swatchWidth = 8;

} // namespace

MemoryLegend::Model MemoryLegend::build(const Monitor& monitor)
{
    const SystemSample& s = monitor.snapshot().system;
    return {{Fmt::bytes(double(s.memApp)), Fmt::bytes(double(s.memWired)),
             Fmt::bytes(double(s.memCompressed)), Fmt::bytes(double(s.memCached))}};
}

MemoryLegend::MemoryLegend(Monitor& monitor, QWidget* parent)
    : QWidget(parent), monitor_(monitor), refreshGate_(this, [this] { refresh(); })
{
    connect(&monitor, &Monitor::snapshotChanged, this, [this] { refreshGate_.schedule(); });
    refresh();
}

void MemoryLegend::refresh()
{
    Model next = build(monitor_);
    if (next == model_)
        return;
    model_ = std::move(next);
    update();
}

QSize MemoryLegend::sizeHint() const
{
    const QFontMetricsF label(labelFont());
    const QFontMetricsF size(sizeFont());
    double width = 3 * entrySpacing;
    for (std::size_t i = 0; i < 4; ++i)
        width += swatchWidth + 2 * innerSpacing + label.horizontalAdvance(QString::fromLatin1(labels[i]))
            + size.horizontalAdvance(model_.sizes[i]);
    return QSize(int(std::ceil(width)), int(std::ceil(std::max(label.height(), size.height()))));
}

void MemoryLegend::paintEvent(QPaintEvent*)
{
    RepaintCounter::count("memory legend");
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QFont lf = labelFont();
    const QFont sf = sizeFont();
    const QFontMetricsF lm(lf);
    const QFontMetricsF sm(sf);
    double x = std::max(0.0, (width() - sizeHint().width()) / 2.0);
    const double middle = height() / 2.0;
    for (std::size_t i = 0; i < 4; ++i) {
        p.setPen(Qt::NoPen);
        p.setBrush(ReactorLayerView::memColors()[i]);
        p.drawRoundedRect(QRectF(x, middle - 1.5, swatchWidth, 3), 1, 1);
        x += swatchWidth + innerSpacing;
        const QString label = QString::fromLatin1(labels[i]);
        p.setFont(lf);
        p.setPen(Theme::faint());
        p.drawText(QPointF(x, middle + (lm.ascent() - lm.descent()) / 2), label);
        x += lm.horizontalAdvance(label) + innerSpacing;
        p.setFont(sf);
        p.setPen(Theme::dim());
        p.drawText(QPointF(x, middle + (sm.ascent() - sm.descent()) / 2), model_.sizes[i]);
        x += sm.horizontalAdvance(model_.sizes[i]) + entrySpacing;
    }
}
