#pragma once
// The top of the instruments column: the reactor gauge fed from the
// Monitor, with the CPU figures in its middle, and a tip over a core sector
// or the memory ring while the pointer rests there.

// moc cannot parse the standard library's concepts, reached through
// <compare>; it needs none of these.
#ifndef Q_MOC_RUN
#include "field/reactor_layer_view.h"
#endif
#include "ui/refresh_gate.h"

#include <QPointF>
#include <QRect>
#include <QString>
#include <QWidget>

#include <optional>

class Monitor;
class ReactorTip;

class ReactorView : public QWidget {
    Q_OBJECT

public:
    struct Model {
        ReactorLayerView::Model gauge;
        SystemSample system;
        QString percent; // "42"
        QString detail;  // "GPU 7%  LOAD 1.3"

        bool operator==(const Model&) const = default;
    };

    static Model build(const Monitor& monitor);

    explicit ReactorView(Monitor& monitor, QWidget* parent = nullptr);

    const Model& model() const { return model_; }
    ReactorLayerView* gauge() const { return gauge_; }
    // The tip shown now, if any, and its box (empty while none shows).
    std::optional<QString> tip() const;
    QRect tipGeometry() const;
    // Where a tip of `box` size goes for the pointer at `at` in a view of
    // `view` size.
    static QRect tipBox(QSizeF box, QPointF at, QSize view);
    void refresh();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void setHover(std::optional<QPointF> hover);

    Monitor& monitor_;
    RefreshGate refreshGate_;
    Model model_;
    std::optional<QPointF> hover_;
    ReactorLayerView* gauge_;
    ReactorTip* tip_;
};
