#pragma once
// Text from outside (process and host names, a typed filter) set inside
// texts of our own. A right-to-left name carries its neighbours with it
// ("עברית  1234" shows the pid on the left), so every such insert is
// isolated: it takes its direction from its own first strong letter and
// leaves the text around it in place.

#include <QString>
#include <QStringView>

namespace OutsideText {

// The one rule for a text from outside, before it is drawn, copied or set
// in a record: it stays on one line, in its own order and in its own row.
// Control characters and the line and paragraph separators become spaces;
// direction embeddings, overrides and isolates U+FFFD; the characters that
// draw nothing go (the direction marks, zero-width spaces and joiners, the
// Hangul fillers: see TextMarks), a joiner inside an emoji sequence and a
// flag's tags excepted; a letter keeps its first few stacking marks and
// loses the rest, so fifty of them cannot reach the rows around it.
// "\u202Elapyap.example" reads "\uFFFDlapyap.example", never
// "elpmaxe.paypal". A text with nothing to change comes back shared.
QString plain(const QString& text);

// Whether `text` would show nothing at all: empty, or only spaces, marks
// and characters that draw nothing. Such a name needs a stand-in.
bool blank(QStringView text);

// `text` made plain, between a first-strong isolate and its pop when it
// holds anything right-to-left, else plain `text`: set in a sentence or
// beside figures ("host:46100"), it keeps its own direction and cannot
// carry its neighbours with it.
QString isolate(QStringView text);

// At most `graphemes` user-perceived characters of `text`, the rest
// replaced by "…"; a letter keeps its combining marks.
QString clip(QStringView text, int graphemes);

// A filter or name echoed in a sentence: clipped to a readable length and
// isolated.
QString echo(QStringView text);

// The empty state of a list that the filter left empty: "No <things>
// match “filter”", in Chinese "没有与「filter」匹配的<things>".
QString noMatch(const char* things, const char* thingsZh, QStringView filter);

} // namespace OutsideText
