#pragma once
// The separator between rows inside a card: one pixel of the line colour,
// starting at the rows' 14 px inset.

#include <QWidget>

class Hairline : public QWidget {
    Q_OBJECT

public:
    static constexpr int indent = 14;

    explicit Hairline(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
