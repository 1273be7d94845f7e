#pragma once
// One alert threshold: its title, a reset button while it differs from the
// default, the value, a RuleSlider, and a sentence that reads the value in
// place, with the machine's current peak beside it.

#include "ui/binding.h"
#include "ui/rule_slider.h"

#include <QColor>
#include <QString>
#include <QWidget>

#include <optional>

class PressButton;
class QLabel;
class ShrinkLabel;

class RuleRow : public QWidget {
    Q_OBJECT

public:
    // The highest current reading of the rule's metric and who holds it.
    struct Live {
        double value = 0;
        QString who;
        bool operator==(const Live&) const = default;
    };

    struct Spec {
        QString title;
        QString sentence; // "{}" stands for the value
        RuleSlider::Range range;
        double step = 1;
        QString unit;     // with its own leading space where one is wanted
        double fallback = 0;
        QColor color;
    };

    // The sentence around its "{}": the piece before and the piece after.
    // Without a "{}" the whole sentence comes before; pieces after a second
    // "{}" are dropped.
    struct Sentence {
        QString before;
        QString after;
        bool operator==(const Sentence&) const = default;
    };

    RuleRow(Spec spec, Binding<double> value, std::optional<Live> live, QWidget* parent = nullptr);

    // A value as the row writes it: "%.1f" when it has a fraction, else the
    // whole number; then the unit.
    static QString format(double value, const QString& unit);
    QString format(double value) const { return format(value, spec_.unit); }
    static Sentence split(const QString& sentence);
    // Whether the rules can use a stored limit: a positive finite number.
    static bool usable(double value);

    void setLive(const std::optional<Live>& live);
    // Reads the binding again.
    void sync();

    const Spec& spec() const { return spec_; }
    double value() const { return value_; }
    PressButton* resetButton() const { return reset_; }
    RuleSlider* slider() const { return slider_; }
    QString valueText() const;
    QString sentenceText() const;
    // The peak text, empty without a live reading.
    QString peakText() const;

private:
    void present();
    void reset();

    Spec spec_;
    Binding<double> binding_;
    std::optional<Live> live_;
    double value_ = 0;
    PressButton* reset_;
    QLabel* value_label_;
    RuleSlider* slider_;
    QLabel* sentence_;
    QWidget* peak_;
    ShrinkLabel* peakLabel_;
};
