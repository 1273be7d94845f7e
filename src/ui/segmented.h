#pragma once
// The pill-shaped picker of the settings: one capsule button per option on
// a raised capsule. The selected option's capsule fills with the accent in
// place (it does not travel); a click writes the option even when it is
// already the selection.

#include "ui/animation.h"
#include "ui/binding.h"
#include "ui/segment_strip.h"

#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

class PressButton;

class Segmented : public SegmentStrip {
    Q_OBJECT

public:
    static constexpr double optionHeight = 22;
    static constexpr double optionPadding = 11;
    static constexpr double titleSize = 11.5;

    // Options by title, the selection as an index (-1 or any other index
    // outside the titles: none selected).
    Segmented(const QStringList& titles, Binding<int> selection, QWidget* parent = nullptr);

    // Options by value; a selection that matches no value selects none.
    template <class T>
    static Segmented* make(const std::vector<std::pair<T, QString>>& options, Binding<T> selection,
                           QWidget* parent = nullptr)
    {
        std::vector<T> values;
        QStringList titles;
        for (const auto& [value, title] : options) {
            values.push_back(value);
            titles.append(title);
        }
        auto index = selection.template map<int>(
            [values](const T& v) { return indexOf(values, v); },
            [values](int i) { return values.at(std::size_t(i)); });
        return new Segmented(titles, std::move(index), parent);
    }

    // The position of `selection` among `values`, or -1.
    template <class T>
    static int indexOf(const std::vector<T>& values, const T& selection)
    {
        for (std::size_t i = 0; i < values.size(); ++i)
            if (values[i] == selection)
                return int(i);
        return -1;
    }

    // The selected index as last read, -1 for none.
    int selectedIndex() const { return selected_; }
    int count() const { return int(options_.size()); }
    PressButton* option(int index) const;
    // Reads the binding again; a change recolours the options.
    void sync();

protected:
    void paintBetween(QPainter& painter) override;
    void hideEvent(QHideEvent* event) override;

private:
    void choose(int index);
    void present(int selected, bool animated);
    void applyColors();

    Binding<int> binding_;
    int selected_ = -1;
    std::vector<PressButton*> options_;
    // Each option's fill, 0 clear to 1 accent.
    std::vector<AnimatedValue> fill_;
};
