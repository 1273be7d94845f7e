// The connection reader on arbitrary tool output, fed twice so the rate
// paths run too; then the endpoint and scope rules on the same bytes.

#include "engine/net_top.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    static NetTop reader("/nonexistent");
    static double now = 1;
    reader.ingest(text, now);
    reader.ingest(text, now + 2);
    now += 4;
    {
        std::lock_guard guard(reader.lock);
        for (const Connection& c : reader.latest.connections)
            if (c.rateIn < 0 || c.rateOut < 0)
                __builtin_trap();
    }
    NetTop::endpoint(text, false);
    NetTop::endpoint(text, true);
    NetTop::scope(text);
    return 0;
}
