#pragma once
// Seconds on the monotonic clock (time since boot, suspend excluded): the
// clock every rate, tick and rule of the engine is measured with.

#include <chrono>

inline double uptime()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}
