#include "core/l10n.h"
#include "core/preferences.h"
#include "platform/defaults.h"

#include <QApplication>
#include <QPalette>
#include <QWidget>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tavrin"));
    Defaults::setArguments(app.arguments().mid(1));
    L10n::apply(Preferences::load().language);

    // The main window arrives with the app shell; until then an empty
    // window stands in, showing no figures.
    QWidget window;
    window.setWindowTitle(QStringLiteral("Tavrin"));
    QPalette palette = window.palette();
    palette.setColor(QPalette::Window, QColor(0x10, 0x11, 0x14));
    window.setPalette(palette);
    window.setAutoFillBackground(true);
    window.resize(1400, 880);
    window.show();
    return app.exec();
}
