#pragma once
// The seal of a bundle: Contents/_CodeSignature/CodeResources lists every
// entry (path, type, mode, size and SHA-256, or a link's target) and
// CodeResources.sig is an Ed25519 signature over its bytes by a developer
// key. The attestation, Contents/_CodeSignature/Notarization, ties one
// manifest to one version and carries a separate release key's signature.
// Sealing and checking share the key handling, the hashing, the walk and
// the rules for what a bundle may hold; the check parses the manifest and
// compares it with its own walk.

#include "update/unique_fd.h"
#include "update/zip_archive.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <sys/stat.h>

#include <map>
#include <optional>
#include <vector>

namespace Seal {

inline constexpr const char* identifier = "com.morvadel.Tavrin";
inline constexpr const char* team = "4172QZWM53";

// Public keys (PEM text) a bundle may be sealed and attested with.
struct Keys {
    std::vector<QByteArray> dev;
    std::vector<QByteArray> release;
};

// The keys compiled into this build; empty when none were configured.
const Keys& builtIn();

// The architecture a bundle must be built for to run here.
QString architecture();

// SHA-256 as lower-case hex of bytes, or of a file read through an open
// descriptor (nothing on a read error: a partial digest never passes).
QString sha256(const QByteArray& bytes);
std::optional<QString> sha256File(int fd);

// Ed25519 over `message`. Keys are PEM; a key of another kind fails.
std::optional<QByteArray> sign(const QByteArray& message, const QByteArray& privatePem);
bool verifySignature(const QByteArray& message, const QByteArray& signature,
                     const std::vector<QByteArray>& publicPems);

// The canonical manifest of the bundle's current contents (sealing side).
// Nothing, with a reason, when the bundle holds what a seal cannot cover.
std::optional<QByteArray> manifest(const QString& bundle, const QString& arch, QString* why = nullptr);

// Writes CodeResources and CodeResources.sig (sealing side). Modes that
// expansion would not give back (group or other write, setuid, setgid,
// sticky, a folder its owner cannot enter) are first set in the bundle to
// the ones it will, each change a line in `normalised`; a bundle that
// breaks the other rules, or holds a file whose mode denies its owner
// reading, is refused with the entry named.
bool seal(const QString& bundle, const QByteArray& devPrivatePem, QString* why = nullptr,
          QStringList* normalised = nullptr);
// Writes Notarization and Notarization.sig for the sealed manifest and the
// version in the bundle's Info.json.
bool attest(const QString& bundle, const QByteArray& releasePrivatePem, QString* why = nullptr);

// One entry of a manifest: a file (mode, size, digest), a directory (mode)
// or a link (target).
struct ManifestEntry {
    QString type;
    int mode = 0;
    qint64 size = 0;
    QString sha256;
    QString target;
};

// The rules every sealed bundle keeps, for the sealer and the check alike:
// each mode is one expansion gives back and lets a file's owner read it,
// and each link, followed through the entries link after link, lands on an
// entry inside the bundle without stepping above it. Empty when the entries
// keep them, else the reason.
QString refusal(const std::map<QString, ManifestEntry>& entries);

// Reads a signed manifest's text: nothing when it is not for this
// application and architecture, lists a path twice, or breaks the rules
// above.
std::optional<std::map<QString, ManifestEntry>> parseManifest(const QByteArray& bytes, const QString& arch);

struct Ticket {
    QString manifest;  // SHA-256 of the manifest it attests
    QString version;
    qint64 build = 0;
};
// Reads an attestation's text: nothing when it is not for this application.
std::optional<Ticket> parseTicket(const QByteArray& bytes);

enum class Verdict { ok, signatureInvalid, notarizationFailed };

// Checks the signature, walks the bundle without following links and
// demands an exact match with the manifest, then checks the attestation.
Verdict check(const QString& bundle, const Keys& keys, const QString& arch = architecture());

// Whether what was written into an archive of `bundle` is exactly what its
// seal lists: the seal's folder holding the list, its signature and at most
// the attestation, and every other entry of the type, mode, size and
// digest, or link target, sealed. Needs no key: it reads the list, not the
// signature over it. Empty when it is, else the first entry that differs,
// named with `bundle` before it.
QString uncovered(const QString& bundle, const std::vector<ZipArchive::Written>& written);

// Reads a regular file (never a link, FIFO or device) up to `cap` bytes.
std::optional<QByteArray> readPlain(const QString& path, qint64 cap);

// Opens a file given to a release tool (a key, an archive) for reading:
// only a regular file, a link to one followed. It is opened without
// waiting, so a FIFO or a device is refused at once rather than read. An
// invalid descriptor, with a reason naming the file as `what`, for anything
// else; `st` receives what the open file is.
UniqueFd openRegularFile(const QString& path, const QString& what, QString* why = nullptr,
                         struct stat* st = nullptr);

// Reads a key file given to a release tool: a regular file, opened as
// above, of at most 64 KiB. Nothing, with a reason naming the file, for
// anything else.
std::optional<QByteArray> readKeyFile(const QString& path, QString* why = nullptr);

} // namespace Seal
