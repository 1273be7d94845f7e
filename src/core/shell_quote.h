#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

// A path as it may be pasted into a shell. A path holding a control
// character (a newline above all, which would end the command and run the
// rest as another) comes back in ANSI-C quotes, $'…', with backslash, quote
// and each control character escaped; any other path comes back unchanged.
QString shellQuoted(const QString& path);

// An argument vector as a line for a POSIX shell (sh, dash, bash, zsh) that
// gives back exactly that vector, so a pasted copy runs what ran and
// nothing more. An argument of plain characters (letters, digits and
// "_@%+=:,./-") stands as it is; any other is single-quoted, a quote in it
// written '\''. Nothing a terminal could act on reaches the line: control
// characters, direction controls, invisible marks and bytes that are not
// UTF-8 are written as "$(printf '\NNN')", the one byte escape every POSIX
// shell reads (dash has no $'…'); a line break stays as it is, inside the
// quotes, since a command substitution would drop it at the end. A word
// that starts with "=" is quoted (zsh would replace it with a command's
// path), and the first word is quoted too when a shell would read it as an
// assignment or a keyword.
QString shellCommand(const std::vector<QByteArray>& arguments);
