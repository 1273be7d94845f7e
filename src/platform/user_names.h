#pragma once
// Login names of users, by uid, from the system's user database (the passwd
// file or whatever NSS serves). What comes back is the database's text as
// it stands: the caller makes it plain before showing it. Qt-free.

#include <cstdint>
#include <optional>
#include <string>

namespace UserNames {

// The login name of `uid`; nothing when the database has no entry (or
// cannot be read).
std::optional<std::string> loginName(uint32_t uid);

} // namespace UserNames
