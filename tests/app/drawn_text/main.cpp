// One headless screen per run, of the size TAVRIN_TEST_SCREEN names
// ("1024x600", the default); QT_SCALE_FACTOR scales it as on a desktop. The
// window opens on it as the program opens on a display without a window
// manager, in demo mode, in the program's own face and style.

#include "app/tavrin_app.h"
#include "core/demo_mode.h"
#include "platform/defaults.h"
#include "ui/fonts.h"

#include <QApplication>
#include <QTemporaryFile>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    QByteArray screen = qgetenv("TAVRIN_TEST_SCREEN");
    if (screen.isEmpty())
        screen = "1024x600";
    const QList<QByteArray> edges = screen.split('x');
    const int width = edges.size() == 2 ? edges[0].toInt() : 0;
    const int height = edges.size() == 2 ? edges[1].toInt() : 0;
    if (width <= 0 || height <= 0) {
        fprintf(stderr, "TAVRIN_TEST_SCREEN must read WIDTHxHEIGHT\n");
        return 2;
    }
    QTemporaryFile config;
    if (!config.open())
        return 2;
    config.write(QStringLiteral(R"({"synthesizeFocus": true, "windowFrameMargins": false, "screens": [
        {"name": "Screen", "x": 0, "y": 0, "width": %1, "height": %2,
         "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})")
                     .arg(width)
                     .arg(height)
                     .toUtf8());
    config.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + config.fileName().toLocal8Bit());

    QApplication app(argc, argv);
    QApplication::setFont(Fonts::font(13));
    TavrinApp::applyTheme();
    // Read once for the whole process, as the program reads it; from a file
    // of this run's own, never the user's.
    QTemporaryFile settings;
    if (!settings.open())
        return 2;
    Defaults::useFile(settings.fileName());
    Defaults::setArguments({QStringLiteral("-demo"), QStringLiteral("YES")});
    if (!DemoMode::isOn())
        return 2;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
