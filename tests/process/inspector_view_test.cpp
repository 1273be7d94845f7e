#include "process/inspector_view.h"

#include "app/view_fixture.h"
#include "shell_read_back.h"
#include "model/event_loop_wait.h"
#include "platform/file_manager.h"
#include "platform/process_signals.h"
#include "process/hold_button.h"
#include "ui/copy_text.h"
#include "ui/sound.h"
#include "platform/sleeping_child.h"
#include "ui/press_button.h"
#include "ui/shrink_label.h"
#include "ui/theme.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTimer>
#include <QDir>
#include <QFile>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTextDocument> // Qt::mightBeRichText

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using Child = SleepingChild;

// Records every signal the view sends instead of sending it.
struct Signals {
    using List = std::vector<std::pair<int32_t, int>>;
    List list;
    ProcessSignals::ScopedSender recorder{[this](int32_t pid, int signal) {
        list.emplace_back(pid, signal);
        return 0;
    }};
};

// Above the kernel's pid limit, so no real process answers for it.
constexpr int32_t fakePid = 5'000'001;

// One process under ROOT/proc: the stat the signals check the start time
// against, and its argument vector.
void fakeProcess(const QTemporaryDir& root, uint64_t startTicks, const QByteArray& cmdline)
{
    const QString dir = root.filePath(QStringLiteral("proc/%1").arg(fakePid));
    ASSERT_TRUE(QDir().mkpath(dir));
    QFile stat(dir + QStringLiteral("/stat"));
    ASSERT_TRUE(stat.open(QIODevice::WriteOnly | QIODevice::Truncate));
    stat.write(QByteArray::number(fakePid) + " (server) S 1 1 1 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0 "
               + QByteArray::number(startTicks) + " 1000000 50\n");
    QFile args(dir + QStringLiteral("/cmdline"));
    ASSERT_TRUE(args.open(QIODevice::WriteOnly | QIODevice::Truncate));
    args.write(cmdline);
}

GroupSample serverAt(double started)
{
    GroupSample g = group(QStringLiteral("exe:server"), 1, {fakePid}, QStringLiteral("server"));
    g.members[0].startTime = Date::fromUnix(started);
    return g;
}

class InspectorViewTest : public ViewTest {
protected:
    void SetUp() override
    {
        ViewTest::SetUp();
        m = make();
        Preferences prefs = m->prefs();
        prefs.sounds = false;
        m->setPrefs(prefs);
    }

    std::unique_ptr<InspectorView> open()
    {
        auto view = std::make_unique<InspectorView>(*m);
        showOffscreen(*view, {InspectorView::width, 900});
        runPending();
        return view;
    }

    void select(const GroupSample& g, std::vector<Incident> incidents = {})
    {
        ingest(*m, snapshotOf({g}), std::move(incidents));
        m->setSelection(g.key);
        runPending();
    }

    static void mouse(HoldButton* button, QEvent::Type type, Qt::MouseButtons buttons)
    {
        const QPointF at(20, 14);
        QMouseEvent event(type, at, button->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(button, &event);
    }

    void hold(HoldButton* button)
    {
        mouse(button, QEvent::MouseButtonPress, Qt::LeftButton);
        advance(0.71);
        mouse(button, QEvent::MouseButtonRelease, Qt::NoButton);
        runPending();
    }

    static Incident incident(const QString& key)
    {
        Incident i;
        i.groupKey = key;
        i.peakText = QStringLiteral("99%");
        return i;
    }

    std::unique_ptr<Monitor> m;
};

} // namespace

TEST_F(InspectorViewTest, ShowsAGroupAProcessAndTheGoneState)
{
    select(group("g", 3, {101, 102, 103}));
    auto view = open();
    EXPECT_EQ(view->title(), QStringLiteral("g"));
    EXPECT_EQ(view->subtitle(), QStringLiteral("3 processes"));
    EXPECT_TRUE(view->membersShown());
    EXPECT_FALSE(view->detailShown());
    EXPECT_EQ(view->quitButton()->label(), QStringLiteral("Quit \u00D73"));

    m->setFocusPid(102);
    runPending();
    EXPECT_EQ(view->subtitle(), QStringLiteral("PID 102"));
    EXPECT_TRUE(view->detailShown());
    EXPECT_EQ(view->quitButton()->label(), QStringLiteral("Quit"));

    ingest(*m, snapshotOf({group("other", 1, {5})}));
    runPending();
    EXPECT_TRUE(view->gone());
    view->closeInspector();
    EXPECT_FALSE(m->selection());
    EXPECT_FALSE(m->focusPid());
}

TEST_F(InspectorViewTest, ReadsDescriptorsOnlyForANewPidOrANewSnapshot)
{
    select(group("solo", 1, {int32_t(::getpid())}));
    auto view = open();
    const int reads = view->detailReads();
    EXPECT_TRUE(waitFor([&] { return !view->fdBreakdown().empty(); }));
    EXPECT_FALSE(view->commandLine().isEmpty());
    m->setPrefs(m->prefs()); // a refresh without a new snapshot
    view->refresh();
    view->refresh();
    EXPECT_EQ(view->detailReads(), reads);
    ingest(*m, snapshotOf({group("solo", 2, {int32_t(::getpid())})}));
    runPending();
    EXPECT_EQ(view->detailReads(), reads + 1);
}

TEST_F(InspectorViewTest, HeldAlertsAreCountedByTheBadgeAndShownOnClick)
{
    std::vector<Incident> incidents{incident("g")};
    select(group("g", 3, {101, 102}), incidents);
    auto view = open();
    EXPECT_EQ(view->shownAlerts().size(), 1u);
    view->hold().set(InteractionHold::Reason::pointer, true);
    incidents.insert(incidents.begin(), incident("g"));
    ingest(*m, snapshotOf({group("g", 3, {101, 102})}), incidents);
    runPending();
    runPending();
    EXPECT_EQ(view->badgeText(), QStringLiteral("1 new alert"));
    incidents.insert(incidents.begin(), incident("g"));
    ingest(*m, snapshotOf({group("g", 3, {101, 102})}), incidents);
    runPending();
    runPending();
    EXPECT_EQ(view->badgeText(), QStringLiteral("2 new alerts"));
    EXPECT_EQ(view->shownAlerts().size(), 1u);

    view->showNewAlerts();
    runPending();
    runPending();
    EXPECT_EQ(view->shownAlerts().size(), 3u);
    EXPECT_EQ(view->shownAlerts()[0].id, incidents[0].id);
    EXPECT_FALSE(view->badgeText());
}

TEST_F(InspectorViewTest, AnExitedMemberStaysWhileHeld)
{
    select(group("g", 3, {101, 102, 103}));
    auto view = open();
    view->hold().set(InteractionHold::Reason::pointer, true);
    ingest(*m, snapshotOf({group("g", 3, {101, 103})}));
    runPending();
    const auto& rows = view->shownMembers();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_TRUE(rows[1].departed);
    EXPECT_EQ(rows[1].cpu, QStringLiteral("Exited"));
    view->hold().set(InteractionHold::Reason::pointer, false);
    advance(0.6);
    runPending();
    EXPECT_EQ(view->shownMembers().size(), 2u);
}

TEST_F(InspectorViewTest, ALargeGroupCountsTheMembersItLeavesOut)
{
    std::vector<int32_t> pids;
    for (int32_t pid = 1000; pid < 3000; ++pid)
        pids.push_back(pid);
    select(group("g", 3, pids));
    auto view = open();
    EXPECT_EQ(view->shownMembers().size(), 10u);
    EXPECT_EQ(view->shownMembersMore(), QStringLiteral("1990 more"));
    ingest(*m, snapshotOf({group("g", 3, {101, 102})}));
    runPending();
    EXPECT_EQ(view->shownMembersMore(), QString());
}

TEST_F(InspectorViewTest, MuteUnmuteAndReveal)
{
    GroupSample g = group("g", 1, {101, 102});
    g.bundlePath = QStringLiteral("/usr/share/applications/g.desktop");
    select(g);
    auto view = open();
    EXPECT_EQ(view->muteButton()->text(), QStringLiteral("Mute alerts"));
    Preferences prefs = m->prefs();
    prefs.ignored = {QStringLiteral("g"), QStringLiteral("x"), QStringLiteral("g")};
    m->setPrefs(prefs);
    runPending();
    EXPECT_EQ(view->muteButton()->text(), QStringLiteral("Unmute"));
    view->toggleMute();
    runPending();
    EXPECT_EQ(m->prefs().ignored, QStringList{QStringLiteral("x")});
    EXPECT_EQ(view->muteButton()->text(), QStringLiteral("Mute alerts"));

    QStringList revealed;
    ScopedReveal scope([&](const QString& path) { revealed << path; });
    view->revealItem();
    EXPECT_EQ(revealed, QStringList{QStringLiteral("/usr/share/applications/g.desktop")});
    EXPECT_EQ(view->revealButton()->toolTip(), QStringLiteral("Show in File Manager"));
}

TEST_F(InspectorViewTest, PauseResumeAndQuitARealChild)
{
    Child child;
    ASSERT_GT(child.pid(), 0);
    select(group("child", 0, {child.pid()}));
    auto view = open();
    EXPECT_EQ(view->pauseButton()->text(), QStringLiteral("Pause"));
    view->togglePause();
    EXPECT_EQ(child.waitForState('T'), 'T');
    EXPECT_EQ(view->pauseButton()->text(), QStringLiteral("Resume"));

    // A new inspector knows nothing of the pause, yet the kernel does, and
    // the next sample says so.
    GroupSample sampled = group("child", 0, {child.pid()});
    sampled.members[0].state = 'T';
    ingest(*m, snapshotOf({sampled}));
    view.reset();
    view = open();
    EXPECT_EQ(view->pauseButton()->text(), QStringLiteral("Resume"));
    // Resumed, it reads so at once, though the sample is older.
    view->togglePause();
    EXPECT_EQ(child.waitForState('S'), 'S');
    view->refresh();
    EXPECT_EQ(view->pauseButton()->text(), QStringLiteral("Pause"));

    // Quit reaches a paused child.
    view->togglePause();
    ASSERT_EQ(child.waitForState('T'), 'T');
    hold(view->quitButton());
    EXPECT_TRUE(child.ended());
}

TEST_F(InspectorViewTest, ForceQuitEndsARealChild)
{
    Child child;
    ASSERT_GT(child.pid(), 0);
    select(group("child", 0, {child.pid()}));
    auto view = open();
    hold(view->forceQuitButton());
    EXPECT_TRUE(child.ended());
}

TEST_F(InspectorViewTest, NeverSignalsOurselvesOrInit)
{
    Signals sent;
    Child child;
    select(group("mixed", 0, {1, int32_t(::getpid()), child.pid()}));
    auto view = open();
    hold(view->forceQuitButton());
    EXPECT_EQ(sent.list, (Signals::List{{child.pid(), SIGKILL}}));
}

TEST_F(InspectorViewTest, OffersNoSignalWhereTheUserMaySendNoneAndSaysARefusedOne)
{
    Signals sent;
    GroupSample theirs = group("uid:1001:exe:kernel", 90, {5000000, 5000001}, "kernel (bob)");
    for (ProcSample& p : theirs.members)
        p.uid = 1001u;
    select(theirs);
    auto view = open();
    view->setOwnUid(1000);
    for (QWidget* b : std::initializer_list<QWidget*>{view->quitButton(), view->forceQuitButton(), view->pauseButton()})
        EXPECT_FALSE(b->isEnabled());
    EXPECT_EQ(view->actionNote(), "Another user's processes: quitting or pausing them requires root");
    hold(view->forceQuitButton());
    view->togglePause();
    EXPECT_TRUE(sent.list.empty());

    // The user's own: offered, and a refusal is said until the next action.
    Child child;
    select(group("exe:child", 0, {child.pid()}));
    EXPECT_TRUE(view->quitButton()->isEnabled());
    {
        ProcessSignals::ScopedSender refusing([](int32_t, int) { return EPERM; });
        hold(view->quitButton());
        EXPECT_EQ(view->actionNote(), "The system refused to quit “exe:child-proc”.");
        view->togglePause();
        EXPECT_EQ(view->actionNote(), "The system refused to pause “exe:child-proc”.");
    }
    view->togglePause();
    EXPECT_EQ(view->actionNote(), "");
}

TEST_F(InspectorViewTest, AHoldEndsWhenEscapeOrTheGonePageTakesItsButton)
{
    Signals sent;
    Child child;
    const GroupSample g = group("child", 0, {child.pid()});
    select(g);
    auto view = open();
    for (bool escape : {true, false}) {
        select(g);
        mouse(view->quitButton(), QEvent::MouseButtonPress, Qt::LeftButton);
        advance(0.3);
        if (escape)
            m->escape();
        else
            ingest(*m, snapshotOf({group("other", 1, {5})}));
        runPending();
        advance(1);
        mouse(view->quitButton(), QEvent::MouseButtonRelease, Qt::NoButton);
    }
    EXPECT_TRUE(sent.list.empty());
}

TEST_F(InspectorViewTest, ItsCopiesFollowTheSoundsPreference)
{
    struct Loads final : SoundLibrary {
        explicit Loads(int& count) : count(count) {}
        std::unique_ptr<SoundPlayer> load(Sound::Cue, double) override { return ++count, nullptr; }
        int& count;
    };
    int loads = 0;
    SoundBoard board(std::make_unique<Loads>(loads), false, {});
    SoundBoard::install(&board);
    select(group("solo", 0, {4242}));
    auto view = open();
    const QList<CopyText*> copies = view->findChildren<CopyText*>();
    ASSERT_FALSE(copies.isEmpty());
    for (CopyText* copy : copies)
        copy->copy();
    EXPECT_EQ(loads, 0); // sounds are off in this fixture
    Preferences prefs = m->prefs();
    prefs.sounds = true;
    m->setPrefs(prefs);
    copies.front()->copy();
    EXPECT_EQ(loads, 1);
    SoundBoard::install(nullptr);
    advance(2);
}

TEST_F(InspectorViewTest, APidReusedBySameNamedProcessShowsAndQuitsTheNewOne)
{
    Signals sent;
    QTemporaryDir root;
    fakeProcess(root, 100, QByteArrayLiteral("server\0--generation\0one\0"));
    select(serverAt(1000));
    auto view = open();
    view->setProcRoot(root.path());
    EXPECT_EQ(view->commandLine(), QStringLiteral("server --generation one"));
    view->togglePause();
    EXPECT_EQ(view->pauseButton()->text(), QStringLiteral("Resume"));

    // The first one exits and the kernel hands its pid to a new "server".
    fakeProcess(root, 900, QByteArrayLiteral("server\0--generation\0two\0"));
    ingest(*m, snapshotOf({serverAt(1008)}));
    runPending();
    EXPECT_EQ(view->title(), QStringLiteral("server-proc"));
    EXPECT_EQ(view->commandLine(), QStringLiteral("server --generation two"));
    EXPECT_EQ(view->pauseButton()->text(), QStringLiteral("Pause"));

    sent.list.clear();
    hold(view->quitButton());
    EXPECT_EQ(sent.list, (Signals::List{{fakePid, SIGTERM}}));
}

TEST_F(InspectorViewTest, ALineBreakInAnArgumentShowsAsAnEscape)
{
    QTemporaryDir root;
    fakeProcess(root, 100, QByteArrayLiteral("sh\0-c\0echo hi\nrm -rf ~\0"));
    select(serverAt(1000));
    auto view = open();
    view->setProcRoot(root.path());
    EXPECT_EQ(view->shownCommand(), QStringLiteral("sh -c echo hi\\nrm -rf ~"));
}

// Another user's command line hides a payload behind forty harmless
// arguments. "Copy Command Line" and "Copy Executable Path", chosen from
// the Origin box's menu and pasted into a shell, give back exactly the
// arguments and the path that ran, and run nothing of their own.
TEST_F(InspectorViewTest, CopiesFromTheOriginBoxPasteAsExactlyWhatRan)
{
    QTemporaryDir root, out;
    const QByteArray pwned = QFile::encodeName(out.filePath(QStringLiteral("PWNED")));
    std::vector<QByteArray> args = {"/usr/lib/backup/verify", "--quiet"};
    for (int i = 0; i < 40; ++i)
        args.push_back("--exclude=/srv/cache/" + QByteArray::number(i));
    args.insert(args.end(), {"$(touch " + pwned + ") ;touch " + pwned + "2", "`touch " + pwned + "3`", "it's",
                             "two words\nand a line", "caf\xe9 \x1b[0m"});
    QByteArray cmdline;
    for (const QByteArray& arg : args)
        cmdline += arg + '\0';
    fakeProcess(root, 100, cmdline);
    const QByteArray exe = "/opt/it's here/run;id $(id)\xff";
    ASSERT_EQ(::symlink(exe.constData(), QFile::encodeName(root.filePath(QStringLiteral("proc/%1/exe").arg(fakePid)))),
              0);
    select(serverAt(1000));
    auto view = open();
    view->setProcRoot(root.path());
    m->setSelection(std::nullopt);
    runPending();
    m->setSelection(QStringLiteral("exe:server"));
    runPending();
    auto* origin = view->findChild<QPlainTextEdit*>();
    ASSERT_NE(origin, nullptr);

    // The menu as the right button opens it, and one of its entries chosen.
    const auto copied = [&](const QString& entry) {
        QGuiApplication::clipboard()->clear();
        QTimer::singleShot(0, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu)
                return;
            for (QAction* action : menu->actions())
                if (action->text() == entry)
                    action->trigger();
            menu->close();
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(4, 4), origin->mapToGlobal(QPoint(4, 4)));
        QApplication::sendEvent(origin->viewport(), &event);
        return QGuiApplication::clipboard()->text();
    };
    const QString command = copied(QStringLiteral("Copy Command Line"));
    const QString path = copied(QStringLiteral("Copy Executable Path"));
    for (const QString& shell : {QStringLiteral("/bin/sh"), QStringLiteral("bash")}) {
        EXPECT_EQ(shellReadBack(shell, command), args) << command.toStdString();
        EXPECT_EQ(shellReadBack(shell, path), std::vector<QByteArray>{exe}) << path.toStdString();
    }
    for (const char* made : {"PWNED", "PWNED2", "PWNED3"})
        EXPECT_FALSE(QFile::exists(out.filePath(QString::fromLatin1(made)))) << made;
}

TEST_F(InspectorViewTest, NamesInTheTitleToolTipAreNeverMarkup)
{
    for (const QString& name : {QStringLiteral("<img src=proof.png>"),
                                QStringLiteral("<img width=40000 height=40000 src=x>")}) {
        ASSERT_TRUE(Qt::mightBeRichText(name));
        GroupSample g = group(QStringLiteral("exe:x"), 1, {101}, name);
        g.members[0].name = name;
        select(g);
        auto view = open();
        ASSERT_EQ(view->title(), name);
        const QString tip = view->titleToolTip();
        EXPECT_TRUE(tip.contains(QStringLiteral("&lt;img"))) << tip.toStdString();
        EXPECT_FALSE(tip.contains(QStringLiteral("<img"))) << tip.toStdString();
    }
}

// A name as long as a file name may be, run from its own folder so the
// command line holds it as one word, with a connection open: the column
// keeps its width, every card and the connection's rates stay inside it,
// and the title is cut with an ellipsis and whole in its tooltip.
TEST_F(InspectorViewTest, ALongNameKeepsTheColumnItsWidth)
{
    const QString name = QStringLiteral("render-worker-") + QString(230, u'x');
    ASSERT_EQ(name.size(), 244);
    QTemporaryDir root;
    fakeProcess(root, 100, "./" + name.toUtf8() + QByteArrayLiteral("\0--serve\0"));
    GroupSample g = serverAt(1000);
    g.name = name;
    g.members[0].name = name;
    g.members[0].groupName = name;
    g.members[0].path = QStringLiteral("/opt/") + name;
    Snapshot s = snapshotOf({g});
    Connection c;
    c.id = QStringLiteral("%1 tcp4 10.0.1.24:50000<->203.0.113.7:46100").arg(fakePid);
    c.pid = fakePid;
    c.remoteHost = QStringLiteral("203.0.113.7");
    c.remotePort = 46100;
    c.rateIn = 250'000;
    c.rateOut = 1'200;
    c.host = name + QStringLiteral(".example");
    s.connections = {c};
    ingest(*m, s);
    m->setSelection(g.key);
    runPending();
    auto view = open();
    view->setProcRoot(root.path());
    runPending();
    for (int i = 0; i < 3; ++i)
        QCoreApplication::sendPostedEvents();
    ASSERT_TRUE(view->detailShown());
    ASSERT_EQ(view->title(), name);
    EXPECT_TRUE(view->titleToolTip().contains(name));

    int checked = 0;
    for (QWidget* w : view->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(view.get()) || w->size().isEmpty())
            continue;
        const QRect box(w->mapTo(view.get(), QPoint(0, 0)), w->size());
        EXPECT_LE(box.right(), view->rect().right())
            << w->metaObject()->className() << " " << w->objectName().toStdString() << " ends at " << box.right();
        ++checked;
    }
    EXPECT_GT(checked, 20);
    // The title shows a cut with its ellipsis, no wider than its room.
    const auto titles = view->findChildren<ShrinkLabel*>();
    const auto title = std::find_if(titles.begin(), titles.end(), [&](ShrinkLabel* l) { return l->text() == name; });
    ASSERT_NE(title, titles.end());
    EXPECT_TRUE((*title)->fitted().text.contains(QChar(0x2026))) << (*title)->fitted().text.toStdString();
    EXPECT_LE((*title)->fitted().width, (*title)->width());
}

TEST_F(InspectorViewTest, ThresholdsOfZeroFallBackAsTheRulesDo)
{
    GroupSample g = group(QStringLiteral("g"), 1, {101});
    g.members[0].threads = g.threads = 500;
    g.members[0].fds = g.fds = 30;
    select(g);
    Preferences prefs = m->prefs();
    prefs.thresholds.threads = 0;
    prefs.thresholds.fds = 0;
    m->setPrefs(prefs);
    auto view = open();
    EXPECT_EQ(view->tiles()[2].color, Theme::warn()); // 500 ≥ the default 400
    EXPECT_NE(view->tiles()[3].color, Theme::warn()); // 30 < the default 1024
}

TEST_F(InspectorViewTest, TheKernelsStoppedStateComesWithTheSample)
{
    GroupSample g = serverAt(1000);
    g.members[0].state = 'T';
    select(g);
    auto view = open();
    EXPECT_EQ(view->pauseButton()->text(), QStringLiteral("Resume"));
}
