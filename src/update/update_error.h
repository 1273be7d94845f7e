#pragma once
// Why an update step stopped. Each case has one message in each language;
// only the message ever reaches the user.

#include "platform/folder_chain.h"

#include <QString>
#include <QStringList>

enum class UpdateError {
    feedUnreachable,
    feedInvalid,
    downloadURLNotAllowed,
    downloadFailed,
    sizeMismatch,
    checksumMismatch,
    extractFailed,
    signatureInvalid,
    notarizationFailed,
    versionMismatch,
    replaceFailed,
};

namespace UpdateErrors {

// The text in the interface language of the moment.
QString message(UpdateError error);
// The file system of `folder`, or the user's quota on it, has no room for
// the update: the work folder for the archive and its expansion, the app's
// folder for the new copy.
QString notEnoughSpace(const QString& folder);
// The feed's entry for `version` gives its download a size no update can
// have: less than a byte, or more than the most the updater fetches.
QString invalidRelease(const QString& version, qint64 size);
// What is wrong with a local file the updater was given to read: a feed
// or an archive that is missing, named by no full path, a pipe, a device or
// a folder, or closed to us.
enum class LocalFile { feed, archive };
enum class FileTrouble { missing, relative, notAFile, unreadable };
QString localFile(LocalFile what, FileTrouble trouble, const QString& path);

// What an entry is, as far as the messages tell.
enum class EntryKind { missing, file, folder, link, fifo, socket, device };

// What stands at a bundle's name where no bundle of ours does: nothing,
// something that is no folder of ours, or a folder of ours in which
// `inside` ("Contents" or "Contents/Info.json") is missing or of the wrong
// kind.
struct StandIn {
    EntryKind kind = EntryKind::missing;
    QString linkTarget;          // kind == link
    bool othersFolder = false;   // kind == folder: someone else's
    QString inside;
    EntryKind insideKind = EntryKind::missing;
};

// No bundle of ours stands at `bundle`, so nothing can be replaced there
// and nothing there is intact; says what stands there instead.
QString noBundle(const QString& bundle, const StandIn& standIn = {});

// The app's folder is where it belongs, but this user cannot write in it;
// `own` when it is the user's own folder, which a chmod puts right.
QString appFolderNotWritable(const QString& folder, bool own);

// Why a folder above the app's own lets someone else swap the app.
using FolderFault = FolderChain::Fault;
QString unsafeFolderAbove(const QString& folder, FolderFault fault);
// Why a folder on the way to the update folder lets someone else swap the
// update for a copy of their own.
QString unsafeUpdateFolder(const QString& folder, FolderFault fault);
// The previous copy waits at `kept`, for it could not go back to `bundle`;
// `blocked` when something else stands there.
QString previousKept(const QString& bundle, const QString& kept, bool blocked);
// Why a trash could not take a copy: the trash's filesystem is full, the
// user may not write there, or no trash there is safe to use.
enum class TrashTrouble { noSafeTrash, noSpace, noPermission };
// Earlier copies set aside by installs wait at `copies`, for no trash could
// take them, for the reason `why`.
QString copiesLeft(const QStringList& copies, TrashTrouble why = TrashTrouble::noSafeTrash);
// Previous copies no trash was safe for now stand beside the app at
// `copies`, for the user to keep or delete.
QString copiesBeside(const QStringList& copies);

// Something Tavrin did not make, of kind `kind`, stands at `path`, where an
// update keeps its lock; it is left as it is until the user moves it.
QString lockInTheWay(const QString& path, EntryKind kind);

// The case's own name, for tools and logs of tests.
const char* name(UpdateError error);

} // namespace UpdateErrors
