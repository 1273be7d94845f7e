#pragma once
// The rows of the domains list on the kit's row list: one row per site, an
// open site's hosts below it. Rows are the model's; this widget only lays
// out and paints them, and answers clicks (open a site, show an app in the
// inspector), tooltips and the row menu.

#include "network/domains_model.h"
#include "ui/menu_plan.h"
#include "ui/row_list.h"

#include <QByteArray>
#include <QFont>
#include <QHash>
#include <QPixmap>
#include <QRectF>

#include <functional>
#include <optional>
#include <vector>

class Monitor;
class QMenu;

class DomainRows : public RowList {
    Q_OBJECT

public:
    using Row = DomainsModel::Row;

    // `toggle` opens or closes a site by its id.
    DomainRows(Monitor& monitor, std::function<void(const QString&)> toggle, QWidget* parent = nullptr);
    ~DomainRows() override;

    // Takes the sites and their entries: unchanged rows keep their pixels,
    // moved ones slide, the pointed-at row stays where it is. Only rows on
    // screen are built.
    void setContent(std::vector<DomainsModel::Site> sites, std::vector<DomainsModel::Entry> entries,
                    Date now, Date launched);
    std::size_t count() const { return entries_.size(); }
    const std::vector<DomainsModel::Entry>& entries() const { return entries_; }
    // The row at an index, built on first use.
    const Row& row(int index) const;
    // Rows built since the content last changed (benches and tests).
    std::size_t builtRows() const;

    // The columns at a width, for the names of the current content: the
    // headings above the rows lay out by them too.
    DomainsModel::Columns columns(double width) const;
    // The least width of the strip: its heading reads whole in it.
    void setStripLeast(double width);
    // A name cell's parts as the row's fonts draw them.
    static DomainsModel::NameWidths measure(const DomainsModel::NameTexts& texts);

    // Where the parts of a row lie in `rect` (viewport coordinates); the
    // painting and the pointer share it.
    struct Layout {
        QRectF chevron, dot, title, hostCount, fresh, source, rate, strip;
        QString titleText; // elided to fit
        bool captionShown = false;
        bool rateShown = false;
        std::vector<QRectF> apps;
        QRectF more;
        QRectF conns, received, sent, seen; // empty when the column gave way
    };
    Layout layout(const Row& row, const QRectF& rect) const;
    // The help text at a viewport point, if any part there has one.
    std::optional<QString> helpAt(QPointF position) const;
    // The menu of a row: copy its name, show its first app.
    MenuPlan menuSpec(int row);
    // A click on the row at a viewport point, as the pointer would make it.
    void click(int row, QPointF position);

    // Rows painted since the list was made (benches and tests).
    std::uint64_t paintedRows() const { return painted_; }

signals:
    // The columns moved (other names, or another least strip); the headings
    // follow.
    void columnsChanged();

protected:
    void paintRow(QPainter& painter, const RowPaint& paint) override;
    void rowClicked(int row, QPointF position) override;
    QMenu* rowMenu(int row, QWidget* parent) override;
    bool rowPressable(int row) const override;
    bool viewportEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    std::optional<int> appAt(int row, QPointF position) const;
    const QPixmap& strip(const std::array<int8_t, DomainsModel::stripCells>& levels, double width, qreal ratio);
    const QPixmap& icon(const DomainsModel::App& app, qreal ratio);
    QRectF rectOf(int row) const;
    void show(const QString& key);

    Monitor& monitor_;
    std::function<void(const QString&)> toggle_;
    std::vector<DomainsModel::Site> sites_;
    std::vector<DomainsModel::Entry> entries_;
    Date now_;
    Date launched_;
    mutable std::vector<std::optional<Row>> built_;
    DomainsModel::NameNeed need_;
    double stripLeast_ = DomainsModel::Columns::stripNarrowest;
    std::uint64_t painted_ = 0;
    QHash<QByteArray, QPixmap> strips_;
    QHash<QByteArray, QPixmap> icons_;
};
