#pragma once
// The file work of an update: the private work directory, the swap of the
// installed bundle for the staged one, and the relaunch.

#include "platform/folder_chain.h"
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

// Something at the name of one of the updater's locks that is no lock of
// ours: it is left exactly as it is, and the update says what and where.
struct InTheWay {
    QString path;
    UpdateErrors::EntryKind kind = UpdateErrors::EntryKind::file;
    bool operator==(const InTheWay&) const = default;
};

// Holds a work directory for one update; a second running copy cannot
// take it meanwhile. The lock is a kernel lock (flock) on the file
// "<work directory>.lock", which lies only in a folder that this user owns
// and no one else may write to, so no other account can plant or hold it.
// It dies with the open file that holds it: however old it is, and
// whatever an earlier version wrote into it, only a live holder keeps
// others out. Only a plain file of ours with no other name is taken there.
class WorkLock {
public:
    // Nothing when another copy holds it (`busy` then says so), when
    // something else stands at its name (`inTheWay` then says what), or when
    // the folder is not this user's alone.
    static std::unique_ptr<WorkLock> take(const QString& workDirectory, bool* busy = nullptr,
                                          std::optional<InTheWay>* inTheWay = nullptr);

    // The folder the work directory lies in, opened once (links resolved)
    // when the lock was taken, and the work directory's name in it.
    int folder() const { return folder_.fd; }
    const QByteArray& workName() const { return workName_; }

private:
    WorkLock(UniqueFd fd, UniqueFd folder, QByteArray workName)
        : fd_(std::move(fd)), folder_(std::move(folder)), workName_(std::move(workName))
    {
    }
    UniqueFd fd_;
    UniqueFd folder_;
    QByteArray workName_;
};

// Whether only this user (and root) can rename or replace entries in the
// folder: it is ours or root's, and neither group nor others may write in
// it. The sticky bit is no help here: between the two renames of a swap
// the bundle's name is free, and anyone who may write in the folder could
// take it.
bool isGuardedFolder(const QString& path);

// One folder on the way from the app's folder up to "/", as lstat sees it.
using FolderOnPath = FolderChain::Folder;
using UnsafeFolder = FolderChain::Unsafe;

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
// The same for the folder open at `folderFd`, at the path it has now; it
// must still stand there once its folders are checked.
std::optional<UnsafeFolder> unsafeFolderOnPath(int folderFd);

// The work directory once checked and made: held open with the folder it
// lies in, so that every later step reaches its entries through the
// descriptor, whatever is renamed or linked above it meanwhile.
struct WorkFolder {
    UniqueFd folder;
    UniqueFd fd;
    QByteArray name;  // its entry in `folder`
    QString shown;    // its path when it was checked, for messages
    // A path to `entry` inside it that goes through the descriptor.
    QString reach(const QString& entry) const;
};

// Makes the work directory afresh in the lock's folder and holds it. That
// folder and every folder above it, as they resolve, are held to the rule
// the app's folders keep (unsafeFolderOnPath): `unsafe` then names the
// first that breaks it. Nothing either, with `wrong` naming the folder at
// fault, when what stands at the work directory's name cannot be cleared or
// what is made is not ours alone.
std::shared_ptr<const WorkFolder> freshWorkFolder(const WorkLock& lock, std::optional<UnsafeFolder>* unsafe = nullptr,
                                                  QString* wrong = nullptr);
// Empties the held work directory through its descriptor, then removes it
// while its name still holds it. Only the updater's own files lie there.
void removeWorkFolder(const WorkFolder& work);

// Removes the work directory and makes it afresh with mode 0700, as
// freshWorkFolder does under a lock of its own. False when its folder is
// not guarded, when what is there cannot be removed, or when what is made
// is not ours: a directory we own, not a link, closed to everyone else.
// `wrong` then names the folder at fault: the work directory's own folder,
// or the work directory.
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
    // Called once the lock beside the bundle is taken and earlier attempts
    // are recovered; once when another run holds that lock and this one
    // starts waiting for it; and right before the copies trade places,
    // after every check.
    std::function<void()> afterRecovery;
    std::function<void()> waitingForLock;
    std::function<void()> afterVersionCheck;
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
    // stay in their hidden directories, and the caller says where, and why
    // the first of them stayed.
    QStringList left;
    UpdateErrors::TrashTrouble leftFor = UpdateErrors::TrashTrouble::noSafeTrash;
    // Previous copies that no trash was safe for, moved this time out of
    // their hidden directories to stand beside the app as "Tavrin
    // (previous).app", "Tavrin (previous 2).app" and on: the caller says so
    // once.
    QStringList beside;
    // Another run holds the lock beside the bundle: its swap may be half
    // done, so nothing was looked at or moved.
    bool busy = false;
    // Something that is no lock of ours stands at the lock's name, so
    // nothing was looked at or moved either.
    std::optional<InTheWay> lockInTheWay;
};

// Finishes what an install killed midway left beside `bundle`: where
// nothing stands at the bundle's name and the hidden directories of this
// bundle's swaps (".Tavrin-update-*" for "Tavrin.app", named after the
// bundle for any other) hold previous copies, one goes back: the copy of the swap
// that was cut (its directory still holds the incoming copy), else the
// newest. Only once a bundle of ours stands at the name are the hidden
// directories cleared: the copies in them go to the trash (the home
// trash, or the trash of their own filesystem). A copy that stood at the
// app's name goes as "Tavrin (previous).app", the name its entry restores
// it under; where no trash there is safe to use, it comes out beside the
// app under that name instead. One that never stood there goes as "Tavrin
// (update).app", so that its restore never meets the app. (Each name is
// made from the bundle's own.) A directory whose copy stays for another
// cause (no space, no permission) stays. Info files that a move of ours
// into those trashes left without their entry (a run killed midway) are
// removed. Another bundle's hidden directories and trash entries are never
// read or moved. It runs only in a folder that passes the checks replace()
// makes, under the lock beside the bundle that every swap holds, and does
// nothing while another run holds it or something else has its name.
Recovery recover(const QString& bundle);
// What stands at the name of the lock beside `bundle` where it is no lock
// of ours, in a folder that passes those checks.
std::optional<InTheWay> swapLockInTheWay(const QString& bundle);

// Swaps the bundle at `bundle` for the staged copy, the entry
// `stagedName` of the folder open at `stagedFolder`. The bundle's folder is
// opened once; it must be guarded, and no folder above it unsafe
// (unsafeFolderOnPath). The staged copy is brought beside the bundle into a
// hidden ".Tavrin-update-XXXXXX" directory, every entry of it must be ours,
// its seal is checked there once more and, right before the two are
// exchanged, its version must be newer than the installed copy's read
// then; the previous copy goes to the trash, its entry there restoring it
// beside the app as "Tavrin (previous).app". Everything goes through
// descriptors opened once, so a name swapped meanwhile is never what gets
// installed. No copy that ever stood at the app's name is deleted: on
// failure the staged copy goes back to its folder, a copy of it this run
// made from another filesystem is removed, and any other copy in the hidden
// directory goes to the trash; one no trash takes stays there, and the
// next recovery sees to it. Earlier attempts are recovered first.
// Recovery, checks and swap all run under the lock beside the bundle,
// waiting for another run's swap to end. `signatureInvalid` when what would be
// installed is not what was checked, `versionMismatch` when it is not
// newer, `replaceFailed` for anything else; in each the installed copy is
// as it was. `noSpace` is set when the bundle's file system had no room
// for the new copy.
std::optional<UpdateError> replace(const QString& bundle, int stagedFolder, const QByteArray& stagedName,
                                   const Seal::Keys& keys, const QString& arch = Seal::architecture(),
                                   const ReplaceOptions& options = {}, bool* noSpace = nullptr);
// The same for a staged copy named by its path.
std::optional<UpdateError> replace(const QString& bundle, const QString& staged, const Seal::Keys& keys,
                                   const QString& arch = Seal::architecture(),
                                   const ReplaceOptions& options = {}, bool* noSpace = nullptr);

// Starts the script that waits for this process to end and then runs the
// bundle's program. False when it could not be started.
bool relaunch(const QString& bundle, qint64 pid);

// The script itself: $0 is the bundle, $1 the process to wait for.
const char* relaunchScript();

} // namespace BundleSwap
