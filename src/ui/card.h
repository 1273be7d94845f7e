#pragma once
// A bordered panel that holds rows of settings. It adds no margin of its
// own: the rows bring their 14 px inset.

#include <QWidget>

class QVBoxLayout;

class Card : public QWidget {
    Q_OBJECT

public:
    static constexpr double radius = 8;

    explicit Card(QWidget* parent = nullptr);

    // Appends a row below the others, at full width.
    void add(QWidget* row);
    QVBoxLayout* rows() const { return rows_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QVBoxLayout* rows_;
};
