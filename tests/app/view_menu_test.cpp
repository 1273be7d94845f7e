#include "app/view_menu.h"

#include "shell_fixture.h"

#include <QAction>

namespace {

QStringList texts(const ViewMenu::Model& model)
{
    QStringList out;
    for (const ViewMenu::Item& item : model.items)
        out << item.text;
    return out;
}

QStringList shortcuts(const ViewMenu::Model& model)
{
    QStringList out;
    for (const ViewMenu::Item& item : model.items)
        out << item.shortcut.toString(QKeySequence::PortableText);
    return out;
}

} // namespace

TEST_F(ShellTest, ViewMenuTextsAndShortcutsInBothLanguages)
{
    auto m = make();
    ViewMenu::Model model = ViewMenu::build(*m);
    EXPECT_EQ(model.title, QStringLiteral("View"));
    EXPECT_EQ(texts(model), (QStringList{"List", "Field", "Flows", "Domains", "Ports", "Filter",
                                         "Freeze Display"}));
    EXPECT_EQ(shortcuts(model), (QStringList{"Ctrl+1", "Ctrl+2", "Ctrl+3", "Ctrl+4", "Ctrl+5",
                                             "Ctrl+F", "Ctrl+P"}));
    // The divider sits before the filter item only.
    for (std::size_t i = 0; i < model.items.size(); ++i)
        EXPECT_EQ(model.items[i].dividerBefore, i == 5);
    for (std::size_t i = 0; i < 5; ++i)
        EXPECT_EQ(model.items[i].mode, Monitor::allModes[i]);

    L10n::setChinese(true);
    m->setFrozen(true);
    model = ViewMenu::build(*m);
    EXPECT_EQ(model.title, QStringLiteral("视图"));
    EXPECT_EQ(texts(model), (QStringList{"列表", "力场", "流向", "域名", "端口", "过滤进程", "继续刷新"}));
    EXPECT_EQ(shortcuts(model)[6], QStringLiteral("Ctrl+P"));
    m->setFrozen(false);
    EXPECT_EQ(ViewMenu::build(*m).items[6].text, QStringLiteral("冻结画面"));
}

TEST_F(ShellTest, ViewMenuFollowsLanguageAndFreeze)
{
    auto m = make();
    ViewMenu menu(*m);
    ASSERT_EQ(menu.items().size(), 7u);
    EXPECT_EQ(menu.title(), QStringLiteral("View"));

    setLanguage(*m, AppLanguage::zh);
    EXPECT_EQ(menu.title(), QStringLiteral("视图"));
    EXPECT_EQ(menu.items()[0]->text(), QStringLiteral("列表"));
    EXPECT_EQ(menu.items()[0]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_1));

    // The freeze item follows the frozen flag whoever sets it (the header's
    // toggle too), not only the menu's own command.
    m->setFrozen(true);
    clock.scheduler.runPending();
    EXPECT_EQ(menu.items()[6]->text(), QStringLiteral("继续刷新"));
    setLanguage(*m, AppLanguage::en);
    EXPECT_EQ(menu.items()[6]->text(), QStringLiteral("Resume Updates"));
}

TEST_F(ShellTest, ViewMenuCommands)
{
    auto m = make();
    ViewMenu menu(*m);
    const auto& items = menu.items();

    items[2]->trigger();
    EXPECT_EQ(m->mode(), Monitor::Mode::flow);
    items[4]->trigger();
    EXPECT_EQ(m->mode(), Monitor::Mode::ports);

    items[5]->trigger();
    items[5]->trigger();
    EXPECT_EQ(m->focusSearch(), 2);

    // Freeze and resume alternate, and the text with them.
    items[6]->trigger();
    clock.scheduler.runPending();
    EXPECT_TRUE(m->frozen());
    EXPECT_EQ(items[6]->text(), QStringLiteral("Resume Updates"));
    items[6]->trigger();
    clock.scheduler.runPending();
    EXPECT_FALSE(m->frozen());
    EXPECT_EQ(items[6]->text(), QStringLiteral("Freeze Display"));
}

TEST_F(ShellTest, ViewMenuIsInertWhileBlocked)
{
    auto m = make();
    ViewMenu menu(*m);
    m->setBlocking(true);
    clock.scheduler.runPending();
    for (QAction* action : menu.items())
        EXPECT_FALSE(action->isEnabled()) << action->text().toStdString();

    // Even an action fired regardless changes nothing.
    for (QAction* action : menu.items())
        action->activate(QAction::Trigger);
    for (QAction* action : menu.items())
        emit action->triggered();
    EXPECT_EQ(m->mode(), Monitor::Mode::table);
    EXPECT_EQ(m->focusSearch(), 0);
    EXPECT_FALSE(m->frozen());

    m->setBlocking(false);
    clock.scheduler.runPending();
    for (QAction* action : menu.items())
        EXPECT_TRUE(action->isEnabled());
}
