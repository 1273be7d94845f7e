// tavrin-ps output as the restricted probe reads it, over two polls.

#include "engine/restricted_probe.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    RestrictedProbe probe("/nonexistent");
    probe.update(text, 1.0);
    probe.update(text.substr(size / 2), 3.0);
    for (const auto& [pid, usage] : probe.latest) {
        if (!(usage.first >= 0))
            __builtin_trap(); // a negative or NaN percentage is a fault
    }
    return 0;
}
