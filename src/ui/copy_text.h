#pragma once
// A line of text that copies itself, or a value behind it, to the clipboard
// when clicked, and confirms with a checkmark and the cpu colour for 1.1 s.
// Names, process ids, paths and addresses in the inspector and the network
// views are shown with it.

#include "ui/animation.h"

#include <QColor>
#include <QFont>
#include <QString>
#include <QWidget>

#include <optional>

class QPainter;

// The look of click-to-copy text as plain values: the confirmation after a
// copy and the lift under the pointer. CopyText keeps one; a list that paints
// copyable cells itself keeps one per cell and draws it with paint().
struct CopyLook {
    static constexpr double confirmSeconds = 1.1;
    // Space between the text and the checkmark, and the checkmark's size.
    static constexpr double gap = 3;
    static constexpr double checkSize = 7.5;
    // Added to each colour component while the pointer is over the text.
    static constexpr double hoverBrightness = 0.18;

    bool copied = false;
    bool hovering = false;
    // 0 → 1 as the confirmation shows: colour and checkmark follow it.
    AnimatedValue confirm{0};
    AnimatedValue brightness{0};

    // Aims the values at the flags; true when they move.
    bool retarget();
    bool step(double dt) { return stepAll(dt, confirm, brightness); }
    bool moving() const { return confirm.moving() || brightness.moving(); }
    bool checkShown() const { return copied || confirm.value() > 0; }
    // `base` lifted under the pointer and blended towards the cpu colour as
    // the confirmation shows.
    QColor color(const QColor& base) const;
    // What fits of `display` in `width`, keeping room for the checkmark.
    QString shown(const QString& display, const QFont& font, Qt::TextElideMode truncation,
                  double width) const;
    // Draws `display` in `rect`, at its left or right edge, with the
    // checkmark after it while the confirmation shows.
    void paint(QPainter& painter, const QRectF& rect, const QString& display, const QFont& font,
               const QColor& base, Qt::TextElideMode truncation,
               Qt::Alignment alignment = Qt::AlignLeft) const;
};

class CopyText : public QWidget {
    Q_OBJECT

public:
    static constexpr double confirmSeconds = CopyLook::confirmSeconds;
    static constexpr double gap = CopyLook::gap;
    static constexpr double checkSize = CopyLook::checkSize;
    static constexpr double hoverBrightness = CopyLook::hoverBrightness;

    CopyText(const QString& display, const std::optional<QString>& value, const QFont& font,
             const QColor& color, Qt::TextElideMode truncation, QWidget* parent = nullptr);

    QString display() const { return display_; }
    // What a click puts on the clipboard.
    QString copiedText() const { return value_.value_or(display_); }
    bool copied() const { return look_.copied; }
    bool hovering() const { return look_.hovering; }

    // The click's action: copy, play the cue, confirm for a while.
    void copy();

    // The text's colour as it is drawn now, and the checkmark's opacity.
    QColor currentColor() const;
    double checkOpacity() const { return look_.confirm.value(); }
    // What the text shows at the current width.
    QString shownText() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void setCopied(bool copied);
    void setHovering(bool hovering);
    void retarget();
    double textWidth() const;

    QString display_;
    std::optional<QString> value_;
    QFont font_;
    QColor color_;
    Qt::TextElideMode truncation_;

    bool pressed_ = false;
    CopyLook look_;
};
