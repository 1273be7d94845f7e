#pragma once
// The plain-text report a user pastes when asking for help: the build, the
// machine, the sampling, the network and incident counters, the settings
// and the updater, one line each. It names no process, host, file path or
// incident subject, only counts and classes. The report is built from
// plain facts, so the same lines come out of a test as out of the running
// program.

// moc cannot parse the standard library's concepts, which these reach.
#ifndef Q_MOC_RUN
#include "core/date.h"
#include "core/incident.h"
#include "core/preferences.h"
#include "core/records.h"
#endif

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

class Monitor;

namespace Diagnostics {

// What the updater says about itself: its state as text (the case name,
// with its payload in parentheses) and its last check.
struct UpdateStatus {
    QString state = QStringLiteral("idle");
    std::optional<Date> lastCheck;
    bool checks = true; // false: there is no feed to ask, whatever the preference says
};

struct Facts {
    QString versionText;
    std::optional<QString> commit;
    QString location;      // the install class
    QString kernel;        // the kernel release
    QString distribution;  // the os-release name
    HostInfo host;
    bool chinese = false;
    AppLanguage language = AppLanguage::system;
    Date now;
    Date launched;
    QString mode;
    bool frozen = false;
    Date sampleDate;
    std::size_t historyCount = 0;
    Snapshot snapshot;
    std::size_t domainCount = 0;
    std::vector<Incident> incidents;
    Preferences prefs;
    Thresholds defaults;
    UpdateStatus update;
};

// "1.0h" from an hour on, else whole minutes: "59m".
QString duration(double seconds);

// Where the running program sits: "~/Applications" in the home folder's
// Applications folder, "/opt" or "/usr" for a system install, "build" for
// a development build's build/bin, else "other".
QString installClass(const QString& programDir, const QString& home);

// PRETTY_NAME of an os-release text, else NAME and VERSION_ID, else "Linux".
QString distribution(const QString& osRelease);

// The shortest decimal that reads back as the value, always with a
// fraction: 8 → "8.0", 0.5 → "0.5".
QString shortest(double value);

// The state text as the report shows it: cut to its first 60 characters.
QString stateLine(const QString& state);

QStringList lines(const Facts& facts);
QString report(const Facts& facts);

// Where the report reads the updater's state: installed by the
// application once its updater exists; until then, an updater that has
// never checked (and checks only in a build with a site).
void setUpdateSource(std::function<UpdateStatus()> source);
UpdateStatus currentUpdate();

// Tells the views that show the report that currentUpdate() may read
// differently now; whoever installs the source emits `changed`.
class UpdateNotifier : public QObject {
    Q_OBJECT
signals:
    void changed();
};
UpdateNotifier& updateNotifier();

// The facts of the running program. `update` comes from the updater.
Facts gather(const Monitor& monitor, const UpdateStatus& update);
QString report(const Monitor& monitor, const UpdateStatus& update);

// The report in a Markdown code fence, as the clipboard takes it.
QString fenced(const QString& report);
// Builds the report and puts it, fenced, on the clipboard as plain text.
void copy(const Monitor& monitor, const UpdateStatus& update);
void copy(const Monitor& monitor);

} // namespace Diagnostics
