#pragma once
// What the update views show for the updater's published fields, as plain
// values: the header pill's form and the panel's kicker and per-state
// footer. Pure; texts follow the language flag at the time they are built.

#include "update/updater.h"

#include <QString>
#include <QUrl>

#include <optional>
#include <vector>

namespace UpdateViewModel {

// ---- the header pill: shown only while a release is pending
struct PillForm {
    QString symbol;
    QString text;
    bool operator==(const PillForm&) const = default;
};
std::optional<PillForm> pill(const Updater::State& state, const std::optional<Release>& pending);
QString pillToolTip();

// ---- the panel
QString kicker(const Updater::Panel& panel, const std::optional<Release>& pending);
// The release the panel shows: the given one on What's New, else the
// pending one.
std::optional<Release> shownRelease(const Updater::Panel& panel, const std::optional<Release>& pending);

struct PanelAction {
    enum class Kind { download, install, retry, openSite, dismiss };
    Kind kind = Kind::dismiss;
    QString title;
    bool returnKey = false; // bound to the default-action key
    bool operator==(const PanelAction&) const = default;
};

// The footer of the update face for one state, top to bottom.
struct Footer {
    enum class Block { progress, working, readyNote, failure, status, buttons, okRow, safety };
    std::vector<Block> blocks;
    QString working;     // the working row's text
    QString note;        // the ready note, failure message or status text
    QString percent;     // "0%" … "100%"
    double fill = 0;     // the bar's share, 0 to 1
    std::optional<PanelAction> primary;
    bool later = false;       // a "Later" button, which takes Escape
    bool hiddenClose = false; // Escape closes through the hidden button
    QUrl releases;            // the link to all release notes beside "OK"; empty for none
    bool operator==(const Footer&) const = default;
};
// `site` is empty in a build without one: nothing offers to open it.
// `feedSet` is false when there is no feed to ask: a failure then offers
// no retry either, only "OK".
Footer updateFooter(const Updater::State& state, const std::optional<QString>& requiredSystem, const QUrl& site,
                    bool feedSet = true);
// The What's New footer: the link to all release notes (none while
// `allReleases` is empty) and "OK" with Return.
Footer whatsNewFooter(const QUrl& allReleases);
QString percent(double fraction);
QString safetyNote();
QString laterTitle();

} // namespace UpdateViewModel
