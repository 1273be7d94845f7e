#pragma once
// What tavrin-nettop reads from /proc: who holds which socket, and the
// counter-less socket tables used when netlink is not available. Both take
// the root of the tree ("/" on a live system) so tests can use fixtures.

#include "platform/nettop_format.h"

#include <map>
#include <string>
#include <vector>

namespace nettop {

// Every process whose descriptor table we may read, with its name (comm) and
// the socket inodes it holds. Processes without sockets are left out, and so
// is `self`: the tool holds only what it inherited by mistake from its parent.
std::map<int32_t, Process> socketOwners(const std::string& root, int32_t self = 0);

// TCP and UDP over IPv4 and IPv6 from root/proc/net/{tcp,tcp6,udp,udp6}.
std::vector<Socket> readProcNet(const std::string& root);

} // namespace nettop
