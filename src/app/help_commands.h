#pragma once
// The Help menu: the diagnostics report copied to the clipboard
// (Ctrl+Shift+D), the product's web site, and one item per contact channel
// of this build. Built again with the menu's texts on a language change.

#include "model/monitor.h"
#include "settings/contact.h"

#include <QObject>
#include <QUrl>

class QMenu;

class HelpCommands : public QObject {
    Q_OBJECT

public:
    // `channels` empty: this build's own channels.
    HelpCommands(Monitor& monitor, QMenu* menu, Contact::ChannelSource channels = {});

    // Fills the menu anew in the current language.
    void rebuild();

private:
    Monitor& monitor_;
    QMenu* menu_;
    Contact::ChannelSource channels_;
};
