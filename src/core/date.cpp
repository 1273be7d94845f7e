#include "core/date.h"

#include <chrono>

Date Date::now()
{
    using namespace std::chrono;
    const auto since = system_clock::now().time_since_epoch();
    return fromUnix(duration<double>(since).count());
}
