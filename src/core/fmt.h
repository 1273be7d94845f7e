#pragma once
// Short texts for byte counts, ages and durations. Bytes read the same in
// both languages; ages and durations follow L10n::isChinese(). None of them
// depends on the process locale.

#include <QString>

namespace Fmt {

QString bytes(double value);
QString ago(double seconds);
QString duration(double seconds);

// printf("%.Nf") in the C locale, whatever the process locale is.
QString fixed(double value, int precision);

} // namespace Fmt
