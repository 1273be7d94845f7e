#pragma once
// The release feed: the site's "/releases.json", and the copy inside the
// bundle that holds the running version's own notes. A document with any
// required field missing or mistyped is rejected whole.

#include "update/app_version.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

struct Release {
    struct Text {
        QString zh;
        QString en;
        friend bool operator==(const Text&, const Text&);
    };
    struct Notes {
        QStringList zh;
        QStringList en;
        friend bool operator==(const Notes&, const Notes&);
    };
    struct Download {
        QString url;
        QString sha256;
        int64_t size = 0;
        friend bool operator==(const Download&, const Download&);
    };

    QString version;
    std::optional<int64_t> build;
    QString date;
    Text title;
    Notes notes;
    std::optional<Download> download;
    // The processor architecture the archive is built for, named as the
    // seal names it ("x86_64", "arm64"); absent = any.
    std::optional<QString> arch;

    // The release's ordering key; nothing when its version does not parse
    // or has blanks around it.
    std::optional<AppVersion> key() const;

    // Texts compare in canonical form, so composed and decomposed accents
    // are the same text.
    friend bool operator==(const Release&, const Release&);
};

struct ReleaseFeed {
    std::optional<QString> minimumSystemVersion;
    std::vector<Release> releases;

    static std::optional<ReleaseFeed> decode(const QByteArray& json);

    // The first release equal to the running version (builds play no part);
    // an unparsable running version looks for 0.
    const Release* entryFor(const QString& runningVersion) const;
};
