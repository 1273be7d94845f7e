#pragma once
// One line of text that shrinks to a minimum scale before it is cut: the
// design's figures and titles that must stay whole as long as they can.

#include "ui/fonts.h"

#include <QColor>
#include <QWidget>

class ShrinkLabel : public QWidget {
    Q_OBJECT

public:
    explicit ShrinkLabel(QWidget* parent = nullptr);
    ShrinkLabel(const QString& text, const QFont& font, const QColor& color, double minimumScale,
                QWidget* parent = nullptr);

    QString text() const { return text_; }
    void setText(const QString& text);
    QFont font() const { return font_; }
    void setFont(const QFont& font);
    QColor color() const { return color_; }
    void setColor(const QColor& color);
    // 0.7 or 0.85 in the design; 1 never shrinks.
    double minimumScale() const { return minimumScale_; }
    void setMinimumScale(double scale);
    Qt::TextElideMode elideMode() const { return elide_; }
    void setElideMode(Qt::TextElideMode mode);
    Qt::Alignment alignment() const { return alignment_; }
    void setAlignment(Qt::Alignment alignment);

    // What paintEvent draws at the current width.
    const Fonts::Fitted& fitted() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void changed(bool geometry);

    QString text_;
    QFont font_;
    QColor color_;
    double minimumScale_ = 1;
    Qt::TextElideMode elide_ = Qt::ElideRight;
    Qt::Alignment alignment_ = Qt::AlignLeft | Qt::AlignVCenter;

    mutable Fonts::Fitted fitted_;
    mutable double fittedWidth_ = -1;
};
