#include "platform/defaults.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Words separated by NUL, as argv arrives.
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QStringList words;
    for (const QByteArray& w : bytes.split('\0'))
        words << QString::fromLocal8Bit(w);
    const auto domain = Defaults::parseArguments(words);
    for (auto it = domain.begin(); it != domain.end(); ++it) {
        (void)Defaults::parseBool(it.value());
        (void)Defaults::parseInt(it.value());
        (void)Defaults::parseDouble(it.value());
    }
    return 0;
}
