#pragma once
// Contents/Info.json of a bundle: what a copy says about itself.

#include <QString>

#include <cstdint>
#include <optional>

struct BundleInfo {
    QString identifier;                 // CFBundleIdentifier
    std::optional<QString> version;     // CFBundleShortVersionString, when a text
    int64_t build = 0;                  // CFBundleVersion as buildNumber reads it
    QString source;                     // TavrinSourceCommit
    QString executable;                 // CFBundleExecutable

    // A build number: a text that is a decimal integer, an optional sign
    // then digits and nothing else (no blanks); anything else, or a number
    // out of range, is 0.
    static int64_t buildNumber(const QString& text);

    // Nothing when the file is missing, not a plain file or not an object.
    static std::optional<BundleInfo> read(const QString& bundle);
    // The bundle whose Contents/bin holds the running program, when it has
    // an Info.json; a development build has none.
    static std::optional<QString> runningBundle();
};
