#pragma once
// What this build knows about itself, fixed when it was compiled: the
// version, the build number, the commit, the product's web site. Each is
// absent when the build was made without it.

#include <QString>
#include <QUrl>

#include <optional>

namespace BuildInfo {

std::optional<QString> shortVersion();
std::optional<QString> buildNumber();
std::optional<QString> sourceCommit();
// The site's root page.
QUrl site();

// "1.4.0 (57)"; "1.4.0 (?)" without a build number; "dev" without a
// version.
QString versionText(const std::optional<QString>& version, const std::optional<QString>& build);
QString versionText();

} // namespace BuildInfo
