#include "app/main_window.h"
#include "app/tavrin_app.h"

#include "shell_fixture.h"

#include <QAction>
#include <QApplication>

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
