#pragma once
// The user's settings: one JSON value under the defaults key "preferences".

#include "core/l10n.h"

#include <QByteArray>
#include <QJsonObject>
#include <QStringList>

#include <cstdint>
#include <optional>

class Defaults;

struct Thresholds {
    double systemCPU = 85.0;    // percent of the whole machine
    double processCPU = 150.0;  // percent of one core
    double memoryGB = 8;        // GiB, scaled from installed memory
    double memoryGrowthGB = 1;  // GiB, scaled from installed memory
    int64_t threads = 400;
    int64_t fds = 1024;
    double downloadMB = 5.0;    // MiB per second
    double uploadMB = 2.0;      // MiB per second

    // What each threshold can be set to: the ends of its slider in the
    // Alert rules pane, and the bounds a stored value is held to when the
    // preferences are decoded. Download and upload share one.
    struct Range {
        double lower = 0;
        double upper = 0;
        double clamp(double value) const { return value < lower ? lower : value > upper ? upper : value; }
        bool operator==(const Range&) const = default;
    };
    static constexpr Range systemCPURange{50, 100};
    static constexpr Range processCPURange{50, 800};
    static constexpr Range memoryGBRange{1, 64};
    static constexpr Range memoryGrowthGBRange{0.5, 16};
    static constexpr Range threadsRange{100, 2000};
    static constexpr Range fdsRange{256, 8192};
    static constexpr Range rateMBRange{0.5, 100};

    // The defaults for this machine's installed memory.
    Thresholds();
    static Thresholds forMemory(uint64_t installedBytes);

    // The limits the rules apply: each field as stored when it is a positive
    // finite number, else that field of `fallback`. A zero or negative limit
    // would hold for every idle process, so it never reaches the rules; the
    // stored value itself stays as the user wrote it.
    Thresholds usable(const Thresholds& fallback) const;
    // The same with this machine's defaults, read once, as the rules and
    // every view that colours a figure by them use it.
    Thresholds usable() const;

    QJsonObject toJson() const;
    // Each key that is present with its type, held inside its range; every
    // other field (and a figure that is not finite) is taken from
    // `fallback`, so one bad figure costs only itself.
    static Thresholds fromJson(const QJsonObject& object, const Thresholds& fallback);

    bool operator==(const Thresholds&) const = default;

private:
    struct Unscaled {};
    explicit Thresholds(Unscaled) {}
};

struct Preferences {
    Thresholds thresholds;
    bool notify = true;
    QStringList ignored;
    bool resolveHosts = true;
    bool menuBarPercent = true;
    AppLanguage language = AppLanguage::system;
    bool autoCheckUpdates = true;
    bool sounds = true;
    // What a newer build stored that this one does not know: the keys at
    // the top and those inside "thresholds", each with its value as it
    // stands. Every write carries them, so that an older build sharing the
    // file (across an update and a downgrade) never erases them.
    QJsonObject unknown;
    QJsonObject unknownThresholds;

    // The stored value, or the defaults when there is none or it does not
    // decode. Never writes; a value that does not decode is kept aside, as
    // it stands, before the first write over it.
    static Preferences load();
    static Preferences load(Defaults& defaults);
    // True when the value reached the settings file.
    bool save() const;
    bool save(Defaults& defaults) const;

    // Several copies of the program may share one settings file. The value
    // the file holds now, which another copy may have written; nothing
    // when there is none or it does not decode.
    static std::optional<Preferences> stored(Defaults& defaults);
    // Saves only the settings in which this value differs from `base` (the
    // value as this copy last read or wrote it), over what the file holds
    // now, so that no other copy's change is undone. The value written,
    // which carries the other copies' changes too; nothing when it did not
    // reach the file.
    std::optional<Preferences> saveChanges(Defaults& defaults, const Preferences& base) const;
    // `stored` with every setting in which `mine` differs from `base`
    // taken from `mine`. Each threshold is a setting of its own; muted
    // names are merged name by name. The keys this build does not know are
    // those of `stored`, as the file holds them.
    static Preferences merged(const Preferences& stored, const Preferences& base,
                              const Preferences& mine);

    // Nothing when a figure is not finite (JSON cannot hold it).
    std::optional<QByteArray> encode() const;
    // Lenient key by key, inside "thresholds" too: a key that is missing,
    // null or of the wrong type (or a language no case names) takes its
    // default and the rest is kept, so a value from an older or
    // hand-edited file keeps what it can. Keys no field names are kept in
    // `unknown` and `unknownThresholds`. Nothing only when the data is not
    // a JSON object.
    static std::optional<Preferences> decode(const QByteArray& data);

    static QString languageText(AppLanguage language);
    static std::optional<AppLanguage> languageFromText(const QString& text);
    static constexpr AppLanguage allLanguages[] = {AppLanguage::system, AppLanguage::zh, AppLanguage::en};

    bool operator==(const Preferences&) const = default;
};

// The ignored list after a mute or unmute of `name`: unmuting drops every
// copy, so a name that was added twice cannot stay muted.
QStringList toggledMute(const QStringList& ignored, const QString& name);
