#include "engine/domain_log.h"

#include <algorithm>
#include <cmath>

namespace {

// Local proxies hand out addresses from 198.18.0.0/15 for the names they map.
DomainRecord::Source namedSource(const QString& remoteHost)
{
    return remoteHost.startsWith(u"198.18.") || remoteHost.startsWith(u"198.19.")
        ? DomainRecord::Source::proxyMapped
        : DomainRecord::Source::reverse;
}

DomainRecord makeRecord(const QString& host, DomainRecord::Source source, Date first, Date last)
{
    DomainRecord r;
    r.host = host;
    r.site = DomainLog::site(host);
    r.source = source;
    r.firstSeen = first;
    r.lastSeen = last;
    return r;
}

} // namespace

void DomainLog::update(const Snapshot& snapshot, const std::unordered_map<int32_t, Owner>& owners, Date now)
{
    if (snapshot.netSerial == lastSerial)
        return;
    lastSerial = snapshot.netSerial;

    const auto cell = static_cast<int64_t>(std::floor(now.unix() / cellSeconds));
    const double interval = snapshot.netInterval;

    for (DomainRecord& r : records) {
        r.rateIn = 0;
        r.rateOut = 0;
        r.live = 0;
    }

    QSet<QString> seen;
    for (const Connection& c : snapshot.connections) {
        if (c.scope == Connection::Scope::loopback)
            continue;
        seen.insert(c.id);
        const QString& key = c.host ? *c.host : c.remoteHost;

        // The name arrived: what was logged under the address moves to it.
        if (c.host) {
            if (auto addr = records.find(c.remoteHost); addr != records.end() && c.remoteHost != *c.host) {
                const DomainRecord old = std::move(*addr);
                records.erase(addr);
                auto it = records.find(*c.host);
                if (it == records.end())
                    it = records.insert(*c.host, makeRecord(*c.host, namedSource(c.remoteHost), old.firstSeen, old.lastSeen));
                DomainRecord& r = *it;
                r.firstSeen = std::min(r.firstSeen, old.firstSeen);
                r.bytesIn += old.bytesIn;
                r.bytesOut += old.bytesOut;
                r.hits += old.hits;
                for (const auto& [n, bytes] : old.buckets)
                    r.buckets[n] += bytes;
                for (const DomainRecord::App& app : old.apps)
                    if (std::find(r.apps.begin(), r.apps.end(), app) == r.apps.end())
                        r.apps.push_back(app);
            }
        }

        auto it = records.find(key);
        if (it == records.end())
            it = records.insert(key, makeRecord(key, c.host ? namedSource(c.remoteHost) : DomainRecord::Source::address, now, now));
        DomainRecord& r = *it;

        r.live += 1;
        r.rateIn += c.rateIn;
        r.rateOut += c.rateOut;
        r.bytesIn += c.rateIn * interval;
        r.bytesOut += c.rateOut * interval;
        const double volume = (c.rateIn + c.rateOut) * interval;

        if (!known.contains(c.id)) {
            r.hits += 1;
            r.lastSeen = now;
            r.buckets[cell] += std::max(volume, 1.0);
        } else if (volume > 0) {
            r.lastSeen = now;
            r.buckets[cell] += std::max(volume, 1.0);
        }

        if (auto owner = owners.find(c.pid); owner != owners.end()) {
            DomainRecord::App app{owner->second.key, owner->second.name, owner->second.bundlePath};
            if (std::find(r.apps.begin(), r.apps.end(), app) == r.apps.end())
                r.apps.push_back(std::move(app));
        }
    }
    known = std::move(seen);

    const int64_t oldest = cell - windowCells;   // this cell and the ones after it go
    for (DomainRecord& r : records)
        if (!r.buckets.empty() && r.buckets.begin()->first <= oldest)
            r.buckets.erase(r.buckets.begin(), r.buckets.upper_bound(oldest));

    if (records.size() > capHigh) {
        std::vector<std::pair<Date, QString>> idle;
        for (const DomainRecord& r : records)
            if (r.live == 0)
                idle.emplace_back(r.lastSeen, r.host);
        const auto excess = static_cast<size_t>(records.size() - capLow);
        const size_t drop = std::min(excess, idle.size());
        std::partial_sort(idle.begin(), idle.begin() + static_cast<std::ptrdiff_t>(drop), idle.end(),
                          [](const auto& a, const auto& b) { return a.first < b.first; });
        for (size_t i = 0; i < drop; ++i)
            records.remove(idle[i].second);
    }
}

QString DomainLog::site(const QString& host)
{
    if (std::none_of(host.begin(), host.end(), [](QChar c) { return c.isLetter(); }))
        return host;
    if (host.contains(u':'))
        return host;
    const QStringList labels = host.split(u'.', Qt::SkipEmptyParts);
    if (labels.size() < 3)
        return host;
    static const QStringList secondLevel{"com", "co", "net", "org", "gov", "edu", "ac"};
    const qsizetype n = labels.size();
    const qsizetype keep = labels[n - 1].size() == 2 && secondLevel.contains(labels[n - 2]) ? 3 : 2;
    return labels.mid(n - keep).join(u'.');
}
