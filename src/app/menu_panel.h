#pragma once
// The small window that drops from the tray icon: four figure chips, the
// open incidents, the five groups with the most CPU and with the most
// memory, and buttons to open the main window or quit. Its own hold keeps
// the lists still while the pointer is over it; the incidents keep
// following the machine also while the display is frozen.

// moc cannot parse the standard library's concepts, reached through
// <compare>; it needs none of these.
#ifndef Q_MOC_RUN
#include "core/records.h"
#endif
#include "ui/interaction_hold.h"
#include "ui/refresh_gate.h"

#include <QColor>
#include <QRect>
#include <QString>
#include <QUuid>
#include <QWidget>

#include <array>
#include <functional>
#include <optional>
#include <vector>

class Monitor;
class PressButton;

class MenuPanel : public QWidget {
    Q_OBJECT

public:
    struct Chip {
        QString title, value;
        QColor color;
        bool operator==(const Chip&) const = default;
    };
    struct Issue {
        QUuid id;
        QColor tint;
        QString text, peak;
        bool operator==(const Issue&) const = default;
    };
    struct GroupRow {
        QString key, name;
        std::optional<QString> bundlePath;
        QString value;
        bool departed = false;
        bool operator==(const GroupRow&) const = default;
    };
    struct GroupList {
        QString title;
        std::vector<GroupRow> rows;
        bool operator==(const GroupList&) const = default;
    };
    struct Model {
        std::array<Chip, 4> chips;
        QString issuesTitle;
        std::vector<Issue> issues; // at most four; none hides the section
        GroupList cpu, mem;
        QString openText, quitText;
        bool operator==(const Model&) const = default;
    };

    static constexpr int listLength = 5;
    static constexpr int issueLimit = 4;

    // Highest first, stable; a figure that is not a number counts lowest.
    static std::vector<GroupSample> byCpu(std::vector<GroupSample> groups);
    static std::vector<GroupSample> byMem(std::vector<GroupSample> groups);
    static QString groupCpuText(double cpu);

    // Passes the lists through `hold`, in the current language.
    static Model build(const Monitor& monitor, InteractionHold& hold);

    // Where the panel of `size` opens beside `anchor` (the tray icon, or
    // the pointer as a 1×1 rectangle): downward from an anchor in the upper
    // half of `available`, upward otherwise, centred on it, kept inside.
    static QPoint placement(const QRect& anchor, QSize size, const QRect& available);

    // Geometry.
    static constexpr int panelWidth = 300;
    static constexpr int padding = 14;
    static constexpr int sectionSpacing = 12;
    static constexpr int groupRowHeight = 22;
    static constexpr int issueRowHeight = 15;

    // `openMain` shows and activates the main window.
    MenuPanel(Monitor& monitor, std::function<void()> openMain, QWidget* parent = nullptr);
    ~MenuPanel() override;

    const Model& model() const { return model_; }
    InteractionHold& hold() { return hold_; }
    PressButton* openButton() const { return open_; }
    PressButton* quitButton() const { return quit_; }
    // The group rows shown, CPU list first.
    std::vector<QWidget*> rowViews() const;

    // Opens beside `anchor`, on the screen that holds it.
    void popup(const QRect& anchor);
    void select(const QString& key);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    class RowView;

    void scheduleRefresh();
    void refresh();
    void relayout();
    int height(const Model& model) const;

    Monitor& monitor_;
    std::function<void()> openMain_;
    InteractionHold hold_;
    Model model_;
    std::array<RowView*, 2 * listLength> rows_{};
    PressButton* open_ = nullptr;
    PressButton* quit_ = nullptr;
    bool placeable_ = true;
    RefreshGate refreshGate_{this, [this] { refresh(); }};
};
