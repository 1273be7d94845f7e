#include "app/main_window.h"
#include "app/shell_fixture.h"
#include "core/build_info.h"

#include <QAction>
#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QMenu>

namespace {

class UrlRecorder : public QObject {
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl& url) { opened << url; }
};

class HelpMenuTest : public ShellTest {};

} // namespace

TEST_F(HelpMenuTest, CopiesTheReportAndOpensTheSite)
{
    auto m = make();
    MainWindow window(*m, updater());
    QMenu* help = window.helpMenu();
    const QList<QAction*> items = help->actions();
    // This build has no contact channels: the copy, a divider, the site.
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items[0]->text(), "Copy Diagnostics");
    EXPECT_EQ(items[0]->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_D));
    EXPECT_TRUE(items[1]->isSeparator());
    EXPECT_EQ(items[2]->text(), "Tavrin Website");

    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    items[0]->trigger();
    const QString copied = QGuiApplication::clipboard()->text();
    EXPECT_TRUE(copied.startsWith("```\nTavrin ")) << copied.toStdString();
    EXPECT_TRUE(copied.endsWith("\n```"));
    EXPECT_TRUE(copied.contains("\nupdate: idle · never checked\n"));

    UrlRecorder recorder;
    const QString scheme = BuildInfo::site().scheme();
    QDesktopServices::setUrlHandler(scheme, &recorder, "open");
    items[2]->trigger();
    QDesktopServices::unsetUrlHandler(scheme);
    ASSERT_EQ(recorder.opened.size(), 1);
    EXPECT_EQ(recorder.opened[0], BuildInfo::site());

    setLanguage(*m, AppLanguage::zh);
    ASSERT_GE(help->actions().size(), 3);
    EXPECT_EQ(help->actions()[0]->text(), "复制诊断信息");
    EXPECT_EQ(help->actions()[2]->text(), "Tavrin 官网");
    EXPECT_EQ(help->title(), "帮助");
}

#include "help_commands_test.moc"
