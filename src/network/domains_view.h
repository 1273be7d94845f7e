#pragma once
// The domains mode: every remote host this machine has talked to, grouped
// by site, with six minutes of activity as a heat strip per row. A header
// with the order and "Live only" chips and the counts, the column headings,
// then the rows, or a line saying why there are none.

#include "network/domains_model.h"
#include "ui/refresh_gate.h"

#include <QWidget>

#include <array>

class Chip;
class DomainRows;
class Monitor;

class DomainsView : public QWidget {
    Q_OBJECT

public:
    static constexpr int headerHeight = 40;
    static constexpr int headingsHeight = 24;
    static constexpr int top = headerHeight + headingsHeight + 1;

    // What the frame around the rows shows.
    struct Model {
        DomainsModel::Counts counts;
        bool empty = true;
        QString emptyText;
        bool operator==(const Model&) const = default;
    };

    explicit DomainsView(Monitor& monitor, QWidget* parent = nullptr);
    ~DomainsView() override;

    const DomainsModel::State& state() const { return state_; }
    const std::vector<DomainsModel::Site>& sites() const { return sites_; }
    const Model& model() const { return model_; }
    DomainRows* rows() const { return rows_; }
    Chip* orderChip(DomainsModel::Order order) const { return chips_[std::size_t(order)]; }
    Chip* liveChip() const { return live_; }

    void setOrder(DomainsModel::Order order);
    void toggleLiveOnly();
    // Opens a closed site or closes an open one.
    void toggle(const QString& site);

    // The column headings in the current language, left to right.
    static std::array<QString, 7> headings();
    static QString stripHelp();

    // Rebuilds now (tests and benches); otherwise once per turn of changes.
    void refresh();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool event(QEvent* event) override;

private:
    void scheduleRefresh() { gate_.schedule(); }
    void layoutChildren();
    QRectF countsRect() const;
    QRectF stripHeadingRect() const;

    Monitor& monitor_;
    DomainsModel::State state_;
    DomainsModel::SiteCopies copies_;
    std::vector<DomainsModel::Site> sites_;
    Model model_;
    std::array<Chip*, DomainsModel::allOrders.size()> chips_{};
    Chip* live_ = nullptr;
    DomainRows* rows_ = nullptr;
    RefreshGate gate_{this, [this] { refresh(); }};
};
