#include "core/l10n.h"
#include "ui/link_text.h"
#include "ui/press_button.h"
#include "ui/theme.h"
#include "update/update_panel.h"
#include "update/update_view_model.h"

#include <QLabel>
#include <QShortcut>

#include <gtest/gtest.h>

#include <cmath>

namespace {

using Kind = Updater::State::Kind;
using Block = UpdateViewModel::Footer::Block;
using Action = UpdateViewModel::PanelAction::Kind;
namespace M = UpdateViewModel;

class UpdateViewsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        chinese_ = L10n::isChinese();
        L10n::setChinese(false);
    }
    void TearDown() override { L10n::setChinese(chinese_); }

    static Release release(const QString& version)
    {
        Release r;
        r.version = version;
        r.date = QStringLiteral("2026-12-01");
        r.title = {QStringLiteral("更快"), QStringLiteral("Faster")};
        r.notes = {{QStringLiteral("一")}, {QStringLiteral("One")}};
        return r;
    }

    bool chinese_ = false;
};

} // namespace

TEST_F(UpdateViewsTest, FooterOfEveryStateAndBothFaces)
{
    const QUrl site(QStringLiteral("https://tavrin.example"));
    struct Row {
        Updater::State state;
        std::vector<Block> blocks;
        std::optional<Action> primary;
        bool returnKey;
        bool later;
    };
    const std::vector<Row> rows = {
        {Updater::State::available(release("2.0")), {Block::buttons, Block::safety}, Action::download, true, true},
        {Updater::State::downloading(0.5), {Block::progress, Block::buttons, Block::safety}, std::nullopt, false, true},
        {Updater::State::of(Kind::verifying), {Block::working, Block::buttons}, std::nullopt, false, true},
        {Updater::State::of(Kind::readyToInstall), {Block::readyNote, Block::buttons}, Action::install, true, true},
        {Updater::State::of(Kind::installing), {Block::working}, std::nullopt, false, false},
        {Updater::State::of(Kind::checking), {Block::working, Block::buttons}, std::nullopt, false, true},
        {Updater::State::failed("Lost the connection", false), {Block::failure, Block::buttons}, Action::retry, true,
         true},
        {Updater::State::failed("Moved", true), {Block::failure, Block::buttons}, Action::openSite, false, true},
        {Updater::State::of(Kind::idle), {Block::status, Block::okRow}, Action::dismiss, true, false},
        {Updater::State::of(Kind::upToDate), {Block::status, Block::okRow}, Action::dismiss, true, false},
    };
    for (const Row& row : rows) {
        const M::Footer f = M::updateFooter(row.state, std::nullopt, site);
        SCOPED_TRACE(row.state.name());
        EXPECT_EQ(f.blocks, row.blocks);
        EXPECT_EQ(f.primary ? std::optional<Action>(f.primary->kind) : std::nullopt, row.primary);
        EXPECT_EQ(f.primary && f.primary->returnKey, row.returnKey);
        EXPECT_EQ(f.later, row.later);
        // Escape closes exactly where a Later button or the hidden close
        // button is; never while installing.
        EXPECT_EQ(f.later || f.hiddenClose, row.state.kind != Kind::installing);
    }
    EXPECT_EQ(M::updateFooter(Updater::State::failed("x", true), std::nullopt, site).primary->title,
              "Open tavrin.example");
    EXPECT_EQ(M::updateFooter(Updater::State::failed("Lost the connection", false), std::nullopt, site).note,
              "Lost the connection");

    // Up to date, unless the new version needs a newer kernel.
    EXPECT_EQ(M::updateFooter(Updater::State::of(Kind::upToDate), std::nullopt, site).note, "Tavrin is up to date.");
    EXPECT_EQ(M::updateFooter(Updater::State::of(Kind::upToDate), QStringLiteral("6.8"), site).note,
              "The new version requires Linux kernel 6.8 or later and can\u2019t be installed on this computer.");

    // What's New: the link row and OK, whatever the state.
    const M::Footer whatsNew = M::whatsNewFooter(Updater::allReleases());
    EXPECT_EQ(whatsNew.blocks, std::vector<Block>{Block::okRow});
    EXPECT_TRUE(whatsNew.hiddenClose);
    EXPECT_EQ(whatsNew.primary->kind, Action::dismiss);
    EXPECT_EQ(whatsNew.releases, Updater::allReleases());

    L10n::setChinese(true);
    EXPECT_EQ(M::updateFooter(Updater::State::available(release("2.0")), std::nullopt, site).primary->title,
              "下载并更新");
    EXPECT_EQ(M::updateFooter(Updater::State::failed("x", true), std::nullopt, site).primary->title,
              "打开 tavrin.example");
}

TEST_F(UpdateViewsTest, ProgressKickerAndPill)
{
    const QUrl site;
    const auto at = [&](double f) { return M::updateFooter(Updater::State::downloading(f), std::nullopt, site); };
    EXPECT_EQ(at(0.004).percent, "0%");
    EXPECT_EQ(at(0.995).percent, "100%");
    EXPECT_EQ(at(1.7).fill, 1);
    EXPECT_EQ(at(-0.2).fill, 0);
    EXPECT_EQ(at(NAN).percent, "0%");

    const Release next = release("2.1.0");
    const Updater::Panel update{Updater::Panel::Kind::update, {}};
    const Updater::Panel whatsNew{Updater::Panel::Kind::whatsNew, release("2.0.0")};
    EXPECT_EQ(M::kicker(update, std::nullopt), "SOFTWARE UPDATE");
    EXPECT_EQ(M::kicker(update, next), "NEW VERSION");
    EXPECT_EQ(M::kicker(whatsNew, next), "WHAT\u2019S NEW");
    EXPECT_EQ(M::shownRelease(whatsNew, next)->version, "2.0.0");
    EXPECT_EQ(M::shownRelease(update, std::nullopt), std::nullopt);

    // No pending release: no pill in any state.
    for (Kind k : {Kind::available, Kind::downloading, Kind::failed, Kind::idle, Kind::checking, Kind::upToDate,
                   Kind::verifying, Kind::readyToInstall, Kind::installing})
        EXPECT_EQ(M::pill(Updater::State::of(k), std::nullopt), std::nullopt);
    EXPECT_EQ(M::pill(Updater::State::downloading(0.3), next), (M::PillForm{"arrow.down", "Update 2.1.0"}));
    EXPECT_EQ(M::pill(Updater::State::of(Kind::readyToInstall), next),
              (M::PillForm{"arrow.clockwise", "Restart to update"}));
    L10n::setChinese(true);
    EXPECT_EQ(M::pill(Updater::State::of(Kind::failed), next), (M::PillForm{"arrow.down", "新版本 2.1.0"}));
    EXPECT_EQ(M::pill(Updater::State::of(Kind::readyToInstall), next)->text, "重启以更新");
}

TEST_F(UpdateViewsTest, PanelKeysFollowItsFooter)
{
    Updater updater{Updater::Setup{}};
    const auto press = [](UpdatePanel& panel, int key) {
        for (QShortcut* shortcut : panel.findChildren<QShortcut*>())
            if (shortcut->key() == QKeySequence(key))
                emit shortcut->activated();
    };

    // What's New: Return is "OK", and Escape closes through the hidden button.
    const Updater::Panel whatsNew{Updater::Panel::Kind::whatsNew, release("1.0.0")};
    updater.setPanel(whatsNew);
    {
        UpdatePanel panel(updater, whatsNew);
        EXPECT_EQ(panel.kickerText(), "WHAT\u2019S NEW");
        press(panel, Qt::Key_Return);
        EXPECT_FALSE(updater.panel().has_value());
    }

    // The update face while idle: Escape closes; a disabled panel (the tour
    // above it) ignores every key.
    const Updater::Panel update{Updater::Panel::Kind::update, {}};
    updater.setPanel(update);
    UpdatePanel panel(updater, update);
    EXPECT_EQ(panel.kickerText(), "SOFTWARE UPDATE");
    panel.setEnabled(false);
    press(panel, Qt::Key_Escape);
    press(panel, Qt::Key_Return);
    EXPECT_TRUE(updater.panel().has_value());
    panel.setEnabled(true);
    press(panel, Qt::Key_Escape);
    EXPECT_FALSE(updater.panel().has_value());
}

// This build names no site: its default feed is never asked, and the panel
// neither retries nor links to the site, whatever the failure.
TEST_F(UpdateViewsTest, PanelOfABuildWithoutASite)
{
    const auto buttons = [](const UpdatePanel& panel) {
        QStringList titles;
        for (const PressButton* button : panel.findChildren<PressButton*>())
            titles << button->text();
        return titles;
    };
    Updater::Setup setup;
    setup.feedURL = Updater::defaultFeed();
    Updater updater{setup};
    const Updater::Panel update{Updater::Panel::Kind::update, {}};
    for (bool chinese : {false, true}) {
        L10n::setChinese(chinese);
        updater.check();
        updater.setPanel(update);
        UpdatePanel panel(updater, update);
        EXPECT_EQ(buttons(panel), QStringList{chinese ? "好" : "OK"});
        EXPECT_EQ(panel.footer().note, chinese ? "这个 Tavrin 构建不检查更新：它没有更新站点。"
                                               : "This build of Tavrin does not check for updates: it has no update site.");
        for (QShortcut* shortcut : panel.findChildren<QShortcut*>())
            if (shortcut->key() == QKeySequence(Qt::Key_Return))
                emit shortcut->activated();
        EXPECT_FALSE(updater.panel().has_value());
    }
    L10n::setChinese(false);
    // A feed given at launch is still retried; a copy that cannot replace
    // itself has no site to send the user to.
    EXPECT_EQ(M::updateFooter(Updater::State::failed("x", false), std::nullopt, QUrl()).primary->kind, Action::retry);
    EXPECT_EQ(M::updateFooter(Updater::State::failed("x", true), std::nullopt, QUrl()).primary->kind, Action::dismiss);

    const Updater::Panel whatsNew{Updater::Panel::Kind::whatsNew, release("1.0.0")};
    UpdatePanel notes(updater, whatsNew);
    EXPECT_TRUE(notes.findChildren<LinkText*>().isEmpty());
    EXPECT_EQ(buttons(notes), QStringList{"OK"});
}

// The header shows the program's own icon, the emblem on its dark plate,
// 22 px square: the mint core in the middle, the plate round it.
TEST_F(UpdateViewsTest, PanelHeaderShowsTheProgramsIcon)
{
    Updater::Setup setup;
    setup.feedURL = Updater::defaultFeed();
    Updater updater{setup};
    const Updater::Panel update{Updater::Panel::Kind::update, {}};
    for (bool chinese : {false, true}) {
        L10n::setChinese(chinese);
        UpdatePanel panel(updater, update);
        QImage icon;
        for (const QLabel* label : panel.findChildren<QLabel*>())
            if (!label->pixmap().isNull()) {
                EXPECT_TRUE(icon.isNull()) << "one picture in the panel";
                EXPECT_EQ(label->size(), QSize(22, 22));
                icon = label->pixmap().toImage();
            }
        ASSERT_FALSE(icon.isNull());
        ASSERT_EQ(icon.size(), QSize(22, 22));
        EXPECT_EQ(icon.pixelColor(11, 11), Theme::cpu());
        EXPECT_EQ(icon.pixelColor(1, 11), Theme::bg());
        EXPECT_EQ(icon.pixelColor(20, 11), Theme::bg());
        // The plate's rounded corner leaves the very corner clear.
        EXPECT_EQ(icon.pixelColor(0, 0).alpha(), 0);
    }
    L10n::setChinese(false);
}
