#pragma once
// Dotted release numbers (1.4.2) and their order. Missing trailing fields
// read as 0, so 1.2, 1.2.0 and 1.2.0.0 are one version.

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

struct AppVersion {
    std::vector<int64_t> fields;

    // Digits and dots only, blanks allowed around the whole text; nothing
    // for anything else (signs, letters, empty pieces, overflow).
    static std::optional<AppVersion> parse(const QString& text);
    // As parse, but nothing when blanks or line breaks surround the text:
    // for a text that names a release, which is compared as written.
    static std::optional<AppVersion> parseExact(const QString& text);

    // major.minor.patch plus the build number (negative counts as 0): the
    // four-field key releases are ordered by.
    AppVersion with(int64_t build) const;
    // Whether `with` keeps all this version says: no field past the third
    // is other than 0. 1.0.0.7 orders as 1.0.0.
    bool fitsKey() const;

    static int order(const AppVersion& a, const AppVersion& b);

    friend bool operator==(const AppVersion& a, const AppVersion& b) { return order(a, b) == 0; }
    friend bool operator<(const AppVersion& a, const AppVersion& b) { return order(a, b) < 0; }
    friend bool operator>(const AppVersion& a, const AppVersion& b) { return order(b, a) < 0; }
    friend bool operator<=(const AppVersion& a, const AppVersion& b) { return order(b, a) >= 0; }
    friend bool operator>=(const AppVersion& a, const AppVersion& b) { return order(a, b) >= 0; }

    QString text() const;
};
