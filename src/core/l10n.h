#pragma once
// The one process-wide language flag. Written on the main thread, read on
// the sampler's thread while incident texts are built.

#include <QString>
#include <QStringList>

enum class AppLanguage { system, zh, en };

namespace L10n {

// Initially true exactly when the first preferred language begins with "zh".
bool isChinese();
void setChinese(bool chinese);

// The flag's value for a language setting and a list of preferred
// languages (the user's own list when none is given).
bool chineseFor(AppLanguage language, const QStringList& preferred);
bool chineseFor(AppLanguage language);
void apply(AppLanguage language);

// The English or the Chinese text, by the flag.
inline QString text(const char* en, const char* zh)
{
    return QString::fromUtf8(isChinese() ? zh : en);
}

} // namespace L10n
