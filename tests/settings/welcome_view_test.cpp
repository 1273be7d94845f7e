#include "app/view_fixture.h"
#include "core/build_info.h"
#include "ui/press_button.h"
#include "ui/sound.h"
#include "ui/switch.h"
#include "settings/illustrations.h"
#include "settings/welcome_logo.h"
#include "settings/welcome_view.h"

#include <QLabel>
#include <QTest>

#include <map>

namespace {

struct Cues {
    std::map<Sound::Cue, int> played;
};

class CountingPlayer final : public SoundPlayer {
public:
    CountingPlayer(Cues& cues, Sound::Cue cue) : cues_(cues), cue_(cue) {}
    void restart() override { ++cues_.played[cue_]; }

private:
    Cues& cues_;
    Sound::Cue cue_;
};

class CountingLibrary final : public SoundLibrary {
public:
    explicit CountingLibrary(Cues& cues) : cues_(cues) {}
    std::unique_ptr<SoundPlayer> load(Sound::Cue cue, double) override
    {
        return std::make_unique<CountingPlayer>(cues_, cue);
    }

private:
    Cues& cues_;
};

class WelcomeTest : public ViewTest {
protected:
    void SetUp() override
    {
        ViewTest::SetUp();
        defaults().set(QStringLiteral("showWelcome"), true);
        board = std::make_unique<SoundBoard>(std::make_unique<CountingLibrary>(cues), false,
                                             [] { return true; });
        SoundBoard::install(board.get());
    }
    void TearDown() override
    {
        SoundBoard::install(nullptr);
        ViewTest::TearDown();
    }

    void key(QWidget& widget, Qt::Key k) { QTest::keyClick(&widget, k); }

    Cues cues;
    std::unique_ptr<SoundBoard> board;
};

} // namespace

TEST_F(WelcomeTest, KeysMoveThroughTheStepsAndEndTheTour)
{
    auto m = make();
    ASSERT_TRUE(m->welcome());
    WelcomeView tour(*m, nullptr, 0.0);
    showOffscreen(tour, {1200, 800});
    advance(1);

    key(tour, Qt::Key_Left); // nothing before the first step
    EXPECT_EQ(tour.step(), 0);
    EXPECT_FALSE(tour.backButton()->isEnabled());
    EXPECT_EQ(tour.page()->step(), 0);

    key(tour, Qt::Key_Right);
    key(tour, Qt::Key_Right);
    EXPECT_EQ(tour.step(), 2);
    EXPECT_EQ(tour.direction(), 1);
    key(tour, Qt::Key_Left);
    EXPECT_EQ(tour.step(), 1);
    EXPECT_EQ(tour.direction(), -1);
    EXPECT_EQ(tour.page()->step(), 1);
    key(tour, Qt::Key_Right);
    key(tour, Qt::Key_Right);
    ASSERT_EQ(tour.step(), 3);
    EXPECT_EQ(tour.continueButton()->text(), "Get started");
    EXPECT_FALSE(tour.skipButton()->isEnabled());
    EXPECT_EQ(WelcomeView::counter(tour.step()), "04 / 04");
    EXPECT_TRUE(m->welcome());

    key(tour, Qt::Key_Right); // the last step's forward move ends the tour
    EXPECT_FALSE(m->welcome());
    EXPECT_TRUE(defaults().boolValue(QStringLiteral("showWelcome")));
    EXPECT_EQ(cues.played[Sound::Cue::reveal], 1);
    key(tour, Qt::Key_Right); // and only once
    EXPECT_EQ(cues.played[Sound::Cue::reveal], 1);
}

TEST_F(WelcomeTest, EscapeAndGetStartedEndTheTour)
{
    for (int steps = 0; steps < 4; ++steps) {
        auto m = make();
        WelcomeView tour(*m, nullptr, 0.0);
        showOffscreen(tour, {1200, 800});
        for (int i = 0; i < steps; ++i)
            tour.advance();
        key(tour, Qt::Key_Escape);
        EXPECT_FALSE(m->welcome()) << steps;
    }
    auto m = make();
    WelcomeView tour(*m, nullptr, 0.0);
    showOffscreen(tour, {1200, 800});
    for (int i = 0; i < 3; ++i)
        tour.continueButton()->click();
    EXPECT_TRUE(m->welcome());
    tour.continueButton()->click();
    EXPECT_FALSE(m->welcome());
}

TEST_F(WelcomeTest, AutomaticRunWalksThroughAndStopsWithTheTour)
{
    auto m = make();
    {
        WelcomeView tour(*m, nullptr, 0.05);
        showOffscreen(tour, {1200, 800});
        advance(0.051);
        EXPECT_EQ(tour.step(), 1);
        advance(0.1);
        EXPECT_EQ(tour.step(), 3);
        advance(0.05);
        EXPECT_FALSE(m->welcome());
        EXPECT_EQ(cues.played[Sound::Cue::welcome], 1);
        EXPECT_EQ(cues.played[Sound::Cue::reveal], 1);
    }

    // Skipped before the run is over: the remaining cycles do nothing, and
    // no cue plays after the tour has closed.
    auto again = make();
    WelcomeView tour(*again, nullptr, 1.0);
    showOffscreen(tour, {1200, 800});
    advance(1.0);
    EXPECT_EQ(tour.step(), 1);
    key(tour, Qt::Key_Escape);
    EXPECT_FALSE(again->welcome());
    const auto played = cues.played;
    again->setWelcome(true); // shown again by hand, by a new tour
    advance(10);
    EXPECT_EQ(cues.played, played);
    EXPECT_EQ(tour.step(), 1);
    EXPECT_TRUE(again->welcome());

    // Carried into a rebuilt window after two cycles: it goes on from its
    // page, runs the two cycles left, and gives no second welcome.
    auto carried = make();
    WelcomeView resumed(*carried, nullptr, 0.05, WelcomeView::Place{2, 1, true, 3.0, 2});
    showOffscreen(resumed, {1200, 800});
    EXPECT_EQ(resumed.step(), 2);
    EXPECT_TRUE(resumed.appeared());
    advance(0.051);
    EXPECT_EQ(resumed.step(), 3);
    EXPECT_EQ(resumed.place().cycles, 3);
    advance(0.05);
    EXPECT_FALSE(carried->welcome());
    EXPECT_EQ(cues.played[Sound::Cue::welcome], played.at(Sound::Cue::welcome));
}

// On a short window the emblem gives way and the tallest page stays clear
// of the footer.
TEST_F(WelcomeTest, ShortWindowKeepsThePageClearOfTheFooter)
{
    auto m = make();
    WelcomeView tour(*m, nullptr, 0.0);
    showOffscreen(tour, {1024, 548});
    for (int i = 0; i < 3; ++i)
        tour.advance();
    settle(1);
    const QWidget* art = tour.page()->illustration();
    EXPECT_LE(art->mapTo(&tour, QPoint(0, art->height())).y(), tour.continueButton()->y());
    EXPECT_LT(tour.logo()->width(), WelcomeLogoView::side);
}

TEST_F(WelcomeTest, SwitchesAndSettingsShowTheSamePreferences)
{
    auto m = make();
    WelcomeView tour(*m, nullptr, 0.0);
    showOffscreen(tour, {1200, 800});
    for (int i = 0; i < 3; ++i)
        tour.advance();
    auto* switches = qobject_cast<SwitchesIllustration*>(tour.page()->illustration());
    ASSERT_NE(switches, nullptr);
    ASSERT_TRUE(m->prefs().resolveHosts);
    EXPECT_TRUE(switches->resolveSwitch()->isOn());

    switches->resolveSwitch()->click();
    EXPECT_FALSE(m->prefs().resolveHosts);
    EXPECT_TRUE(m->prefs().autoCheckUpdates);

    Preferences prefs = m->prefs();
    prefs.autoCheckUpdates = false;
    prefs.resolveHosts = true;
    m->setPrefs(prefs); // as the settings window writes it
    EXPECT_TRUE(switches->resolveSwitch()->isOn());
    EXPECT_FALSE(switches->updatesSwitch()->isOn());
}

// This build names no site, so the copy checks for no updates: the tour's
// update switch is off and disabled, with the reason as its caption. A copy
// that checks shows it as before.
TEST_F(WelcomeTest, UpdateSwitchFollowsWhetherTheCopyChecks)
{
    auto m = make();
    const auto captions = [](const QWidget& w) {
        QStringList texts;
        for (const QLabel* label : w.findChildren<QLabel*>())
            texts << label->text();
        return texts;
    };
    {
        SwitchesIllustration switches(*m);
        EXPECT_FALSE(switches.updatesSwitch()->isEnabled());
        EXPECT_FALSE(switches.updatesSwitch()->isOn());
        EXPECT_TRUE(captions(switches).contains("This build has no update site and never checks"));
        switches.updatesSwitch()->click();
        EXPECT_TRUE(m->prefs().autoCheckUpdates);
    }
    L10n::setChinese(true);
    EXPECT_TRUE(captions(SwitchesIllustration(*m)).contains("这个构建没有更新站点，从不检查更新"));
    L10n::setChinese(false);

    BuildInfo::setChecksForUpdates(true);
    SwitchesIllustration checking(*m);
    BuildInfo::setChecksForUpdates(false);
    EXPECT_TRUE(checking.updatesSwitch()->isEnabled());
    EXPECT_TRUE(checking.updatesSwitch()->isOn());
    EXPECT_TRUE(captions(checking).contains("Asks tavrin.invalid for version information once a day"));
}

TEST_F(WelcomeTest, IllustrationsFollowTheSample)
{
    SystemSample system;
    system.cpu = 0.374;
    system.memApp = 1 << 30;
    system.netIn = 2048;
    const auto r = Illustrations::readouts(system);
    EXPECT_EQ(r.cpu, "37%");
    EXPECT_EQ(r.memory, "1.0G");
    EXPECT_EQ(r.download, "2K/s");

    auto m = make();
    MenuBarIllustration bar(*m);
    showOffscreen(bar);
    EXPECT_TRUE(bar.shownLoads().empty()); // no cores: only the percentage
    Snapshot s;
    s.system.cores = {0.0, 1.0};
    s.system.cpu = 0.5;
    ingest(*m, s);
    runPending();
    EXPECT_EQ(bar.percent(), "50%");
    EXPECT_EQ(bar.shownLoads(), (std::vector<double>{0.0, 1.0}));
    s.system.cores = {1.0, 0.0};
    ingest(*m, s);
    runPending();
    advance(MenuBarIllustration::easeSeconds / 2);
    const auto mid = bar.shownLoads();
    EXPECT_GT(mid[0], 0.0);
    EXPECT_LT(mid[0], 1.0);
    settle();
    EXPECT_EQ(bar.shownLoads(), (std::vector<double>{1.0, 0.0}));
}

TEST_F(WelcomeTest, LogoStopsWhenHidden)
{
    WelcomeLogoView logo;
    logo.show();
    EXPECT_TRUE(logo.playing());
    advance(1);
    EXPECT_GT(logo.elapsed(), 0.5);
    logo.hide();
    EXPECT_FALSE(logo.playing());
    const double at = logo.elapsed();
    advance(1);
    EXPECT_EQ(logo.elapsed(), at);
    logo.show();
    EXPECT_TRUE(logo.playing());
}
