#pragma once
// The black box under the stage: every incident the engine has recorded,
// open and ended, newest first. It folds away, clears the ended incidents,
// copies a one-line summary and leads from an incident to its group in the
// inspector. Its own hold keeps the rows still while the pointer is over
// the list; the list follows the incidents also while the display is frozen,
// because the Monitor keeps taking them in.

// moc cannot parse the standard library's concepts, reached through
// <compare>; it needs none of these.
#ifndef Q_MOC_RUN
#include "core/incident.h"
#endif
#include "app/incident_row_fit.h"
#include "ui/animation.h"
#include "ui/interaction_hold.h"
#include "ui/refresh_gate.h"

#include <QColor>
#include <QFont>
#include <QHash>
#include <QPointer>
#include <QString>
#include <QUuid>
#include <QWidget>

#include <optional>
#include <vector>

class HoldBadge;
class Monitor;
class PressButton;
class QLabel;
class QMenu;
class QScrollArea;

class IncidentDrawer : public QWidget {
    Q_OBJECT

public:
    struct Row {
        QUuid id;
        QColor tint;
        bool open = true;
        bool clickable = false;
        // The start with its date, and its time of day alone for a short row.
        QString time, clock;
        QString subject, title, contributors, peak, duration;

        bool operator==(const Row&) const = default;
    };

    struct Model {
        bool open = true;
        QString count;
        bool clearEnded = false;
        // The empty-state text, while the drawer is open on no incidents.
        std::optional<QString> empty;
        std::vector<Row> rows;

        bool operator==(const Model&) const = default;
    };

    // Texts, in the current language.
    static QString subjectText(const Incident& incident);
    static QString durationText(const Incident& incident);
    static QString clockText(Date date);
    static QString summary(const Incident& incident);
    static QString newIncidentsText(int withheld);
    static QString emptyText();
    // The fold button's caption in `room`: the whole caption, then the
    // short one, then the short one cut; empty when not even a letter and
    // the ellipsis fit.
    static QString captionText(double room);
    static QFont captionFont();

    // `arranged` is what the hold lets through of the Monitor's incidents.
    static Model build(const Monitor& monitor, const std::vector<Incident>& arranged);
    // A row's texts measured in the fonts they are drawn in.
    static IncidentRowFit::Widths measure(const Row& row);

    // Geometry.
    static constexpr int headerHeight = 30;
    static constexpr int rowHeight = 26;
    static constexpr int listHeight = 150;
    static constexpr int hintWidth = 400; // the width it asks for
    static constexpr int margin = int(IncidentRowFit::margin);
    static constexpr double dotSize = IncidentRowFit::dotSize;

    explicit IncidentDrawer(Monitor& monitor, QWidget* parent = nullptr);
    ~IncidentDrawer() override;

    const Model& model() const { return model_; }
    // How far the body is unfolded, 0 to 1, and how opaque "Clear ended" is.
    double openness() const { return openness_.value(); }
    double clearOpacity() const { return clearShown_.value(); }
    InteractionHold& hold() { return hold_; }
    HoldBadge* badge() const { return badge_; }
    PressButton* foldButton() const { return fold_; }
    PressButton* clearButton() const { return clear_; }
    // The row widgets in list order.
    std::vector<QWidget*> rowViews() const;

    // A row's context menu, not yet shown; empty for an unknown id.
    QMenu* contextMenu(const QUuid& id, QWidget* parent);
    // Selects the incident's group and focuses its process.
    void showInInspector(const QUuid& id);
    void copySummary(const QUuid& id);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return {0, sizeHint().height()}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    class FoldButton;
    class RowView;

    void scheduleRefresh();
    void refresh();
    void applyBody();
    void layoutRows();
    void animate();
    void settle();
    void showClear();
    int bodyHeight() const;
    const Incident* find(const QUuid& id) const;

    Monitor& monitor_;
    InteractionHold hold_;
    Model model_;
    std::vector<Incident> arranged_;
    PressButton* fold_ = nullptr; // a FoldButton
    HoldBadge* badge_ = nullptr;
    PressButton* clear_ = nullptr;
    QLabel* empty_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    QWidget* list_ = nullptr;
    QHash<QUuid, QPointer<RowView>> rowViews_;
    // The chevron's turn: 0 open, -90° closed.
    AnimatedValue chevron_{0};
    // The body's share of its height: it unfolds on the same spring, and
    // keeps its last rows in view while it folds away.
    AnimatedValue openness_{1};
    AnimatedValue clearShown_{0};
    RefreshGate refreshGate_{this, [this] { refresh(); }};
};
