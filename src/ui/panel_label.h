#pragma once
// The small caption over the sections of a panel. Shows its text as given,
// with no case change of its own; callers pass it in the current language.

#include <QColor>
#include <QLabel>

class PanelLabel : public QLabel {
    Q_OBJECT

public:
    PanelLabel(const QString& text, const QColor& color, QWidget* parent = nullptr);

    QColor color() const { return color_; }
    void setColor(const QColor& color);

    // 9.5 px semibold, condensed, tracked 1.2 px.
    static QFont captionFont();

private:
    QColor color_;
};
