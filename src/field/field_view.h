#pragma once
// The Field mode: chooses which groups become bubbles, derives their
// incident flags, maps the mode to a phase of the bubble canvas, turns
// bubble clicks into selection changes and lays a small legend over the
// bottom-left corner.

#ifndef Q_MOC_RUN
#include "field/field_layer_view.h"
#include "model/monitor.h"
#include "ui/animation.h"
#include "ui/refresh_gate.h"
#endif

#include <QWidget>

class FieldLegend;
class QLabel;

class FieldView : public QWidget {
    Q_OBJECT

public:
    struct Model {
        std::vector<GroupSample> groups;
        QHash<QString, Severity> flags;
        std::optional<QString> selection;
        int threadLimit = 400;
        bool fromRows = false;
        FieldLayerView::Phase phase = FieldLayerView::Phase::live;
        bool operator==(const Model&) const = default;
    };

    static Model build(Monitor& monitor);
    static FieldLayerView::Phase phaseOf(Monitor::Mode mode);
    // The legend's texts in the current language.
    static QStringList legendTexts();
    // What an empty field says: a filter that keeps no group is named, as
    // the other modes name theirs; with no filter there is nothing to say.
    static QString emptyText(const QString& filter, bool noGroups);

    FieldView(Monitor& monitor, FieldLayerView::MenuFactory menu, QWidget* parent = nullptr);
    ~FieldView() override;

    // Room the bubbles leave under the top edge, enough for their ticks
    // and halo.
    static constexpr double topClearance = 8;

    FieldLayerView* layer() const { return layer_; }
    // Where the legend lies; the bubbles stay above it.
    QRect legendGeometry() const;
    // The legend's texts as drawn, each in its box: whole, or cut with an
    // ellipsis only when a line cannot hold it.
    std::vector<std::pair<QString, QRectF>> shownLegend() const;
    // The text shown over an empty field, empty when none shows.
    QString shownEmptyText() const;
    // The legend's opacity now, 0…1.
    double legendOpacity() const;
    // A click on a bubble (or on nothing): selects the group, or clears the
    // selection when it is already selected or nothing was hit.
    void select(const std::optional<QString>& key);

signals:
    void coveringChanged(bool covering);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void scheduleRefresh();
    void refresh();
    void placeLegend();

    Monitor& monitor_;
    FieldLayerView* layer_;
    FieldLegend* legend_;
    QLabel* empty_;
    std::optional<Model> model_;
    bool legendShown_ = false;
    RefreshGate refreshGate_{this, [this] { refresh(); }};
};
