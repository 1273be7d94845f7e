#pragma once
// What the running copy says about itself: the version and build number of
// its bundle (none for a development build, which has no bundle), the
// commit it was made from, and the product's web site. The application
// installs what the bundle says at start-up.

#include <QString>
#include <QUrl>

#include <optional>

namespace BuildInfo {

std::optional<QString> shortVersion();
std::optional<QString> buildNumber();
std::optional<QString> sourceCommit();
// The site's root page.
QUrl site();
// Whether this build names a site of its own. The reserved default (a host
// under .invalid, which never resolves) is no site: nothing is fetched from
// it and no link leads there.
bool hasUpdateSite();
// Whether the running copy checks for updates at all: a build without a
// site does not, unless it was started with a feed of its own. The
// application says which once its updater exists; until then the build
// decides.
bool checksForUpdates();
void setChecksForUpdates(bool checks);

// What the running bundle says; nothing for a development build.
void install(std::optional<QString> version, std::optional<QString> build,
             std::optional<QString> commit);

// "1.4.0 (57)"; "1.4.0 (?)" without a build number; "dev" without a
// version.
QString versionText(const std::optional<QString>& version, const std::optional<QString>& build);
QString versionText();

} // namespace BuildInfo
