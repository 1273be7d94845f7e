#pragma once
// A settings row: a title, an explanation that wraps onto as many lines as
// it needs, and a Switch on the right.

#include "ui/binding.h"

#include <QWidget>

class QLabel;
class Switch;

class ToggleRow : public QWidget {
    Q_OBJECT

public:
    ToggleRow(const QString& title, const QString& detail, Binding<bool> isOn,
              QWidget* parent = nullptr);

    Switch* toggle() const { return switch_; }
    QLabel* title() const { return title_; }
    QLabel* detail() const { return detail_; }
    void sync();

private:
    QLabel* title_;
    QLabel* detail_;
    Switch* switch_;
};
