#include "model/monitor.h"

#include "engine/system_probe.h"
#include "core/l10n.h"
#include "core/outside_text.h"
#include "model/launch_script.h"
#include "platform/defaults.h"
#include "platform/notifications.h"
#include "ui/motion.h"
#include "ui/scheduler.h"
#include "ui/sound.h"

#include <QCollator>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QMetaObject>
#include <QPointer>
#include <QStringList>

#include <algorithm>
#include <climits>
#include <cmath>
#include <utility>

namespace {

const QString modeKey = QStringLiteral("mode");
const QString showWelcomeKey = QStringLiteral("showWelcome");
const QString welcomeSeenKey = QStringLiteral("welcomeSeen");

constexpr std::array modeTexts{"table", "field", "flow", "domains", "ports"};
constexpr std::array sortKeyTexts{"name", "cpu", "mem", "threads", "fds", "netIn", "netOut"};

void push(std::vector<double>& list, double value)
{
    if (list.size() >= Monitor::Series::capacity)
        list.erase(list.begin(), list.end() - (Monitor::Series::capacity - 1));
    list.push_back(value);
}

double figure(const GroupSample& group, Monitor::SortKey key)
{
    switch (key) {
    case Monitor::SortKey::cpu: return group.cpu;
    case Monitor::SortKey::mem: return double(group.mem);
    case Monitor::SortKey::threads: return double(group.threads);
    case Monitor::SortKey::fds: return double(group.fds);
    case Monitor::SortKey::netIn: return group.netIn;
    case Monitor::SortKey::netOut: return group.netOut;
    case Monitor::SortKey::name: break;
    }
    return 0;
}

bool matches(const GroupSample& group, const QString& filter)
{
    if (group.name.contains(filter, Qt::CaseInsensitive))
        return true;
    for (const ProcSample& member : group.members) {
        if (member.name.contains(filter, Qt::CaseInsensitive))
            return true;
        if (QString::number(member.pid) == filter)
            return true;
    }
    return false;
}

// Whole-machine incidents are headed "System"; the others by their subject.
bool isSystemWide(Incident::Kind kind)
{
    return kind == Incident::Kind::systemCPU || kind == Incident::Kind::memoryPressure
        || kind == Incident::Kind::systemFiles;
}

// A group's name as every view shows it: plain, or a stand-in when it would
// show nothing.
QString shownGroupName(const GroupSample& g)
{
    const ProcSample* first = g.members.empty() ? nullptr : &g.members.front();
    const QString path = g.bundlePath ? *g.bundlePath : first ? first->path : QString();
    return ProcSample::shownName(g.name, path, first ? std::optional(first->pid) : std::nullopt);
}

// An incident as the drawer, the panel and the notifications word it: its
// subject and contributors plain, and a subject that would show nothing
// named as its process or group is named in the list.
Incident shownIncident(Incident incident, const std::vector<GroupSample>& groups)
{
    for (QString& c : incident.contributors)
        c = OutsideText::plain(c);
    incident.subject = OutsideText::plain(incident.subject);
    if (!OutsideText::blank(incident.subject))
        return incident;
    for (const GroupSample& g : groups) {
        if (g.key != incident.groupKey)
            continue;
        if (!incident.pid) {
            incident.subject = shownGroupName(g);
            return incident;
        }
        for (const ProcSample& p : g.members)
            if (p.pid == *incident.pid) {
                incident.subject = ProcSample::shownName(p.name, p.path, p.pid);
                return incident;
            }
    }
    incident.subject = ProcSample::shownName(incident.subject, {}, incident.pid);
    return incident;
}

} // namespace

// ---- names

QString Monitor::modeText(Mode mode)
{
    return QString::fromLatin1(modeTexts[static_cast<std::size_t>(mode)]);
}

std::optional<Monitor::Mode> Monitor::modeFromText(const QString& text)
{
    for (Mode mode : allModes)
        if (text == QLatin1String(modeTexts[static_cast<std::size_t>(mode)]))
            return mode;
    return std::nullopt;
}

QString Monitor::sortKeyText(SortKey key)
{
    return QString::fromLatin1(sortKeyTexts[static_cast<std::size_t>(key)]);
}

std::optional<Monitor::SortKey> Monitor::sortKeyFromText(const QString& text)
{
    for (SortKey key : allSortKeys)
        if (text == QLatin1String(sortKeyTexts[static_cast<std::size_t>(key)]))
            return key;
    return std::nullopt;
}

void Monitor::Series::append(const GroupSample& group)
{
    push(cpu, group.cpu);
    push(mem, double(group.mem));
    push(threads, double(group.threads));
    push(fds, double(group.fds));
    push(netIn, group.netIn);
    push(netOut, group.netOut);
}

Monitor::ModeSet Monitor::required(Mode mode)
{
    // The field's bubbles fly out of and back into the list rows.
    if (mode == Mode::field)
        return {Mode::table, Mode::field};
    return {mode};
}

// ---- construction

Monitor::Monitor(QObject* parent)
    : Monitor(Sampler::Options(), std::make_unique<DesktopNotifier>(), parent)
{
}

Monitor::Monitor(const Sampler::Options& options, std::unique_ptr<Notifier> notifier,
                 QObject* parent)
    : QObject(parent)
    , demo_(options.demo)
    , sampleDate_(Date::now())
    , listHold_(QStringLiteral("list"))
    , flowHold_(QStringLiteral("flow"))
    , domainsHold_(QStringLiteral("domains"))
    , portsHold_(QStringLiteral("ports"))
    , notifier_(std::move(notifier))
{
    Defaults& defaults = Defaults::standard();

    if (defaults.contains(QStringLiteral("expand")))
        pendingExpand = defaults.stringValue(QStringLiteral("expand"));
    pendingScrollRows = int(std::clamp<qint64>(defaults.intValue(QStringLiteral("scrollRows"), 0),
                                                INT_MIN, INT_MAX));

    host_ = SystemProbe::hostInfo();
    launched_ = Date::now();
    launchedClock_ = Scheduler::current().now();
    sampler_ = std::make_unique<Sampler>(options);
    incidentsKept_ = sampler_->incidentsKeptAs();

    if (defaults.contains(QStringLiteral("select")))
        pendingSelect_ = defaults.stringValue(QStringLiteral("select"));
    if (defaults.contains(QStringLiteral("switchOnReorder")))
        switchOnReorder_ = modeFromText(defaults.stringValue(QStringLiteral("switchOnReorder")));

    prefs_ = Preferences::load();
    storedPrefs_ = prefs_;
    // The user is told where the old file went, so it goes there now rather
    // than before the first write.
    if (defaults.unreadable()) {
        if (!defaults.keepAside())
            settingsReset_ = SettingsReset{defaults.fileName(), false};
        else if (const QString kept = defaults.keptAs(); !kept.isEmpty())
            settingsReset_ = SettingsReset{kept, true};
    }
    L10n::apply(prefs_.language);
    Sound::setEnabled(prefs_.sounds);

    // Once "showWelcome" exists it alone decides; otherwise a first launch
    // shows the tour.
    if (defaults.contains(showWelcomeKey))
        welcome_ = defaults.boolValue(showWelcomeKey);
    else
        welcome_ = !defaults.boolValue(welcomeSeenKey);
}

Monitor::~Monitor()
{
    // No update may reach a Monitor that is going away.
    sampler_->setOnUpdate(nullptr);
}

void Monitor::start()
{
    Defaults& defaults = Defaults::standard();
    Scheduler& scheduler = Scheduler::current();

    if (auto restored = modeFromText(defaults.stringValue(modeKey))) {
        setMode(*restored);
        setMounted(required(mode_));
    }

    for (const LaunchScript::Entry& entry :
         LaunchScript::parse(defaults.stringValue(QStringLiteral("switchScript")))) {
        if (auto target = modeFromText(entry.name))
            scheduler.after(entry.delay, this, [this, target = *target] { switchMode(target); });
    }
    for (const LaunchScript::Entry& entry :
         LaunchScript::parse(defaults.stringValue(QStringLiteral("keyScript")))) {
        scheduler.after(entry.delay, this, [this, name = entry.name] {
            if (listKeyHandler)
                listKeyHandler(name);
        });
    }

    // Fixes the holds' reference instant no later than start-up.
    InteractionHold::launch();

    QPointer<Monitor> weak(this);
    sampler_->setOnUpdate([weak](const Sampler::Update& update) {
        // On the sampler's thread: only hand the update over. A Monitor that
        // is gone by the time it runs drops it.
        Monitor* target = weak.data();
        if (!target)
            return;
        QMetaObject::invokeMethod(
            target,
            [weak, update] {
                if (weak)
                    weak->ingest(update);
            },
            Qt::QueuedConnection);
    });
    sampler_->apply(prefs_);
    sampler_->start();

    // Another copy in another session may change the settings while this
    // one runs. Its write replaces the file, so the folder is watched too.
    settingsWatch_ = new QFileSystemWatcher(this);
    connect(settingsWatch_, &QFileSystemWatcher::fileChanged, this, &Monitor::takeUpStoredPrefs);
    connect(settingsWatch_, &QFileSystemWatcher::directoryChanged, this, &Monitor::takeUpStoredPrefs);
    watchSettings();

    if (notifier_)
        notifier_->requestPermission();
}

// ---- intake

void Monitor::ingest(const Sampler::Update& update)
{
    // The incident list and the notifications follow the machine even while
    // the figures stand still.
    incidents_.clear();
    incidents_.reserve(update.incidents.size());
    for (const Incident& incident : update.incidents)
        incidents_.push_back(shownIncident(incident, update.snapshot.groups));
    emit incidentsChanged();
    std::vector<Incident> opened;
    for (const Incident& incident : update.opened)
        opened.push_back(shownIncident(incident, update.snapshot.groups));
    notify(opened);
    if (assign(unreadable_, update.snapshot.unreadable))
        emit unreadableChanged();

    // Figures that were not read add nothing: the last ones read stay, and
    // no history or series goes on with copies of them.
    if (frozen_ || unreadable_)
        return;

    // Every field first; views woken by any of the signals below read the
    // whole intake, never half of it.
    const bool becameReady = !ready_ && (demo_ || !history_.empty()) && assign(ready_, true);

    previous_ = std::move(snapshot_);
    snapshot_ = update.snapshot;
    // Host and process names reach every view and the domain log from here:
    // whatever fed them, they are plain from this point on, and none of
    // them is invisible.
    for (Connection& c : snapshot_.connections)
        if (c.host)
            c.host = OutsideText::plain(*c.host);
    for (GroupSample& group : snapshot_.groups) {
        const QString given = group.name;
        group.name = shownGroupName(group);
        for (ProcSample& member : group.members) {
            member.groupName = member.groupName == given
                ? group.name
                : ProcSample::shownName(member.groupName, {}, member.pid);
            member.name = ProcSample::shownName(member.name, member.path, member.pid);
        }
    }

    history_.push_back(snapshot_.system);
    if (history_.size() > historyCapacity)
        history_.erase(history_.begin(), history_.end() - historyCapacity);

    owners_.clear();
    for (const GroupSample& group : snapshot_.groups) {
        series_[group.key].append(group);
        for (const ProcSample& member : group.members)
            owners_.insert_or_assign(member.pid,
                                     Owner{group.key, group.name, group.bundlePath, member.name});
    }

    // The log acts once per network reading; repeats of a serial are ignored there.
    domains_.update(snapshot_, owners_, Date::now());

    const bool dated = assign(sampleDate_, Date::now());

    bool selected = false;
    if (pendingSelect_) {
        for (const GroupSample& group : snapshot_.groups) {
            if (group.name == *pendingSelect_) {
                selected = assign(selection_, std::optional<QString>(group.key));
                pendingSelect_.reset();
                break;
            }
        }
    }

    if (std::size_t(series_.size()) > snapshot_.groups.size() + staleSeriesAllowance) {
        QSet<QString> live;
        live.reserve(qsizetype(snapshot_.groups.size()));
        for (const GroupSample& group : snapshot_.groups)
            live.insert(group.key);
        series_.removeIf([&live](QHash<QString, Series>::iterator entry) {
            return !live.contains(entry.key());
        });
    }

    emit previousChanged();
    emit snapshotChanged();
    if (dated)
        emit sampleDateChanged();
    emit historyChanged();
    if (becameReady)
        emit readyChanged();
    if (selected)
        emit selectionChanged();
}

void Monitor::notify(const std::vector<Incident>& opened)
{
    // The demo's incidents are made up: they never reach the desktop.
    if (!prefs_.notify || demo_ || !notifier_ || opened.empty())
        return;
    for (const Incident& incident : opened) {
        const QString subject = isSystemWide(incident.kind) ? L10n::text("System", "整机")
                                                            : incident.subject;
        const QString title = subject + L10n::text(": ", "：") + incident.title();
        QStringList parts{incident.peakText};
        parts += incident.contributors;
        notifier_->post(incident.id.toString(QUuid::WithoutBraces).toUpper(), title,
                        parts.join(QStringLiteral(" · ")));
    }
}

// ---- observed writes

template <class T>
bool Monitor::assign(T& field, const T& value)
{
    if (field == value)
        return false;
    field = value;
    return true;
}

template <class T>
void Monitor::write(T& field, const T& value, void (Monitor::*changed)())
{
    if (field == value)
        return;
    field = value;
    emit(this->*changed)();
}

void Monitor::setSelection(const std::optional<QString>& value) { write(selection_, value, &Monitor::selectionChanged); }
void Monitor::setFocusPid(std::optional<int32_t> value) { write(focusPid_, value, &Monitor::focusPidChanged); }
void Monitor::setFilter(const QString& value) { write(filter_, value, &Monitor::filterChanged); }
void Monitor::setFrozen(bool value) { write(frozen_, value, &Monitor::frozenChanged); }
void Monitor::setBlocking(bool value) { write(blocking_, value, &Monitor::blockingChanged); }
void Monitor::setDrawerOpen(bool value) { write(drawerOpen_, value, &Monitor::drawerOpenChanged); }
void Monitor::setFocusSearch(int value) { write(focusSearch_, value, &Monitor::focusSearchChanged); }
void Monitor::setSort(SortKey value) { write(sort_, value, &Monitor::sortChanged); }
void Monitor::setAscending(bool value) { write(ascending_, value, &Monitor::ascendingChanged); }
void Monitor::setMode(Mode value) { write(mode_, value, &Monitor::modeChanged); }
void Monitor::setMounted(const ModeSet& value) { write(mounted_, value, &Monitor::mountedChanged); }
void Monitor::setPreviousMode(Mode value) { write(previousMode_, value, &Monitor::previousModeChanged); }
void Monitor::setFieldFromRows(bool value) { write(fieldFromRows_, value, &Monitor::fieldFromRowsChanged); }
void Monitor::setWelcome(bool value) { write(welcome_, value, &Monitor::welcomeChanged); }
void Monitor::setReady(bool value) { write(ready_, value, &Monitor::readyChanged); }

void Monitor::setPrefs(const Preferences& value)
{
    if (prefs_ == value)
        return;
    Preferences next = value;
    if (auto written = value.saveChanges(Defaults::standard(), storedPrefs_)) {
        saveFailure_ = Defaults::Failure::none;
        storedPrefs_ = *written;
        next = *written;
    } else {
        // Kept in effect, and written with the next change.
        const Defaults::Failure why = Defaults::standard().lastFailure();
        saveFailure_ = why == Defaults::Failure::none ? Defaults::Failure::notWritable : why;
    }
    watchSettings();
    applyPrefs(next);
    const bool resetSeen = settingsReset_.has_value();
    settingsReset_.reset();
    emit prefsChanged();
    if (resetSeen)
        emit settingsResetChanged();
}

void Monitor::applyPrefs(const Preferences& value)
{
    prefs_ = value;
    // Listeners rebuild texts on the change signal: the language must be
    // set first.
    L10n::apply(prefs_.language);
    // Every cue asks this one switch, so no view can forget the preference.
    Sound::setEnabled(prefs_.sounds);
    sampler_->apply(prefs_);
}

void Monitor::takeUpStoredPrefs()
{
    watchSettings();
    // Our own writes come back here too; they hold what storedPrefs_ holds.
    const std::optional<Preferences> stored = Preferences::stored(Defaults::standard());
    if (!stored || *stored == storedPrefs_)
        return;
    // A change of ours that has not reached the file yet stays in effect.
    const Preferences next = Preferences::merged(*stored, storedPrefs_, prefs_);
    storedPrefs_ = *stored;
    if (next == prefs_)
        return;
    applyPrefs(next);
    emit prefsChanged();
}

void Monitor::watchSettings()
{
    if (!settingsWatch_)
        return;
    const QString file = Defaults::standard().fileName();
    const QString folder = QFileInfo(file).absolutePath();
    if (!settingsWatch_->directories().contains(folder) && QFileInfo(folder).isDir())
        settingsWatch_->addPath(folder);
    if (!settingsWatch_->files().contains(file) && QFileInfo(file).isFile())
        settingsWatch_->addPath(file);
}

void Monitor::dismissSettingsReset()
{
    if (!settingsReset_)
        return;
    settingsReset_.reset();
    emit settingsResetChanged();
}

void Monitor::dismissIncidentsKept()
{
    if (incidentsKept_.isEmpty())
        return;
    incidentsKept_.clear();
    emit incidentsKeptChanged();
}

// ---- operations

void Monitor::switchMode(Mode target)
{
    if (target == mode_ || blocking_)
        return;
    const Mode old = mode_;
    if ((old == Mode::table && target == Mode::field) || (old == Mode::field && target == Mode::table))
        listHold_.pulse(InteractionHold::Reason::transition, Motion::standard() + 0.1);

    const uint64_t token = ++switchToken_;

    bool fromRowsChanged = false;
    if (target == Mode::field && !mounted_.contains(Mode::field)) {
        fromRowsChanged = assign(fieldFromRows_, old == Mode::table);
        fieldPinned_.clear();
        if (fieldFromRows_ && rowAnchorSource) {
            if (const std::optional<RowAnchors> anchors = rowAnchorSource()) {
                const double top = anchors->clip.top();
                const double bottom = anchors->clip.bottom();
                for (auto it = anchors->points.cbegin(); it != anchors->points.cend(); ++it) {
                    const double y = it.value().y();
                    if (std::min(top, bottom) < y && y < std::max(top, bottom))
                        fieldPinned_.insert(it.key());
                }
            }
        }
    }

    // All of the switch is written before anyone hears of any of it.
    const bool newPrevious = assign(previousMode_, old);
    ModeSet grown = mounted_;
    grown.merge(required(target));
    const bool newMounted = assign(mounted_, grown);
    const bool newMode = assign(mode_, target);
    if (fromRowsChanged)
        emit fieldFromRowsChanged();
    if (newPrevious)
        emit previousModeChanged();
    if (newMounted)
        emit mountedChanged();
    if (newMode)
        emit modeChanged();

    if (!demo_)
        Defaults::standard().set(modeKey, modeText(target));

    const double delay = Motion::standard() + (old == Mode::field && target == Mode::table ? 0.02 : 0.25);
    Scheduler::current().after(delay, this, [this, token] {
        if (switchToken_ != token)
            return;
        setMounted(required(mode_));
        if (!mounted_.contains(Mode::field) && rowIconHider)
            rowIconHider({});
    });
}

int64_t Monitor::band(double figure)
{
    // Also catches not-a-number, which would break the sort's order.
    if (!(figure > 0))
        return -1;
    const double quotient = std::log(figure + 1) / bandWidth;
    // An infinite figure goes to the top band rather than overflowing.
    if (!(quotient < double(INT64_MAX / 2)))
        return INT64_MAX / 2;
    return int64_t(quotient);
}

std::vector<GroupSample> Monitor::rows()
{
    std::vector<GroupSample> result;
    result.reserve(snapshot_.groups.size());
    if (filter_.isEmpty()) {
        result = snapshot_.groups;
    } else {
        for (const GroupSample& group : snapshot_.groups)
            if (matches(group, filter_))
                result.push_back(group);
    }

    if (sort_ == SortKey::name) {
        QCollator collator;
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        const bool up = ascending_;
        std::stable_sort(result.begin(), result.end(),
                         [&collator, up](const GroupSample& a, const GroupSample& b) {
                             const int order = collator.compare(a.name, b.name);
                             return up ? order < 0 : order > 0;
                         });
        return result;
    }

    struct Key {
        int64_t band;
        int rank;
        std::size_t index;
    };
    std::vector<Key> keys;
    keys.reserve(result.size());
    for (std::size_t i = 0; i < result.size(); ++i)
        keys.push_back({band(figure(result[i], sort_)), lastRank_.value(result[i].key, INT_MAX), i});

    const bool up = ascending_;
    std::sort(keys.begin(), keys.end(), [&result, up](const Key& a, const Key& b) {
        if (a.band != b.band)
            return up ? a.band < b.band : a.band > b.band;
        if (a.rank != b.rank)
            return a.rank < b.rank;
        return result[a.index].key < result[b.index].key;
    });

    std::vector<GroupSample> sorted;
    sorted.reserve(result.size());
    lastRank_.clear();
    for (const Key& key : keys) {
        lastRank_.insert(result[key.index].key, int(sorted.size()));
        sorted.push_back(std::move(result[key.index]));
    }
    return sorted;
}

void Monitor::toggleSort(SortKey key)
{
    if (key != sort_) {
        setSort(key);
        setAscending(key == SortKey::name);
    } else {
        setAscending(!ascending_);
    }
    lastRank_.clear();
}

bool Monitor::escape()
{
    if (blocking_)
        return false;
    if (!filter_.isEmpty()) {
        setFilter(QString());
        return true;
    }
    if (!selection_)
        return false;
    setSelection(std::nullopt);
    setFocusPid(std::nullopt);
    return true;
}

std::optional<GroupSample> Monitor::selectedGroup() const
{
    if (!selection_)
        return std::nullopt;
    for (const GroupSample& group : snapshot_.groups)
        if (group.key == *selection_)
            return group;
    return std::nullopt;
}

std::vector<Incident> Monitor::openIncidents() const
{
    std::vector<Incident> open;
    std::copy_if(incidents_.begin(), incidents_.end(), std::back_inserter(open),
                 [](const Incident& incident) { return incident.isOpen(); });
    return open;
}

std::optional<Severity> Monitor::worstOpen() const
{
    std::optional<Severity> worst;
    for (const Incident& incident : incidents_)
        if (incident.isOpen() && (!worst || *worst < incident.severity))
            worst = incident.severity;
    return worst;
}

void Monitor::clearIncidents()
{
    std::erase_if(incidents_, [](const Incident& incident) { return !incident.isOpen(); });
    emit incidentsChanged();
    sampler_->clearIncidents();
}

void Monitor::reorderBegan()
{
    if (!switchOnReorder_)
        return;
    Scheduler& scheduler = Scheduler::current();
    if (scheduler.now() - launchedClock_ <= reorderGrace)
        return;
    const Mode target = *switchOnReorder_;
    switchOnReorder_.reset();
    scheduler.after(Motion::standard() * 0.3, this, [this, target] { switchMode(target); });
}

void Monitor::finishWelcome()
{
    setWelcome(false);
    Defaults& defaults = Defaults::standard();
    if (!defaults.contains(showWelcomeKey))
        defaults.set(welcomeSeenKey, true);
}
