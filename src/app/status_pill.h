#pragma once
// The header's small capsule that says whether any incident is open, and
// how many, coloured by the worst open severity. It shows, it takes no
// clicks: the incident drawer is where incidents are read. It follows the
// incident list also while the display is frozen, because the Monitor keeps
// taking that list in.

#include "ui/refresh_gate.h"

#include <QColor>
#include <QStaticText>
#include <QString>
#include <QWidget>

#include <cstddef>
#include <optional>

class Monitor;
struct Date;
enum class Severity : int;

class StatusPill : public QWidget {
    Q_OBJECT

public:
    struct Model {
        QString label;
        QColor color;
        QString help;

        bool operator==(const Model&) const = default;
    };

    // In the current language.
    static Model build(std::size_t open, std::optional<Severity> worst);
    // While the machine cannot be read (`unreadable`, errno's value) the
    // pill says so, and that the figures are those read at `figures`,
    // whatever the incidents.
    static Model build(std::size_t open, std::optional<Severity> worst, int unreadable, Date figures);
    // Why the machine cannot be read, in a few words.
    static QString unreadableReason(int error);
    static Model build(const Monitor& monitor);

    // Geometry: dot, gap, label, inside the padding, at a fixed height.
    static constexpr double dotSize = 6;
    static constexpr double spacing = 6;
    static constexpr double padding = 9;
    static constexpr double pillHeight = 22;
    static constexpr double radius = 6;
    static constexpr double textSize = 10.5;
    static constexpr double washOpacity = 0.1;
    static QFont labelFont();

    explicit StatusPill(Monitor& monitor, QWidget* parent = nullptr);

    const Model& model() const { return model_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void scheduleRefresh();
    void refresh();

    Monitor& monitor_;
    Model model_;
    QStaticText layout_;
    RefreshGate refreshGate_{this, [this] { refresh(); }};
};
