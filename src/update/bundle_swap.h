#pragma once
// The file work of an update: the private work directory, the swap of the
// installed bundle for the staged one, and the relaunch.

#include "update/seal.h"
#include "update/update_error.h"

#include "update/unique_fd.h"

#include <QString>
#include <QStringList>

#include <sys/types.h>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace BundleSwap {

// ~/.cache/com.morvadel.Tavrin.update (XDG_CACHE_HOME honoured).
QString workDirectory();

// Holds a work directory for one update; a second running copy cannot
// take it meanwhile. The lock is a kernel lock (flock) on the file
// "<work directory>.lock", which lies only in a folder that this user owns
// and no one else may write to, so no other account can plant or hold it.
// It dies with the open file that holds it: whatever the file contains,
// and however old it is, only a live holder keeps others out.
class WorkLock {
public:
    // Nothing when another copy holds it (`busy` then says so) or when the
    // folder is not this user's alone.
    static std::unique_ptr<WorkLock> take(const QString& workDirectory, bool* busy = nullptr);

private:
    explicit WorkLock(UniqueFd fd) : fd_(std::move(fd)) {}
    UniqueFd fd_;
};

// Whether only this user (and root) can rename or replace entries in the
// folder: it is ours or root's, and neither group nor others may write in
// it. The sticky bit is no help here: between the two renames of a swap
// the bundle's name is free, and anyone who may write in the folder could
// take it.
bool isGuardedFolder(const QString& path);

// One folder on the way from the app's folder up to "/", as lstat sees it.
struct FolderOnPath {
    QString path;
    uid_t owner = 0;
    mode_t mode = 0;
};

struct UnsafeFolder {
    QString path;
    UpdateErrors::FolderFault fault = UpdateErrors::FolderFault::notAFolder;
};

// The first folder of `chain` (the app's folder first, "/" last) through
// which someone other than `user` or root could swap the app for their
// own: one that is not a folder, or belongs to someone else, or that others
// may write in. Above the app's folder a sticky folder others may write in
// is fine when the folder below it on the way is the user's or root's, as
// with /tmp; the app's own folder has no such exception.
std::optional<UnsafeFolder> firstUnsafeFolder(const std::vector<FolderOnPath>& chain, uid_t user);
// The same for the folders of `folder` as they stand, with its links
// resolved first.
std::optional<UnsafeFolder> unsafeFolderOnPath(const QString& folder);

// Removes the work directory and makes it afresh with mode 0700. False
// when its folder is not guarded, when what is there cannot be removed, or
// when what is made is not ours: a directory we own, not a link, closed to
// everyone else. `wrong` then names the folder at fault: the work
// directory's own folder, or the work directory.
bool freshWorkDirectory(const QString& path, QString* wrong = nullptr);
bool isPrivateDirectory(const QString& path);
void removeTree(const QString& path);

// Seams for tests; the defaults are what an install does.
struct ReplaceOptions {
    // Swap with two renames, as on a filesystem without an atomic exchange.
    bool twoRenames = false;
    // Called with the hidden directory's path after the last check, right
    // before the exchange.
    std::function<void(const QString&)> beforeExchange;
    // Two renames only: called between moving the installed copy out and
    // moving the new one in.
    std::function<void(const QString&)> betweenRenames;
};

// Whether `path` is a bundle of ours: a folder (not a link) this user
// owns, holding Contents/Info.json as a plain file.
bool isBundle(const QString& path);
// What stands at `path` where no bundle of ours does, for the message.
UpdateErrors::StandIn standIn(const QString& path);

// The bundle's path with its folder resolved once, links and all, so that
// every later step names the folder itself. As given when the folder does
// not resolve.
QString resolvedBundle(const QString& bundle);

struct Recovery {
    // A bundle of ours stands at its name.
    bool present = false;
    // Where the previous copy waits when it could not go back: something
    // that is no bundle of ours stands at the name. Empty otherwise.
    QString kept;
    // Copies set aside by earlier installs that no trash could take: they
    // stay in their hidden directories, and the caller says where.
    QStringList left;
};

// Finishes what an install killed midway left beside `bundle`: where
// nothing stands at the bundle's name and our hidden ".Tavrin-update-*"
// directories hold previous copies, one goes back: the copy of the swap
// that was cut (its directory still holds the incoming copy), else the
// newest. Only once a bundle of ours stands at the name are the hidden
// directories cleared: the copies in them go to the trash (the home
// trash, or the trash of their own filesystem), and a directory whose copy
// no trash takes stays. Call it only while holding the work lock, which
// every install holds throughout.
Recovery recover(const QString& bundle);

// Swaps the bundle at `bundle` for `staged`. The bundle's folder must be
// guarded, and no folder above it unsafe (unsafeFolderOnPath). The staged
// copy is brought beside the bundle into a hidden ".Tavrin-update-XXXXXX"
// directory, every entry of it must be ours, its
// seal is checked there once more, and only then are the two exchanged;
// the previous copy goes to the trash. Everything after the hidden
// directory is made goes through descriptors opened once, so a name
// swapped meanwhile is never what gets installed. A previous copy no trash
// takes stays in the hidden directory, and the next recovery names it. Earlier attempts are
// recovered first. `signatureInvalid` when what
// would be installed is not what was checked, `replaceFailed` for anything
// else; in both the installed copy is as it was. `noSpace` is set when the
// bundle's file system had no room for the new copy.
std::optional<UpdateError> replace(const QString& bundle, const QString& staged, const Seal::Keys& keys,
                                   const QString& arch = Seal::architecture(),
                                   const ReplaceOptions& options = {}, bool* noSpace = nullptr);

// Starts the script that waits for this process to end and then runs the
// bundle's program. False when it could not be started.
bool relaunch(const QString& bundle, qint64 pid);

// The script itself: $0 is the bundle, $1 the process to wait for.
const char* relaunchScript();

} // namespace BundleSwap
