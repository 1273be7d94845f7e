#pragma once
// The five-way switch at the right end of the toolbar. A capsule, the
// pill, sits behind the selected item whichever way the mode was set (a
// click here, the View menu, the mode restored at launch) and slides to the
// new item whenever the mode changes while the switch is on screen. A click
// only asks the Monitor: it ignores the mode already shown and every
// request while an overlay blocks the window, and then nothing moves.

#include "ui/refresh_gate.h"
#include "model/monitor.h"
#include "ui/animation.h"
#include "ui/segment_strip.h"

#include <QRectF>
#include <QString>
#include <QWidget>

#include <array>
#include <vector>

class ModeItem;

class ModeSwitch : public SegmentStrip {
    Q_OBJECT

public:
    struct Item {
        QString symbol;
        QString title;
        QString help;
        Monitor::Mode mode;
        bool selected = false;

        bool operator==(const Item&) const = default;
    };

    struct Model {
        std::vector<Item> items; // left to right
        double padding = 0;      // on each side of an item's content

        bool operator==(const Model&) const = default;
    };

    // The items in the current language, `selected` marking the one shown.
    static Model build(Monitor::Mode selected);
    // One item of the fixed table; the caller attaches the help text.
    static Item item(const QString& symbol, const QString& title, Monitor::Mode mode);

    // Geometry of the switch and its items.
    static constexpr double radius = 7;     // of the switch
    static constexpr double pillRadius = 5; // of the pill and of the press wash
    static constexpr double itemHeight = 22;
    static constexpr double itemGap = 5;    // between an item's symbol and title
    static constexpr double symbolSize = 10;
    static constexpr double titleSize = 11;

    explicit ModeSwitch(Monitor& monitor, QWidget* parent = nullptr);

    const Model& model() const { return model_; }
    // Symbols only, for a toolbar too narrow for the titles.
    void setCompact(bool compact);
    bool compact() const { return compact_; }
    // The switch's width with and without titles.
    int widthFor(bool compact) const;

    // The item button for a mode (tests and the window's own checks).
    QWidget* itemFor(Monitor::Mode mode) const;

    // Where the pill is drawn now, where it is heading, and whether it moves.
    QRectF pillRect() const;
    QRectF pillTarget() const;
    bool moving() const;

protected:
    void paintBetween(QPainter& painter) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void scheduleRefresh();
    void refresh();
    int selectedIndex() const;
    QRectF itemRect(int index) const;
    void applyColors();
    void animate();
    void settle();

    Monitor& monitor_;
    Model model_;
    bool compact_ = false;
    std::array<ModeItem*, Monitor::allModes.size()> items_{};
    // The pill's frame while it slides; at rest it follows the selected
    // item's geometry, so a re-layout never leaves it behind.
    AnimatedRect pill_;
    bool sliding_ = false;
    // Each item's colour, cross-fading with the pill.
    std::array<AnimatedColor, Monitor::allModes.size()> ink_{};
    RefreshGate refreshGate_{this, [this] { refresh(); }};
};
