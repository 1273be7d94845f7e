#include "update/release_feed.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    if (auto feed = ReleaseFeed::decode(bytes)) {
        for (const Release& r : feed->releases) {
            // A version that parses orders equal to itself and keeps no
            // negative field.
            if (auto key = r.key()) {
                if (AppVersion::order(*key, *key) != 0)
                    __builtin_trap();
                for (int64_t f : key->fields)
                    if (f < 0)
                        __builtin_trap();
            }
            feed->entryFor(r.version);
        }
    }
    AppVersion::parse(QString::fromUtf8(bytes));
    return 0;
}
