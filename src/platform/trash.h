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
// closed (mode 0700), one that others may write in is refused.

#include <QByteArray>
#include <QString>

namespace Trash {

struct Moved {
    bool ok = false;
    QString where;  // the entry's path in the trash's files folder
    int error = 0;  // errno of the step that failed
};

// Moves the entry `name` of the directory open at `dirFd` (a link itself,
// never its target) into the trash, with its info file.
Moved put(int dirFd, const QByteArray& name);

// The top of the filesystem that holds `path` (which must exist): its mount
// point as /proc/self/mountinfo names it, else the highest folder above it
// on the same device. Empty when `path` cannot be looked at.
QString topDirectory(const QString& path);

// The info file's Path= value: `path` relative to `top` when it lies below
// it, absolute otherwise, each byte outside the URL-safe set and '/' escaped.
QByteArray infoPath(const QString& path, const QString& top);

} // namespace Trash
