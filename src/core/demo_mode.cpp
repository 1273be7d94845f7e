#include "core/demo_mode.h"

#include "platform/defaults.h"

namespace DemoMode {

bool read(const Defaults& defaults)
{
    return defaults.boolValue(QStringLiteral("demo"), false);
}

bool isOn()
{
    static const bool on = read(Defaults::standard());
    return on;
}

} // namespace DemoMode
