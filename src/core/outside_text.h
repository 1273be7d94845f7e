#pragma once
// Text from outside (process and host names, a typed filter) set inside
// texts of our own. A right-to-left name carries its neighbours with it
// ("עברית  1234" shows the pid on the left), so every such insert is
// isolated: it takes its direction from its own first strong letter and
// leaves the text around it in place.

#include <QString>
#include <QStringView>

namespace OutsideText {

// `text` between a first-strong isolate and its pop when it holds anything
// right-to-left or a direction control, else `text` itself. Direction
// controls inside become U+FFFD, so nothing in it can close the isolate
// early or reach past it.
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
