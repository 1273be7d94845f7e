#pragma once
// A button that acts only after the pointer has been held on it for 0.7 s:
// a bar fills it meanwhile, an early release or a drag of more than 40
// points cancels, and a completed hold calls the action with the ids that
// were the targets when the press began. A press also ends, without
// acting, when the button is hidden or disabled or the pointer is taken
// from it (a popup, another window, a grab).

#include "ui/animation.h"

#include <QColor>
#include <QPointF>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

class HoldButton : public QWidget {
    Q_OBJECT

public:
    using Action = std::function<void(const std::vector<int32_t>&)>;

    static constexpr double holdSeconds = 0.7;
    static constexpr double resetSeconds = 0.9;
    static constexpr double maxMovement = 40;
    static constexpr double height = 28;
    static constexpr double symbolSize = 10;

    HoldButton(const QString& name, const QString& symbol, const QColor& color, Action action,
               QWidget* parent = nullptr);

    void setName(const QString& name);
    void setTargets(std::vector<int32_t> targets);

    const std::vector<int32_t>& shownTargets() const { return locked_ ? *locked_ : targets_; }
    QString label() const;
    bool pressing() const { return pressing_; }
    bool confirmed() const { return confirmed_; }
    double progress() const { return progress_.value(); }
    double progressTarget() const { return progress_.target(); }
    double currentScale() const { return scale_.value(); }
    double scaleTarget() const { return scale_.target(); }
    QColor foreground() const;
    // The symbol drawn now ("checkmark" while confirmed), and how far the
    // swap from the previous one has come, 0 to 1.
    QString shownSymbol() const;
    double symbolSwap() const { return swap_.value(); }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return {60, int(height)}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;

private:
    void begin();
    void end();
    void complete();
    // Whether the pointer can still be on the button: shown, enabled, and
    // with no popup, modal window or grab elsewhere.
    bool holdable() const;
    void setConfirmed(bool confirmed);
    void paintSymbol(QPainter& p, const QRectF& box, const QString& name, double opacity, double scale,
                     const QColor& ink);
    void reset(std::uint64_t press);
    void retargetScale(const Animation& animation);
    void refreshHelp();
    void animate();
    // Every value at its target, off the frame clock.
    void settle();
    bool reduced() const;

    QString name_;
    QString symbol_;
    QColor color_;
    Action action_;
    std::vector<int32_t> targets_;
    std::optional<std::vector<int32_t>> locked_;

    bool pressing_ = false;
    bool confirmed_ = false;
    bool hovering_ = false;
    QPointF pressAt_;
    // Each press has a number: a completion or a reset belongs to the press
    // that scheduled it and does nothing once another press has begun.
    std::uint64_t press_ = 0;

    AnimatedValue progress_{0};
    AnimatedValue ink_{0}; // 0: the accent colour, 1: the background colour
    AnimatedValue hover_{0};
    AnimatedValue scale_{1};
    // The symbol swap: the previous symbol leaves as this runs to 1.
    QString previousSymbol_;
    AnimatedValue swap_{1};
};
