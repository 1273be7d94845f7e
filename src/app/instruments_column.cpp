#include "app/instruments_column.h"

#include "core/fmt.h"
#include "core/l10n.h"
#include "core/records.h"
#include "field/capacity_bars.h"
#include "field/memory_legend.h"
#include "field/reactor_view.h"
#include "field/trace_stack.h"
#include "model/monitor.h"
#include "ui/fonts.h"
#include "ui/panel_label.h"
#include "ui/refresh_gate.h"
#include "ui/theme.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

QFont readingFont()
{
    return Fonts::mono(12, QFont::Medium);
}

constexpr double lineGap = 3;
constexpr double barHeight = 3;

// One reading's height: its title, its value and its bar.
int readingHeight()
{
    const QFontMetricsF title(PanelLabel::captionFont()), value(readingFont());
    return int(std::ceil(title.height() + lineGap + value.height() + lineGap + barHeight));
}

} // namespace

InstrumentsColumn::Parts InstrumentsColumn::arrange(QSize size, int legend, int traces,
                                                    int tracesFloor, int bars)
{
    const int width = std::max(0, size.width() - 2 * sideMargin);
    const int inner = size.height() - 2 * endMargin;
    const int room = inner - legendGap - legend - tracesGap - barsGap - bars;
    const int traceHeight = std::min(traces, std::max(tracesFloor, room - reactorFloor));
    const int reactor = std::clamp(room - traceHeight, 0, reactorHeight);

    Parts parts;
    int y = endMargin;
    parts.reactor = QRect(sideMargin, y, width, reactor);
    y += reactor + legendGap;
    parts.legend = QRect(sideMargin, y, width, legend);
    y += legend + tracesGap;
    parts.traces = QRect(sideMargin, y, width, traceHeight);
    y += traceHeight + barsGap;
    parts.bars = QRect(sideMargin, std::max(y, size.height() - endMargin - bars), width, bars);
    return parts;
}

InstrumentsColumn::Readings InstrumentsColumn::readings(const SystemSample& s,
                                                        const std::array<double, 4>& fractions)
{
    const auto rate = [](double v) { return Fmt::bytes(v) + QStringLiteral("/s"); };
    const std::array<QString, 4> values{
        QString::number(int(std::lround(std::clamp(s.cpu, 0.0, 1.0) * 100))) + QLatin1Char('%'),
        Fmt::bytes(double(s.memApp + s.memWired + s.memCompressed)),
        QStringLiteral("↓") + rate(s.netIn),
        QStringLiteral("R ") + rate(s.diskRead),
    };
    const std::array<QString, 4> titles{QStringLiteral("CPU"), L10n::text("MEM", "内存"),
                                        L10n::text("NET", "网络"), L10n::text("DISK", "磁盘")};
    Readings result;
    for (std::size_t i = 0; i < result.size(); ++i) {
        const double f = fractions[i];
        result[i] = {titles[i], values[i], std::isfinite(f) ? std::clamp(f, 0.0, 1.0) : 0.0};
    }
    return result;
}

InstrumentsColumn::Readings InstrumentsColumn::readings(const Monitor& monitor)
{
    // The bars read as the traces do: the newest point of each row's first
    // series, on that row's scale.
    const TraceStack::Model traces = TraceStack::build(monitor);
    std::array<double, 4> fractions{};
    for (std::size_t i = 0; i < fractions.size(); ++i) {
        const auto& series = traces.rows[i].layer.series;
        fractions[i] = series.empty() || series.front().empty() ? 0 : series.front().back();
    }
    return readings(monitor.snapshot().system, fractions);
}

int InstrumentsColumn::fittingReadings(int height, int count, int rowHeight, int gap)
{
    const int inner = height - 2 * endMargin;
    if (inner < rowHeight || rowHeight <= 0)
        return 0;
    return std::min(count, (inner + gap) / (rowHeight + gap));
}

// The folded column: the readings stacked from the top, each title and
// value fitted to the strip's width.
class InstrumentsColumn::Strip : public QWidget {
public:
    Strip(Monitor& monitor, QWidget* parent)
        : QWidget(parent)
        , monitor_(monitor)
    {
        for (auto signal : {&Monitor::snapshotChanged, &Monitor::historyChanged, &Monitor::prefsChanged})
            connect(&monitor, signal, this, [this] {
                if (isVisible())
                    gate_.schedule();
            });
    }

protected:
    void showEvent(QShowEvent* event) override
    {
        QWidget::showEvent(event);
        refresh();
    }

    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QFont caption = PanelLabel::captionFont();
        const QFontMetricsF cm(caption);
        const double width = std::max(0, this->width() - 2 * stripMargin);
        const int row = readingHeight();
        const int shown = fittingReadings(height(), int(readings_.size()), row, stripRowGap);
        const std::array<QColor, 4> colours{Theme::cpu(), Theme::mem(), Theme::net(), Theme::disk()};
        for (int i = 0; i < shown; ++i) {
            const Reading& r = readings_[std::size_t(i)];
            const QColor& colour = colours[std::size_t(i)];
            double y = endMargin + i * (row + stripRowGap);
            const Fonts::Fitted title = Fonts::shrinkToFit(r.title, caption, width, 1);
            p.setFont(title.font);
            p.setPen(colour);
            p.drawText(QPointF(stripMargin, y + cm.ascent()), title.text);
            y += cm.height() + lineGap;
            const Fonts::Fitted value = Fonts::shrinkToFit(r.value, readingFont(), width, 0.75);
            const QFontMetricsF vm(value.font);
            p.setFont(value.font);
            p.setPen(Theme::text());
            p.drawText(QPointF(stripMargin, y + vm.ascent()), value.text);
            y += QFontMetricsF(readingFont()).height() + lineGap;
            p.setPen(Qt::NoPen);
            p.setBrush(Theme::line());
            p.drawRoundedRect(QRectF(stripMargin, y, width, barHeight), barHeight / 2, barHeight / 2);
            p.setBrush(colour);
            p.drawRoundedRect(QRectF(stripMargin, y, std::max(barHeight, r.fraction * width), barHeight),
                              barHeight / 2, barHeight / 2);
        }
    }

private:
    void refresh()
    {
        Readings next = readings(monitor_);
        if (next == readings_)
            return;
        readings_ = std::move(next);
        update();
    }

    Monitor& monitor_;
    Readings readings_;
    RefreshGate gate_{this, [this] { refresh(); }};
};

InstrumentsColumn::InstrumentsColumn(Monitor& monitor, QWidget* parent)
    : QWidget(parent)
    , strip_(new Strip(monitor, this))
    , reactor_(new ReactorView(monitor, this))
    , legend_(new MemoryLegend(monitor, this))
    , traces_(new TraceStack(monitor, this))
    , bars_(new CapacityBars(monitor, this))
{
    strip_->hide();
}

QWidget* InstrumentsColumn::strip() const
{
    return strip_;
}

void InstrumentsColumn::setFolded(bool folded)
{
    if (folded == folded_)
        return;
    folded_ = folded;
    for (QWidget* part : std::initializer_list<QWidget*>{reactor_, legend_, traces_, bars_})
        part->setVisible(!folded);
    strip_->setVisible(folded);
}

void InstrumentsColumn::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    strip_->setGeometry(rect());
    const Parts parts = arrange(size(), legend_->sizeHint().height(), traces_->sizeHint().height(),
                                traces_->minimumSizeHint().height(), bars_->sizeHint().height());
    reactor_->setGeometry(parts.reactor);
    legend_->setGeometry(parts.legend);
    traces_->setGeometry(parts.traces);
    bars_->setGeometry(parts.bars);
}
