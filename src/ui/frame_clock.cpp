#include "ui/frame_clock.h"

#include <algorithm>
#include <cmath>

FrameClock& FrameClock::shared()
{
    static FrameClock clock;
    return clock;
}

FrameClock::FrameClock(Scheduler* scheduler) : fixed_(scheduler) {}

FrameClock::~FrameClock() = default;

Scheduler& FrameClock::scheduler() const
{
    return fixed_ ? *fixed_ : Scheduler::current();
}

FrameClock::Subscription* FrameClock::find(const QObject* owner)
{
    for (Subscription& s : subscriptions_)
        if (s.key == owner && !s.removed && s.owner)
            return &s;
    return nullptr;
}

const FrameClock::Subscription* FrameClock::find(const QObject* owner) const
{
    return const_cast<FrameClock*>(this)->find(owner);
}

void FrameClock::subscribe(QObject* owner, Frame frame)
{
    if (!owner || !frame)
        return;
    const double now = scheduler().now();
    if (Subscription* s = find(owner)) {
        s->frame = std::move(frame);
        s->generation = ++generation_;
        s->wake = -1e300;
        s->latest = -1e300;
    } else {
        // An owner that died at this address before must not be matched.
        for (Subscription& s : subscriptions_)
            if (s.key == owner)
                s.removed = true;
        Subscription added{owner, QPointer<QObject>(owner), std::move(frame), ++generation_};
        added.last = now;
        subscriptions_.push_back(std::move(added));
    }
    start();
}

void FrameClock::snooze(const QObject* owner, double seconds, double slack)
{
    Subscription* s = find(owner);
    if (!s)
        return;
    const auto span = [](double v) { return std::isfinite(v) ? std::max(0.0, v) : 0.0; };
    const double at = scheduler().now() + span(seconds);
    // Up to the grid, less a hair so that a wake computed a little past a
    // grid line does not wait a whole frame more.
    const auto grid = [](double t) { return std::ceil(t / interval - 1e-3) * interval; };
    s->wake = grid(at);
    s->latest = std::max(s->wake, grid(at + std::min(span(slack), maxStep)));
    if (!ticking_)
        start();
}

void FrameClock::unsubscribe(const QObject* owner)
{
    for (Subscription& s : subscriptions_)
        if (s.key == owner)
            s.removed = true;
    if (!ticking_)
        purge();
    if (subscribers() == 0)
        stop();
}

bool FrameClock::subscribed(const QObject* owner) const
{
    return find(owner) != nullptr;
}

std::size_t FrameClock::subscribers() const
{
    return std::size_t(std::count_if(subscriptions_.begin(), subscriptions_.end(),
                                     [](const Subscription& s) { return !s.removed && s.owner; }));
}

void FrameClock::purge()
{
    std::erase_if(subscriptions_, [](const Subscription& s) { return s.removed || !s.owner; });
}

// When the next frame is due: one interval after the last frame of an
// owner that is not snoozing, or the first end of a snoozer's window. Every
// snoozer whose window has opened by then shares that frame.
double FrameClock::nextTick() const
{
    double next = 1e300;
    for (const Subscription& s : subscriptions_) {
        if (s.removed || !s.owner)
            continue;
        next = std::min(next, std::max(s.latest, s.last + interval));
    }
    return next;
}

void FrameClock::start()
{
    Scheduler& on = scheduler();
    const double now = on.now();
    const double at = std::max(nextTick(), now);
    if (at >= 1e300)
        return;
    // A frame already posted to the scheduler in use, no later than this
    // one, will come; one posted to a scheduler since replaced (a test's)
    // never will.
    const std::uint64_t epoch = fixed_ ? 0 : Scheduler::installs();
    if (running_ && pendingEpoch_ == epoch && pendingAt_ <= at + 1e-9)
        return;
    running_ = true;
    pendingEpoch_ = epoch;
    pendingAt_ = at;
    const std::uint64_t token = token_.issue();
    on.after(at - now, &context_, [this, token] { tick(token); });
}

void FrameClock::stop()
{
    token_.issue();
    running_ = false;
}

void FrameClock::tick(std::uint64_t token)
{
    if (!token_.isLatest(token))
        return;
    running_ = false;
    const double now = scheduler().now();
    ++frames_;

    ticking_ = true;
    // Owners may subscribe and unsubscribe from inside a frame; those added
    // now get their first frame next time.
    const std::size_t count = subscriptions_.size();
    for (std::size_t i = 0; i < count; ++i) {
        if (subscriptions_[i].removed || !subscriptions_[i].owner)
            continue;
        // Timers may fire a millisecond early; that is still this frame.
        if (subscriptions_[i].wake > now + 2e-3)
            continue;
        const double dt = std::clamp(now - subscriptions_[i].last, 0.0, maxStep);
        subscriptions_[i].last = now;
        subscriptions_[i].wake = -1e300;
        subscriptions_[i].latest = -1e300;
        const std::uint64_t generation = subscriptions_[i].generation;
        const Frame frame = subscriptions_[i].frame;
        const bool more = frame(dt);
        Subscription& s = subscriptions_[i];
        if (!more && s.generation == generation)
            s.removed = true;
    }
    ticking_ = false;
    purge();
    if (!subscriptions_.empty())
        start();
}
