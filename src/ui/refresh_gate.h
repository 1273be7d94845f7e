#pragma once
// One queued refresh however many change signals arrive in one turn of the
// event loop: an intake fires several, and a view should rebuild its model
// once, from the whole change.

#include "ui/scheduler.h"

#include <QObject>

#include <functional>
#include <utility>

class RefreshGate {
public:
    // `refresh` runs on a later turn, and only while `owner` exists.
    RefreshGate(QObject* owner, std::function<void()> refresh)
        : owner_(owner), refresh_(std::move(refresh)) {}
    RefreshGate(const RefreshGate&) = delete;
    RefreshGate& operator=(const RefreshGate&) = delete;

    void schedule()
    {
        if (pending_)
            return;
        pending_ = true;
        Scheduler::current().after(0, owner_, [this] {
            pending_ = false;
            refresh_();
        });
    }
    bool pending() const { return pending_; }

private:
    QObject* owner_;
    std::function<void()> refresh_;
    bool pending_ = false;
};
