#pragma once
// A small label in a list's header that says the list's order is paused,
// or how many new rows wait outside it, and explains why on hover. It shows
// nothing, and takes no room, while the hold has nothing to say.

#include "ui/animation.h"

#include <QPointer>
#include <QStaticText>
#include <QString>
#include <QWidget>

#include <optional>

class InteractionHold;

class HoldBadge : public QWidget {
    Q_OBJECT

public:
    // The badge shows `hold` (not owned); `newItems` is the caller's text
    // for withheld rows, in its own words.
    explicit HoldBadge(InteractionHold& hold, std::optional<QString> newItems = {},
                       QWidget* parent = nullptr);

    // What the badge says: `newItems` while rows are withheld (nothing
    // without it, stale or not), "Order paused" while only the order is
    // stale, otherwise nothing.
    static std::optional<QString> text(int withheld, bool stale,
                                       const std::optional<QString>& newItems);
    // The hover help, in the current language.
    static QString helpText();

    void setNewItems(std::optional<QString> newItems);

    // The text chosen now, and the opacity the row is drawn at (it fades).
    const std::optional<QString>& shownText() const { return text_; }
    double opacity() const { return shown_.value(); }

    // Geometry of the row: symbol, gap and text.
    static constexpr double symbolSize = 6.5;
    static constexpr double textSize = 9.5;
    static constexpr double spacing = 4;
    static QFont textFont();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // One text with its layout, kept because laying out the tracked,
    // condensed text costs more than drawing it.
    struct Line {
        QString text;
        QStaticText layout;

        void set(const QString& value);
        void clear() { set(QString()); }
        bool isEmpty() const { return text.isEmpty(); }
        double width() const;
    };

    void refresh();
    void animate();
    void settle();
    static double rowWidth(const Line& line);
    void paintRow(QPainter& painter, const Line& line, double opacity) const;

    QPointer<InteractionHold> hold_;
    std::optional<QString> newItems_;
    std::optional<QString> text_;
    // The text drawn, kept through the fade-out after text_ empties, and the
    // text it replaced while the two cross-fade.
    Line drawn_;
    Line previous_;
    AnimatedValue shown_{0};
    AnimatedValue change_{1};
};
