#pragma once

#include <QString>

// Text from outside (process, host and service names) must never be read as
// markup. Qt guesses rich text in tooltips and message boxes, and a menu
// title treats '&' as a mnemonic; these wrap such text so it shows as typed.
namespace PlainText {

// A tooltip that shows `text` verbatim: escaped and marked as rich text, so
// Qt's guess can never load an image or change a font from a name.
QString toolTip(const QString& text);

// A menu or button title that shows every '&' of `text` as itself.
QString menuTitle(const QString& text);

} // namespace PlainText
