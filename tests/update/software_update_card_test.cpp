#include "app/view_fixture.h"

#include "update/software_update_card.h"
#include "ui/link_text.h"
#include "ui/press_button.h"
#include "ui/switch.h"
#include "ui/theme.h"
#include "ui/toggle_row.h"

#include <QLabel>

namespace {

using Kind = Updater::State::Kind;
using Card = SoftwareUpdateCard;

Release release(const QString& version)
{
    Release r;
    r.version = version;
    return r;
}

} // namespace

TEST_F(ViewTest, SoftwareUpdateCardStatusLines)
{
    const Release next = release("2.1.0");
    EXPECT_EQ(Card::status(Updater::State::of(Kind::idle), std::nullopt, std::nullopt, std::nullopt), "Not checked yet");
    const QDateTime when(QDate(2026, 12, 9), QTime(5, 31));
    EXPECT_EQ(Card::status(Updater::State::of(Kind::upToDate), std::nullopt, std::nullopt, when),
              "Tavrin is up to date \u00b7 Last checked Dec 9, 2026 at 5:31 AM");
    // A newer release the kernel cannot take: named, without the date.
    EXPECT_EQ(Card::status(Updater::State::of(Kind::upToDate), std::nullopt, QStringLiteral("6.8"), when),
              "The new version requires Linux kernel 6.8 or later");
    EXPECT_EQ(Card::status(Updater::State::available(next), next, std::nullopt, std::nullopt),
              "Version 2.1.0 is available");
    EXPECT_EQ(Card::status(Updater::State::failed("No route", false), next, std::nullopt, std::nullopt), "No route");
    EXPECT_EQ(Card::statusColor(Updater::State::failed("x", false)), Theme::warn());
    EXPECT_EQ(Card::statusColor(Updater::State::of(Kind::readyToInstall)), Theme::cpu());
    EXPECT_EQ(Card::statusColor(Updater::State::of(Kind::installing)), Theme::dim());
    L10n::setChinese(true);
    EXPECT_EQ(Card::status(Updater::State::of(Kind::idle), std::nullopt, std::nullopt, when),
              "上次检查：2026年12月9日 05:31");
}

TEST_F(ViewTest, SoftwareUpdateCardOnADevelopmentBuild)
{
    auto monitor = make();
    Updater updater{Updater::Setup{}};
    int opened = 0;
    Card card(*monitor, updater, [&] { ++opened; });
    showOffscreen(card, {560, 200});
    EXPECT_EQ(card.versionText(), "Current version Dev build");
    EXPECT_EQ(card.actionButton()->text(), "Check now");
    EXPECT_TRUE(card.actionButton()->isEnabled());
    // No notes of the running version: only the link to all of them.
    EXPECT_EQ(card.whatsNewButton(), nullptr);

    // The switch writes the preference.
    card.autoCheckRow()->toggle()->click();
    EXPECT_FALSE(monitor->prefs().autoCheckUpdates);
    EXPECT_EQ(opened, 0);
}

// This build names no site: the switch stays off and says why, nothing
// links to the site, and "Check now" says plainly that nothing is asked.
TEST_F(ViewTest, SoftwareUpdateCardWithoutASite)
{
    auto monitor = make();
    Updater::Setup setup;
    setup.feedURL = Updater::defaultFeed();
    Updater updater{setup};
    const QString reason = "This build of Tavrin does not check for updates: it has no update site.";
    Card card(*monitor, updater, [] {});
    showOffscreen(card, {560, 200});
    ToggleRow* row = card.autoCheckRow();
    EXPECT_FALSE(row->toggle()->isEnabled());
    EXPECT_FALSE(row->toggle()->isOn());
    EXPECT_EQ(row->detail()->text(), reason);
    EXPECT_TRUE(card.findChildren<LinkText*>().isEmpty());
    card.actionButton()->click();
    runPending();
    EXPECT_EQ(card.statusText(), reason);
    EXPECT_TRUE(monitor->prefs().autoCheckUpdates);

    L10n::setChinese(true);
    Card zh(*monitor, updater, [] {});
    EXPECT_EQ(zh.autoCheckRow()->detail()->text(), "这个 Tavrin 构建不检查更新：它没有更新站点。");
}
