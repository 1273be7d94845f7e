// The shell's windows, fonts and menus need an application object with a
// (headless) screen. The headless screen is a desktop's size, so the window
// opens at its own default size as it does on most desktops.

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qgetenv("QT_QPA_PLATFORM") == "offscreen")
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" TAVRIN_OFFSCREEN_CONFIG);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
