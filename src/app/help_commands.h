#pragma once
// The Help menu: the diagnostics report copied to the clipboard
// (Ctrl+Shift+D), the product's web site, and one item per contact channel
// of this build. Built again with the menu's texts on a language change.

#include "model/monitor.h"

#include <QObject>
#include <QUrl>

class QMenu;

class HelpCommands : public QObject {
    Q_OBJECT

public:
    HelpCommands(Monitor& monitor, QMenu* menu);

    // Fills the menu anew in the current language.
    void rebuild();

private:
    Monitor& monitor_;
    QMenu* menu_;
};
