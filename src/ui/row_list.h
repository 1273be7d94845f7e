#pragma once
// The one painted list of rows. Each row is known by an id and has a height;
// when the rows change, survivors slide to their new places, removed rows
// fade out where they stood, new rows fade in, and the scroll offset moves
// in the same timeline. A subclass supplies the rows and paints them; the
// list keeps the motion, the scroll and its indicator, the pointer's wash,
// clicks and context menus. A list may also leave the scrolling to a scroll
// area around it and take its rows' full height. The order maths below it
// is pure.

#include "ui/animation.h"
#include "ui/interaction_hold.h"

#include <QAbstractScrollArea>
#include <QColor>
#include <QImage>
#include <QPixmap>
#include <QString>

#include <any>
#include <cmath>
#include <cstdint>
#include <functional>
#include <optional>
#include <unordered_map>
#include <vector>

class QMenu;
class QPainter;

// A row as the list moves it: its id and its height in pixels.
struct RowSlot {
    QString id;
    double extent = 0;
    double height() const { return extent; }
};

// How the shown rows move to new ones.
struct ReconcilePlan {
    // The row that keeps its height on screen, and its distance from the
    // top of the visible area.
    struct Anchor {
        QString id;
        double offset = 0;
    };

    bool changed = false;
    bool reload = false;
    // The anchored row moved by five or more places: reload with a
    // cross-fade.
    bool jumped = false;
    std::vector<int> removed; // indexes in the old rows
    int inserted = 0;
};

// Large changes (over 200 rows), changes while the list is not shown, a
// first fill and jumps of the anchored row reload; the rest animates.
ReconcilePlan planReconcile(const std::vector<QString>& oldIds, const std::vector<QString>& newIds,
                            const std::optional<ReconcilePlan::Anchor>& anchor, bool listShown);

// Rows are anything with an `id` and a `height()`.
template <class Row>
std::vector<QString> rowIds(const std::vector<Row>& rows)
{
    std::vector<QString> ids;
    ids.reserve(rows.size());
    for (const Row& row : rows)
        ids.push_back(row.id);
    return ids;
}

template <class Row>
std::vector<RowSlot> rowSlots(const std::vector<Row>& rows)
{
    std::vector<RowSlot> result;
    result.reserve(rows.size());
    for (const Row& row : rows)
        result.push_back(RowSlot{row.id, row.height()});
    return result;
}

// The top of each row and the total height.
template <class Row>
std::vector<double> rowTops(const std::vector<Row>& rows, double* total = nullptr)
{
    std::vector<double> tops;
    tops.reserve(rows.size());
    double y = 0;
    for (const Row& row : rows) {
        tops.push_back(y);
        y += row.height();
    }
    if (total)
        *total = y;
    return tops;
}

// The scroll offset that keeps the anchored row at its height, clamped to
// the content height; none when it would not move by more than half a
// pixel, or the row is gone.
template <class Row>
std::optional<double> anchoredOrigin(const std::optional<ReconcilePlan::Anchor>& anchor,
                                     const std::vector<Row>& rows, double viewportHeight,
                                     double currentOffset)
{
    if (!anchor || rows.empty())
        return std::nullopt;
    double y = 0;
    double content = 0;
    bool found = false;
    for (const Row& row : rows) {
        if (!found && row.id == anchor->id) {
            found = true;
            y = content;
        }
        content += row.height();
    }
    if (!found)
        return std::nullopt;
    const double limit = std::max(0.0, content - viewportHeight);
    const double offset = std::min(limit, std::max(0.0, y - anchor->offset));
    if (std::abs(offset - currentOffset) <= 0.5)
        return std::nullopt;
    return offset;
}

// Pictures of rows' content, kept per row id so that the frames of a slide
// only place images. `Key` is what the picture was drawn from; the caller
// compares it and redraws when it differs. Pictures not asked for between
// two sweeps go.
template <class Key>
class RowPictures {
public:
    struct Picture {
        QImage image;
        Key key{};
        bool drawn = false;
        std::uint64_t used = 0;
    };

    // The picture of `id`, sized to `size` at `ratio` (its content is stale
    // when the size changed) and marked as used.
    Picture& at(const QString& id, QSize size, qreal ratio)
    {
        Picture& picture = pictures_[id];
        picture.used = sweeps_;
        if (picture.image.size() != size * ratio || picture.image.devicePixelRatio() != ratio) {
            picture.image = QImage(size * ratio, QImage::Format_RGB32);
            picture.image.setDevicePixelRatio(ratio);
            picture.drawn = false;
        }
        return picture;
    }
    void sweep()
    {
        std::erase_if(pictures_, [this](const auto& entry) { return entry.second.used != sweeps_; });
        ++sweeps_;
    }
    std::size_t size() const { return pictures_.size(); }

private:
    std::unordered_map<QString, Picture, HoldDetail::Hash> pictures_;
    std::uint64_t sweeps_ = 0;
};

class RowList : public QAbstractScrollArea {
    Q_OBJECT

public:
    // What a row is drawn with; kept per row id, dropped when it leaves.
    struct RowState {
        AnimatedValue top;
        AnimatedValue opacity{1.0};
        AnimatedColor background;
        AnimatedValue accent;
        AnimatedValue chevron;
        AnimatedValue wash;
        double height = 0;
        // The look has been applied once; until then it is taken at once.
        bool styled = false;
        bool step(double dt) { return stepAll(dt, top, opacity, background, accent, chevron, wash); }
        bool moving() const
        {
            return top.moving() || opacity.moving() || background.moving() || accent.moving()
                || chevron.moving() || wash.moving();
        }
        // Every value jumps to where it was going.
        void settle();
    };

    explicit RowList(QWidget* parent = nullptr);
    ~RowList() override;

    // Scroll offset drawn now, and the one it moves to.
    double scrollOffset() const { return scroll_.value(); }
    double scrollTarget() const { return scroll_.target(); }
    // Where a row is drawn now (top, in content coordinates).
    std::optional<double> drawnTop(const QString& id) const;
    // The row under a viewport height, or -1.
    int rowAt(double viewportY) const;
    bool moving() const;
    // The rows shown, in order.
    const std::vector<RowSlot>& shownRows() const { return rows_; }
    double contentHeight() const { return content_; }
    double maxScroll() const;
    // Rows fading out now.
    std::size_t leavingCount() const { return leaving_.size(); }

protected:
    struct RowPaint {
        // The current row's index, or -1 for a row fading out.
        int index = -1;
        // What a fading row was handed in with.
        const std::any* leaving = nullptr;
        const RowState* state = nullptr;
        QRectF rect;
        // Rows are sliding or the list scrolls: a good time to place pictures.
        bool sliding = false;
    };
    // Paints one row in `paint.rect` (viewport coordinates).
    virtual void paintRow(QPainter& painter, const RowPaint& paint) = 0;
    // A left click released on the row it went down on.
    virtual void rowClicked(int row, QPointF position) { Q_UNUSED(row) Q_UNUSED(position) }
    // The row's context menu, owned by the caller; none shows nothing.
    virtual QMenu* rowMenu(int row, QWidget* parent)
    {
        Q_UNUSED(row) Q_UNUSED(parent)
        return nullptr;
    }
    // Whether a press on the row shows the press wash (rows with an action).
    virtual bool rowPressable(int row) const
    {
        Q_UNUSED(row)
        return true;
    }
    // The scroll offset settled on or drawn (to be stored), and scrolls the
    // user made, told apart from the list's own.
    virtual void scrollStored(double offset) { Q_UNUSED(offset) }
    virtual void userScrolled() {}
    // Scrolls count only once this is true (a restored offset comes first).
    virtual bool tracksScroll() const { return true; }
    // Rows start to slide.
    virtual void reorderBegan() {}
    // How rows fade in and out (`fade`) and how survivors slide.
    virtual Animation rowMotion(bool fade) const;

    // A list that does not scroll lives inside a scroll area of its own: it
    // takes its rows' full height, and more while rows sliding up or fading
    // out still reach below it (a fading row takes its height in step with
    // its opacity); it paints only what is exposed, over the ground beneath
    // it, and leaves the wheel to that scroll area.
    void setScrolls(bool scrolls);

    // Brings the shown rows to `next`: survivors slide, removed rows fade
    // out painted from what `leaving(oldIndex)` returns, new rows fade in;
    // a reload places everything at once. `anchor` stays at its height.
    ReconcilePlan reconcileRows(std::vector<RowSlot> next,
                                const std::optional<ReconcilePlan::Anchor>& anchor, bool shown,
                                const std::function<std::any(int)>& leaving);
    RowState* state(const QString& id);
    const RowState* state(const QString& id) const;
    // The selected row's anchor, when it is on screen.
    std::optional<ReconcilePlan::Anchor> anchorOf(int row) const;

    void scrollTo(double offset, const Animation& animation, double ownFor);
    void setScrollNow(double offset);
    void scrollIntoView(int row, bool reduced);
    void scrolled(bool own);
    // Subscribes to the frame clock while anything moves.
    void animate();
    void updateWash(const QString& id, bool animated);
    const std::optional<QString>& hoveredId() const { return hovered_; }
    const std::optional<QString>& pressedId() const { return pressed_; }

    // The wash of the row under the pointer and of a pressed row; the rows'
    // feedback by default.
    double hoverWash;
    double pressWash;
    // A mouse notch scrolls this many pixels (120 eighths of a degree).
    static constexpr double notchPixels = 48;
    // The scroll indicator shows this long after the last movement.
    static constexpr double indicatorSeconds = 0.8;
    // Switching time after the list's own scroll, when scrolls are not the user's.
    double ownScrollUntil = -1e9;

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    // The second of two quick presses comes as a double-click; a scroll
    // area drops it, but to a row it is one more press.
    void mouseDoubleClickEvent(QMouseEvent* event) override { mousePressEvent(event); }
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    // Takes the rows' drawn height when the list does not scroll.
    void fit();

    struct Leaving {
        RowSlot slot;
        RowState state;
        std::any item;
    };

    std::vector<RowSlot> rows_;
    std::vector<double> tops_;
    double content_ = 0;
    std::unordered_map<QString, RowState, HoldDetail::Hash> states_;
    std::vector<Leaving> leaving_;
    AnimatedValue scroll_;
    AnimatedValue indicator_;
    double indicatorUntil_ = 0;
    QPixmap swap_;
    AnimatedValue swapOpacity_;
    std::optional<QString> hovered_;
    std::optional<QString> pressed_;
    bool scrolls_ = true;
};
