#include "core/l10n.h"

#include "platform/locale.h"

#include <atomic>

namespace {

// -1 until first use, then 0 or 1.
std::atomic<int> flag{-1};

} // namespace

namespace L10n {

bool chineseFor(AppLanguage language, const QStringList& preferred)
{
    switch (language) {
    case AppLanguage::zh:
        return true;
    case AppLanguage::en:
        return false;
    case AppLanguage::system:
        break;
    }
    return !preferred.isEmpty() && preferred.first().startsWith(QStringLiteral("zh"));
}

bool chineseFor(AppLanguage language)
{
    return chineseFor(language, Locale::preferredLanguages());
}

bool isChinese()
{
    int v = flag.load(std::memory_order_relaxed);
    if (v < 0) {
        int initial = chineseFor(AppLanguage::system) ? 1 : 0;
        // A concurrent setChinese() wins over the initial guess.
        if (flag.compare_exchange_strong(v, initial, std::memory_order_relaxed))
            v = initial;
    }
    return v == 1;
}

void setChinese(bool chinese)
{
    flag.store(chinese ? 1 : 0, std::memory_order_relaxed);
}

void apply(AppLanguage language)
{
    setChinese(chineseFor(language));
}

} // namespace L10n
