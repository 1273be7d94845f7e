#pragma once
// The one model object every view reads. It lives on the main thread, owns
// the sampler, takes in each update, keeps the histories, series, owners,
// domain log and incident list, and holds the interface state that several
// views share. Observed fields have one change signal each, emitted only
// when a write changes the value; the fields that intake replaces wholesale
// (snapshot, previous, history, incidents) signal on every write.

// moc cannot parse the standard library's concepts, which these reach
// through <compare>; it needs none of them.
#ifndef Q_MOC_RUN
#include "engine/domain_log.h"
#include "engine/sampler.h"
#include "core/date.h"
#include "core/incident.h"
#include "core/owner.h"
#include "core/preferences.h"
#include "core/records.h"
#include "platform/defaults.h"
#endif
#include "ui/interaction_hold.h"

#include <QHash>
#include <QObject>
#include <QPointF>
#include <QRectF>
#include <QSet>
#include <QSizeF>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <unordered_map>
#include <vector>

class Notifier;
class QFileSystemWatcher;

class Monitor : public QObject {
    Q_OBJECT

public:
    enum class Mode { table, field, flow, domains, ports };
    static constexpr std::array allModes{Mode::table, Mode::field, Mode::flow, Mode::domains,
                                         Mode::ports};
    static QString modeText(Mode mode);
    static std::optional<Mode> modeFromText(const QString& text);

    enum class SortKey { name, cpu, mem, threads, fds, netIn, netOut };
    static constexpr std::array allSortKeys{SortKey::name, SortKey::cpu, SortKey::mem,
                                            SortKey::threads, SortKey::fds, SortKey::netIn,
                                            SortKey::netOut};
    static QString sortKeyText(SortKey key);
    static std::optional<SortKey> sortKeyFromText(const QString& text);

    using ModeSet = std::set<Mode>;

    // Recent figures of one group, oldest first.
    struct Series {
        static constexpr std::size_t capacity = 120;
        std::vector<double> cpu, mem, threads, fds, netIn, netOut;

        void append(const GroupSample& group);
        bool operator==(const Series&) const = default;
    };

    using Owner = ::Owner;

    // Where the process list's group rows sit and which part of the list is
    // visible, in one coordinate space of the list's choosing.
    struct RowAnchors {
        QHash<QString, QPointF> points;
        QRectF clip;
    };

    // The process list's own state, kept while the list is not built.
    struct TableState {
        QSet<QString> expanded;
        double scrollY = 0;
    };

    // The field's last bubble layout, kept while the field is not built.
    struct FieldLayout {
        QHash<QString, QPointF> points;
        QSizeF size;
    };

    static constexpr std::size_t historyCapacity = 240;
    // Vanished groups keep their series until this many stale ones pile up.
    static constexpr std::size_t staleSeriesAllowance = 64;
    // Width of one sort band: ln 1.25, so each band spans a factor of 1.25.
    static constexpr double bandWidth = 0.22314355131420976;
    // A reorder this soon after launch does not fire the armed switch.
    static constexpr double reorderGrace = 8.0;

    // Everything from the standard defaults and a sampler of the running
    // machine (or the demo, by the "demo" default); notifications go to the
    // desktop.
    explicit Monitor(QObject* parent = nullptr);
    // A sampler with the given options; a null notifier posts nothing.
    Monitor(const Sampler::Options& options, std::unique_ptr<Notifier> notifier,
            QObject* parent = nullptr);
    ~Monitor() override;

    // Once, right after construction: restores the mode, schedules the launch
    // scripts, connects and starts the sampler, asks for notifications.
    void start();

    // The modes that must stay built to show `mode`.
    static ModeSet required(Mode mode);

    // ---- observed fields
    const Snapshot& snapshot() const { return snapshot_; }
    const Snapshot& previous() const { return previous_; }
    Date sampleDate() const { return sampleDate_; }
    // errno's value while the sampler cannot read the machine, 0 otherwise.
    // The figures meanwhile stay those of sampleDate(). Followed also while
    // the display is frozen.
    int unreadable() const { return unreadable_; }
    const std::vector<SystemSample>& history() const { return history_; }
    const std::vector<Incident>& incidents() const { return incidents_; }
    const std::optional<QString>& selection() const { return selection_; }
    std::optional<int32_t> focusPid() const { return focusPid_; }
    SortKey sort() const { return sort_; }
    bool ascending() const { return ascending_; }
    const QString& filter() const { return filter_; }
    bool frozen() const { return frozen_; }
    Mode mode() const { return mode_; }
    const ModeSet& mounted() const { return mounted_; }
    Mode previousMode() const { return previousMode_; }
    bool fieldFromRows() const { return fieldFromRows_; }
    bool blocking() const { return blocking_; }
    bool welcome() const { return welcome_; }
    bool ready() const { return ready_; }
    bool drawerOpen() const { return drawerOpen_; }
    const Preferences& prefs() const { return prefs_; }
    // Why the last change of the preferences did not reach the settings
    // file; none until one fails and again once one lands.
    Defaults::Failure saveFailure() const { return saveFailure_; }
    // The settings file could not be read at start-up, so the defaults are
    // in use: where the old file is kept, or where it still lies when no
    // copy of it could be made. Held until the user dismisses it or changes
    // a setting.
    struct SettingsReset {
        QString file;
        bool kept = false;
        bool operator==(const SettingsReset&) const = default;
    };
    const std::optional<SettingsReset>& settingsReset() const { return settingsReset_; }
    void dismissSettingsReset();
    // The incident store could not be read at start-up and was set aside:
    // where it is kept, until the user dismisses it. Empty when there is
    // nothing to tell.
    const QString& incidentsKept() const { return incidentsKept_; }
    void dismissIncidentsKept();
    int focusSearch() const { return focusSearch_; }

    void setSelection(const std::optional<QString>& value);
    void setFocusPid(std::optional<int32_t> value);
    void setFilter(const QString& value);
    void setFrozen(bool value);
    void setBlocking(bool value);
    void setDrawerOpen(bool value);
    // A different value is applied at once: language, saved, handed to the
    // sampler. Only the settings it changes are written over what the file
    // holds, and what other copies changed there comes in with it.
    void setPrefs(const Preferences& value);
    // Takes up what another running copy wrote to the settings file; the
    // file is watched from start() on, so this runs by itself.
    void takeUpStoredPrefs();
    void setFocusSearch(int value);

    // ---- plain state
    const QSet<QString>& fieldPinned() const { return fieldPinned_; }
    uint64_t switchToken() const { return switchToken_; }
    const HostInfo& host() const { return host_; }
    const QHash<QString, Series>& series() const { return series_; }
    const std::unordered_map<int32_t, Owner>& owners() const { return owners_; }
    const DomainLog& domains() const { return domains_; }
    Date launched() const { return launched_; }
    const QHash<QString, int>& lastRank() const { return lastRank_; }
    const std::optional<QString>& pendingSelect() const { return pendingSelect_; }
    std::optional<Mode> switchOnReorder() const { return switchOnReorder_; }
    Sampler& sampler() { return *sampler_; }

    InteractionHold& listHold() { return listHold_; }
    InteractionHold& flowHold() { return flowHold_; }
    InteractionHold& domainsHold() { return domainsHold_; }
    InteractionHold& portsHold() { return portsHold_; }

    // Written by the views that keep their state here.
    TableState tableState;
    FieldLayout fieldLayout;
    std::optional<QString> pendingExpand; // read and cleared by the process list
    int pendingScrollRows = 0;

    // Hooks the process list installs; each is skipped while absent.
    std::function<std::optional<RowAnchors>()> rowAnchorSource;
    std::function<void(const QSet<QString>&)> rowIconHider;
    std::function<bool(const QString&)> listKeyHandler;

    // ---- operations
    void switchMode(Mode mode);
    // The process groups to show: filtered, then sorted so that groups in the
    // same band keep their previous places. Records the ranks it returns.
    std::vector<GroupSample> rows();
    void toggleSort(SortKey key);
    // Clears the filter, else the selection; false when there was neither
    // (or an overlay blocks).
    bool escape();
    std::optional<GroupSample> selectedGroup() const;
    std::vector<Incident> openIncidents() const;
    std::optional<Severity> worstOpen() const;
    void clearIncidents();
    void reorderBegan();
    void finishWelcome();
    // Shows the welcome tour again (the About pane); the defaults that
    // record the tour as seen are left alone.
    void setWelcome(bool value);

    // The sort band of a figure: -1 for none (0, less, or not a number).
    static int64_t band(double figure);

signals:
    void snapshotChanged();
    void previousChanged();
    void sampleDateChanged();
    void unreadableChanged();
    void historyChanged();
    void incidentsChanged();
    void selectionChanged();
    void focusPidChanged();
    void sortChanged();
    void ascendingChanged();
    void filterChanged();
    void frozenChanged();
    void modeChanged();
    void mountedChanged();
    void previousModeChanged();
    void fieldFromRowsChanged();
    void blockingChanged();
    void welcomeChanged();
    void readyChanged();
    void drawerOpenChanged();
    void prefsChanged();
    void settingsResetChanged();
    void incidentsKeptChanged();
    void focusSearchChanged();

private:
    friend class MonitorTest;
    friend struct MonitorBench;

    void ingest(const Sampler::Update& update);
    void notify(const std::vector<Incident>& opened);

    template <class T>
    void write(T& field, const T& value, void (Monitor::*changed)());
    // Writes without telling anyone; true when the value changed. For
    // changes of several fields, whose signals go out once all are written.
    template <class T>
    static bool assign(T& field, const T& value);

    void setSort(SortKey value);
    void setAscending(bool value);
    void setMode(Mode value);
    void setMounted(const ModeSet& value);
    void setPreviousMode(Mode value);
    void setFieldFromRows(bool value);
    void setReady(bool value);
    // Puts a value in effect everywhere it is used.
    void applyPrefs(const Preferences& value);
    // A file replaced by a rename is a new file: the watch goes on it again.
    void watchSettings();

    const bool demo_;

    Snapshot snapshot_;
    Snapshot previous_;
    Date sampleDate_;
    int unreadable_ = 0;
    std::vector<SystemSample> history_;
    std::vector<Incident> incidents_;
    std::optional<QString> selection_;
    std::optional<int32_t> focusPid_;
    SortKey sort_ = SortKey::cpu;
    bool ascending_ = false;
    QString filter_;
    bool frozen_ = false;
    Mode mode_ = Mode::table;
    ModeSet mounted_{Mode::table};
    Mode previousMode_ = Mode::table;
    bool fieldFromRows_ = false;
    QSet<QString> fieldPinned_;
    uint64_t switchToken_ = 0;
    InteractionHold listHold_;
    InteractionHold flowHold_;
    InteractionHold domainsHold_;
    InteractionHold portsHold_;
    bool blocking_ = false;
    bool welcome_ = false;
    bool ready_ = false;
    bool drawerOpen_ = true;
    Preferences prefs_;
    // The preferences as this copy last read them from the file or wrote
    // them there: what prefs_ differs from it in is this copy's to write.
    Preferences storedPrefs_;
    QFileSystemWatcher* settingsWatch_ = nullptr;
    Defaults::Failure saveFailure_ = Defaults::Failure::none;
    std::optional<SettingsReset> settingsReset_;
    QString incidentsKept_;
    int focusSearch_ = 0;
    HostInfo host_;
    QHash<QString, Series> series_;
    std::unordered_map<int32_t, Owner> owners_;
    DomainLog domains_;
    Date launched_;
    double launchedClock_ = 0; // the scheduler's clock at construction
    QHash<QString, int> lastRank_;
    std::optional<QString> pendingSelect_;
    std::optional<Mode> switchOnReorder_;

    std::unique_ptr<Notifier> notifier_;
    // Declared last so that it goes first: its thread stops before anything
    // its callback could reach.
    std::unique_ptr<Sampler> sampler_;
};
