// tavrin-nettop's parsers on arbitrary bytes: a netlink reply, a /proc/net
// table and a descriptor link, and the printer on whatever they produced.

#include "platform/nettop_format.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<nettop::Socket> sockets;
    // The netlink buffer is word-aligned, as the kernel hands it.
    std::vector<uint32_t> aligned((size + 3) / 4);
    if (size)
        __builtin_memcpy(aligned.data(), data, size);
    nettop::parseDiagReply(reinterpret_cast<const uint8_t*>(aligned.data()), size,
                           size % 2 ? nettop::Proto::tcp : nettop::Proto::udp, sockets);

    const std::string_view text(reinterpret_cast<const char*>(data), size);
    auto table = nettop::parseProcNet(text, nettop::Proto::tcp, size % 3 == 0);
    sockets.insert(sockets.end(), table.begin(), table.end());
    nettop::socketInode(text);

    std::map<int32_t, nettop::Process> owners;
    for (size_t i = 0; i < sockets.size(); ++i)
        owners[static_cast<int32_t>(i % 3) + 1].inodes.push_back(sockets[i].inode);
    owners[1].name = std::string(text.substr(0, 32));
    const std::string out = nettop::format(sockets, owners);
    // Every printed line has exactly its fields: no name may add one.
    size_t commas = 0;
    for (char c : out) {
        if (c == ',')
            ++commas;
        else if (c == '\n') {
            if (commas != 4)
                __builtin_trap();
            commas = 0;
        }
    }
    return 0;
}
