#pragma once
// The user's ordered list of preferred languages, from the environment the
// way gettext reads it: LANGUAGE first, then LC_ALL, LC_MESSAGES and LANG.

#include <QString>
#include <QStringList>

#include <functional>

namespace Locale {

using Getenv = std::function<QString(const char*)>;

// Language tags such as "zh-CN" or "en"; "C" and "POSIX" name no language.
QStringList preferredLanguages(const Getenv& getenv);
QStringList preferredLanguages();

} // namespace Locale
