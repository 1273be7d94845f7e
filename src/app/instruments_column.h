#pragma once
// The instruments column at the main window's leading edge: the reactor
// gauge, the memory legend under it, the four system traces and, at the
// foot, the capacity bars. On a short window the parts give way in turn,
// the gauge first and then the traces, so none ever covers another. On a
// narrow window the column folds to a strip that keeps only the four
// readings, each with a short bar.

#include <QRect>
#include <QSize>
#include <QString>
#include <QWidget>

#include <array>

class CapacityBars;
class MemoryLegend;
class Monitor;
class ReactorView;
class TraceStack;
struct SystemSample;

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

    // ---- the folded strip
    static constexpr int stripMargin = 12;
    static constexpr int stripRowGap = 16;
    struct Reading {
        QString title;
        QString value;
        double fraction = 0; // of the row's full scale, 0 to 1
        bool operator==(const Reading&) const = default;
    };
    using Readings = std::array<Reading, 4>;
    // CPU, memory, network in and disk read, each as short as it reads.
    static Readings readings(const SystemSample& system, const std::array<double, 4>& fractions);
    static Readings readings(const Monitor& monitor);
    // How many of `count` readings `rowHeight` tall, `gap` apart, fit a
    // strip `height` tall between its end margins: those that do not leave
    // whole, from the bottom.
    static int fittingReadings(int height, int count, int rowHeight, int gap);

    explicit InstrumentsColumn(Monitor& monitor, QWidget* parent = nullptr);

    // Folded, the column shows the strip in place of its parts.
    void setFolded(bool folded);
    bool folded() const { return folded_; }
    QWidget* strip() const;

    ReactorView* reactor() const { return reactor_; }
    MemoryLegend* legend() const { return legend_; }
    TraceStack* traces() const { return traces_; }
    CapacityBars* bars() const { return bars_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    class Strip;

    bool folded_ = false;
    Strip* strip_;
    ReactorView* reactor_;
    MemoryLegend* legend_;
    TraceStack* traces_;
    CapacityBars* bars_;
};
