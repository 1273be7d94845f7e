#pragma once
// The rows of the muted names, painted rather than built from widgets, so
// that one change costs the same in a list of three names as in one of
// thousands: only the rows on screen are drawn, and a change touches no
// other row. The list does not scroll itself but takes its full height
// inside the pane. A row that goes fades while its gap closes on the layout
// spring, and the rows below it slide up.

#include "ui/press_style.h"
#include "ui/row_list.h"
#include "ui/text_face.h"

#include <QString>

#include <functional>
#include <optional>
#include <unordered_map>
#include <vector>

class MutedList : public RowList {
    Q_OBJECT

public:
    struct Row {
        QString name;  // as stored: what unmuting removes
        QString shown; // what is painted
        std::optional<QString> bundlePath;
        bool operator==(const Row&) const = default;
    };

    static constexpr int rowHeight = 42;
    // A row and the hairline above it; the first row has none, so the list
    // is a pitch less one pixel per row.
    static constexpr int pitch = rowHeight + 1;

    // `unmute` is called with the stored name of a row whose button was
    // clicked (or pressed from the keyboard).
    explicit MutedList(std::function<void(const QString& name)> unmute, QWidget* parent = nullptr);
    ~MutedList() override;

    // Shows `rows`. Rows whose names are gone leave with motion when
    // `animated`, and new rows fade in.
    void setRows(std::vector<Row> rows, bool animated);
    const std::vector<Row>& rows() const { return rows_; }

    // Where row `index`'s Unmute text lies now, in the list's coordinates;
    // empty for no such row.
    QRectF unmuteRect(int index) const;
    // The row whose Unmute text a press at `at` acts on, or -1: the text
    // drawn there, else, while rows move, that of the row coming to rest
    // there. A row that has left still fades where it stood, and a second
    // quick click on the same spot means the row taking its place.
    int unmuteAt(const QPointF& at) const;
    // The row the keyboard acts on while the list has focus, or -1.
    int current() const { return current_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintRow(QPainter& painter, const RowPaint& paint) override;
    Animation rowMotion(bool fade) const override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // The Unmute text's answer to the pointer, kept per name while it shows.
    struct Feedback {
        AnimatedValue hover{0.0};
        PressMotion press;
    };

    // Top of row `index`'s content, below its hairline, as drawn now.
    double topOf(int index) const;
    QRectF labelRect(double top) const;
    void setHovered(std::optional<QString> name);
    void track(const QPointF& at);
    void setCurrent(int index);
    // Steps the Unmute texts, and follows the pointer while rows slide.
    void animateFeedback();

    std::function<void(const QString&)> unmute_;
    std::vector<Row> rows_;
    std::unordered_map<QString, Feedback> feedback_;
    std::optional<QString> hovered_;
    std::optional<QString> pressed_;
    std::optional<QPointF> pointer_;
    int current_ = -1;
    QString label_;
    TextFace nameFace_;
    TextFace labelFace_;
    double labelWidth_ = 0;
};
