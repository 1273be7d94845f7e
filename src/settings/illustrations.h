#pragma once
// The small pictures under the tour's four steps: the machine's live
// readouts, a mock of the top bar with the tray picture, an example
// incident, and the two switches for the only network use. The first two
// follow each new sample; the switches are real controls on the
// preferences, so the settings window and the tour show the same values.

// moc cannot parse the standard library's concepts, which the records reach.
#ifndef Q_MOC_RUN
#include "core/records.h"
#endif
#include "model/monitor.h"
#include "ui/animation.h"
#include "ui/refresh_gate.h"

#include <QString>
#include <QWidget>

#include <vector>

class Switch;

namespace Illustrations {

// The panel look every illustration shares: panel fill, radius 8, a line
// border inside the edge.
void paintPanel(QPainter& painter, const QRectF& rect);

// The three readout texts of a sample.
struct Readouts {
    QString cpu, memory, download;
    bool operator==(const Readouts&) const = default;
};
Readouts readouts(const SystemSample& system);

} // namespace Illustrations

// Step 0: CPU, memory and download, live.
class ReadoutsIllustration : public QWidget {
    Q_OBJECT

public:
    explicit ReadoutsIllustration(Monitor& monitor, QWidget* parent = nullptr);
    const Illustrations::Readouts& model() const { return model_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refresh();

    Monitor& monitor_;
    Illustrations::Readouts model_;
    RefreshGate gate_{this, [this] { refresh(); }};
};

// Step 1: a top bar with the tray picture at its right end; each core's bar
// eases to a new load over 0.7 s.
class MenuBarIllustration : public QWidget {
    Q_OBJECT

public:
    static constexpr double easeSeconds = 0.7;

    explicit MenuBarIllustration(Monitor& monitor, QWidget* parent = nullptr);
    ~MenuBarIllustration() override;
    std::vector<double> shownLoads() const;
    QString percent() const { return percent_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void refresh();
    void animate();

    Monitor& monitor_;
    std::vector<AnimatedValue> loads_;
    QString percent_;
    RefreshGate gate_{this, [this] { refresh(); }};
};

// Step 2: one incident row with fixed sample values and its caption.
class IncidentIllustration : public QWidget {
    Q_OBJECT

public:
    explicit IncidentIllustration(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

// Step 3: reverse DNS and automatic update checks, bound to the
// preferences.
class SwitchesIllustration : public QWidget {
    Q_OBJECT

public:
    explicit SwitchesIllustration(Monitor& monitor, QWidget* parent = nullptr);
    Switch* resolveSwitch() const { return resolve_; }
    Switch* updatesSwitch() const { return updates_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Switch* resolve_ = nullptr;
    Switch* updates_ = nullptr;
};
