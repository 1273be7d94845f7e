#pragma once
// Sets the program's language for the life of a test and puts back the one
// it found, so texts compared in one language do not depend on the test
// that ran before.

#include "core/l10n.h"

class LanguageGuard {
public:
    explicit LanguageGuard(bool chinese) : was_(L10n::isChinese()) { L10n::setChinese(chinese); }
    ~LanguageGuard() { L10n::setChinese(was_); }
    LanguageGuard(const LanguageGuard&) = delete;
    LanguageGuard& operator=(const LanguageGuard&) = delete;

private:
    bool was_;
};
