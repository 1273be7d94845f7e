// The process menu against real processes and the real question box: what
// it signals, how it asks, and what it copies.

#include "process/process_menu.h"

#include "app/view_fixture.h"
#include "platform/process_signals.h"
#include "platform/proc_files.h"
#include "platform/proc_parse.h"
#include "platform/sleeping_child.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

QAction* item(QMenu* menu, const QString& title)
{
    for (QAction* action : menu->actions())
        if (action->text() == title)
            return action;
    return nullptr;
}

// When the process started, as a sample records it: boot time plus its
// start ticks, in whole seconds.
std::optional<Date> sampledStart(int32_t pid)
{
    std::string text;
    const auto state = ProcessSignals::readState(pid);
    if (!state || !ProcFiles::read("/proc/stat", text))
        return std::nullopt;
    const auto boot = ProcParse::stat(text).bootTime;
    if (!boot)
        return std::nullopt;
    return Date::fromUnix(double(*boot + state->startTime / uint64_t(::sysconf(_SC_CLK_TCK))));
}

class ProcessMenuTest : public ViewTest {
protected:
    void SetUp() override
    {
        ViewTest::SetUp();
        monitor = make();
    }

    std::unique_ptr<Monitor> monitor;
};

} // namespace

TEST_F(ProcessMenuTest, SignalsOnlyTheProcessTheRowShows)
{
    SleepingChild child;
    ASSERT_GT(child.pid(), 0);
    const auto started = sampledStart(child.pid());
    ASSERT_TRUE(started);
    std::vector<int32_t> sent;
    ProcessSignals::ScopedSender record([&](int32_t pid, int) {
        sent.push_back(pid);
        return 0;
    });
    ProcessMenu::ScopedConfirm yes([](const ProcessMenu::Question&) { return true; });

    // The row's sample is of an earlier process under the same pid: the
    // one that holds it now was never shown, and is left alone.
    GroupSample g = group("sleep", 0, {child.pid()});
    g.members[0].startTime = Date{started->sinceReference - 30};
    for (bool forMember : {true, false}) {
        std::unique_ptr<QMenu> menu(ProcessMenu::menu(g, forMember ? std::optional(g.members[0]) : std::nullopt,
                                                      *monitor));
        item(menu.get(), "Force Quit…")->trigger();
    }
    EXPECT_TRUE(sent.empty());

    g.members[0].startTime = started;
    std::unique_ptr<QMenu> menu(ProcessMenu::menu(g, g.members[0], *monitor));
    item(menu.get(), "Quit…")->trigger();
    EXPECT_EQ(sent, std::vector<int32_t>{child.pid()});
}

TEST_F(ProcessMenuTest, TheQuestionShowsAHostileNameAsTyped)
{
    std::vector<int32_t> sent;
    ProcessSignals::ScopedSender record([&](int32_t pid, int) {
        sent.push_back(pid);
        return 0;
    });
    for (const QString& name : {QStringLiteral("<font color=red size=7>RED"), QStringLiteral("<b>BOLD"),
                               QStringLiteral("<img src=proof.png>")}) {
        GroupSample g = group("hostile", 0, {424242}, name);
        std::unique_ptr<QMenu> menu(ProcessMenu::menu(g, std::nullopt, *monitor));
        QStringList shown;
        bool plain = true;
        QTimer::singleShot(0, [&] {
            QMessageBox* box = nullptr;
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* found = qobject_cast<QMessageBox*>(w); found && found->isVisible())
                    box = found;
            ASSERT_NE(box, nullptr);
            for (QLabel* label : box->findChildren<QLabel*>()) {
                if (label->text().isEmpty() || !label->pixmap().isNull())
                    continue;
                shown << label->text();
                plain = plain && label->textFormat() == Qt::PlainText;
            }
            box->reject();
        });
        item(menu.get(), "Force Quit…")->trigger();
        EXPECT_TRUE(plain) << name.toStdString();
        EXPECT_TRUE(shown.contains(QStringLiteral("Force quit “") + name + QStringLiteral("”?")))
            << shown.join('|').toStdString();
        EXPECT_EQ(shown.size(), 2); // the question and what it does
    }
    EXPECT_TRUE(sent.empty());
}

TEST_F(ProcessMenuTest, CopyPathQuotesAPathThatWouldRunAsTwoCommands)
{
    GroupSample g = group("odd", 0, {7});
    g.members[0].path = QStringLiteral("/tmp/x\nrm -rf ~");
    std::unique_ptr<QMenu> menu(ProcessMenu::menu(g, g.members[0], *monitor));
    item(menu.get(), "Copy Path")->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("$'/tmp/x\\nrm -rf ~'"));

    g.members[0].path = QStringLiteral("/opt/My App/it's");
    menu.reset(ProcessMenu::menu(g, g.members[0], *monitor));
    item(menu.get(), "Copy Path")->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("/opt/My App/it's"));
}
