// Whatever the store file holds, decoding must neither crash nor accept a
// list that does not survive its own round trip.

#include "engine/incident_store.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const auto list = IncidentStore::decode(bytes);
    if (!list)
        return 0;
    const auto again = IncidentStore::decode(IncidentStore::encode(*list));
    if (!again || *again != *list)
        __builtin_trap();
    return 0;
}
