#include "monitor_fixture.h"

#include <QSignalSpy>

#include <cmath>
#include <limits>

namespace {

std::vector<QString> keys(const std::vector<GroupSample>& rows)
{
    std::vector<QString> out;
    for (const GroupSample& g : rows)
        out.push_back(g.key);
    return out;
}

std::vector<QString> list(std::initializer_list<const char*> names)
{
    std::vector<QString> out;
    for (const char* n : names)
        out.push_back(QString::fromUtf8(n));
    return out;
}

} // namespace

TEST(MonitorBands, SpanAFactorOfOnePointTwoFive)
{
    EXPECT_EQ(Monitor::band(0), -1);
    EXPECT_EQ(Monitor::band(-3), -1);
    EXPECT_EQ(Monitor::band(std::nan("")), -1);
    EXPECT_EQ(Monitor::band(0.2), 0);
    EXPECT_EQ(Monitor::band(1), 3);
    EXPECT_EQ(Monitor::band(50), 17);
    EXPECT_EQ(Monitor::band(55), 18);
    EXPECT_EQ(Monitor::band(60), 18);
    EXPECT_EQ(Monitor::band(66), 18);
    EXPECT_EQ(Monitor::band(100), 20);
    EXPECT_GT(Monitor::band(std::numeric_limits<double>::infinity()), Monitor::band(1e300));
}

TEST(MonitorModes, TextsAndMountRule)
{
    for (Monitor::Mode mode : Monitor::allModes)
        EXPECT_EQ(Monitor::modeFromText(Monitor::modeText(mode)), mode);
    EXPECT_FALSE(Monitor::modeFromText(QStringLiteral("Table")));
    EXPECT_EQ(Monitor::modeText(Monitor::Mode::domains), QStringLiteral("domains"));
    for (Monitor::SortKey key : Monitor::allSortKeys)
        EXPECT_EQ(Monitor::sortKeyFromText(Monitor::sortKeyText(key)), key);
    EXPECT_EQ(Monitor::required(Monitor::Mode::field),
              (Monitor::ModeSet{Monitor::Mode::table, Monitor::Mode::field}));
    EXPECT_EQ(Monitor::required(Monitor::Mode::ports), Monitor::ModeSet{Monitor::Mode::ports});
}

TEST_F(MonitorTest, RowsKeepTheirPlacesWithinABand)
{
    auto m = make();
    ingest(*m, snapshotOf({group("a", 60), group("b", 66), group("c", 50), group("d", 55)}));
    EXPECT_EQ(keys(m->rows()), list({"a", "b", "d", "c"})); // a, b tie in band 18: by key
    EXPECT_EQ(keys(m->rows()), list({"a", "b", "d", "c"})); // a second read agrees

    // b overtakes a inside the band: the previous order holds. d moves up a band.
    ingest(*m, snapshotOf({group("a", 59), group("b", 67), group("c", 50), group("d", 90)}));
    EXPECT_EQ(keys(m->rows()), list({"d", "a", "b", "c"}));

    // A newcomer goes after the ranked groups of its band.
    ingest(*m, snapshotOf({group("a", 59), group("b", 67), group("0new", 60), group("d", 90)}));
    EXPECT_EQ(keys(m->rows()), list({"d", "a", "b", "0new"}));
}

TEST_F(MonitorTest, RowsAreAStrictOrderWhateverTheFigures)
{
    auto m = make();
    const double nan = std::nan("");
    std::vector<GroupSample> groups;
    for (int i = 0; i < 60; ++i) {
        const double figures[] = {nan, -5, 0, 1e-300, 3, std::numeric_limits<double>::infinity(), 1e18};
        groups.push_back(group(QStringLiteral("g%1").arg(i, 2, 10, QLatin1Char('0')), figures[i % 7]));
    }
    ingest(*m, snapshotOf(groups));
    const auto first = keys(m->rows());
    ASSERT_EQ(first.size(), 60u);
    EXPECT_EQ(keys(m->rows()), first);
    EXPECT_EQ(first.front(), QStringLiteral("g05")); // infinity, band first
    // Not a number counts as no figure: with 0 and below, at the end, by key.
    EXPECT_EQ(first.back(), QStringLiteral("g58"));

    m->toggleSort(Monitor::SortKey::cpu); // ascending now
    const auto up = keys(m->rows());
    EXPECT_EQ(up.front(), QStringLiteral("g00"));
    EXPECT_EQ(keys(m->rows()), up);
}

TEST_F(MonitorTest, ClearedFilterBringsBackUnrankedGroupsLast)
{
    auto m = make();
    ingest(*m, snapshotOf({group("x", 60, {1}), group("y", 60, {2}), group("z", 60, {3})}));
    m->setFilter(QStringLiteral("z"));
    EXPECT_EQ(keys(m->rows()), list({"z"}));
    m->setFilter(QString());
    EXPECT_EQ(keys(m->rows()), list({"z", "x", "y"}));
}

TEST_F(MonitorTest, FilterMatchesNamesWithoutCaseAndWholeProcessIds)
{
    auto m = make();
    GroupSample browser = group("app:browser", 1, {4242}, QStringLiteral("Web Browser"));
    browser.members[0].name = QStringLiteral("WebContent");
    ingest(*m, snapshotOf({browser, group("exe:zsh", 1, {77}, QStringLiteral("zsh"))}));

    m->setFilter(QStringLiteral("BROWSER"));
    EXPECT_EQ(keys(m->rows()), list({"app:browser"}));
    m->setFilter(QStringLiteral("content"));
    EXPECT_EQ(keys(m->rows()), list({"app:browser"}));
    m->setFilter(QStringLiteral("4242"));
    EXPECT_EQ(keys(m->rows()), list({"app:browser"}));
    m->setFilter(QStringLiteral("424"));
    EXPECT_TRUE(m->rows().empty());
    m->setFilter(QStringLiteral(" zsh")); // used as typed
    EXPECT_TRUE(m->rows().empty());
}

TEST_F(MonitorTest, NameSortIgnoresCaseAndLeavesRanksAlone)
{
    auto m = make();
    ingest(*m, snapshotOf({group("1", 1, {}, QStringLiteral("gamma")), group("2", 2, {}, QStringLiteral("alpha")),
                           group("3", 3, {}, QStringLiteral("Beta"))}));
    m->rows();
    const auto ranks = m->lastRank();
    m->toggleSort(Monitor::SortKey::name);
    EXPECT_TRUE(m->ascending());
    EXPECT_EQ(keys(m->rows()), list({"2", "3", "1"}));
    m->toggleSort(Monitor::SortKey::name);
    EXPECT_EQ(keys(m->rows()), list({"1", "3", "2"}));
    EXPECT_TRUE(m->lastRank().isEmpty()); // emptied by the toggle, not refilled by names
    EXPECT_FALSE(ranks.isEmpty());
}

TEST_F(MonitorTest, ToggleSortStartsFiguresLargestFirst)
{
    auto m = make();
    QSignalSpy sortSpy(m.get(), &Monitor::sortChanged);
    m->toggleSort(Monitor::SortKey::threads);
    EXPECT_EQ(m->sort(), Monitor::SortKey::threads);
    EXPECT_FALSE(m->ascending());
    m->toggleSort(Monitor::SortKey::threads);
    EXPECT_TRUE(m->ascending());
    EXPECT_EQ(sortSpy.count(), 1);

    GroupSample few = group("few", 0);
    few.threads = 2;
    GroupSample many = group("many", 0);
    many.threads = 200;
    ingest(*m, snapshotOf({many, few}));
    EXPECT_EQ(keys(m->rows()), list({"few", "many"}));
}

TEST_F(MonitorTest, EscapeClearsFilterThenSelection)
{
    auto m = make();
    m->setFilter(QStringLiteral("x"));
    m->setSelection(QStringLiteral("g"));
    m->setFocusPid(12);
    EXPECT_TRUE(m->escape());
    EXPECT_TRUE(m->filter().isEmpty());
    EXPECT_EQ(m->selection(), QStringLiteral("g"));
    EXPECT_TRUE(m->escape());
    EXPECT_FALSE(m->selection());
    EXPECT_FALSE(m->focusPid());
    EXPECT_FALSE(m->escape());

    m->setFilter(QStringLiteral("x"));
    m->setBlocking(true);
    EXPECT_FALSE(m->escape());
    EXPECT_EQ(m->filter(), QStringLiteral("x"));
}

TEST_F(MonitorTest, SelectionAndIncidentViews)
{
    auto m = make();
    Incident ended;
    ended.severity = Severity::critical;
    ended.end = ended.start + 5;
    Incident warn;
    Incident alsoWarn;
    ingest(*m, snapshotOf({group("a", 1)}), {warn, ended, alsoWarn});

    m->setSelection(QStringLiteral("a"));
    ASSERT_TRUE(m->selectedGroup());
    EXPECT_EQ(m->selectedGroup()->key, QStringLiteral("a"));
    m->setSelection(QStringLiteral("gone"));
    EXPECT_FALSE(m->selectedGroup());

    const auto open = m->openIncidents();
    ASSERT_EQ(open.size(), 2u);
    EXPECT_EQ(open[0].id, warn.id);
    EXPECT_EQ(open[1].id, alsoWarn.id);
    EXPECT_EQ(m->worstOpen(), Severity::warn);

    m->clearIncidents();
    ASSERT_EQ(m->incidents().size(), 2u);
    EXPECT_EQ(m->incidents()[1].id, alsoWarn.id);
    ingest(*m, snapshotOf({}), {});
    EXPECT_FALSE(m->worstOpen());
}

TEST_F(MonitorTest, SwitchUnmountsAfterTheLatestSwitchOnly)
{
    auto m = make();
    int emptied = 0;
    m->rowIconHider = [&emptied](const QSet<QString>& hidden) { emptied += hidden.isEmpty(); };

    m->switchMode(Monitor::Mode::field);
    EXPECT_EQ(m->mode(), Monitor::Mode::field);
    EXPECT_EQ(m->previousMode(), Monitor::Mode::table);
    EXPECT_TRUE(m->listHold().holdsReason(InteractionHold::Reason::transition));
    EXPECT_EQ(defaults().stringValue(QStringLiteral("mode")), QStringLiteral("field"));

    advance(0.2);
    m->switchMode(Monitor::Mode::table);
    advance(0.31); // the first switch's action found a newer token
    const Monitor::ModeSet both{Monitor::Mode::table, Monitor::Mode::field};
    EXPECT_EQ(m->mounted(), both);
    EXPECT_EQ(emptied, 0);
    advance(0.02);
    EXPECT_EQ(m->mounted(), Monitor::ModeSet{Monitor::Mode::table});
    EXPECT_EQ(emptied, 1);

    m->switchMode(Monitor::Mode::field);
    advance(1);
    m->switchMode(Monitor::Mode::flow);
    advance(0.54);
    EXPECT_TRUE(m->mounted().contains(Monitor::Mode::field));
    advance(0.02);
    EXPECT_EQ(m->mounted(), Monitor::ModeSet{Monitor::Mode::flow});
    EXPECT_EQ(emptied, 2);
}

TEST_F(MonitorTest, SwitchIgnoresSameModeAndBlockingAndDemoStoresNothing)
{
    auto m = make();
    m->switchMode(Monitor::Mode::table);
    EXPECT_EQ(m->switchToken(), 0u);
    m->setBlocking(true);
    m->switchMode(Monitor::Mode::ports);
    EXPECT_EQ(m->mode(), Monitor::Mode::table);

    auto demo = make(true);
    demo->switchMode(Monitor::Mode::ports);
    EXPECT_EQ(demo->mode(), Monitor::Mode::ports);
    EXPECT_FALSE(defaults().contains(QStringLiteral("mode")));
}

TEST_F(MonitorTest, FieldEnteredFromTheListPinsTheVisibleRows)
{
    auto m = make();
    m->rowAnchorSource = [] {
        Monitor::RowAnchors anchors;
        anchors.clip = QRectF(0, 100, 300, 200); // y from 100 to 300
        anchors.points = {{QStringLiteral("top"), QPointF(9, 100)},
                          {QStringLiteral("in"), QPointF(-50, 150)},
                          {QStringLiteral("low"), QPointF(9, 299.5)},
                          {QStringLiteral("below"), QPointF(9, 300)}};
        return std::optional(anchors);
    };
    m->switchMode(Monitor::Mode::field);
    EXPECT_TRUE(m->fieldFromRows());
    EXPECT_EQ(m->fieldPinned(), (QSet<QString>{QStringLiteral("in"), QStringLiteral("low")}));

    // Back within the unmount delay: the field is still built and keeps its pins.
    m->switchMode(Monitor::Mode::flow);
    m->rowAnchorSource = [] { return std::optional<Monitor::RowAnchors>(); };
    m->switchMode(Monitor::Mode::field);
    EXPECT_EQ(m->fieldPinned().size(), 2);
    EXPECT_TRUE(m->fieldFromRows());

    advance(1);
    m->switchMode(Monitor::Mode::ports);
    advance(1);
    m->switchMode(Monitor::Mode::field);
    EXPECT_FALSE(m->fieldFromRows());
    EXPECT_TRUE(m->fieldPinned().isEmpty());
}

TEST_F(MonitorTest, ReorderSwitchesOnceAfterTheGracePeriod)
{
    defaults().set(QStringLiteral("switchOnReorder"), QStringLiteral("field"));
    auto m = make();
    advance(5);
    m->reorderBegan();
    advance(1);
    EXPECT_EQ(m->mode(), Monitor::Mode::table);
    EXPECT_TRUE(m->switchOnReorder());

    advance(3); // 9 s after launch
    m->reorderBegan();
    EXPECT_FALSE(m->switchOnReorder());
    advance(0.08);
    EXPECT_EQ(m->mode(), Monitor::Mode::table);
    advance(0.02);
    EXPECT_EQ(m->mode(), Monitor::Mode::field);

    m->switchMode(Monitor::Mode::table);
    m->reorderBegan();
    advance(1);
    EXPECT_EQ(m->mode(), Monitor::Mode::table);
}

TEST_F(MonitorTest, SignalsGoOutOnlyOnceTheWholeChangeIsWritten)
{
    auto m = make();
    // Every slot reads the whole Monitor and checks it against the change
    // it is part of.
    std::vector<QString> broken;
    auto check = [&](const char* signal, bool whole) {
        if (!whole)
            broken.push_back(QString::fromLatin1(signal));
    };

    // An intake: the second live update makes the Monitor ready.
    ingest(*m, snapshotOf({group("a", 1, {10})}));
    auto intakeWhole = [&] {
        return m->snapshot().groups.size() == 2 && m->previous().groups.size() == 1
            && m->history().size() == 2 && m->owners().count(20) == 1 && m->ready();
    };
    for (auto signal : {&Monitor::readyChanged, &Monitor::snapshotChanged, &Monitor::previousChanged,
                        &Monitor::historyChanged})
        QObject::connect(m.get(), signal, m.get(), [&] { check("intake", intakeWhole()); });
    ingest(*m, snapshotOf({group("a", 1, {10}), group("b", 1, {20})}));
    EXPECT_TRUE(m->ready());

    // A switch from the list to the field.
    auto switchWhole = [&] {
        return m->mode() == Monitor::Mode::field && m->previousMode() == Monitor::Mode::table
            && m->mounted().contains(Monitor::Mode::field) && m->fieldFromRows()
            && m->fieldPinned().contains(QStringLiteral("a"));
    };
    m->rowAnchorSource = [] {
        Monitor::RowAnchors anchors;
        anchors.clip = QRectF(0, 0, 100, 100);
        anchors.points = {{QStringLiteral("a"), QPointF(5, 50)}};
        return std::optional(anchors);
    };
    for (auto signal : {&Monitor::modeChanged, &Monitor::previousModeChanged, &Monitor::mountedChanged,
                        &Monitor::fieldFromRowsChanged})
        QObject::connect(m.get(), signal, m.get(), [&] {
            if (m->mode() == Monitor::Mode::field || m->fieldFromRows())
                check("switch", switchWhole());
        });
    m->switchMode(Monitor::Mode::field);
    EXPECT_TRUE(switchWhole());

    // A change of language: the texts must already be in the new one.
    L10n::setChinese(false);
    bool heard = false;
    QObject::connect(m.get(), &Monitor::prefsChanged, m.get(), [&] {
        heard = true;
        Preferences stored = Preferences::load();
        check("prefs", L10n::isChinese() && stored.language == AppLanguage::zh);
    });
    Preferences p = m->prefs();
    p.language = AppLanguage::zh;
    m->setPrefs(p);
    EXPECT_TRUE(heard);
    EXPECT_TRUE(broken.empty()) << broken.front().toStdString();
}
