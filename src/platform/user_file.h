#pragma once
// Reading files the user can put anything at: the settings and the incident
// store. Only a regular file within a size cap is read; a FIFO, a device, a
// directory or a huge file is refused without ever blocking on it.

#include <cstdint>
#include <string>

namespace UserFile {

enum class State {
    missing,  // nothing at the path
    regular,  // a regular file within the cap
    refused,  // something else, or too large, or not openable
};

// What is at `path` (links followed), checked on an open descriptor so that
// a file swapped in between the check and the read cannot slip through.
// With `out`, a regular file's whole content is read into it.
State read(const std::string& path, uint64_t maxBytes, std::string* out = nullptr);

// Moves whatever is at `path` (a link itself, not its target) to `aside`,
// replacing an older file there. True when nothing is left at `path`.
bool moveAside(const std::string& path, const std::string& aside);

} // namespace UserFile
