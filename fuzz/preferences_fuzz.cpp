#include "core/preferences.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    if (auto p = Preferences::decode(bytes)) {
        // Whatever decodes must encode and decode back to itself.
        auto again = p->encode();
        if (!again || Preferences::decode(*again) != p)
            __builtin_trap();
    }
    return 0;
}
