#include "app/main_window.h"
#include "app/shell_fixture.h"
#include "core/build_info.h"

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

