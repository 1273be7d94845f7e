#pragma once
// The updater's static rules: the site, which download addresses are
// acceptable, and whether a bundle can be replaced where it lies.

#include <QString>
#include <QUrl>

#include <optional>

namespace UpdateRules {

// The product's site (https, no path), fixed at build time. While it is
// the reserved default nothing checks by itself.
QUrl site();
QString siteHost();
// The build names no site of its own (BuildInfo::hasUpdateSite says the
// same).
bool siteIsDefault();
// `feed` is the default feed of a build without a site: there is nothing
// to ask. A feed given at launch is always asked.
bool feedIsUnset(const QUrl& feed);
// Why such a build never checks, in the interface language.
QString noSiteMessage();
QUrl allReleases();
QUrl defaultFeed();

// A file URL naming "localhost" names this machine, as one with no host
// does (RFC 8089): it comes back without the host. Any other as it is.
QUrl withoutLocalhost(const QUrl& url);

// Local files only while the feed is a local file; otherwise https on the
// site's own host and port (443 when it names none), no user or password.
bool isAllowedDownload(const QUrl& url, const QUrl& feed);
bool isAllowedDownload(const QUrl& url, const QUrl& feed, const QUrl& site);

// Why the bundle at `bundlePath` cannot replace itself, followed by the
// hint; nothing when it can.
std::optional<QString> installBlocker(const QString& bundlePath);

// The leading digits of the kernel release as major.minor.patch: the only
// ordered system version there is.
QString systemVersionText();

} // namespace UpdateRules
