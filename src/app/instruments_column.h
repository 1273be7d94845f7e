#pragma once
// The instruments column at the main window's leading edge: the reactor
// gauge, the memory legend under it, the four system traces and, at the
// foot, the capacity bars. On a short window the parts give way in turn,
// the gauge first and then the traces, so none ever covers another.

#include <QRect>
#include <QSize>
#include <QWidget>

class CapacityBars;
class MemoryLegend;
class Monitor;
class ReactorView;
class TraceStack;

class InstrumentsColumn : public QWidget {
    Q_OBJECT

public:
    // Geometry, in pixels.
    static constexpr int sideMargin = 16;
    static constexpr int endMargin = 14;
    static constexpr int reactorHeight = 330;
    // How far the gauge gives way before the traces start to.
    static constexpr int reactorFloor = 120;
    static constexpr int legendGap = 10;
    static constexpr int tracesGap = 16;
    static constexpr int barsGap = 12;

    struct Parts {
        QRect reactor, legend, traces, bars;
        bool operator==(const Parts&) const = default;
    };
    // The parts of a column `size` big, for a legend, traces (their full
    // height and the least they can take) and bars of the given heights.
    // All spare height sits above the bars, so they stay at the foot; past
    // every floor the gauge goes on shrinking, and what still does not fit
    // leaves at the bottom.
    static Parts arrange(QSize size, int legend, int traces, int tracesFloor, int bars);

    explicit InstrumentsColumn(Monitor& monitor, QWidget* parent = nullptr);

    ReactorView* reactor() const { return reactor_; }
    MemoryLegend* legend() const { return legend_; }
    TraceStack* traces() const { return traces_; }
    CapacityBars* bars() const { return bars_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    ReactorView* reactor_;
    MemoryLegend* legend_;
    TraceStack* traces_;
    CapacityBars* bars_;
};
