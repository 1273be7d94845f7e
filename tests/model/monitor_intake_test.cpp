#include "monitor_fixture.h"

#include <QSignalSpy>

namespace {

Incident incident(Incident::Kind kind, const QString& subject, bool open = true)
{
    Incident i;
    i.kind = kind;
    i.subject = subject;
    i.peakText = QStringLiteral("97%");
    if (!open)
        i.end = i.start + 30;
    return i;
}

} // namespace

TEST_F(MonitorTest, ConstructionTakesTheSwitchesFromTheDefaults)
{
    defaults().set(QStringLiteral("expand"), QStringLiteral("exe:zsh"));
    defaults().set(QStringLiteral("scrollRows"), 12);
    defaults().set(QStringLiteral("select"), QStringLiteral("Firefox"));
    defaults().set(QStringLiteral("switchOnReorder"), QStringLiteral("ports"));
    auto m = make();
    EXPECT_EQ(m->pendingExpand, QStringLiteral("exe:zsh"));
    EXPECT_EQ(m->pendingScrollRows, 12);
    EXPECT_EQ(m->pendingSelect(), QStringLiteral("Firefox"));
    EXPECT_EQ(m->switchOnReorder(), Monitor::Mode::ports);
    EXPECT_EQ(m->mode(), Monitor::Mode::table);
    EXPECT_EQ(m->mounted(), Monitor::ModeSet{Monitor::Mode::table});
    EXPECT_TRUE(m->drawerOpen());
    EXPECT_FALSE(m->ready());

    defaults().set(QStringLiteral("switchOnReorder"), QStringLiteral(" ports"));
    defaults().remove(QStringLiteral("expand"));
    auto other = make();
    EXPECT_FALSE(other->switchOnReorder());
    EXPECT_FALSE(other->pendingExpand);
}

TEST_F(MonitorTest, WelcomeFollowsShowWelcomeElseWelcomeSeen)
{
    EXPECT_TRUE(make()->welcome()); // first launch

    defaults().set(QStringLiteral("showWelcome"), false);
    EXPECT_FALSE(make()->welcome());

    defaults().remove(QStringLiteral("showWelcome"));
    defaults().set(QStringLiteral("welcomeSeen"), true);
    EXPECT_FALSE(make()->welcome());

    // Present, the switch alone decides, and finishing writes nothing.
    defaults().set(QStringLiteral("showWelcome"), true);
    auto shown = make();
    EXPECT_TRUE(shown->welcome());
    defaults().remove(QStringLiteral("welcomeSeen"));
    shown->finishWelcome();
    EXPECT_FALSE(shown->welcome());
    EXPECT_FALSE(defaults().contains(QStringLiteral("welcomeSeen")));

    defaults().remove(QStringLiteral("showWelcome"));
    auto first = make();
    first->finishWelcome();
    EXPECT_TRUE(defaults().boolValue(QStringLiteral("welcomeSeen")));
    EXPECT_FALSE(make()->welcome());
}

TEST_F(MonitorTest, ReadyOnTheSecondLiveUpdateOrTheFirstDemoUpdate)
{
    auto live = make();
    ingest(*live, snapshotOf({group("a", 1)}));
    EXPECT_EQ(live->history().size(), 1u);
    EXPECT_EQ(live->snapshot().groups.size(), 1u);
    EXPECT_FALSE(live->ready());
    ingest(*live, snapshotOf({}));
    EXPECT_TRUE(live->ready());
    EXPECT_EQ(live->previous().groups.size(), 1u);

    auto demo = make(true);
    ingest(*demo, snapshotOf({}));
    EXPECT_TRUE(demo->ready());
}

TEST_F(MonitorTest, HistoryAndSeriesStayBounded)
{
    auto m = make();
    for (int i = 0; i < 241; ++i) {
        Snapshot s = snapshotOf({group("a", i)});
        s.system.cpu = i;
        ingest(*m, s);
    }
    ASSERT_EQ(m->history().size(), 240u);
    EXPECT_EQ(m->history().front().cpu, 1);
    EXPECT_EQ(m->history().back().cpu, 240);

    const Monitor::Series& series = m->series().value(QStringLiteral("a"));
    for (const auto* list : {&series.cpu, &series.mem, &series.threads, &series.fds, &series.netIn,
                             &series.netOut})
        EXPECT_EQ(list->size(), 120u);
    EXPECT_EQ(series.cpu.front(), 121);
    EXPECT_EQ(series.cpu.back(), 240);
}

TEST_F(MonitorTest, FrozenUpdatesKeepFiguresButFollowIncidents)
{
    auto m = make();
    ingest(*m, snapshotOf({group("a", 5, {10})}));
    m->setFrozen(true);

    QSignalSpy snapshotSpy(m.get(), &Monitor::snapshotChanged);
    QSignalSpy incidentSpy(m.get(), &Monitor::incidentsChanged);
    const Incident opened = incident(Incident::Kind::processCPU, QStringLiteral("cc1"));
    ingest(*m, snapshotOf({group("b", 9, {11})}), {opened}, {opened});

    EXPECT_EQ(incidentSpy.count(), 1);
    ASSERT_EQ(m->incidents().size(), 1u);
    EXPECT_EQ(posted.size(), 1u);
    EXPECT_EQ(snapshotSpy.count(), 0);
    EXPECT_EQ(m->snapshot().groups.front().key, QStringLiteral("a"));
    EXPECT_EQ(m->history().size(), 1u);
    EXPECT_FALSE(m->series().contains(QStringLiteral("b")));
    EXPECT_TRUE(m->owners().contains(10));
    EXPECT_FALSE(m->ready());

    m->setFrozen(false);
    ingest(*m, snapshotOf({group("b", 9, {11})}), {opened});
    EXPECT_EQ(m->snapshot().groups.front().key, QStringLiteral("b"));
    EXPECT_EQ(m->history().size(), 2u);
    EXPECT_TRUE(m->ready());
}

TEST_F(MonitorTest, OwnersDescribeTheLatestSnapshot)
{
    auto m = make();
    GroupSample browser = group("app:browser", 1, {100, 101}, QStringLiteral("Browser"));
    browser.bundlePath = QStringLiteral("/usr/share/applications/browser.desktop");
    ingest(*m, snapshotOf({browser, group("exe:zsh", 0, {200})}));
    ASSERT_EQ(m->owners().size(), 3u);
    const Owner& owner = m->owners().at(101);
    EXPECT_EQ(owner.key, QStringLiteral("app:browser"));
    EXPECT_EQ(owner.name, QStringLiteral("Browser"));
    EXPECT_EQ(owner.bundlePath, browser.bundlePath);
    EXPECT_EQ(owner.process, QStringLiteral("Browser-proc"));

    // A view woken by the new snapshot already finds its owners.
    size_t ownersSeen = 0;
    QObject::connect(m.get(), &Monitor::snapshotChanged, m.get(), [&] { ownersSeen = m->owners().size(); });
    ingest(*m, snapshotOf({group("exe:zsh", 0, {200})}));
    EXPECT_EQ(m->owners().size(), 1u);
    EXPECT_EQ(ownersSeen, 1u);
    EXPECT_FALSE(m->owners().contains(100));
}

TEST_F(MonitorTest, PendingSelectionWaitsForItsGroupOnce)
{
    defaults().set(QStringLiteral("select"), QStringLiteral("Editor"));
    auto m = make();
    for (int i = 0; i < 4; ++i) {
        ingest(*m, snapshotOf({group("a", 1), group("exe:editor", 1, {}, QStringLiteral("editor"))}));
        EXPECT_FALSE(m->selection()); // names match exactly, case and all
    }
    ingest(*m, snapshotOf({group("exe:Editor", 1, {}, QStringLiteral("Editor"))}));
    EXPECT_EQ(m->selection(), QStringLiteral("exe:Editor"));
    EXPECT_FALSE(m->pendingSelect());

    m->setSelection(std::nullopt);
    ingest(*m, snapshotOf({group("exe:Editor", 1, {}, QStringLiteral("Editor"))}));
    EXPECT_FALSE(m->selection());
}

TEST_F(MonitorTest, StaleSeriesArePrunedOnlyBeyondTheAllowance)
{
    std::vector<GroupSample> ten;
    for (int i = 0; i < 10; ++i)
        ten.push_back(group(QStringLiteral("new%1").arg(i), 1));
    auto olderGroups = [](int count) {
        std::vector<GroupSample> groups;
        for (int i = 0; i < count; ++i)
            groups.push_back(group(QStringLiteral("old%1").arg(i), 1));
        return groups;
    };

    auto kept = make();
    ingest(*kept, snapshotOf(olderGroups(64)));
    ingest(*kept, snapshotOf(ten));
    EXPECT_EQ(kept->series().size(), 74); // 10 + 64: vanished groups keep theirs

    auto pruned = make();
    ingest(*pruned, snapshotOf(olderGroups(65)));
    ingest(*pruned, snapshotOf(ten));
    EXPECT_EQ(pruned->series().size(), 10);
    EXPECT_TRUE(pruned->series().contains(QStringLiteral("new3")));
    EXPECT_EQ(pruned->series().value(QStringLiteral("new3")).cpu.size(), 1u);
}

TEST_F(MonitorTest, DomainLogActsOncePerNetworkReading)
{
    auto m = make();
    Snapshot s = snapshotOf({group("exe:curl", 1, {42})}, 7);
    Connection c;
    c.id = QStringLiteral("42 1");
    c.pid = 42;
    c.remoteHost = QStringLiteral("93.184.216.34");
    c.remotePort = 443;
    c.rateIn = 1000;
    c.bytesIn = 1000;
    s.connections = {c};
    ingest(*m, s);
    ASSERT_EQ(m->domains().lastSerial, 7);
    ASSERT_EQ(m->domains().records.size(), 1);
    const double bytes = m->domains().records.begin()->bytesIn;
    EXPECT_GT(bytes, 0);
    EXPECT_EQ(m->domains().records.begin()->apps.size(), 1u); // from the owners just built

    ingest(*m, s);
    EXPECT_EQ(m->domains().records.begin()->bytesIn, bytes);
    s.netSerial = 8;
    ingest(*m, s);
    EXPECT_EQ(m->domains().records.begin()->bytesIn, 2 * bytes);
}

// Whatever fed it, a host name is plain once it is in: the snapshot every
// view reads and the domain log hold the override as a visible mark.
TEST_F(MonitorTest, HostNamesArePlainFromTheIntakeOn)
{
    auto m = make();
    Snapshot s = snapshotOf({group("exe:curl", 1, {42})}, 7);
    Connection c;
    c.id = QStringLiteral("42 1");
    c.pid = 42;
    c.remoteHost = QStringLiteral("93.184.216.34");
    c.remotePort = 46100;
    c.host = QStringLiteral("\u202Elapyap.example\u200E");
    s.connections = {c};
    ingest(*m, s);
    const QString shown = QString(QChar::ReplacementCharacter) + QStringLiteral("lapyap.example");
    ASSERT_EQ(m->snapshot().connections.size(), 1u);
    EXPECT_EQ(m->snapshot().connections[0].host, shown);
    ASSERT_EQ(m->domains().records.size(), 1);
    EXPECT_EQ(m->domains().records.begin()->host, shown);
}

// A name that breaks its line or shows nothing reaches no view and no
// notification as it is: the line separators are spaces, and an invisible
// name is named by its executable or its pid, in the rows, the drawer's
// incidents and the notification titles alike.
TEST_F(MonitorTest, NamesReachViewsAndNotificationsOnOneLineAndVisible)
{
    auto m = make();
    const QString filler = QStringLiteral("\u3164\u3164");
    GroupSample blank = group(QStringLiteral("exe:") + filler, 5, {4242, 4243}, filler);
    blank.members[0].name = filler;
    blank.members[0].path = QStringLiteral("/usr/local/bin/agent");
    blank.members[1].name = filler;
    GroupSample split = group(QStringLiteral("exe:zzz"), 1, {77}, QStringLiteral("zzz\u2028\u2028firefox 99.9%"));
    split.members[0].name = split.name;

    Incident own = incident(Incident::Kind::processCPU, QStringLiteral("zzz\u2028\u2029firefox"));
    own.pid = 77;
    own.contributors = {QStringLiteral("a\u2028b")};
    Incident invisible = incident(Incident::Kind::memory, filler);
    invisible.groupKey = blank.key;
    Incident member = incident(Incident::Kind::processCPU, filler);
    member.groupKey = blank.key;
    member.pid = 4243;
    Incident gone = incident(Incident::Kind::threads, QStringLiteral("\u200B"));
    gone.pid = 9;

    L10n::setChinese(false);
    ingest(*m, snapshotOf({blank, split}), {own, invisible, member, gone}, {own, invisible, member, gone});

    const std::vector<GroupSample>& groups = m->snapshot().groups;
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0].name, QStringLiteral("agent"));
    EXPECT_EQ(groups[0].members[0].name, QStringLiteral("agent"));
    EXPECT_EQ(groups[0].members[0].groupName, QStringLiteral("agent"));
    EXPECT_EQ(groups[0].members[1].name, QStringLiteral("pid 4243"));
    EXPECT_EQ(groups[1].name, QStringLiteral("zzz  firefox 99.9%"));
    EXPECT_EQ(m->owners().at(77).process, QStringLiteral("zzz  firefox 99.9%"));

    ASSERT_EQ(m->incidents().size(), 4u);
    EXPECT_EQ(m->incidents()[0].subject, QStringLiteral("zzz  firefox"));
    EXPECT_EQ(m->incidents()[0].contributors, QStringList{QStringLiteral("a b")});
    EXPECT_EQ(m->incidents()[1].subject, QStringLiteral("agent"));
    EXPECT_EQ(m->incidents()[2].subject, QStringLiteral("pid 4243"));
    EXPECT_EQ(m->incidents()[3].subject, QStringLiteral("pid 9"));
    ASSERT_EQ(posted.size(), 4u);
    EXPECT_EQ(posted[0].title, QStringLiteral("zzz  firefox: ") + own.title());
    EXPECT_EQ(posted[1].title, QStringLiteral("agent: ") + invisible.title());
    EXPECT_EQ(posted[2].title, QStringLiteral("pid 4243: ") + member.title());
    for (const Posted& p : posted)
        EXPECT_FALSE(p.title.contains(QChar(0x2028)) || p.body.contains(QChar(0x2028))) << p.title.toStdString();
}

TEST_F(MonitorTest, NotificationsFollowThePreferenceAndTheLanguage)
{
    auto m = make();
    Incident pressure = incident(Incident::Kind::memoryPressure, QStringLiteral("memory"));
    Incident cpu = incident(Incident::Kind::systemCPU, QString());
    cpu.contributors = {QStringLiteral("Browser"), QStringLiteral("cc1")};
    Incident process = incident(Incident::Kind::processCPU, QStringLiteral("cc1"));

    ingest(*m, snapshotOf({}), {process}, {});
    EXPECT_TRUE(posted.empty());

    L10n::setChinese(false);
    ingest(*m, snapshotOf({}), {pressure, cpu, process}, {pressure, cpu, process});
    ASSERT_EQ(posted.size(), 3u);
    EXPECT_TRUE(posted[0].title.startsWith(QStringLiteral("System: ")));
    EXPECT_EQ(posted[0].title, QStringLiteral("System: ") + pressure.title());
    EXPECT_EQ(posted[0].body, QStringLiteral("97%"));
    EXPECT_EQ(posted[0].identifier, pressure.id.toString(QUuid::WithoutBraces).toUpper());
    EXPECT_EQ(posted[1].body, QStringLiteral("97% · Browser · cc1"));
    EXPECT_TRUE(posted[2].title.startsWith(QStringLiteral("cc1: ")));

    posted.clear();
    L10n::setChinese(true);
    ingest(*m, snapshotOf({}), {pressure}, {pressure});
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_TRUE(posted[0].title.startsWith(QStringLiteral("整机：")));

    posted.clear();
    Preferences quiet = m->prefs();
    quiet.notify = false;
    quiet.language = AppLanguage::en;
    m->setPrefs(quiet);
    ingest(*m, snapshotOf({}), {process}, {process});
    EXPECT_TRUE(posted.empty());
}

TEST_F(MonitorTest, DemoModePostsNoNotifications)
{
    auto m = make(true);
    const Incident process = incident(Incident::Kind::processCPU, QStringLiteral("cc1"));
    ingest(*m, snapshotOf({}), {process}, {process});
    EXPECT_TRUE(posted.empty());
    EXPECT_EQ(m->incidents().size(), 1u);
}

TEST_F(MonitorTest, PreferencesAreAppliedOnlyWhenChanged)
{
    auto m = make();
    QSignalSpy spy(m.get(), &Monitor::prefsChanged);
    m->setPrefs(m->prefs());
    EXPECT_EQ(spy.count(), 0);
    EXPECT_FALSE(defaults().contains(QStringLiteral("preferences")));

    Preferences changed = m->prefs();
    changed.language = AppLanguage::zh;
    changed.thresholds.threads = 900;
    m->setPrefs(changed);
    EXPECT_EQ(spy.count(), 1);
    EXPECT_TRUE(L10n::isChinese());
    EXPECT_EQ(Preferences::load(), changed);

    changed.language = AppLanguage::en;
    m->setPrefs(changed);
    EXPECT_FALSE(L10n::isChinese());
}

TEST_F(MonitorTest, ObservedFieldsSignalOnlyOnChange)
{
    auto m = make();
    QSignalSpy filterSpy(m.get(), &Monitor::filterChanged);
    QSignalSpy selectionSpy(m.get(), &Monitor::selectionChanged);
    m->setFilter(QStringLiteral("x"));
    m->setFilter(QStringLiteral("x"));
    m->setSelection(QStringLiteral("k"));
    m->setSelection(QStringLiteral("k"));
    EXPECT_EQ(filterSpy.count(), 1);
    EXPECT_EQ(selectionSpy.count(), 1);

    // Wholesale fields signal on every take-over, even of equal values.
    QSignalSpy snapshotSpy(m.get(), &Monitor::snapshotChanged);
    QSignalSpy historySpy(m.get(), &Monitor::historyChanged);
    ingest(*m, Snapshot{});
    ingest(*m, Snapshot{});
    EXPECT_EQ(snapshotSpy.count(), 2);
    EXPECT_EQ(historySpy.count(), 2);
}

TEST_F(MonitorTest, StartRestoresTheModeAndRunsTheLaunchScripts)
{
    defaults().set(QStringLiteral("mode"), QStringLiteral("field"));
    defaults().set(QStringLiteral("switchScript"), QStringLiteral("flow@1,,ports@x,domains@3"));
    defaults().set(QStringLiteral("keyScript"), QStringLiteral("down@0.5,return@2"));
    auto m = make();
    std::vector<QString> keys;
    m->start();
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(m->mode(), Monitor::Mode::field);
    EXPECT_EQ((m->mounted()), (Monitor::ModeSet{Monitor::Mode::table, Monitor::Mode::field}));
    EXPECT_EQ(m->switchToken(), 0u);

    advance(0.6); // the first key finds no handler
    m->listKeyHandler = [&keys](const QString& key) {
        keys.push_back(key);
        return true;
    };
    advance(0.5);
    EXPECT_EQ(m->mode(), Monitor::Mode::flow);
    advance(1);
    EXPECT_EQ(keys, std::vector<QString>{QStringLiteral("return")});
    EXPECT_EQ(m->mode(), Monitor::Mode::flow);
    advance(1);
    EXPECT_EQ(m->mode(), Monitor::Mode::domains);
    advance(10);
    EXPECT_EQ(m->mode(), Monitor::Mode::domains);
    EXPECT_EQ(m->switchToken(), 2u);
}
