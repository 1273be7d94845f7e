#pragma once
// The foot of the instruments column: open files, threads and processes
// against their kernel limits, one thin bar each.

#ifndef Q_MOC_RUN
#include "core/records.h"
#endif
#include "ui/animation.h"
#include "ui/refresh_gate.h"

#include <QColor>
#include <QString>
#include <QWidget>

#include <array>
#include <utility>

class Monitor;

class CapacityBars : public QWidget {
    Q_OBJECT
public:
    static constexpr int barCount = 3;
    static constexpr double spacing = 14;
    static constexpr double trackHeight = 3;

    struct Bar {
        QString title;
        QString count;
        QString limit;
        // count of max(limit, 1), capped at 1.
        double fraction = 0;
        bool operator==(const Bar&) const = default;
    };
    struct Model {
        std::array<Bar, barCount> bars;
        bool operator==(const Model&) const = default;
    };

    static Model build(const SystemSample& system);
    static Model build(const Monitor& monitor);
    // Width of the fill in a track `track` wide: never thinner than 3.
    static double fillWidth(double fraction, double track);

    explicit CapacityBars(Monitor& monitor, QWidget* parent = nullptr);
    ~CapacityBars() override;

    const Model& model() const { return model_; }
    // The fraction the fill shows now (it eases towards the model's).
    double shownFraction(int index) const { return fills_[std::size_t(index)].value(); }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void scheduleRefresh();
    void refresh();
    bool frame(double dt);
    // The fills' widths in device pixels and their colours, as painted.
    std::array<int, 2 * barCount> drawnLook() const;
    // The width in device pixels and the colour of one fill at `fraction`.
    std::pair<int, int> lookAt(double fraction) const;

    Monitor& monitor_;
    Model model_;
    bool presented_ = false;
    std::array<int, 2 * barCount> paintedLook_{};
    std::array<AnimatedValue, barCount> fills_{};
    RefreshGate refreshGate_{this, [this] { refresh(); }};
};
