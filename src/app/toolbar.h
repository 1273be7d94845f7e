#pragma once
// The strip above the stage: the filter field, a count of what the current
// mode shows, the hold badge of the mode's list, and the mode switch at the
// right edge. The one filter text serves every mode; each mode applies it
// in its own way.

#include "ui/refresh_gate.h"
#include "model/monitor.h"
#include "ui/animation.h"

#include <QLineEdit>
#include <QWidget>

#include <array>
#include <optional>

class HoldBadge;
class PressButton;
class ModeSwitch;

// The filter's text field: Escape clears the text and keeps the focus, or
// with no text gives the focus up.
class FilterEdit : public QLineEdit {
    Q_OBJECT

public:
    FilterEdit(Monitor& monitor, QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    Monitor& monitor_;
};

// The field's frame: magnifier, text, clear button, and a border that turns
// to the accent while the text has focus.
class FilterField : public QWidget {
    Q_OBJECT

public:
    static constexpr int minimumWidth = 170;
    // Least width while the hold badge needs the room.
    static constexpr int floorWidth = 96;
    static constexpr int maximumWidth = 230;
    static constexpr int fieldHeight = 26;
    static constexpr int margin = 9;
    static constexpr int spacing = 6;
    static constexpr double radius = 6;

    explicit FilterField(Monitor& monitor, QWidget* parent = nullptr);
    ~FilterField() override;

    FilterEdit* edit() const { return edit_; }
    PressButton* clearButton() const { return clear_; }
    QColor borderColor() const { return border_.value(); }
    static QColor borderFor(bool focused);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void sync();
    void layoutContent();

    Monitor& monitor_;
    FilterEdit* edit_ = nullptr;
    PressButton* clear_ = nullptr;
    AnimatedColor border_;
};

class Toolbar : public QWidget {
    Q_OBJECT

public:
    struct Model {
        QString placeholder;
        QString count;
        // Whose hold the badge shows; the field has none.
        std::optional<Monitor::Mode> hold;

        bool operator==(const Model&) const = default;
    };

    // In the current language, for the Monitor's mode, filter and snapshot.
    static Model build(Monitor& monitor);
    static QString placeholderFor(Monitor::Mode mode);
    static QString countText(Monitor::Mode mode, std::size_t groups, int64_t procs,
                             std::size_t connections, std::size_t listeners);

    static constexpr int barHeight = 42;
    static constexpr int margin = 12;
    static constexpr int spacing = 10;
    static QFont countFont();

    explicit Toolbar(Monitor& monitor, QWidget* parent = nullptr);

    const Model& model() const { return model_; }
    FilterField* filterField() const { return field_; }
    ModeSwitch* modeSwitch() const { return switch_; }
    HoldBadge* badge(Monitor::Mode mode) const;
    // Whether the count fits and is drawn.
    bool countShown() const { return countShown_; }
    QRectF countRect() const { return countRect_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void scheduleRefresh();
    void refresh();
    void layoutItems();

    Monitor& monitor_;
    Model model_;
    FilterField* field_ = nullptr;
    ModeSwitch* switch_ = nullptr;
    std::array<HoldBadge*, Monitor::allModes.size()> badges_{};
    QRectF countRect_;
    bool countShown_ = false;
    RefreshGate refreshGate_{this, [this] { refresh(); }};
};
