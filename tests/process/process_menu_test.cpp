// The process menu against a real process and the real question box.

#include "process/process_menu.h"

#include "app/view_fixture.h"
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

namespace {

void trigger(const GroupSample& g, Monitor& monitor, const QString& title)
{
    std::unique_ptr<QMenu> menu(ProcessMenu::menu(g, g.members.at(0), monitor));
    for (QAction* action : menu->actions())
        if (action->text() == title)
            action->trigger();
}

// The start a sample records: boot time plus start ticks, in whole seconds.
Date sampledStart(int32_t pid)
{
    std::string text;
    ProcFiles::read("/proc/stat", text);
    const uint64_t boot = ProcParse::stat(text).bootTime.value_or(0);
    return Date::fromUnix(double(boot + ProcessSignals::readState(pid)->startTime / uint64_t(::sysconf(_SC_CLK_TCK))));
}

using ProcessMenuTest = ViewTest;

} // namespace

TEST_F(ProcessMenuTest, SignalsOnlyTheProcessItsRowShowed)
{
    auto monitor = make();
    SleepingChild child;
    std::vector<int32_t> sent;
    ProcessSignals::ScopedSender record([&](int32_t pid, int) { return sent.push_back(pid), 0; });
    ProcessMenu::ScopedConfirm yes([](const ProcessMenu::Question&) { return true; });
    // The row showed an earlier process under the same pid.
    GroupSample g = group("sleep", 0, {child.pid()});
    g.members[0].startTime = Date{sampledStart(child.pid()).sinceReference - 30};
    trigger(g, *monitor, "Force Quit…");
    EXPECT_TRUE(sent.empty());
    g.members[0].startTime = sampledStart(child.pid());
    trigger(g, *monitor, "Quit…");
    EXPECT_EQ(sent, std::vector<int32_t>{child.pid()});
}

TEST_F(ProcessMenuTest, TheQuestionShowsAHostileNameAsTypedAndPathsAreCopiedQuoted)
{
    auto monitor = make();
    for (const QString& name : {QStringLiteral("<font color=red size=7>RED"), QStringLiteral("<b>BOLD"),
                                QStringLiteral("<img src=proof.png>")}) {
        QStringList plain, other;
        QTimer::singleShot(0, [&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
                    for (QLabel* label : box->findChildren<QLabel*>())
                        if (!label->text().isEmpty())
                            (label->textFormat() == Qt::PlainText ? plain : other) << label->text();
                    box->reject();
                }
        });
        trigger(group("hostile", 0, {5000000}, name), *monitor, "Quit…");
        EXPECT_TRUE(other.isEmpty()) << other.join('|').toStdString();
        EXPECT_TRUE(plain.contains(QStringLiteral("Quit “") + name + QStringLiteral("-proc”?")));
    }

    GroupSample g = group("odd", 0, {7});
    g.members[0].path = QStringLiteral("/tmp/x\nrm -rf ~");
    trigger(g, *monitor, "Copy Path");
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("$'/tmp/x\\nrm -rf ~'"));
}
