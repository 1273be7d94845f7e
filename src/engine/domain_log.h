#pragma once
// DomainLog: one record per remote host the machine has talked to since
// start-up, folded forward from each new network reading. Main thread only.

#include "core/date.h"
#include "core/owner.h"
#include "core/records.h"

#include <QHash>
#include <QSet>
#include <QString>

#include <cstdint>
#include <map>
#include <optional>
#include <unordered_map>
#include <vector>

struct DomainRecord {
    enum class Source { proxyMapped, reverse, address };

    struct App {
        QString key;
        QString name;
        std::optional<QString> bundlePath;
        bool operator==(const App&) const = default;
    };

    QString host;
    QString site;
    Source source = Source::address;
    std::vector<App> apps;
    Date firstSeen;
    Date lastSeen;
    double bytesIn = 0, bytesOut = 0;
    double rateIn = 0, rateOut = 0;
    int64_t live = 0;
    int64_t hits = 0;
    std::map<int64_t, double> buckets;   // ten-second cell → bytes

    const QString& id() const { return host; }
    bool operator==(const DomainRecord&) const = default;
};

class DomainLog {
public:
    QHash<QString, DomainRecord> records;
    int64_t lastSerial = -1;
    QSet<QString> known;

    static constexpr int64_t cellSeconds = 10;
    static constexpr int64_t windowCells = 36;
    static constexpr qsizetype capHigh = 1500;
    static constexpr qsizetype capLow = 1200;

    void update(const Snapshot& snapshot, const std::unordered_map<int32_t, Owner>& owners, Date now);

    // The registrable part of a host name ("a.b.example.co.uk" → "example.co.uk").
    static QString site(const QString& host);
};
