#pragma once
// Zip archives of bundles. Expansion takes an archive that holds one folder
// and nothing else, reads it through its central directory (which the local
// headers must agree with), and writes every entry relative to the destination's descriptor: never through
// a link, never over an existing entry, no "..", no absolute paths, only
// files, directories and links, modes masked to 0755, and caps on the entry
// count, path length, depth and the bytes actually written. Names, and the
// targets of links stored as they are, come out byte for byte as the
// archive holds them, in whatever Unicode form.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace ZipArchive {

struct Limits {
    int64_t entries = 100000;
    int pathLength = 4096;
    int depth = 64;
    int64_t totalBytes = int64_t(2) << 30;
    int64_t ratio = 50;  // at most this many times the archive's size
};

// The most bytes expansion writes from an archive `archiveSize` bytes long.
inline int64_t budget(int64_t archiveSize, const Limits& limits = {})
{
    return std::min(limits.totalBytes, archiveSize * limits.ratio);
}

// The mode an entry of `mode` gets on expansion: group and other write,
// setuid, setgid and sticky dropped, and a folder always open to its owner.
inline int expandedMode(bool folder, int mode) { return (mode & 0755) | (folder ? 0700 : 0); }

// Expands `zip` into `destination`, which must not exist yet and is made
// with mode 0700. False, with a reason, on the first entry that breaks a
// rule; what was written so far stays for the caller to remove. `noSpace`
// says whether the writing stopped because the file system (or the quota)
// was full.
bool expand(const QString& zip, const QString& destination, QString* why = nullptr, const Limits& limits = {},
            bool* noSpace = nullptr);

// Whether expansion would take the archive open at `fd`: everything
// `expand` checks before it writes a byte (the directory and headers, the
// caps, each entry's kind and place, and the sizes the entries declare
// against the budget), judged without writing. False, with a reason, on
// the first rule broken.
bool admits(int fd, QString* why = nullptr, const Limits& limits = {});

// The entry names of a whole archive held in memory, in the order its
// central directory lists them, once the directory, every local header and
// the end record agree: each entry's local header starts where the one
// before it ends (the first at the very first byte), repeats its name,
// method and sizes, and the directory and its end record, comment
// included, close the file. Nothing, with a reason, for anything else: bytes
// before, between or after the entries, a second end record, encrypted or
// split archives, or zip64 fields on an entry (a 64-bit end record, which a
// large entry count needs, is read). Pure: it only reads the bytes given.
std::optional<std::vector<std::string>> directory(const unsigned char* data, size_t size, QString* why = nullptr);

// One entry as `write` put it into the archive: its path inside the top
// folder (empty for the folder itself), its kind and mode, and a file's
// size and the SHA-256 of the bytes written, or a link's target.
struct Written {
    enum class Kind { file, folder, link };
    QByteArray path;
    Kind kind = Kind::file;
    int mode = 0;
    int64_t size = 0;
    QString sha256;
    QByteArray target;
};
// Judges what went into an archive before it takes the archive's name:
// empty to let it, else the reason to refuse it.
using Judge = std::function<QString(const std::vector<Written>&)>;

// Writes the tree at `source` into a zip whose top level holds it under its
// own name, with Unix modes and links kept, and which `admits` takes: an
// entry that deflates past the ratio expansion allows is stored as it is,
// its name added to `stored`. `store` skips compression throughout. Names
// are read as bytes and stored as UTF-8, flagged so; a name that is not
// UTF-8 is refused. The archive is written beside `zip`, locked while it
// is, and renamed to it only once whole and, given `judge`, judged; on
// failure nothing new is left there. Part files of an earlier write to the
// same name that no live writer holds (one killed midway) are removed
// first. `zip` must be a regular file or not exist yet, and not lie inside
// `source`.
bool write(const QString& source, const QString& zip, bool store = false, QString* why = nullptr,
           QStringList* stored = nullptr, const Judge& judge = {});

} // namespace ZipArchive
