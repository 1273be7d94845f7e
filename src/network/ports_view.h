#pragma once
// The Ports mode: a header of six column titles, a rule, and the listening
// sockets of the latest sample as rows of the kit's row list, filtered by
// the window's filter text, sorted by port and held still while the pointer
// is over them. The port cell copies its number; a row with a known owner
// shows the owner in the inspector.

#ifndef Q_MOC_RUN
#include "network/ports_model.h"
#endif
#include "ui/copy_text.h"
#include "ui/refresh_gate.h"
#include "ui/row_list.h"

#include <QObject>
#include <QWidget>

#include <unordered_map>
#include <vector>

class Monitor;
class QLabel;

class PortsList : public RowList {
    Q_OBJECT

public:
    explicit PortsList(Monitor& monitor, QWidget* parent = nullptr);
    ~PortsList() override;

    // Takes the rows to show; rows whose content is unchanged are not
    // repainted.
    void setRows(std::vector<PortRow> rows);
    const std::vector<PortRow>& rows() const { return rows_; }

    // The context menu of a row, as a description and as a menu owned by
    // the caller.
    MenuPlan menuSpec(int row) const;
    QMenu* menu(int row, QWidget* parent = nullptr) const;
    // A click at `position` (viewport coordinates) on a row: the port's
    // text copies the port, elsewhere a row with an owner shows it.
    void clicked(int row, QPointF position);
    // Where the port's text of a row drawn in `rowRect` lies.
    QRectF portTextRect(int row, const QRectF& rowRect) const;
    // The hover help at a viewport point, or nothing.
    QString helpAt(QPointF position) const;
    // The port cell's look of a row, when it is confirming or hovered.
    const CopyLook* copyLook(const QString& id) const;

protected:
    void paintRow(QPainter& painter, const RowPaint& paint) override;
    void rowClicked(int row, QPointF position) override { clicked(row, position); }
    QMenu* rowMenu(int row, QWidget* parent) override { return menu(row, parent); }
    bool rowPressable(int row) const override;
    void userScrolled() override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void setPortHover(const std::optional<QString>& id);
    void animateCopies();
    void repaintRow(const QString& id);

    Monitor& monitor_;
    std::vector<PortRow> rows_;
    std::unordered_map<QString, CopyLook, HoldDetail::Hash> copies_;
    std::optional<QString> portHover_;
    // The frame clock's key for the copy confirmations, apart from the rows'.
    QObject copyClock_;
};

class PortsView : public QWidget {
    Q_OBJECT

public:
    static constexpr int headerHeight = 26;

    explicit PortsView(Monitor& monitor, QWidget* parent = nullptr);

    PortsList* list() const { return list_; }
    QLabel* emptyLabel() const { return empty_; }
    // Runs a refresh now (tests and benches).
    void refresh();

private:
    class Header;

    Monitor& monitor_;
    Header* header_ = nullptr;
    PortsList* list_ = nullptr;
    QLabel* empty_ = nullptr;
    RefreshGate gate_{this, [this] { refresh(); }};
};
