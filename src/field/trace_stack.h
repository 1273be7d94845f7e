#pragma once
// The four system traces under the core gauge: CPU, memory, network and
// disk over the last two minutes, each a row with a title, two readings and
// a scrolling trace. Pointing at a trace shows the sample under the pointer.

#ifndef Q_MOC_RUN
#include "core/date.h"
#include "core/records.h"
#endif
#include "field/trace_layer_view.h"
#include "ui/refresh_gate.h"

#include <QColor>
#include <QString>
#include <QWidget>

#include <array>
#include <optional>
#include <vector>

class Monitor;
class TraceRow;

class TraceStack : public QWidget {
    Q_OBJECT
public:
    static constexpr int rowCount = 4;
    static constexpr int rowHeight = 60;
    static constexpr int rowSpacing = 8;
    static constexpr int labelWidth = 108;
    static constexpr int labelGap = 10;

    // What one row shows, apart from its fixed title colours.
    struct Row {
        QString title;
        QString value;
        QString detail;
        double scale = 1;
        TraceLayerView::Model layer;
        bool operator==(const Row&) const = default;
    };
    struct Model {
        std::array<Row, rowCount> rows;
        bool operator==(const Model&) const = default;
    };

    // The rows for the latest snapshot, the history (oldest first) and the
    // stamp of the latest sample.
    static Model build(const Snapshot& snapshot, const std::vector<SystemSample>& history,
                       Date sampleDate);
    static Model build(const Monitor& monitor);

    // The colours of row `index`'s series.
    static std::vector<QColor> colors(int index);

    // The hover readout of row `index` (full scale `scale`) for a trace `size` big with the
    // pointer at `hoverX` and the clock at `now`; none when the pointer is
    // beyond the history.
    static std::optional<TraceLayerView::Overlay>
    overlay(int index, double scale, const std::vector<SystemSample>& history, Date sampleDate,
            double interval, Date now, QSizeF size, double hoverX);

    explicit TraceStack(Monitor& monitor, QWidget* parent = nullptr);
    ~TraceStack() override;

    const Model& model() const { return model_; }
    TraceLayerView* trace(int index) const;

    QSize sizeHint() const override;
    // Rows as short as their labels allow.
    QSize minimumSizeHint() const override;

private:
    void scheduleRefresh();
    void refresh();
    void refreshOverlay(int index);

    Monitor& monitor_;
    Model model_;
    std::array<TraceRow*, rowCount> rows_{};
    std::array<std::optional<double>, rowCount> hoverX_{};
    RefreshGate refreshGate_{this, [this] { refresh(); }};
};
