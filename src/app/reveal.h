#pragma once
// Brings the main window's columns in one after another: hidden content is
// transparent and sits a little lower; shown, it fades in and rises into
// place, each column a little later than the one before. Hiding starts at
// once, whatever the order. The rise is a drawing offset: the content's
// geometry never changes.
//
//     Reveal::attach(instruments, 0)->follow(monitor);
//     Reveal::attach(centre, 1)->follow(monitor);
//
// The effect sits on the content only while it is hidden or moving, so a
// settled column paints as if it had none.

#include "ui/animation.h"
#include "ui/scheduler.h"

#include <QGraphicsEffect>
#include <QObject>
#include <QPointer>

class Monitor;
class QWidget;

class Reveal : public QObject {
    Q_OBJECT

public:
    // How far hidden content sits below its place, in pixels.
    static constexpr double rise = 12;
    // Seconds between a change to shown and the start of the motion:
    // 0.08 s for order 0, then 0.1 s more for each order. Fixed seconds,
    // never scaled by the motion scale (the spring's response is).
    static double delay(int order);
    // Where hidden content sits: lower, unless motion is reduced.
    static double hiddenOffset(bool reduceMotion) { return reduceMotion ? 0 : rise; }
    // The window's columns show once the first samples are in and the
    // welcome tour is not up.
    static bool shouldShow(const Monitor& monitor);

    // Puts `content` under a reveal of the given order. The reveal is a
    // child of the content and lives as long as it. Content first built
    // shown is drawn in place at once.
    static Reveal* attach(QWidget* content, int order, bool shown = false);

    Reveal(QWidget* content, int order, bool shown);

    // Follows `monitor` from now on: shown while shouldShow() holds. The
    // state it finds now is taken at once, without motion.
    void follow(Monitor& monitor);

    bool shown() const { return shown_; }
    int order() const { return order_; }
    // Animates to the new state; content not on screen jumps there.
    void setShown(bool shown);
    // Jumps to the state without motion.
    void setShownNow(bool shown);

    // What the content is drawn with now.
    double opacity() const { return opacity_.value(); }
    double offset() const { return offset_.value(); }
    // Waiting out the delay before it moves.
    bool waiting() const { return waiting_; }
    bool moving() const { return opacity_.moving() || offset_.moving(); }
    // Whether the drawing effect is installed on the content.
    bool effective() const { return effect_ != nullptr; }

private:
    void begin();
    void animate();
    void settle();
    void sync();

    QPointer<QWidget> content_;
    QPointer<QGraphicsEffect> effect_; // ours while installed
    int order_;
    bool shown_;
    bool waiting_ = false;
    Token token_;
    AnimatedValue opacity_;
    AnimatedValue offset_;
};
