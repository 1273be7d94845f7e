#pragma once
// The ways to reach the maker that this build ships with: a JSON resource
// with four handles, any of them empty. The feedback pane and the Help menu
// list the non-empty ones as channels with a name, a detail, a note and a
// link.

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <functional>
#include <vector>

struct Contact {
    QString telegram;
    QString email;
    QString x;
    QString github;

    struct Channel {
        QString id;
        QString name;
        QString detail;
        QString note;
        QUrl url;
        bool operator==(const Channel&) const = default;
    };

    static constexpr const char* telegramPrefix = "https://t.me/";
    static constexpr const char* xPrefix = "https://x.com/";
    static constexpr const char* githubPrefix = "https://github.com/";
    static constexpr const char* githubDomain = "github.com";

    // All four keys as texts, or four empty texts: a missing key or a value
    // of another type spoils the whole resource.
    static Contact decode(const QByteArray& data);
    // ":/tavrin/contact.json", read once.
    static const Contact& shared();

    // The channels in their fixed order (group, e-mail, X, GitHub) in the
    // current language; an empty handle or one that makes no valid link is
    // left out. `version` goes into the e-mail's subject.
    std::vector<Channel> channels(const QString& version) const;

    // Where a view takes its channel list from, asked each time the view
    // builds its texts. Empty means this build's own channels (sharedChannels).
    using ChannelSource = std::function<std::vector<Channel>()>;
    // shared() with the running program's version text.
    static std::vector<Channel> sharedChannels();
    static std::vector<Channel> channelsFrom(const ChannelSource& source);

    bool operator==(const Contact&) const = default;
};
