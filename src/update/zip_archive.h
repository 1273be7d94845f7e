#pragma once
// Zip archives of bundles. Expansion reads through the central directory and
// writes every entry relative to the destination's descriptor: never through
// a link, never over an existing entry, no "..", no absolute paths, only
// files, directories and links, modes masked to 0755, and caps on the entry
// count, path length, depth and the bytes actually written.

#include <QString>

#include <cstdint>

namespace ZipArchive {

struct Limits {
    int64_t entries = 100000;
    int pathLength = 4096;
    int depth = 64;
    int64_t totalBytes = int64_t(2) << 30;
    int64_t ratio = 50;  // at most this many times the archive's size
};

// Expands `zip` into `destination`, which must not exist yet and is made
// with mode 0700. False, with a reason, on the first entry that breaks a
// rule; what was written so far stays for the caller to remove.
bool expand(const QString& zip, const QString& destination, QString* why = nullptr, const Limits& limits = {});

// Writes the tree at `source` into a zip whose top level holds it under its
// own name, with Unix modes and links kept. `store` skips compression.
bool write(const QString& source, const QString& zip, bool store = false, QString* why = nullptr);

} // namespace ZipArchive
