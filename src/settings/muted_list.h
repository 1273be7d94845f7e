#pragma once
// The rows of the muted names, painted rather than built from widgets, so
// that one change costs the same in a list of three names as in one of
// thousands: only the rows on screen are drawn, and a change touches no
// other row. A row that goes fades while its gap closes on the layout
// spring, and the rows below it slide up.

#include "ui/animation.h"
#include "ui/press_style.h"
#include "ui/text_face.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <optional>
#include <unordered_map>
#include <vector>

class MutedList : public QWidget {
    Q_OBJECT

public:
    struct Row {
        QString name;  // as stored: what unmuting removes
        QString shown; // what is painted
        std::optional<QString> bundlePath;
        bool operator==(const Row&) const = default;
    };

    static constexpr int rowHeight = 42;
    // A row and the hairline above it; the first row's hairline lies just
    // above the list, out of sight.
    static constexpr int pitch = rowHeight + 1;
    // More rows than this leaving at once, or survivors that changed order,
    // are placed without motion.
    static constexpr std::size_t maxLeaving = 32;

    // `unmute` is called with the stored name of a row whose button was
    // clicked (or pressed from the keyboard).
    explicit MutedList(std::function<void(const QString& name)> unmute, QWidget* parent = nullptr);
    ~MutedList() override;

    // Shows `rows`. Rows whose names are gone leave with motion when
    // `animated`; new rows appear in place.
    void setRows(std::vector<Row> rows, bool animated);
    const std::vector<Row>& rows() const { return rows_; }
    std::size_t leavingCount() const { return leaving_.size(); }

    // Where row `index`'s Unmute text lies now, in the list's coordinates;
    // empty for no such row.
    QRectF unmuteRect(int index) const;
    // The row drawn at height `y`, or -1 (none, or a row on its way out).
    int rowAt(double y) const;
    // The row the keyboard acts on while the list has focus, or -1.
    int current() const { return current_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    struct Leaving {
        Row row;
        // The index of the row it stood before (rows_.size() at the end).
        int before = 0;
        // Share of a pitch it still takes, and its opacity.
        AnimatedValue extent{1.0};
        AnimatedValue opacity{1.0};
    };
    // The Unmute text's answer to the pointer, kept per name while it shows.
    struct Feedback {
        AnimatedValue hover{0.0};
        PressMotion press;
    };

    // Top of row `index` (its hairline), in the list's coordinates.
    double topOf(int index) const;
    double contentHeight() const;
    QRectF labelRect(double top) const;
    void paintRow(QPainter& painter, const Row& row, double top);
    void setHovered(std::optional<QString> name);
    void track(const QPointF& at);
    void setCurrent(int index);
    void place();
    void animate();
    void settle();

    std::function<void(const QString&)> unmute_;
    std::vector<Row> rows_;
    // In order of `before`.
    std::vector<Leaving> leaving_;
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
