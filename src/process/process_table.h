#pragma once
// The List mode's view: a one-line column header that also sorts, a rule,
// and the process list below it.

#include "model/monitor.h"
#include "ui/animation.h"
#include "ui/press_style.h"

#include <QRectF>
#include <QWidget>

#include <array>

#include <optional>
#include <vector>

class ProcessList;

class ProcessTable : public QWidget {
    Q_OBJECT

public:
    explicit ProcessTable(Monitor& monitor, QWidget* parent = nullptr);
    ~ProcessTable() override;

    ProcessList* list() const { return list_; }

    struct HeaderCell {
        QString title;
        std::optional<Monitor::SortKey> key; // none for the sparkline column
        QRectF rect;
        bool trailing = true;
        QString help;
    };
    // The header's cells for a width, in the current language; the figure
    // columns line up with the rows' columns.
    static std::vector<HeaderCell> headerCells(double width);

    static constexpr int headerHeight = 26;

    bool moving() const;

protected:
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    bool event(QEvent* event) override;

private:
    // The text press style of one title: lit under the pointer, dimmed and
    // shrunk while held.
    struct Press {
        AnimatedValue hover;
        PressMotion press;
    };
    Press& press(Monitor::SortKey key) { return presses_[std::size_t(key)]; }
    const Press& press(Monitor::SortKey key) const { return presses_[std::size_t(key)]; }
    int cellAt(const QPointF& point) const;
    void setHovered(int cell);
    void setPressed(int cell);
    void animate();

    Monitor& monitor_;
    ProcessList* list_;
    int hovered_ = -1;
    int pressed_ = -1;
    std::array<Press, Monitor::allSortKeys.size()> presses_{};
};
