#pragma once
// A button that answers the pointer by its PressStyle: the wash, the
// shrink (or an icon's growth) and a bare label's brightening, each eased
// in and out on the shared frame clock. It draws an optional symbol and
// its text; subclasses draw other labels through paintLabel().

#include "ui/animation.h"
#include "ui/fonts.h"
#include "ui/press_style.h"

#include <QAbstractButton>
#include <QColor>
#include <QFont>
#include <QStaticText>
#include <QString>

#include <optional>

class PressButton : public QAbstractButton {
    Q_OBJECT

public:
    explicit PressButton(PressStyle style, QWidget* parent = nullptr);
    PressButton(PressStyle style, const QString& text, QWidget* parent = nullptr);

    PressStyle style() const { return style_; }
    void setStyle(PressStyle style);
    // A symbol name (Symbols) drawn before the text, at `size` pixels.
    void setSymbol(const QString& name, double size);
    QString symbol() const { return symbol_; }
    // The symbol's weight (the label font's unless set) and its distance
    // from the text (`gap` unless set).
    void setSymbolWeight(QFont::Weight weight);
    QFont::Weight symbolWeight() const { return symbolWeight_.value_or(font_.weight()); }
    void setSymbolGap(double gap);
    double symbolGap() const { return symbolGap_; }
    // Text too wide for the button shrinks down to this share of its size
    // before it is cut; 1, the default, only cuts.
    void setMinimumTextScale(double scale);
    // The text as it is drawn at the current width: its font and its words.
    QFont shownFont() const;
    QString shownText() const;
    void setColor(const QColor& color);
    QColor color() const { return color_; }
    void setLabelFont(const QFont& font);
    QFont labelFont() const { return font_; }

    // The pointer is over it; a disabled button shows none of it.
    bool hovering() const { return hovering_; }
    // The amounts the feedback is drawn at now, each from 0 to 1.
    double hoverAmount() const { return hover_.value(); }
    double pressAmount() const { return press_.value(); }
    bool animating() const;
    // What paintEvent draws with now.
    double currentScale() const;
    double currentWash() const;
    QColor labelColor() const;

    static constexpr double gap = 4;

    // The button's area at scale 1: all of it, or for icons a little less,
    // leaving room to grow under the pointer.
    QRectF restingRect() const;

    QSize sizeHint() const override;
    // The whole label, unless its text may shrink and be cut.
    QSize minimumSizeHint() const override;

protected:
    // Draws the label in `box` (the contents rectangle) in `color`.
    virtual void paintLabel(QPainter& painter, const QRectF& box, const QColor& color);
    virtual QSizeF labelSize() const;

    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // The text laid out in the label font, redone when either changes.
    const QStaticText& layout() const;
    // The text fitted into `width`; the whole text while it fits.
    const Fonts::Fitted& fitted(double width) const;
    double textRoom() const;
    void setHovering(bool hovering);
    void retargetHover();
    void syncPressed();
    void animate();
    void settle();

    PressStyle style_;
    QString symbol_;
    double symbolSize_ = 0;
    std::optional<QFont::Weight> symbolWeight_;
    double symbolGap_ = gap;
    double minimumTextScale_ = 1;
    mutable Fonts::Fitted fitted_;
    mutable double fittedWidth_ = -1;
    mutable QString fittedSource_;
    QColor color_;
    QFont font_;
    mutable QStaticText layout_;
    mutable bool layoutDirty_ = true;
    bool hovering_ = false;
    AnimatedValue hover_{0};
    PressMotion press_;
};

// A colour with `amount` added to each channel, clamped: the brightness
// change the press styles apply to labels and washes.
QColor brightened(const QColor& color, double amount);
