#include "app/single_copy.h"
#include "app/tavrin_app.h"
#include "platform/defaults.h"
#include "ui/fonts.h"

#include <QApplication>

#include <memory>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tavrin"));
    Defaults::setArguments(app.arguments().mid(1));

    // A second start in the same session shows the running copy's window:
    // one tray icon, one set of settings in use. "-singleCopy NO" runs a
    // copy of its own regardless (scripts that start several at once).
    std::unique_ptr<SingleCopy> single;
    if (Defaults::standard().boolValue(QStringLiteral("singleCopy"), true)) {
        single = std::make_unique<SingleCopy>(SingleCopy::socketPath());
        if (single->claim() == SingleCopy::Role::handedOver)
            return 0;
    }

    // Menus, tooltips and dialogs speak in the interface's own face.
    QApplication::setFont(Fonts::font(13));

    TavrinApp tavrin;
    if (single)
        QObject::connect(single.get(), &SingleCopy::showRequested, &tavrin, &TavrinApp::showMain);
    tavrin.showMain();
    return app.exec();
}
