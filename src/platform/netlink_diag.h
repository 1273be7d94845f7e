#pragma once
// Socket lists from the kernel's sock_diag netlink interface. Needs no
// privilege; every user sees every socket, with TCP byte counters.

#include "platform/nettop_format.h"

#include <vector>

namespace nettop {

// A sock_diag socket (close-on-exec), kept for repeated dumps; -1 without
// netlink.
int openDiagSocket();

// TCP and UDP over IPv4 and IPv6, with TCP byte counters, replacing `out`.
// False when a dump fails; the socket may then hold the rest of a reply, so
// close it.
bool dumpSockets(int fd, std::vector<Socket>& out);

} // namespace nettop
