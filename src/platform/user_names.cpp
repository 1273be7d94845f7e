#include "platform/user_names.h"

#include <cerrno>
#include <pwd.h>
#include <unistd.h>

#include <vector>

namespace UserNames {

std::optional<std::string> loginName(uint32_t uid)
{
    const long hint = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(hint > 0 ? std::size_t(hint) : 1024);
    for (;;) {
        struct passwd entry{};
        struct passwd* found = nullptr;
        const int error = ::getpwuid_r(uid_t(uid), &entry, buffer.data(), buffer.size(), &found);
        // An entry longer than the buffer: ask again with more room, within
        // reason.
        if (error == ERANGE && buffer.size() < (1u << 20)) {
            buffer.resize(buffer.size() * 4);
            continue;
        }
        if (error != 0 || !found || !found->pw_name || !*found->pw_name)
            return std::nullopt;
        return std::string(found->pw_name);
    }
}

} // namespace UserNames
