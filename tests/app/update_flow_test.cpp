// The update views against a real updater reading a feed file: the check
// runs, a newer release is offered, and the pill, the panel and the
// settings card follow it.

#include "app/header_bar.h"
#include "app/root_view.h"
#include "model/event_loop_wait.h"
#include "update/software_update_card.h"
#include "ui/press_button.h"
#include "update/update_panel.h"
#include "update/update_pill.h"

#include "shell_fixture.h"

#include <QFile>
#include <QTest>

namespace {

class UpdateFlowTest : public ShellTest {
protected:
    std::unique_ptr<Updater> offering(const char* version)
    {
        const QString path = dir.filePath(QStringLiteral("feed.json"));
        QFile feed(path);
        EXPECT_TRUE(feed.open(QIODevice::WriteOnly));
        feed.write(QByteArray(R"({"releases":[{"version":")") + version
                   + R"(","build":7,"date":"2026-12-08","title":{"zh":"更稳","en":"Steadier"},)"
                     R"("notes":{"zh":["一"],"en":["One & <b>two</b>"]},)"
                     R"("download":{"url":"file:///nonexistent/a.zip","sha256":"00","size":1}}]})");
        feed.close();
        Updater::Setup s;
        s.versionText = QStringLiteral("1.0.0");
        s.build = 1;
        s.feedURL = QUrl::fromLocalFile(path);
        s.systemVersion = QStringLiteral("6.1.0");
        s.workDirectory = dir.filePath(QStringLiteral("work"));
        return std::make_unique<Updater>(s);
    }
};

} // namespace

TEST_F(UpdateFlowTest, AnOfferedReleaseReachesThePillThePanelAndTheCard)
{
    auto m = make();
    makeReady(*m);
    auto updater = offering("2.0.0");
    RootView root(*m, *updater);
    root.resize(1400, 880);
    root.show();
    int shown = 0;
    SoftwareUpdateCard card(*m, *updater, [&] { ++shown; });
    card.resize(560, 200);
    card.show();
    settle();
    auto* pill = qobject_cast<UpdatePill*>(root.header()->updatePill());
    ASSERT_NE(pill, nullptr);
    EXPECT_FALSE(pill->isVisible());
    EXPECT_EQ(card.versionText(), "Current version 1.0.0");

    // While the check runs the card's button is out of use.
    card.actionButton()->click();
    EXPECT_EQ(updater->state().kind, Updater::State::Kind::checking);
    runPending();
    EXPECT_FALSE(card.actionButton()->isEnabled());
    EXPECT_EQ(card.statusText(), "Checking for updates\u2026");

    ASSERT_TRUE(waitFor([&] { return !updater->state().busy(); }));
    ASSERT_EQ(updater->state().kind, Updater::State::Kind::available);
    settle();
    EXPECT_TRUE(pill->isVisible());
    EXPECT_EQ(pill->text(), "Update 2.0.0");
    EXPECT_EQ(card.actionButton()->text(), "View update");
    EXPECT_TRUE(card.actionButton()->isEnabled());
    EXPECT_EQ(card.statusText(), "Version 2.0.0 is available");

    // "View update" brings the main window and opens the panel there.
    card.actionButton()->click();
    EXPECT_EQ(shown, 1);
    settle();
    ASSERT_NE(root.updatePanel(), nullptr);
    EXPECT_EQ(root.updatePanel()->kickerText(), "NEW VERSION");
    ASSERT_NE(root.updatePanel()->primaryButton(), nullptr);
    EXPECT_EQ(root.updatePanel()->primaryButton()->text(), "Download and install");
    EXPECT_TRUE(root.updatePanel()->footer().later);

    // The pill opens the same panel and starts nothing.
    updater->setPanel(std::nullopt);
    settle();
    EXPECT_EQ(root.updateLayer(), nullptr);
    QTest::mouseClick(pill, Qt::LeftButton);
    EXPECT_EQ(updater->state().kind, Updater::State::Kind::available);
    settle();
    EXPECT_NE(root.updatePanel(), nullptr);
}
