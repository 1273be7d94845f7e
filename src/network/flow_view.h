#pragma once
// The Flows mode: scope chips with the count of nodes that did not fit and
// a direction legend; below them the applications on the left, the remote
// hosts on the right and one ribbon per link between them. Pointing at a
// node brings forward what it is linked to and dims the rest; pointing at
// the graph holds its order still.

#include "network/flow_graph.h"
#include "network/flow_ribbons.h"
#include "ui/animation.h"
#include "ui/menu_plan.h"
#include "ui/refresh_gate.h"

#include <QHash>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

class FlowNodeRow;
class FlowRibbonsView;
class Monitor;
class PressButton;
class QLabel;

class FlowView : public QWidget {
    Q_OBJECT

public:
    // Above the graph: the chips' row.
    static constexpr int headerHeight = 40;

    FlowView(Monitor& monitor, double rowHeight, double labelWidth, QWidget* parent = nullptr);
    ~FlowView() override;

    Monitor& monitor() const { return monitor_; }
    double rowHeight() const { return rowHeight_; }
    double labelWidth() const { return labelWidth_; }

    const FlowGraph::Scopes& scopes() const { return scopes_; }
    void toggleScope(Connection::Scope scope);
    const std::optional<QString>& focus() const { return focus_; }
    // The pointer entered (a node id) or left (none) a node's row.
    void setFocusNode(const std::optional<QString>& id);
    void leaveNode(const QString& id);

    // The graph for the current data at `capacity` rows.
    FlowGraph build(int capacity);
    // What was last shown.
    const FlowGraph& graph() const { return graph_; }

    // Whether `id` is joined by a shown edge to the focused node.
    static bool linked(const QString& id, const std::optional<QString>& focus,
                       const std::vector<FlowEdge>& edges);
    // A node's opacity: 0.4 when departed, times 0.3 when it is out of focus.
    static double nodeOpacity(const FlowNode& node, const std::optional<QString>& focus,
                              const std::vector<FlowEdge>& edges);
    // The count shown when some nodes did not fit, and its brief form for a
    // narrow header; empty for none.
    static QString hiddenText(int hidden);
    static QString hiddenBrief(int hidden);
    // "Copy Name" or "Copy Domain", then "Show in Inspector" for groups.
    static MenuPlan menu(const FlowNode& node, bool host, Monitor& monitor);
    // Selects the node's group in the inspector; false for a host.
    static bool select(const FlowNode& node, Monitor& monitor);

    PressButton* chip(Connection::Scope scope) const;
    FlowRibbonsView* ribbonsView() const { return ribbons_; }
    QWidget* graphArea() const { return graphArea_; }
    const QLabel* hiddenLabel() const { return hidden_; }
    const QLabel* legendLabel() const { return legend_; }
    const QLabel* emptyLabel() const { return empty_; }
    // The row of a shown node, or null.
    FlowNodeRow* row(const QString& id) const;

    void scheduleRefresh();
    void refresh();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void retranslate();
    void styleChips();
    void apply();
    void place();

    Monitor& monitor_;
    const double rowHeight_;
    const double labelWidth_;
    FlowGraph::Scopes scopes_{Connection::Scope::internet, Connection::Scope::lan};
    std::optional<QString> focus_;
    FlowGraph graph_;
    bool built_ = false;

    std::vector<PressButton*> chips_;
    QLabel* hidden_ = nullptr;
    // The count's two forms; the label shows the one the header has room for.
    QString hiddenFull_, hiddenBrief_;
    QLabel* legend_ = nullptr;
    QLabel* empty_ = nullptr;
    QWidget* graphArea_ = nullptr;
    FlowRibbonsView* ribbons_ = nullptr;
    QHash<QString, FlowNodeRow*> rows_;
    RefreshGate refreshGate_{this, [this] { refresh(); }};
};

// One node of a column: the application's icon or the host's dot and two
// lines of text, at the opacity its focus and state ask for.
class FlowNodeRow : public QWidget {
    Q_OBJECT

public:
    // The hover wash reaches this far beyond the label on both sides.
    static constexpr int reach = 6;

    FlowNodeRow(FlowView& view, bool host, QWidget* parent);
    ~FlowNodeRow() override;

    const FlowNode& node() const { return node_; }
    bool host() const { return host_; }
    void setNode(const FlowNode& node);
    // The title as the column's width shows it, apart from its neighbours'.
    const QString& shownTitle() const { return shownTitle_; }
    void setShownTitle(const QString& text);
    double targetOpacity() const;
    double currentOpacity() const;
    void setTargetOpacity(double opacity, bool animated);

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    FlowView& view_;
    const bool host_;
    void animate();

    FlowNode node_;
    QString shownTitle_;
    QString letter_;
    AnimatedValue opacity_{1};
};
