// tavrin-nettop: prints one snapshot of this user's sockets, grouped by
// process, as comma-separated lines, then exits. It takes the arguments
// "-L 1 -x -n -J state,bytes_in,bytes_out" and always prints that form.

#include "nettop_proc.h"
#include "platform/netlink_diag.h"
#include "platform/nettop_format.h"

#include <net/if.h>
#include <unistd.h>

#include <cstdio>

namespace {

std::string interfaceName(uint32_t index)
{
    char name[IF_NAMESIZE] = {};
    return if_indextoname(index, name) ? std::string(name) : std::string();
}

} // namespace

int main()
{
    // Owners first: a socket opened after its owner was scanned is simply
    // left out of this snapshot instead of showing up unowned.
    // Pids wrap: a descriptor our parent leaked to us would otherwise be
    // counted as ours whenever we got the lower pid.
    const auto owners = nettop::socketOwners("", static_cast<int32_t>(::getpid()));
    auto sockets = nettop::dumpSockets();
    // Without netlink, the /proc tables still list every socket, only
    // without byte counters.
    const std::string text = nettop::format(sockets ? *sockets : nettop::readProcNet(""), owners, interfaceName);

    const char* p = text.data();
    size_t left = text.size();
    while (left > 0) {
        const ssize_t n = ::write(STDOUT_FILENO, p, left);
        if (n <= 0)
            return 1;
        p += n;
        left -= static_cast<size_t>(n);
    }
    return 0;
}
