#pragma once
// The desktop's trash, laid out as the freedesktop trash standard has it,
// for entries that must reach a trash of this user's or stay where they
// are: nothing is followed through a link, and there is no fallback to a
// folder of the trash's own choosing.
//
// An entry on the home trash's filesystem goes to the home trash
// ($XDG_DATA_HOME/Trash). Anything else goes to the trash at the top of its
// own filesystem: $topdir/.Trash/$uid where an administrator made
// $topdir/.Trash (sticky, not a link), else $topdir/.Trash-$uid, made
// where missing. Every trash folder used must be this user's own, not a
// link, and closed to everyone else; one that no one else may write in is
// closed (mode 0700), one that others may write in is refused. A trash
// folder that is another user's, or a top where none of ours stands and
// none can be made, is no trash at all: the move fails with EPERM, as for
// any trash that is not safe to use. The home
// trash is used only while $XDG_DATA_HOME and every folder above it keep
// the rule of FolderChain: no one else could put another trash in its place.

#include <QByteArray>
#include <QString>

#include <functional>

namespace Trash {

struct Moved {
    bool ok = false;
    QString where;  // the entry's path in the trash's files folder
    int error = 0;  // errno of the step that failed
};

// Moves the entry `name` of the directory open at `dirFd` (a link itself,
// never its target) into the trash, with its info file. `restoreAs`, a full
// path, is where a file manager's Restore puts it back, and its last part
// the name it gets in the trash; by default the entry's own path and name.
// Where the move fails, the info file goes again.
Moved put(int dirFd, const QByteArray& name, const QString& restoreAs = {});

// Removes the info files that lost their entry, for a move cut short
// after the info file was written, in the trashes an entry of the
// directory open at `dirFd` would go to: the home trash and the trash of
// its own filesystem. Only a plain file of this user's with one name and no
// entry of its name in files/ is looked at, and only one `ours` takes, given
// the info file's name and its Path= value as written. Nothing is made. How
// many went.
int dropOrphans(int dirFd, const std::function<bool(const QByteArray& name, const QByteArray& path)>& ours);

// The top of the filesystem that holds `path` (which must exist): its mount
// point as /proc/self/mountinfo names it, else the highest folder above it
// on the same device. Empty when `path` cannot be looked at.
QString topDirectory(const QString& path);

// The info file's Path= value: `path` relative to `top` when it lies below
// it, absolute otherwise, each byte outside the URL-safe set and '/' escaped.
QByteArray infoPath(const QString& path, const QString& top);

} // namespace Trash
