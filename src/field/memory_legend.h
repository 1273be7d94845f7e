#pragma once
// The line under the reactor that names the memory ring's four colours with
// their sizes.

#include "ui/refresh_gate.h"

#include <QString>
#include <QWidget>

#include <array>

class Monitor;

class MemoryLegend : public QWidget {
    Q_OBJECT

public:
    struct Model {
        std::array<QString, 4> sizes;
        bool operator==(const Model&) const = default;
    };

    static constexpr std::array<const char*, 4> labels{"APP", "WIRED", "COMP", "CACHE"};

    static Model build(const Monitor& monitor);

    explicit MemoryLegend(Monitor& monitor, QWidget* parent = nullptr);

    const Model& model() const { return model_; }
    void refresh();
    // One line of its text, as wide as the four entries.
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Monitor& monitor_;
    RefreshGate refreshGate_;
    Model model_;
};
