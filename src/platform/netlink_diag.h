#pragma once
// Socket lists from the kernel's sock_diag netlink interface. Needs no
// privilege; every user sees every socket, with TCP byte counters.

#include "platform/nettop_format.h"

#include <optional>
#include <vector>

namespace nettop {

// TCP and UDP over IPv4 and IPv6, with TCP byte counters. Nothing when the
// netlink socket cannot be opened or a dump fails.
std::optional<std::vector<Socket>> dumpSockets();

} // namespace nettop
