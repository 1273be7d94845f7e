#include "app/help_commands.h"

#include "core/build_info.h"
#include "core/l10n.h"
#include "settings/contact.h"
#include "settings/diagnostics.h"
#include "ui/plain_text.h"

#include <QAction>
#include <QDesktopServices>
#include <QMenu>

HelpCommands::HelpCommands(Monitor& monitor, QMenu* menu, Contact::ChannelSource channels)
    : QObject(menu)
    , monitor_(monitor)
    , menu_(menu)
    , channels_(std::move(channels))
{
    rebuild();
}

void HelpCommands::rebuild()
{
    menu_->clear();
    QAction* copy = menu_->addAction(L10n::text("Copy Diagnostics", "复制诊断信息"));
    copy->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_D));
    copy->setObjectName(QStringLiteral("copyDiagnostics"));
    connect(copy, &QAction::triggered, this, [this] { Diagnostics::copy(monitor_); });
    const auto channels = Contact::channelsFrom(channels_);
    // A build without a site of its own offers no link to it.
    const bool site = BuildInfo::hasUpdateSite();
    if (site || !channels.empty())
        menu_->addSeparator();
    if (site) {
        QAction* open = menu_->addAction(L10n::text("Tavrin Website", "Tavrin 官网"));
        connect(open, &QAction::triggered, this, [] { QDesktopServices::openUrl(BuildInfo::site()); });
    }
    for (const Contact::Channel& channel : channels) {
        QAction* item = menu_->addAction(PlainText::menuTitle(channel.name));
        item->setObjectName(QStringLiteral("channel.") + channel.id);
        const QUrl url = channel.url;
        item->setData(url);
        connect(item, &QAction::triggered, this, [url] { QDesktopServices::openUrl(url); });
    }
}
