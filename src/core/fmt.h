#pragma once
// Short texts for byte counts, ages and durations. Bytes read the same in
// both languages; ages and durations follow L10n::isChinese(). None of them
// depends on the process locale.

#include <QString>
#include <QStringView>

namespace Fmt {

QString bytes(double value);
QString ago(double seconds);
QString duration(double seconds);

// printf("%.Nf") in the C locale, whatever the process locale is.
QString fixed(double value, int precision);

// `head` and `tail` of a longer text around "…". A dot or hyphen beside the
// ellipsis goes: "photos.cloud.…" would read as four dots, "app-…" as a
// dash of its own.
QString cut(QStringView head, QStringView tail = {});
// The same for a text already cut, wherever its ellipsis stands.
QString tidyCut(const QString& text);

} // namespace Fmt
