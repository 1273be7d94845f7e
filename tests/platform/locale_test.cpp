#include "platform/locale.h"

#include <QHash>

#include <gtest/gtest.h>

namespace {

Locale::Getenv env(QHash<QString, QString> vars)
{
    return [vars](const char* name) { return vars.value(QString::fromLatin1(name)); };
}

} // namespace

TEST(Locale, PreferredLanguagesFollowGettextOrder)
{
    EXPECT_EQ(Locale::preferredLanguages(env({{"LANG", "zh_CN.UTF-8"}})), QStringList{"zh-CN"});
    EXPECT_EQ(Locale::preferredLanguages(env({{"LANG", "en_US.UTF-8"}, {"LC_ALL", "de_DE.UTF-8"}})),
              QStringList{"de-DE"});
    EXPECT_EQ(Locale::preferredLanguages(env({{"LANG", "en_US.UTF-8"}, {"LANGUAGE", "zh_TW:en"}})),
              (QStringList{"zh-TW", "en", "en-US"}));
    EXPECT_EQ(Locale::preferredLanguages(env({{"LANG", "sr_RS@latin"}})), QStringList{"sr-RS"});
}

TEST(Locale, TheCLocaleNamesNoLanguage)
{
    EXPECT_TRUE(Locale::preferredLanguages(env({})).isEmpty());
    EXPECT_TRUE(Locale::preferredLanguages(env({{"LANG", "C.UTF-8"}})).isEmpty());
    // gettext ignores LANGUAGE under the C locale.
    EXPECT_TRUE(Locale::preferredLanguages(env({{"LC_ALL", "C"}, {"LANGUAGE", "zh_CN"}})).isEmpty());
}
