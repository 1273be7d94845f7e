#pragma once
// Whether anyone but this user (or root) could swap a folder we work in for
// one of their own: by owning it, or by writing in it or in a folder above
// it. The one rule for every folder the updater keeps copies in: the app's,
// the update folder, the home trash.

#include <QString>

#include <sys/types.h>

#include <optional>
#include <vector>

namespace FolderChain {

// Why a folder on the way fails the rule.
enum class Fault { notAFolder, othersOwn, othersWrite };

// One folder on the way up to "/", as lstat sees it.
struct Folder {
    QString path;
    uid_t owner = 0;
    mode_t mode = 0;
};

struct Unsafe {
    QString path;
    Fault fault = Fault::notAFolder;
};

// The first folder of `chain` (the folder itself first, "/" last) through
// which someone other than `user` or root could swap it: one that is not a
// folder, or belongs to someone else, or that others may write in. Above
// the first folder a sticky folder others may write in is fine when the
// folder below it on the way is the user's or root's, as with /tmp; the
// first folder itself has no such exception.
std::optional<Unsafe> firstUnsafe(const std::vector<Folder>& chain, uid_t user);
// The same for the folders of `folder` as they stand, with its links
// resolved first.
std::optional<Unsafe> unsafeOnPath(const QString& folder);
// The same for the folder open at `folderFd`, at the path it has now; it
// must still stand there once its folders are checked.
std::optional<Unsafe> unsafeOnPath(int folderFd);

} // namespace FolderChain
