#pragma once
// The process list: a painted scroll area of group and member rows. Rows
// come from ProcessListController; this widget animates them (survivors
// slide, removed rows fade out, new rows fade in, the scroll offset moves in
// the same timeline), paints them, and takes keys, clicks, menus and the
// wheel. Selection belongs to the Monitor, so the area keeps none of its own.

#include "model/monitor.h"
#include "process/process_list_controller.h"
#include "ui/animation.h"
#include "ui/refresh_gate.h"

#include <QAbstractScrollArea>
#include <QHash>
#include <QImage>
#include <QPixmap>
#include <QPointer>
#include <QSet>

#include <optional>
#include <unordered_map>
#include <vector>

class QMenu;

class ProcessList : public QAbstractScrollArea {
    Q_OBJECT

public:
    explicit ProcessList(Monitor& monitor, QWidget* parent = nullptr);
    ~ProcessList() override;

    // Keyboard navigation: "up", "down", "left", "right", "space", "return",
    // "esc". True when handled.
    bool key(const QString& name);
    // The context menu of a row (none for ghosts), owned by the caller.
    QMenu* menu(int row, QWidget* parent = nullptr);
    // A row click at x in the row: the chevron area toggles, else selects.
    void clicked(int row, double x);
    // Where each group row's icon is drawn now, in window coordinates.
    std::optional<Monitor::RowAnchors> anchors() const;

    const ProcessListController& controller() const { return controller_; }
    const std::vector<RowItem>& items() const { return controller_.items; }
    std::optional<int> selectedRow() const;
    // Scroll offset drawn now, and the one it moves to.
    double scrollOffset() const { return scroll_.value(); }
    double scrollTarget() const { return scroll_.target(); }
    // Where a row is drawn now (top, in content coordinates).
    std::optional<double> drawnTop(const QString& id) const;
    int rowAt(double viewportY) const;
    bool moving() const;
    bool restored() const { return restored_; }
    const QSet<QString>& hiddenIcons() const { return hiddenIcons_; }
    // Whether the global pointer is over the list in its own window.
    bool containsPointer() const;
    // Runs a refresh now (tests and benches).
    void refresh();

    static constexpr double chevronWidth = 32;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    // What a row is drawn with; kept per row id, dropped when it leaves.
    struct RowState {
        AnimatedValue top;
        AnimatedValue opacity{1.0};
        AnimatedColor background;
        AnimatedValue accent;
        AnimatedValue chevron;
        AnimatedValue wash;
        // The look has been applied once; until then it is taken at once.
        bool styled = false;
        bool step(double dt) { return stepAll(dt, top, opacity, background, accent, chevron, wash); }
        bool moving() const
        {
            return top.moving() || opacity.moving() || background.moving() || accent.moving()
                || chevron.moving() || wash.moving();
        }
    };
    struct Leaving {
        RowItem item;
        RowState state;
    };

    // A row's content (everything but the animated chrome) as last drawn,
    // so that frames of a slide only place pictures.
    struct Picture {
        QImage image;
        QColor background;
        RowItem item;
        std::vector<double> spark;
        std::optional<Severity> flag;
        bool iconHidden = false;
        Thresholds thresholds;
        QSize size;
        std::uint64_t used = 0;
    };
    const QImage& picture(const RowItem& row, const QColor& background,
                          const std::vector<double>* spark, std::optional<Severity> flag,
                          bool iconHidden, const Thresholds& thresholds, QSize size);

    void scheduleRefresh() { gate_.schedule(); }
    void apply(std::vector<GroupSample> groups);
    void syncPointer();
    void syncOpaque();
    void rebuild();
    void reportStale(const std::vector<RowItem>& rows, const std::vector<RowItem>& live, bool frozen);
    void reconcile(std::vector<RowItem> rows);
    void updateLooks(bool animated);
    void updateWash(const QString& id, bool animated);
    void select(int row);
    void onSelect(const QString& key, std::optional<int32_t> pid);
    void toggle(const QString& key);
    std::optional<ReconcilePlan::Anchor> anchor() const;
    void restoreScroll();
    void scrollTo(double offset, const Animation& animation, double ownFor);
    void scrolled(bool own);
    void scrollIntoView(int row);
    double maxScroll() const;
    double contentHeight() const;
    void animate();
    void installHooks();
    bool reduced() const;

    Monitor& monitor_;
    ProcessListController controller_;
    QHash<QString, Severity> flags_;
    // The limits the figures are coloured by: the stored ones, with the
    // defaults standing in for any the rules could not apply.
    Thresholds thresholds_;
    QSet<QString> hiddenIcons_;
    std::unordered_map<QString, RowState, HoldDetail::Hash> states_;
    std::vector<Leaving> leaving_;
    AnimatedValue scroll_;
    AnimatedValue indicator_;
    double indicatorUntil_ = 0;
    QPixmap swap_;
    AnimatedValue swapOpacity_;
    bool restored_ = false;
    bool restoring_ = false;
    double ownScrollUntil_ = -1e9;
    std::optional<QString> hovered_;
    std::optional<QString> pressed_;
    std::unordered_map<QString, Picture, HoldDetail::Hash> pictures_;
    std::uint64_t paints_ = 0;
    RefreshGate gate_{this, [this] { refresh(); }};
};
