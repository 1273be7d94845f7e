#pragma once
// Launch scripts: timed actions given as one text in the defaults, such as
// "field@2,table@5.5". Each entry is a name and a delay in seconds counted
// from start-up.

#include <QString>

#include <optional>
#include <vector>

struct LaunchScript {
    struct Entry {
        QString name;
        double delay = 0; // seconds, finite and not negative

        bool operator==(const Entry&) const = default;
    };

    // Entries are separated by ",", name and delay by "@"; empty pieces are
    // dropped. An entry counts only when exactly two pieces remain and the
    // delay is a whole decimal number that is finite and not negative.
    // Nothing is trimmed.
    static std::vector<Entry> parse(const QString& text);

    // The delay text as a number, or nothing when it is not one whole
    // decimal number.
    static std::optional<double> parseDelay(const QString& text);
};
