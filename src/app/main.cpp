#include "app/tavrin_app.h"
#include "platform/defaults.h"
#include "ui/fonts.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tavrin"));
    Defaults::setArguments(app.arguments().mid(1));
    // Menus, tooltips and dialogs speak in the interface's own face.
    QApplication::setFont(Fonts::font(13));

    TavrinApp tavrin;
    tavrin.showMain();
    return app.exec();
}
