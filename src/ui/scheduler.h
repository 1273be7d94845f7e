#pragma once
// Delayed actions on the main thread. Owners never keep timer objects: a
// delayed action is guarded by its context object (it is dropped when the
// context is gone) and, where a newer request must supersede an older one,
// by a Token that the action compares when it runs.

#include <QObject>
#include <QPointer>

#include <cstdint>
#include <functional>
#include <vector>

class Scheduler {
public:
    virtual ~Scheduler() = default;

    // Seconds on a monotonic clock; only differences mean anything.
    virtual double now() const = 0;

    // Runs `action` on the main thread `seconds` from now (at once on a later
    // turn of the event loop when `seconds` is 0, negative or not a number).
    // The action is dropped if `context` has been destroyed by then; a null
    // context means the action is unguarded.
    virtual void after(double seconds, QObject* context, std::function<void()> action) = 0;

    // The process-wide scheduler: the main event loop unless a test has
    // installed another one.
    static Scheduler& current();
    // Installs a scheduler (not owned); nullptr restores the event loop.
    static void install(Scheduler* scheduler);
    // Counts installs: work posted to a scheduler that has since been
    // replaced will never run, and its owner can tell by this changing.
    static std::uint64_t installs();
};

// The event loop's scheduler: QTimer single shots against steady_clock.
class MainScheduler final : public Scheduler {
public:
    double now() const override;
    void after(double seconds, QObject* context, std::function<void()> action) override;
};

// A scheduler driven by hand. Time moves only through advance(); due actions
// run in deadline order, first scheduled first among equal deadlines.
class ManualScheduler final : public Scheduler {
public:
    double now() const override { return now_; }
    void after(double seconds, QObject* context, std::function<void()> action) override;

    // Moves the clock forward by `seconds`, running every action that falls
    // due on the way, including actions scheduled by those actions.
    void advance(double seconds);
    // Runs the actions that are due now (those posted with no delay).
    void runPending() { advance(0); }
    // Actions still waiting, dropped ones included until their deadline.
    std::size_t pending() const { return queue_.size(); }

private:
    struct Entry {
        double deadline;
        std::uint64_t order;
        bool guarded;
        QPointer<QObject> context;
        std::function<void()> action;
    };
    double now_ = 0;
    std::uint64_t nextOrder_ = 0;
    std::vector<Entry> queue_;
};

// Installs a ManualScheduler for the lifetime of a scope (tests).
class ScopedManualScheduler {
public:
    ScopedManualScheduler() { Scheduler::install(&scheduler); }
    ~ScopedManualScheduler() { Scheduler::install(nullptr); }
    ScopedManualScheduler(const ScopedManualScheduler&) = delete;
    ScopedManualScheduler& operator=(const ScopedManualScheduler&) = delete;

    ManualScheduler scheduler;
};

// The counter behind "a newer request cancels an older one": issue() before
// scheduling, isLatest() when the action runs.
class Token {
public:
    std::uint64_t issue() { return ++value_; }
    bool isLatest(std::uint64_t issued) const { return issued == value_; }
    std::uint64_t value() const { return value_; }

private:
    std::uint64_t value_ = 0;
};
