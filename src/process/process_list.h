#pragma once
// The process list: a painted scroll area of group and member rows. Rows
// come from ProcessListController; the kit's row list animates them
// (survivors slide, removed rows fade out, new rows fade in, the scroll
// offset moves in the same timeline); this widget paints them and takes
// keys, clicks and menus. Selection belongs to the Monitor, so the area keeps none of its own.

#include "model/monitor.h"
#include "process/process_list_controller.h"
#include "ui/refresh_gate.h"
#include "ui/row_list.h"

#include <QHash>
#include <QImage>
#include <QSet>

#include <optional>
#include <vector>

class QMenu;

class ProcessList : public RowList {
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
    bool restored() const { return restored_; }
    // What the list says when the filter left no row; empty otherwise.
    QString emptyText() const;
    const QSet<QString>& hiddenIcons() const { return hiddenIcons_; }
    // Whether the global pointer is over the list in its own window.
    bool containsPointer() const;
    // Runs a refresh now (tests and benches).
    void refresh();

    static constexpr double chevronWidth = 32;

protected:
    void paintEvent(QPaintEvent* event) override;
    void paintRow(QPainter& painter, const RowPaint& paint) override;
    void rowClicked(int row, QPointF position) override { clicked(row, position.x()); }
    QMenu* rowMenu(int row, QWidget* parent) override { return menu(row, parent); }
    void scrollStored(double offset) override;
    void userScrolled() override;
    bool tracksScroll() const override { return restored_; }
    void reorderBegan() override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // A row's content (everything but the animated chrome) as last drawn,
    // so that frames of a slide only place pictures.
    struct PictureKey {
        QColor background;
        RowItem item;
        std::vector<double> spark;
        std::optional<Severity> flag;
        bool iconHidden = false;
        Thresholds thresholds;
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
    void select(int row);
    void onSelect(const QString& key, std::optional<int32_t> pid);
    void toggle(const QString& key);
    std::optional<ReconcilePlan::Anchor> anchor() const;
    void restoreScroll();
    void installHooks();
    bool reduced() const;

    Monitor& monitor_;
    ProcessListController controller_;
    QHash<QString, Severity> flags_;
    // The limits the figures are coloured by: the stored ones, with the
    // defaults standing in for any the rules could not apply.
    Thresholds thresholds_;
    QSet<QString> hiddenIcons_;
    bool restored_ = false;
    bool restoring_ = false;
    RowPictures<PictureKey> pictures_;
    RefreshGate gate_{this, [this] { refresh(); }};
};
