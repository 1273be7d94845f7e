#pragma once
// Shaped texts, cached per face: a list repaints the same names and figures
// many times, and shaping is most of the cost of drawing them. Texts are
// always plain, never markup. Main thread only.

#include <QFont>
#include <QFontMetricsF>
#include <QHash>
#include <QRectF>
#include <QStaticText>
#include <QString>

class QPainter;

class TextFace {
public:
    enum class Align { left, right, centre };

    explicit TextFace(QFont font) : font_(std::move(font)), metrics_(font_) {}

    const QFont& font() const { return font_; }
    const QFontMetricsF& metrics() const { return metrics_; }

    double width(const QString& text);

    // Draws `text` centred vertically in `box`, at its left or right edge
    // or in the middle; when `elide`, text that does not fit is cut with
    // `mode`.
    void draw(QPainter& painter, const QRectF& box, const QString& text, Align align,
              bool elide = false, Qt::TextElideMode mode = Qt::ElideMiddle);
    void draw(QPainter& painter, const QRectF& box, const QString& text, bool right = false,
              bool elide = false)
    {
        draw(painter, box, text, right ? Align::right : Align::left, elide);
    }

private:
    static constexpr qsizetype limit = 4096;
    QFont font_;
    QFontMetricsF metrics_;
    QHash<QString, QStaticText> texts_;
    QHash<QString, double> widths_;
};
