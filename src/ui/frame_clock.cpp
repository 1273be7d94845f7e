#include "ui/frame_clock.h"

#include <algorithm>

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
    if (Subscription* s = find(owner)) {
        s->frame = std::move(frame);
        s->generation = ++generation_;
    } else {
        // An owner that died at this address before must not be matched.
        for (Subscription& s : subscriptions_)
            if (s.key == owner)
                s.removed = true;
        subscriptions_.push_back({owner, QPointer<QObject>(owner), std::move(frame), ++generation_});
    }
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

void FrameClock::start()
{
    Scheduler& on = scheduler();
    // A frame already posted to the scheduler in use will come; one posted
    // to a scheduler since replaced (a test's) never will.
    const std::uint64_t epoch = fixed_ ? 0 : Scheduler::installs();
    if (running_ && pendingEpoch_ == epoch)
        return;
    last_ = on.now();
    running_ = true;
    pendingEpoch_ = epoch;
    const std::uint64_t token = token_.issue();
    on.after(interval, &context_, [this, token] { tick(token); });
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
    const double dt = std::clamp(now - last_, 0.0, maxStep);
    last_ = now;
    ++frames_;

    ticking_ = true;
    // Owners may subscribe and unsubscribe from inside a frame; those added
    // now get their first frame next time.
    const std::size_t count = subscriptions_.size();
    for (std::size_t i = 0; i < count; ++i) {
        if (subscriptions_[i].removed || !subscriptions_[i].owner)
            continue;
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
