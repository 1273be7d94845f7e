#pragma once
// The small heading above a card: a short bar in the section's colour and
// a caption that is always dim.

#include "ui/theme.h"

#include <QColor>
#include <QWidget>

class PanelLabel;

class SectionTitle : public QWidget {
    Q_OBJECT

public:
    explicit SectionTitle(const QString& text, const QColor& color = Theme::dim(),
                          QWidget* parent = nullptr);

    QString text() const;
    QColor color() const { return color_; }

    static constexpr int above = 18;
    static constexpr int below = 8;

private:
    QColor color_;
    PanelLabel* label_;
};
