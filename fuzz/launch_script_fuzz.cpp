// Launch scripts come from the command line and the settings file: any text
// must parse without fault, and every entry that survives must be usable
// as it stands.

#include "model/launch_script.h"

#include <QString>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const LaunchScript::Entry& entry : LaunchScript::parse(text)) {
        if (entry.name.isEmpty() || entry.name.contains(QLatin1Char(','))
            || entry.name.contains(QLatin1Char('@')))
            std::abort();
        if (!std::isfinite(entry.delay) || entry.delay < 0)
            std::abort();
    }
    if (const auto delay = LaunchScript::parseDelay(text); delay && text.isEmpty())
        std::abort();
    return 0;
}
