#include "app/incident_drawer.h"

#include "core/fmt.h"
#include "ui/drawn_texts.h"
#include "model/monitor.h"
#include "shell_fixture.h"
#include "ui/frame_clock.h"
#include "ui/hold_badge.h"
#include "ui/press_button.h"
#include "ui/theme.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QMenu>
#include <QTest>
#include <QVBoxLayout>

namespace {

Incident incident(QString subject, Severity severity = Severity::warn, bool ended = false,
                  std::optional<QString> groupKey = {}, std::optional<int32_t> pid = {})
{
    Incident i;
    i.kind = Incident::Kind::processCPU;
    i.severity = severity;
    i.subject = std::move(subject);
    i.groupKey = std::move(groupKey);
    i.pid = pid;
    i.peakText = QStringLiteral("180%");
    i.start = Date::fromUnix(1'700'000'000);
    if (ended)
        i.end = i.start + 65;
    return i;
}

std::vector<QString> subjects(const IncidentDrawer& drawer)
{
    std::vector<QString> result;
    for (const auto& row : drawer.model().rows)
        result.push_back(row.subject);
    return result;
}

} // namespace

class IncidentDrawerTest : public ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        m = make();
        drawer = std::make_unique<IncidentDrawer>(*m);
        showOffscreen(*drawer, {900, 200});
    }
    void TearDown() override
    {
        drawer.reset();
        m.reset();
        ShellTest::TearDown();
    }

    void feed(std::vector<Incident> incidents)
    {
        ingest(*m, snapshotOf({}), std::move(incidents));
        runPending();
    }

    std::unique_ptr<Monitor> m;
    std::unique_ptr<IncidentDrawer> drawer;
};

TEST_F(IncidentDrawerTest, EmptyDrawerExplainsItselfAndCountsZero)
{
    const auto& model = drawer->model();
    EXPECT_TRUE(model.open);
    EXPECT_EQ(model.count, QStringLiteral("0"));
    ASSERT_TRUE(model.empty.has_value());
    EXPECT_TRUE(model.empty->startsWith(QStringLiteral("No incidents yet.")));
    EXPECT_FALSE(model.clearEnded);
    EXPECT_FALSE(drawer->clearButton()->isVisible());
    EXPECT_GT(drawer->sizeHint().height(), IncidentDrawer::headerHeight);
}

TEST_F(IncidentDrawerTest, EmptyTextKeepsAllItsLinesInANarrowColumn)
{
    // Narrower than the drawer asks to be, the text wraps to more lines,
    // and the drawer grows to show them all once it knows its width.
    QWidget column;
    auto* stack = new QVBoxLayout(&column);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->addStretch(1);
    auto* narrow = new IncidentDrawer(*m, &column);
    stack->addWidget(narrow);
    showOffscreen(column, {292, 400});
    QLabel* text = nullptr;
    for (QLabel* label : narrow->findChildren<QLabel*>())
        if (label->text() == IncidentDrawer::emptyText())
            text = label;
    ASSERT_NE(text, nullptr);
    // Each pass lays the drawer out at the height its last width asked for.
    for (int pass = 0; pass < 4; ++pass)
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    ASSERT_EQ(text->width(), 292);
    EXPECT_GT(text->heightForWidth(292), text->heightForWidth(IncidentDrawer::hintWidth));
    EXPECT_GE(text->height(), text->heightForWidth(292));
}

TEST_F(IncidentDrawerTest, ClearEndedOnlyWhileOpenAndSomethingEnded)
{
    feed({incident("a"), incident("b")});
    EXPECT_FALSE(drawer->model().clearEnded) << "every incident is still open";
    EXPECT_EQ(drawer->rowViews().size(), 2u);

    feed({incident("a"), incident("b", Severity::warn, true)});
    EXPECT_TRUE(drawer->model().clearEnded);
    EXPECT_TRUE(drawer->clearButton()->isVisible());

    m->setDrawerOpen(false);
    settle();
    EXPECT_FALSE(drawer->model().clearEnded);
    EXPECT_FALSE(drawer->clearButton()->isVisible());
    EXPECT_EQ(drawer->model().count, QStringLiteral("2")) << "the count stays while folded";
    EXPECT_TRUE(drawer->model().rows.empty());
    EXPECT_EQ(drawer->sizeHint().height(), IncidentDrawer::headerHeight);

    drawer->foldButton()->click();
    runPending();
    EXPECT_TRUE(m->drawerOpen());
    EXPECT_TRUE(drawer->model().clearEnded);
}

TEST_F(IncidentDrawerTest, ClearingKeepsTheOpenIncidentsInOrderAlsoWhileHeld)
{
    feed({incident("a"), incident("x", Severity::warn, true), incident("b"),
          incident("y", Severity::critical, true), incident("c")});
    drawer->hold().set(InteractionHold::Reason::pointer, true);
    drawer->clearButton()->click();
    runPending();
    EXPECT_EQ(subjects(*drawer), (std::vector<QString>{"a", "b", "c"}));
    EXPECT_EQ(drawer->model().count, QStringLiteral("3"));
    EXPECT_FALSE(drawer->model().clearEnded);
    drawer->hold().set(InteractionHold::Reason::pointer, false);
}

TEST_F(IncidentDrawerTest, NewIncidentWaitsOutsideWhileHeld)
{
    const Incident a = incident("a");
    feed({a});
    drawer->hold().set(InteractionHold::Reason::pointer, true);
    feed({incident("new", Severity::critical), a});
    EXPECT_EQ(subjects(*drawer), (std::vector<QString>{"a"}));
    EXPECT_EQ(drawer->model().count, QStringLiteral("2")) << "the header already counts it";
    EXPECT_EQ(drawer->hold().withheld(), 1);
    EXPECT_EQ(HoldBadge::text(1, false, IncidentDrawer::newIncidentsText(1)),
              QStringLiteral("1 new incident"));

    drawer->hold().set(InteractionHold::Reason::pointer, false);
    advance(InteractionHold::releaseDelay / 2);
    runPending();
    EXPECT_EQ(subjects(*drawer).size(), 1u) << "not before the release delay";
    advance(InteractionHold::releaseDelay);
    runPending();
    EXPECT_EQ(subjects(*drawer), (std::vector<QString>{"new", "a"}));
    EXPECT_EQ(drawer->hold().withheld(), 0);
}

TEST_F(IncidentDrawerTest, NewIncidentTextsInBothLanguages)
{
    EXPECT_EQ(IncidentDrawer::newIncidentsText(1), QStringLiteral("1 new incident"));
    EXPECT_EQ(IncidentDrawer::newIncidentsText(2), QStringLiteral("2 new incidents"));
    L10n::setChinese(true);
    EXPECT_EQ(IncidentDrawer::newIncidentsText(1), QStringLiteral("1 条新事件"));
    EXPECT_EQ(IncidentDrawer::newIncidentsText(3), QStringLiteral("3 条新事件"));
}

TEST_F(IncidentDrawerTest, RowTexts)
{
    Incident system = incident("host");
    system.kind = Incident::Kind::memoryPressure;
    Incident instant = incident("b", Severity::warn, true);
    instant.end = instant.start;
    Incident withContributors = incident("c");
    withContributors.contributors = {QStringLiteral("p1"), QStringLiteral("p2")};
    feed({system, instant, withContributors, incident("d", Severity::warn, true)});

    const auto& rows = drawer->model().rows;
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].subject, QStringLiteral("System"));
    EXPECT_EQ(rows[0].duration, QStringLiteral("ongoing"));
    EXPECT_EQ(rows[1].duration, QStringLiteral("—"));
    EXPECT_EQ(rows[2].contributors, QStringLiteral("p1  p2"));
    EXPECT_TRUE(rows[3].contributors.isEmpty());
    EXPECT_EQ(rows[3].duration, Fmt::duration(65));
    EXPECT_EQ(rows[0].time, IncidentDrawer::clockText(system.start));
    EXPECT_EQ(rows[0].time.size(), 14);
}

TEST_F(IncidentDrawerTest, CopiesTheSummaryLine)
{
    Incident system = incident("host", Severity::critical, false, QStringLiteral("g"));
    system.kind = Incident::Kind::systemCPU;
    system.contributors = {QStringLiteral("left out")};
    feed({system});
    drawer->copySummary(system.id);
    const QString expected = IncidentDrawer::clockText(system.start) + "  System  " + system.title()
        + "  180%";
    EXPECT_EQ(QApplication::clipboard()->text(), expected);
}

TEST_F(IncidentDrawerTest, ClickShowsTheGroupOnlyWithAGroupKey)
{
    const Incident grouped = incident("g", Severity::warn, false, QStringLiteral("key"), 42);
    const Incident noPid = incident("n", Severity::warn, false, QStringLiteral("other"));
    const Incident loose = incident("l");
    feed({grouped, noPid, loose});
    const auto views = drawer->rowViews();
    ASSERT_EQ(views.size(), 3u);

    QTest::mouseClick(views[2], Qt::LeftButton);
    EXPECT_FALSE(m->selection().has_value()) << "no group, no action";
    std::unique_ptr<QMenu> looseMenu(drawer->contextMenu(loose.id, nullptr));
    ASSERT_EQ(looseMenu->actions().size(), 1);
    EXPECT_EQ(looseMenu->actions()[0]->text(), QStringLiteral("Copy Summary"));

    QTest::mouseClick(views[0], Qt::LeftButton);
    EXPECT_EQ(m->selection(), QStringLiteral("key"));
    EXPECT_EQ(m->focusPid(), 42);

    std::unique_ptr<QMenu> menu(drawer->contextMenu(noPid.id, nullptr));
    ASSERT_EQ(menu->actions().size(), 2);
    EXPECT_EQ(menu->actions()[1]->text(), QStringLiteral("Show in Inspector"));
    menu->actions()[1]->trigger();
    EXPECT_EQ(m->selection(), QStringLiteral("other"));
    EXPECT_EQ(m->focusPid(), std::nullopt);
}

TEST_F(IncidentDrawerTest, EndedIncidentHasAHollowDot)
{
    feed({incident("open", Severity::critical), incident("ended", Severity::critical, true)});
    const auto views = drawer->rowViews();
    ASSERT_EQ(views.size(), 2u);
    const QPoint centre(IncidentDrawer::margin + 3, IncidentDrawer::rowHeight / 2);
    const QImage open = views[0]->grab().toImage();
    const QImage ended = views[1]->grab().toImage();
    EXPECT_EQ(open.pixelColor(centre).rgb(), Theme::crit().rgb());
    EXPECT_EQ(ended.pixelColor(centre).rgb(), Theme::panel().rgb());
    // The ring is there in both.
    const QPoint edge(IncidentDrawer::margin + 3, IncidentDrawer::rowHeight / 2 - 3);
    EXPECT_GT(qRed(ended.pixelColor(edge).rgb()), qRed(Theme::panel().rgb()) + 40);
}

TEST_F(IncidentDrawerTest, FoldsOnASpringAndClearEndedFades)
{
    feed({incident("a"), incident("b", Severity::warn, true)});
    settle();
    const int open = drawer->sizeHint().height();
    drawer->foldButton()->click();
    runPending();
    advance(4 * FrameClock::interval);
    EXPECT_GT(drawer->sizeHint().height(), IncidentDrawer::headerHeight);
    EXPECT_LT(drawer->sizeHint().height(), open);
    EXPECT_GT(drawer->clearOpacity(), 0);
    EXPECT_LT(drawer->clearOpacity(), 1);
    settle();
    EXPECT_EQ(drawer->sizeHint().height(), IncidentDrawer::headerHeight);
    EXPECT_FALSE(drawer->clearButton()->isVisible());
}

// ---- a narrow drawer: beside the inspector, or at scale 2 on a small screen

namespace {

// The centre column's width beside the instruments and the inspector.
constexpr int narrow = 292;

Incident kindOf(Incident::Kind kind, QString subject, QString peak, bool ended = false)
{
    Incident i = incident(std::move(subject), Severity::warn, ended);
    i.kind = kind;
    i.peakText = std::move(peak);
    return i;
}

// The texts a row draws, in the row's own coordinates.
std::vector<DrawnText> drawnTexts(QWidget& row)
{
    DrawnTexts recorder;
    return recorder.of(row);
}

void expectReadable(const std::vector<DrawnText>& texts, const QString& where)
{
    for (std::size_t i = 0; i < texts.size(); ++i) {
        EXPECT_FALSE(texts[i].cut) << where.toStdString() << ": " << texts[i].text.toStdString();
        for (std::size_t j = i + 1; j < texts.size(); ++j)
            EXPECT_FALSE(DrawnTexts::overlap(texts[i], texts[j]))
                << where.toStdString() << ": " << texts[i].text.toStdString() << " / "
                << texts[j].text.toStdString();
    }
}

} // namespace

TEST_F(IncidentDrawerTest, NarrowRowsKeepTheirSubjectsWholeAndInLine)
{
    drawer->resize(narrow, drawer->height());
    for (bool chinese : {false, true}) {
        L10n::setChinese(chinese);
        feed({kindOf(Incident::Kind::download, "Cloud Sync", "20.9M/s"),
              kindOf(Incident::Kind::threads, "agent-cli", "702 threads", true),
              kindOf(Incident::Kind::fdGrowth, "agent-cli", "+2400 handles → 2464", true)});
        settle();
        const auto views = drawer->rowViews();
        ASSERT_EQ(views.size(), 3u);
        const auto& rows = drawer->model().rows;
        std::optional<double> subjectLeft;
        for (std::size_t r = 0; r < views.size(); ++r) {
            const std::vector<DrawnText> texts = drawnTexts(*views[r]);
            const QString where = rows[r].subject + (chinese ? " zh" : " en");
            expectReadable(texts, where);
            const auto subject = std::find_if(texts.begin(), texts.end(), [&](const DrawnText& t) {
                return t.text == rows[r].subject;
            });
            ASSERT_NE(subject, texts.end()) << "the name is drawn whole: " << where.toStdString();
            // The names start in one line down the list.
            if (subjectLeft) {
                EXPECT_NEAR(subject->box.left(), *subjectLeft, 0.5) << where.toStdString();
            }
            subjectLeft = subject->box.left();
            // Whatever is cut says so.
            const QStringList whole{rows[r].time, rows[r].clock, rows[r].subject, rows[r].title,
                                    rows[r].contributors, rows[r].peak, rows[r].duration};
            for (const DrawnText& t : texts)
                EXPECT_TRUE(whole.contains(t.text) || t.elided()) << t.text.toStdString();
            // The figure is there, whole or cut in its middle.
            const QString& peak = rows[r].peak;
            EXPECT_TRUE(std::any_of(texts.begin(), texts.end(), [&](const DrawnText& t) {
                return t.text == peak
                    || (t.elided() && t.text.startsWith(peak.front()) && t.text.endsWith(peak.back()));
            })) << where.toStdString();
        }
    }
}

TEST_F(IncidentDrawerTest, NarrowHeaderShortensItsCaptionBesideTheBadge)
{
    drawer->resize(narrow, drawer->height());
    for (bool chinese : {false, true}) {
        L10n::setChinese(chinese);
        const Incident ended = incident("a", Severity::warn, true);
        feed({ended});
        drawer->hold().set(InteractionHold::Reason::pointer, true);
        feed({incident("new"), ended});
        settle();
        // The header lays itself out again for the badge.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        ASSERT_EQ(drawer->hold().withheld(), 1);
        ASSERT_TRUE(drawer->badge()->isVisible());
        ASSERT_TRUE(drawer->clearButton()->isVisible());

        QWidget* fold = drawer->foldButton();
        EXPECT_FALSE(fold->geometry().intersects(drawer->badge()->geometry()));
        DrawnTexts recorder;
        const std::vector<DrawnText> texts = recorder.of(*fold);
        expectReadable(texts, chinese ? "header zh" : "header en");
        // The count always shows; the caption is whole, short, or cut with
        // an ellipsis.
        ASSERT_FALSE(texts.empty());
        EXPECT_EQ(texts.back().text, drawer->model().count);
        const QString whole = chinese ? "黑匣子 · 异常事件" : "Black box · Incidents";
        const QString short_ = chinese ? "黑匣子" : "Black box";
        for (std::size_t i = 0; i + 1 < texts.size(); ++i)
            EXPECT_TRUE(texts[i].text == whole || texts[i].text == short_ || texts[i].elided())
                << texts[i].text.toStdString();
        drawer->hold().set(InteractionHold::Reason::pointer, false);
        advance(InteractionHold::releaseDelay * 2);
        settle();
    }
}

TEST(IncidentRowFit, LeastTellingPartsGiveWayFirst)
{
    IncidentRowFit::Widths w;
    w.time = 84;
    w.clock = 48;
    w.subject = 66;
    w.title = 150;
    w.contributors = 90;
    w.peak = 132;
    w.duration = 18;
    using Time = IncidentRowFit::Time;
    IncidentRowFit last = IncidentRowFit::fit({w}, 2000)[0];
    EXPECT_EQ(last.time, Time::full);
    EXPECT_EQ(last.durationColumn, IncidentRowFit::durationWidth);
    EXPECT_EQ(last.contributors, w.contributors);
    for (double width = 1000; width >= 200; width -= 1) {
        const IncidentRowFit f = IncidentRowFit::fit({w}, width)[0];
        const std::string at = std::to_string(width);
        EXPECT_LE(f.needed(w), width + 1e-6) << at;
        // Nothing grows as the row narrows.
        EXPECT_GE(f.time, last.time) << at;
        EXPECT_LE(f.subject, last.subject + 1e-6) << at;
        EXPECT_LE(f.durationColumn, last.durationColumn + 1e-6) << at;
        // The contributors go before anything else narrows but the
        // duration column.
        if (f.contributors > 0) {
            EXPECT_TRUE(f.title == w.title && f.time == Time::full && f.peak == w.peak) << at;
        }
        // The duration column keeps room for every duration.
        EXPECT_GE(f.durationColumn, w.duration) << at;
        // The subject keeps its whole name while the time or the title shows.
        if (f.time != Time::none || f.title > 0) {
            EXPECT_EQ(f.subject, w.subject) << at;
        }
        // The title goes only after the time.
        if (f.title == 0) {
            EXPECT_EQ(f.time, Time::none) << at;
        }
        last = f;
    }
    EXPECT_EQ(last.title, 0);
    EXPECT_LT(last.subject, w.subject);
    EXPECT_GT(last.subject, last.peak - 1e-6) << "the name keeps at least half of what is left";
}
