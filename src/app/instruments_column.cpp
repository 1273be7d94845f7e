#include "app/instruments_column.h"

#include "field/capacity_bars.h"
#include "field/memory_legend.h"
#include "field/reactor_view.h"
#include "field/trace_stack.h"

#include <algorithm>

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

InstrumentsColumn::InstrumentsColumn(Monitor& monitor, QWidget* parent)
    : QWidget(parent)
    , reactor_(new ReactorView(monitor, this))
    , legend_(new MemoryLegend(monitor, this))
    , traces_(new TraceStack(monitor, this))
    , bars_(new CapacityBars(monitor, this))
{
}

void InstrumentsColumn::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const Parts parts = arrange(size(), legend_->sizeHint().height(), traces_->sizeHint().height(),
                                traces_->minimumSizeHint().height(), bars_->sizeHint().height());
    reactor_->setGeometry(parts.reactor);
    legend_->setGeometry(parts.legend);
    traces_->setGeometry(parts.traces);
    bars_->setGeometry(parts.bars);
}
