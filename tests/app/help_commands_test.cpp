#include "app/help_commands.h"
#include "app/main_window.h"
#include "app/shell_fixture.h"
#include "core/build_info.h"
#include "core/l10n.h"
#include "settings/contact.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>

namespace {

class HelpMenuTest : public ShellTest {};

} // namespace

TEST_F(HelpMenuTest, CopiesTheReportAndOpensNoUnsetSite)
{
    auto m = make();
    MainWindow window(*m, updater());
    QMenu* help = window.helpMenu();
    // This build has no contact channels and no site of its own: only the
    // copy, and no link that would look up the reserved name.
    ASSERT_FALSE(BuildInfo::hasUpdateSite());
    const QList<QAction*> items = help->actions();
    ASSERT_EQ(items.size(), 1);
    EXPECT_EQ(items[0]->text(), "Copy Diagnostics");
    EXPECT_EQ(items[0]->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_D));

    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    items[0]->trigger();
    const QString copied = QGuiApplication::clipboard()->text();
    EXPECT_TRUE(copied.startsWith("```\nTavrin ")) << copied.toStdString();
    EXPECT_TRUE(copied.endsWith("\n```"));
    EXPECT_TRUE(copied.contains("\nupdate: idle · never checked\n"));
    EXPECT_TRUE(copied.contains(" · auto update off (no update site) · ")) << copied.toStdString();

    setLanguage(*m, AppLanguage::zh);
    ASSERT_EQ(help->actions().size(), 1);
    EXPECT_EQ(help->actions()[0]->text(), "复制诊断信息");
    EXPECT_EQ(help->title(), "帮助");
}


TEST_F(HelpMenuTest, OneItemPerInjectedChannel)
{
    auto m = make();
    const Contact three = Contact::decode(R"({"telegram":"@tavrin","email":"a@b.org","x":"","github":"tavrin"})");
    const Contact one = Contact::decode(R"({"telegram":"","email":"","x":"@tav","github":""})");
    const Contact* shown = &three;
    QMenu menu;
    HelpCommands help(*m, &menu, [&] { return shown->channels(QStringLiteral("1.0")); });

    auto items = [&] {
        QStringList out;
        for (QAction* a : menu.actions())
            out << (a->isSeparator() ? QStringLiteral("|") : a->text() + u' ' + a->data().toUrl().toString(QUrl::FullyEncoded));
        return out;
    };
    EXPECT_EQ(items().join('\n').toStdString(), QStringList({"Copy Diagnostics ", "|", "Telegram group https://t.me/tavrin",
                                    "Email mailto:a@b.org?subject=Tavrin%201.0", "GitHub https://github.com/tavrin"}).join('\n').toStdString());
    shown = &one;
    L10n::setChinese(true);
    help.rebuild();
    EXPECT_EQ(items().join('\n').toStdString(),
              QStringList({QString::fromUtf8("复制诊断信息 "), "|", "X https://x.com/tav"}).join('\n').toStdString());
    L10n::setChinese(false);
}
