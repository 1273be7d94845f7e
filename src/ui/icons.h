#pragma once
// The small pictures that stand for application groups: the application's
// own icon when the group has a desktop entry, otherwise a letter tile made
// from the group's name. Both are resolution-free icons drawn on demand and
// cached for the life of the process. Main thread only.

#include <QIcon>
#include <QString>
#include <QStringView>

namespace Icons {

// Nominal edges in pixels.
constexpr int iconSize = 36;
constexpr int monogramSize = 18;

// The icon of the application whose desktop entry is at `bundlePath`, or
// of the bundle there ("….app", whose own entry lies in
// Contents/share/applications): the entry's Icon= from the icon themes, the
// pixmaps folders or an absolute path, drawn to fill whatever square it is
// painted into. A bundle's icon is looked for in its own Contents/share
// alone. Entries and icons are read only from regular files, within a
// cap, and an SVG only when it reaches no other file. Anything that cannot
// be resolved gets the generic application icon; the result is never
// null. Cached per path: a path asked twice gives the same icon.
QIcon icon(const QString& bundlePath);

// A 17 × 14 letter tile centred in an 18 × 18 square, cached per letter:
// every name with the same letter shares one icon.
QIcon monogram(QStringView name);

// The tile letter of a name: its first letter or digit with its accents
// but without enclosing marks, upper-cased (which may give more than one
// character, "ß" gives "SS"); "·" when it has none.
QString letter(QStringView name);

} // namespace Icons
