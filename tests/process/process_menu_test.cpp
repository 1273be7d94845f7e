// The process menu against a real process and the real question box.

#include "process/process_menu.h"

#include "app/view_fixture.h"
#include "core/l10n.h"
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

#include <cerrno>

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

TEST_F(ProcessMenuTest, QuitAsksAboutAndSignalsOnlyTheUsersOwnProcesses)
{
    auto monitor = make();
    SleepingChild mine, theirs;
    std::vector<int32_t> sent;
    ProcessSignals::ScopedSender record([&](int32_t pid, int) { return sent.push_back(pid), 0; });
    QString asked;
    ProcessMenu::ScopedConfirm yes([&](const ProcessMenu::Question& q) {
        asked = q.informative;
        return true;
    });
    const uint32_t me = 1000;
    GroupSample g = group("sleep", 0, {mine.pid(), theirs.pid()});
    for (ProcSample& p : g.members) {
        p.startTime = sampledStart(p.pid);
        p.uid = p.pid == mine.pid() ? me : me + 1;
    }
    ASSERT_TRUE(ProcessMenu::entries(g, std::nullopt, *monitor, me).trigger("Quit…"));
    EXPECT_EQ(asked, "This asks this process to quit. Unsaved changes may be lost.");
    EXPECT_EQ(sent, std::vector<int32_t>{mine.pid()});

    sent.clear();
    ASSERT_TRUE(ProcessMenu::entries(g, std::nullopt, *monitor, 0).trigger("Force Quit…"));
    EXPECT_EQ(asked, "This terminates these 2 processes immediately. Unsaved changes will be lost.");
    EXPECT_EQ(sent.size(), 2u);
}

TEST_F(ProcessMenuTest, QuitIsNotOfferedWhereTheUserMaySignalNoneAndARefusalIsSaid)
{
    auto monitor = make();
    const uint32_t me = 1000;
    auto greyed = [&](const GroupSample& g, const std::optional<ProcSample>& member, uint32_t as = 1000) {
        QStringList titles;
        for (const MenuEntry& e : ProcessMenu::entries(g, member, *monitor, as).entries)
            if (!e.divider() && !e.action)
                titles << e.title;
        return titles;
    };
    GroupSample theirs = group("uid:1001:exe:kernel", 90, {5000000, 5000001}, "kernel (bob)");
    for (ProcSample& p : theirs.members)
        p.uid = me + 1;
    EXPECT_EQ(greyed(theirs, std::nullopt),
              (QStringList{"Quit…", "Force Quit…", "Another user's processes: quitting or pausing them requires root"}));
    EXPECT_EQ(greyed(theirs, theirs.members[0]).value(2), "Another user's process: quitting or pausing it requires root");
    L10n::setChinese(true);
    EXPECT_EQ(greyed(theirs, std::nullopt), (QStringList{"结束…", "强制结束…", "其他用户的进程：结束或暂停需要 root 权限"}));
    L10n::setChinese(false);
    GroupSample roots = group("uid:0:exe:cron", 0, {5000002}, "cron");
    roots.members[0].uid = 0u;
    EXPECT_EQ(greyed(roots, std::nullopt).value(2), "System process: quitting or pausing it requires root");
    EXPECT_TRUE(greyed(roots, std::nullopt, 0).isEmpty());

    // A refused signal is said; one to a process that just ended is not.
    SleepingChild child;
    GroupSample mine = group("exe:sleep", 0, {child.pid()}, "sleep");
    mine.members[0].startTime = sampledStart(child.pid());
    std::vector<ProcessMenu::Question> asked;
    ProcessMenu::ScopedConfirm yes([&](const ProcessMenu::Question& q) { return asked.push_back(q), true; });
    int answer = EPERM;
    ProcessSignals::ScopedSender refusing([&](int32_t, int) { return answer; });
    ASSERT_TRUE(ProcessMenu::entries(mine, std::nullopt, *monitor, me).trigger("Force Quit…"));
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[1].message, "The system refused to force quit “sleep”.");
    EXPECT_TRUE(asked[1].cancel.isEmpty());
    answer = ESRCH;
    ASSERT_TRUE(ProcessMenu::entries(mine, std::nullopt, *monitor, me).trigger("Quit…"));
    EXPECT_EQ(asked.size(), 3u);
}
