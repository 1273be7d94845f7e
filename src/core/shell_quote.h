#pragma once

#include <QString>

// A path as it may be pasted into a shell. A path holding a control
// character (a newline above all, which would end the command and run the
// rest as another) comes back in ANSI-C quotes, $'…', with backslash, quote
// and each control character escaped; any other path comes back unchanged.
QString shellQuoted(const QString& path);
