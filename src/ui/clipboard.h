#pragma once
// The one way the interface copies: names, process ids, paths, ports,
// summaries.

#include <QString>

// Puts `text` on the clipboard as plain text, replacing whatever was there.
void copyPlain(const QString& text);
