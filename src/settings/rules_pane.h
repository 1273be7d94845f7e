#pragma once
// The eight adjustable incident thresholds, each beside its default and the
// machine's current peak, with a reset per row and for all, and a note on
// the three rules that have no setting.

// moc cannot parse the standard library's concepts, which these reach.
#ifndef Q_MOC_RUN
#include "core/preferences.h"
#include "core/records.h"
#endif
#include "ui/binding.h"
#include "ui/refresh_gate.h"
#include "ui/rule_row.h"

#include <QWidget>

#include <array>
#include <cstdint>
#include <optional>

class Monitor;
class PressButton;

class RulesPane : public QWidget {
    Q_OBJECT

public:
    // Row order: system CPU, per-process CPU, memory, memory growth,
    // threads, file handles, download, upload.
    static constexpr int rowCount = 8;
    using Peaks = std::array<std::optional<RuleRow::Live>, rowCount>;

    // The live reading of each row from a snapshot: the whole machine's CPU
    // always; else the first process with the greatest figure, while that
    // figure is above zero. Memory growth has none.
    static Peaks peaks(const Snapshot& snapshot);
    // An integer threshold as a slider's number; writes drop the fraction.
    static Binding<double> intBinding(Binding<int64_t> binding);

    explicit RulesPane(Monitor& monitor, QWidget* parent = nullptr);

    RuleRow* row(int index) const { return rows_.at(std::size_t(index)); }
    PressButton* resetAllButton() const { return resetAll_; }

private:
    void refresh();

    Monitor& monitor_;
    Thresholds defaults_;
    std::array<RuleRow*, rowCount> rows_{};
    PressButton* resetAll_ = nullptr;
    RefreshGate refreshGate_{this, [this] { refresh(); }};
};
