#pragma once
// The bubble canvas of the Field mode. Every application group is a bubble
// whose place, size, form and opacity come from FieldSim, and whose colours,
// thread ticks, labels, incident halo, selection ring and traffic dots come
// from its figures. One painted canvas draws them all from cached text and
// icon pictures. Two frame-clock subscriptions drive it: the simulation's,
// only while something is unsettled, and the endless motions' (spin, halo,
// ring, dots), only while one of them shows; both stop while hidden. Each
// frame repaints only the bubbles whose picture changed.
//
// It also runs the three phases of a mode switch: live, the collapse into
// the process list's rows, and the dissolve towards any other mode; and it
// takes the pointer: hover, tooltip, press, drag and throw, click and the
// context menu.

#ifndef Q_MOC_RUN
#include "core/incident.h"
#include "core/records.h"
#include "field/dirty_tiles.h"
#include "field/dot_sprites.h"
#include "field/field_sim.h"
#include "field/field_style.h"
#include "ui/animation.h"
#include "ui/scheduler.h"
#endif

#include <QHash>
#include <QPixmap>
#include <QPointer>
#include <QStaticText>
#include <QWidget>

#include <functional>
#include <map>
#include <optional>

class Monitor;
class QMenu;

// A picture drawn once and copied on every repaint: the colour it was drawn
// in and, for a ring, the bubble's radius it was drawn for.
struct Art {
    QPixmap picture;
    QRgb color = 0;
    double radius = -1;
};

class FieldLayerView : public QWidget {
    Q_OBJECT

public:
    enum class Phase { live, toRows, dissolve };

    // Builds the context menu of a group; the caller owns the menu.
    using MenuFactory = std::function<QMenu*(const GroupSample&, QWidget* parent)>;

    // `monitor` is watched, not owned: without it the field still runs, with
    // no row anchors, no saved layout and no menu.
    explicit FieldLayerView(Monitor* monitor, QWidget* parent = nullptr);
    ~FieldLayerView() override;

    std::function<void(const std::optional<QString>&)> onSelect;
    MenuFactory menuFactory;

    void apply(const std::vector<GroupSample>& groups, const QHash<QString, Severity>& flags,
               const std::optional<QString>& selection, int threadLimit);
    void transition(bool fromRows, Phase phase);
    // Bands along the edges that resting bubbles keep clear of.
    void setInset(const QMarginsF& inset);
    const QMarginsF& inset() const { return sim_.inset; }
    // Where no traffic dot is drawn (the legend's text lies there).
    void setKeepOut(const QRectF& rect);

    Phase phase() const { return phase_; }
    bool entered() const { return entered_; }
    const FieldSim& sim() const { return sim_; }
    const std::vector<GroupSample>& groups() const { return groups_; }
    // The live field is fully drawn and hides whatever lies under it.
    bool covering() const { return covering_; }
    bool ticking() const;
    bool motionTicking() const;
    const std::optional<QString>& hovered() const { return hovered_; }
    // The hover and press scale a bubble is drawn at now.
    double scale(const QString& key) const;
    // The tooltip's text and box while it shows.
    std::optional<std::pair<QString, QRectF>> tip() const;
    // Bubble repaints asked for since the view was made (tests, benchmarks).
    int repaints() const { return repaints_; }

    // One frame of each subscription, as the shared clock calls them;
    // public so benchmarks can drive the canvas.
    bool simFrame();
    bool motionFrame();

signals:
    void coveringChanged(bool covering);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // The endless motions in whole steps: device pixels for the ring's
    // dashes and the dots, two of them for the ticks, opacity steps for the
    // halo.
    struct Steps {
        long long spin = 0, march = 0, throb = 0, flow = 0;
        bool operator==(const Steps&) const = default;
    };
    // What one bubble was last painted with; a frame repaints it only when
    // this changes.
    struct Drawn {
        QRectF box;
        QPointF pos;
        double r = -1, alpha = -1, form = -1, scale = -1;
        Steps steps;
        // Set when colours, figures or counts changed: the whole bubble
        // repaints.
        bool stale = true;
        bool operator==(const Drawn&) const = default;
    };

    struct Node {
        GroupSample group;
        double radius = -1;
        QColor fill, stroke, tickColor;
        double strokeWidth = 1;
        double tickSpeed = 0.15;
        int tickCount = 0;
        bool ticksShown = false;
        bool selected = false;
        std::optional<Severity> flag;
        std::optional<double> nameSize;
        // The whole name and figures, their widths and line heights at the
        // present sizes, and what of them shows where the bubble stands now.
        QString nameText, detailText;
        double nameWidth = 0, nameHeight = 0, detailWidth = 0;
        QString nameShown, detailShown;
        QStaticText name;
        QStaticText detail;
        mutable Art nameArt, detailArt;
        int dots[2] = {0, 0};
        double spin = 0; // radians
        // Where each endless motion is drawn: it moves on only by whole
        // steps, when its old and new pixels are repainted, so a repaint of
        // any part of the canvas draws the same picture.
        double spinAt = 0;
        double flowAt = 0, marchAt = 0, throbAt = 0; // on the motion clock
            Animated<double> scale{1.0};
        QPixmap icon;
        bool hasIcon = false;
        // The disc drawn once per radius and colour: a large antialiased
        // circle costs far more to fill than to copy.
        mutable QPixmap discArt;
        mutable double discRadius = -1;
        // The halo's ring, likewise, at full strength.
        mutable Art haloArt;
        Drawn drawn;
    };

    void wake();
    void stopClocks();
    void ensureMotion();
    void sleepUntilNextStep();
    bool hasMotion(const Node& node) const;
    static bool hasMotion(const Node& node, const FieldSim::Body& body);
    double now() const;
    void enter();
    void begin(Phase phase);
    void style(Node& node);
    static QRectF nameRect(const Node& node, double r);
    static QRectF detailRect(const Node& node, double r);
    QRectF onCanvas(const Node& node, const QRectF& local) const;
    void measureLabels(Node& node);
    void placeLabels();
    void resizeNode(Node& node, double r, bool force);
    void saveLayout();
    std::map<QString, QPointF> layoutHint() const;
    struct Rows {
        std::map<QString, QPointF> visible;
        std::map<QString, double> away;
    };
    std::optional<Rows> rowPoints() const;
    void hideRowIcons(const std::map<QString, QPointF>& rows);
    void setCovering(bool covering);

    Drawn drawnState(const Node& node, const FieldSim::Body& body, double ratio) const;
    Steps motionSteps(const Node& node, const FieldSim::Body& body, double ratio) const;
    void refreshNode(Node& node);
    void refreshNode(Node& node, const FieldSim::Body& body, double ratio);
    void markTicks(const Node& node);
    void markDots(const Node& node, const int (&counts)[2]);
    DirtyTiles& dirtyTiles();
    void flushDirty();
    void paintNode(QPainter& p, const Node& node, const FieldSim::Body& body, const DirtyTiles& area) const;
    void paintDots(QPainter& p, const Node& node, double shell, const DirtyTiles& area) const;
    const QPixmap& discArt(const Node& node, double r) const;
    const QPixmap& haloArt(const Node& node, double r, const QColor& color) const;
    void paintTip(QPainter& p) const;

    // Pointer.
    void trackPointer();
    void hover(const std::optional<QPointF>& point, const std::optional<QString>& forced);
    void setHover(const std::optional<QString>& key);
    void release();
    void setScale(const std::optional<QString>& key, double scale);
    void showTip(const QString& key, QPointF point);
    void hideTip();

    QPointer<Monitor> monitor_;
    FieldSim sim_;
    QRectF keepOut_;
    std::map<QString, Node> nodes_;
    std::vector<GroupSample> groups_;
    QHash<QString, Severity> flags_;
    std::optional<QString> selection_;
    int threadLimit_ = 400;
    std::optional<QString> hovered_;
    std::optional<QString> pressedKey_;
    bool dragMoved_ = false;
    bool fromRows_ = false;
    bool entered_ = false;
    Phase phase_ = Phase::live;
    bool pointerInside_ = false;
    bool pinBlocked_ = false;
    QPointF pointer_;
    bool covering_ = false;
    double motionTime_ = 0;
    QObject motionOwner_;
    bool spinSleeping_ = false;
    // The ticks turn in steps of two device pixels at their outer ends.
    // Each step repaints a ring round the bubble; two pixels halve what a
    // resting field spends on them and still read as a steady turn.
    static constexpr double spinStep = 2;
    // The dots' travel in pixels a second: 26 in a period.
    static constexpr double flowRate = 26 / FieldStyle::flowPeriod;
    // The shortest time between two frames of the endless motions.
    static constexpr double motionInterval = 1.0 / 30;
    // How late the ticks' next step may come, to share another's frame.
    static constexpr double spinSlack = 0.08;
    // And how late the dots' may.
    static constexpr double flowSlack = 0.035;
    // How far a bubble may creep from where it was drawn before it is
    // drawn again, in pixels.
    static constexpr double restDrift = 0.25;
    std::optional<QString> tipKey_;
    QString tipText_;
    QRectF tipBox_;
    QStaticText tipLayout_;
    QString simulatedBubble_;
    double simulatedUntil_ = 0;
    int repaints_ = 0;
    mutable DotSprites dotSprites_;
    // What the endless motions moved since the last frame asked for a paint.
    DirtyTiles dirty_;
    // The area one paint covers, for finding what it meets.
    DirtyTiles paintArea_;
    // Some bubble moved, resized or changed its texts since the labels were
    // last placed.
    bool labelsDirty_ = false;
    // The widths of shortened labels, by font size (0 for the figures).
    std::map<std::pair<double, QString>, double> shortWidths_;
};
