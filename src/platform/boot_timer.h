#pragma once
// Waits measured on the boot clock, which keeps counting while the machine
// sleeps: a wait due during a suspend ends as soon as the machine wakes,
// where the event loop's own timers would stand still.

#include <QObject>

#include <functional>

namespace BootTimer {

// Seconds on the boot clock; only differences mean anything.
double now();

// Runs `action` on the calling thread's event loop once the boot clock
// reaches `due`, or on a later turn of the loop when it already has. The
// action is dropped if `context` is destroyed first.
void at(double due, QObject* context, std::function<void()> action);

} // namespace BootTimer
