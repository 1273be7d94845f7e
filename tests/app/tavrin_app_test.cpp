#include "app/main_window.h"
#include "app/tavrin_app.h"

#include "platform/tray_watch.h"
#include "settings/diagnostics.h"
#include "shell_fixture.h"
#include "ui/private_bus.h"

#include "ui/theme.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMessageBox>

namespace {

// The private bus fixture's set-up and tear-down, run inside a shell test.
class Bus : public PrivateBusTest {
public:
    Bus() { SetUp(); }
    ~Bus() override { TearDown(); }
    void TestBody() override {}
    using PrivateBusTest::connect;
};

} // namespace

TEST_F(ShellTest, AppStartsTheMonitorAndClosingHidesTheWindow)
{
    const bool quitBefore = QApplication::quitOnLastWindowClosed();
    {
        auto owned = make(true);
        Monitor* m = owned.get();
        TavrinApp app(std::move(owned));
        EXPECT_EQ(&app.monitor(), m);
        EXPECT_EQ(asked, 1); // started: notifications were asked for
        // Without a tray, the last window closed ends the program.
        EXPECT_FALSE(app.hasTray());
        EXPECT_TRUE(QApplication::quitOnLastWindowClosed());

        app.showMain();
        MainWindow* window = app.mainWindow();
        ASSERT_TRUE(window->isVisible());
        window->close();
        EXPECT_FALSE(window->isVisible());
        EXPECT_EQ(app.mainWindow(), window);

        // The updates command brings the window back; settings open on request.
        window->updatesAction()->trigger();
        EXPECT_TRUE(window->isVisible());
        // This build names no site: the check says so at once, and so does
        // the report, whatever the preference.
        EXPECT_EQ(app.updater().state(),
                  Updater::State::failed("This build of Tavrin does not check for updates: it has no update site.",
                                         false));
        EXPECT_TRUE(Diagnostics::report(*m, Diagnostics::currentUpdate()).contains(" · auto update off (no update site) · "));
        EXPECT_EQ(app.settingsWindow(), nullptr);
        window->settingsAction()->trigger();
        ASSERT_NE(app.settingsWindow(), nullptr);
        EXPECT_TRUE(app.settingsWindow()->isVisible());
        app.settingsWindow()->close();
    }
    QApplication::setQuitOnLastWindowClosed(quitBefore);
}

TEST_F(ShellTest, SettingsDefaultOpensSettingsWithTheWindow)
{
    defaults().set(QStringLiteral("settings"), true);
    const bool quitBefore = QApplication::quitOnLastWindowClosed();
    {
        TavrinApp app(make(true));
        EXPECT_EQ(app.settingsWindow(), nullptr);
        app.showMain();
        ASSERT_NE(app.settingsWindow(), nullptr);
        EXPECT_TRUE(app.settingsWindow()->isVisible());
        EXPECT_TRUE(defaults().boolValue(QStringLiteral("settings"))); // not written here
    }
    QApplication::setQuitOnLastWindowClosed(quitBefore);
}

TEST_F(ShellTest, SettingsDefaultIsReadEachTimeTheWindowOpensAndPopupsAreDark)
{
    const bool quitBefore = QApplication::quitOnLastWindowClosed();
    {
        TavrinApp app(make(true));
        app.showMain();
        EXPECT_EQ(app.settingsWindow(), nullptr);
        defaults().set(QStringLiteral("settings"), true);
        app.mainWindow()->close();
        app.showMain();
        ASSERT_NE(app.settingsWindow(), nullptr);
        app.settingsWindow()->close();

        // Menus and alerts made anywhere take the dark palette, and paint
        // dark with a divider that shows.
        QMenu menu;
        menu.addAction(QStringLiteral("Quit"));
        menu.addSeparator();
        menu.addAction(QStringLiteral("Force Quit"));
        QMessageBox alert(QMessageBox::Warning, QStringLiteral("Quit"), QStringLiteral("Quit?"));
        EXPECT_EQ(alert.palette().color(QPalette::Window), Theme::panel());
        EXPECT_EQ(alert.palette().color(QPalette::WindowText), Theme::text());
        EXPECT_EQ(menu.palette().color(QPalette::Disabled, QPalette::Text), Theme::faint());
        menu.adjustSize();
        const QImage image = menu.grab().toImage();
        int dark = 0;
        bool divider = false;
        for (int y = 0; y < image.height(); ++y) {
            const QColor colour = image.pixelColor(image.width() / 2, y);
            dark += colour.lightnessF() < 0.2;
            divider = divider || colour == Theme::line();
        }
        EXPECT_GT(dark, image.height() * 9 / 10);
        EXPECT_TRUE(divider);
    }
    QApplication::setQuitOnLastWindowClosed(quitBefore);
}

TEST_F(ShellTest, QuittingOnTheLastWindowFollowsTheTrayAsItComesAndGoes)
{
    Bus bus;
    QDBusConnection host = bus.connect(QStringLiteral("host"));
    ASSERT_TRUE(host.isConnected());
    const QString watcher = QString::fromLatin1(TrayWatch::watcherService);
    const bool quitBefore = QApplication::quitOnLastWindowClosed();
    {
        int askedQt = 0;
        bool qtCanDock = true;
        TavrinApp app(make(true), std::make_unique<TrayWatch>(bus.connect(QStringLiteral("app")), false),
                      [&] { ++askedQt; return qtCanDock; });
        EXPECT_TRUE(QApplication::quitOnLastWindowClosed());
        // Qt settles its kind of tray on its first question: not asked yet.
        EXPECT_EQ(askedQt, 0);
        app.showMain();
        MainWindow* window = app.mainWindow();

        // A tray host that starts later gets the icon, and the closed
        // window no longer ends the program.
        ASSERT_TRUE(host.registerService(watcher));
        ASSERT_TRUE(waitFor([&] { return app.hasTray(); }));
        EXPECT_FALSE(QApplication::quitOnLastWindowClosed());
        window->close();
        EXPECT_FALSE(window->isVisible());

        // The tray goes while the window is closed: the window comes back,
        // and closing it now ends the program.
        ASSERT_TRUE(host.unregisterService(watcher));
        ASSERT_TRUE(waitFor([&] { return !app.hasTray(); }));
        EXPECT_TRUE(QApplication::quitOnLastWindowClosed());
        EXPECT_TRUE(window->isVisible());

        // A tray Qt cannot dock into counts as none.
        qtCanDock = false;
        ASSERT_TRUE(host.registerService(watcher));
        ASSERT_TRUE(waitFor([&] { return askedQt == 2; }));
        EXPECT_FALSE(app.hasTray());
        EXPECT_TRUE(QApplication::quitOnLastWindowClosed());
    }
    QApplication::setQuitOnLastWindowClosed(quitBefore);
}
