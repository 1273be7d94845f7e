#pragma once
// The one frame clock every animation runs on. It ticks about 60 times a
// second only while some owner is subscribed, and stops as soon as the last
// one leaves, so nothing animates and nothing repaints while nothing moves.
// An owner whose motion moves a whole pixel only now and then may snooze
// until its next one: while every owner snoozes, the clock sleeps until the
// first is due. Snoozes end on the clock's frame grid, so owners due at
// about the same moment share one frame and one repaint; an owner that can
// wait a little longer says how much, and rides on another's frame when one
// comes within that slack.
// Frames are posted through the Scheduler, so tests drive them with a
// ManualScheduler. Main thread only.

#include "ui/scheduler.h"

#include <QObject>
#include <QPointer>

#include <cstdint>
#include <functional>
#include <vector>

class FrameClock {
public:
    // Called once a frame with the seconds since the last one; returns
    // whether the owner wants another frame. Returning false unsubscribes.
    using Frame = std::function<bool(double dt)>;

    static constexpr double interval = 1.0 / 60;
    // The longest step a frame reports, so a stalled loop resumes gently.
    static constexpr double maxStep = 0.25;

    static FrameClock& shared();

    // Frames go through `scheduler`, or through Scheduler::current() at the
    // time each frame is posted when none is given.
    explicit FrameClock(Scheduler* scheduler = nullptr);
    ~FrameClock();
    FrameClock(const FrameClock&) = delete;
    FrameClock& operator=(const FrameClock&) = delete;

    // One subscription per owner: subscribing again replaces its frame. The
    // subscription ends with the owner.
    void subscribe(QObject* owner, Frame frame);
    void unsubscribe(const QObject* owner);
    bool subscribed(const QObject* owner) const;
    // The owner's next frame comes no sooner than `seconds` from now, on
    // the first frame of the grid at or after that; its dt then spans the
    // whole wait. With `slack`, the frame may come up to that much later:
    // on the first frame any owner takes within the window, or at its end.
    void snooze(const QObject* owner, double seconds, double slack = 0);

    bool running() const { return running_; }
    std::size_t subscribers() const;
    // Frames run since the clock was made.
    std::uint64_t frames() const { return frames_; }

private:
    struct Subscription {
        const QObject* key;
        QPointer<QObject> owner;
        Frame frame;
        std::uint64_t generation;
        bool removed = false;
        double last = 0;       // when it last had a frame
        double wake = -1e300;  // no frame before this
        double latest = -1e300; // and one by this, on the grid
    };

    Scheduler& scheduler() const;
    void start();
    double nextTick() const;
    void stop();
    void tick(std::uint64_t token);
    void purge();
    Subscription* find(const QObject* owner);
    const Subscription* find(const QObject* owner) const;

    Scheduler* fixed_;
    // Scheduler::installs() when the pending frame was posted.
    std::uint64_t pendingEpoch_ = 0;
    // Guards posted frames against a clock that is gone.
    QObject context_;
    Token token_;
    std::vector<Subscription> subscriptions_;
    std::uint64_t generation_ = 0;
    std::uint64_t frames_ = 0;
    double pendingAt_ = 0;
    bool running_ = false;
    bool ticking_ = false;
};
