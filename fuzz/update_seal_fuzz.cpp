#include "update/seal.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    if (auto entries = Seal::parseManifest(bytes, QStringLiteral("x86_64"))) {
        // No accepted link may point out of the bundle.
        for (const auto& [path, e] : *entries)
            if (e.type == QLatin1String("link") && e.target.startsWith(u'/'))
                __builtin_trap();
    }
    Seal::parseTicket(bytes);
    Seal::verifySignature(bytes, bytes.left(64), {});
    return 0;
}
