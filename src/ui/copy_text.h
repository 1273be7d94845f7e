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

// Puts `text` on the clipboard as plain text, replacing whatever was there:
// the one way the interface copies.
void copyPlain(const QString& text);

class CopyText : public QWidget {
    Q_OBJECT

public:
    static constexpr double confirmSeconds = 1.1;
    // Space between the text and the checkmark, and the checkmark's size.
    static constexpr double gap = 3;
    static constexpr double checkSize = 7.5;
    // Added to each colour component while the pointer is over the text.
    static constexpr double hoverBrightness = 0.18;

    CopyText(const QString& display, const std::optional<QString>& value, const QFont& font,
             const QColor& color, Qt::TextElideMode truncation, QWidget* parent = nullptr);

    QString display() const { return display_; }
    // What a click puts on the clipboard.
    QString copiedText() const { return value_.value_or(display_); }
    bool copied() const { return copied_; }
    bool hovering() const { return hovering_; }

    // The click's action: copy, play the cue, confirm for a while.
    void copy();

    // The text's colour as it is drawn now, and the checkmark's opacity.
    QColor currentColor() const;
    double checkOpacity() const { return confirm_.value(); }
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
    bool checkShown() const { return copied_ || confirm_.value() > 0; }
    double textWidth() const;

    QString display_;
    std::optional<QString> value_;
    QFont font_;
    QColor color_;
    Qt::TextElideMode truncation_;

    bool copied_ = false;
    bool hovering_ = false;
    bool pressed_ = false;
    // 0 → 1 as the confirmation shows: colour and checkmark follow it.
    AnimatedValue confirm_{0};
    AnimatedValue brightness_{0};
};
