#include "process/process_menu.h"

#include "core/l10n.h"
#include "core/outside_text.h"
#include "core/shell_quote.h"
#include "model/monitor.h"
#include "platform/file_manager.h"
#include "platform/process_signals.h"
#include "process/inspector_model.h"
#include "ui/clipboard.h"
#include "ui/copy_text.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>

namespace ProcessMenu {

namespace {

// QMessageBox has no format setting for its informative text and guesses
// it; every label of the box is made plain.
void plainLabels(QMessageBox& box)
{
    for (QLabel* label : box.findChildren<QLabel*>())
        label->setTextFormat(Qt::PlainText);
}

bool askWithMessageBox(const Question& q)
{
    // The question carries a process name, which anyone can choose: it must
    // read as typed, never as markup that could restyle or hide the target.
    QMessageBox box(QMessageBox::Warning, QString(), q.message);
    box.setTextFormat(Qt::PlainText);
    box.setInformativeText(q.informative);
    plainLabels(box);
    // Without a cancel button it is a notice, which only tells.
    QPushButton* go = box.addButton(q.action, q.cancel.isEmpty() ? QMessageBox::AcceptRole
                                                                 : QMessageBox::DestructiveRole);
    if (!q.cancel.isEmpty())
        box.addButton(q.cancel, QMessageBox::RejectRole);
    box.exec();
    return box.clickedButton() == go;
}

Confirm& confirmer()
{
    static Confirm confirm = askWithMessageBox;
    return confirm;
}

void add(MenuPlan* plan, const char* en, const char* zh, std::function<void()> handler)
{
    plan->add(L10n::text(en, zh), std::move(handler));
}

} // namespace

ScopedConfirm::ScopedConfirm(Confirm confirm) : previous_(std::exchange(confirmer(), std::move(confirm))) {}

ScopedConfirm::~ScopedConfirm()
{
    confirmer() = std::move(previous_);
}

Question question(const QString& name, std::size_t count, bool force)
{
    Question q;
    const bool zh = L10n::isChinese();
    const QString shown = OutsideText::isolate(name);
    if (zh)
        q.message = (force ? QStringLiteral("强制结束「") : QStringLiteral("结束「")) + shown
            + QStringLiteral("」？");
    else
        q.message = (force ? QStringLiteral("Force quit “") : QStringLiteral("Quit “")) + shown
            + QStringLiteral("”?");
    QString object;
    if (count < 2)
        object = zh ? QStringLiteral("该进程") : QStringLiteral("this process");
    else
        object = zh ? QStringLiteral("这 %1 个进程").arg(count)
                    : QStringLiteral("these %1 processes").arg(count);
    if (zh)
        q.informative = force ? QStringLiteral("将立即终止") + object + QStringLiteral("，未保存的内容会丢失。")
                              : QStringLiteral("将请求") + object + QStringLiteral("退出。未保存的内容可能丢失。");
    else
        q.informative = force
            ? QStringLiteral("This terminates ") + object + QStringLiteral(" immediately. Unsaved changes will be lost.")
            : QStringLiteral("This asks ") + object + QStringLiteral(" to quit. Unsaved changes may be lost.");
    q.action = force ? L10n::text("Force Quit", "强制结束") : L10n::text("Quit", "结束");
    q.cancel = L10n::text("Cancel", "取消");
    return q;
}

Question refusal(const QString& name, ProcessSignals::Action action, std::size_t refused, std::size_t total)
{
    Question q;
    q.message = refusedText(action, name, refused, total);
    q.informative = L10n::text("Only the owner of a process, or root, may quit or pause it.",
                               "只有进程的所有者或 root 可以结束或暂停它。");
    q.action = L10n::text("OK", "好");
    return q;
}

QMenu* menu(const GroupSample& group, const std::optional<ProcSample>& member, Monitor& monitor,
            QWidget* parent)
{
    return buildMenu(entries(group, member, monitor), parent);
}

MenuPlan entries(const GroupSample& group, const std::optional<ProcSample>& member,
                 Monitor& monitor, uint32_t me)
{
    MenuPlan plan;
    MenuPlan* result = &plan;
    const QString name = member ? member->name : group.name;
    std::vector<int32_t> pids;
    std::vector<ProcessSignals::Sampled> sampled;
    auto take = [&](const ProcSample& p) {
        pids.push_back(p.pid);
        // Quit asks about, and reaches, only what the user may signal.
        if (ProcessSignals::maySignal(p.uid, me))
            sampled.push_back({p.pid, p.startTime ? std::optional(p.startTime->unix()) : std::nullopt});
    };
    if (member)
        take(*member);
    else
        for (const ProcSample& p : group.members)
            take(p);
    QString path;
    if (member)
        path = member->path;
    else if (group.bundlePath)
        path = *group.bundlePath;
    else if (!group.members.empty())
        path = group.members.front().path;
    const QString groupName = group.name;
    const bool muted = monitor.prefs().ignored.contains(groupName);
    // Each pid with the start time of the process the row shows: a pid
    // reused since that sample is not taken, and one reused later is left
    // alone when the signal goes.
    const std::vector<ProcessSignals::Target> targets = ProcessSignals::captureSampled(sampled);

    const QString key = group.key;
    const std::optional<int32_t> focus = member ? std::optional(member->pid) : std::nullopt;
    add(result, "Show in Inspector", "在检查器中查看", [&monitor, key, focus] {
        monitor.setSelection(key);
        monitor.setFocusPid(focus);
    });
    result->addDivider();
    add(result, "Copy Name", "复制名称", [name] { copyPlain(name); });
    QStringList pidTexts;
    for (int32_t pid : pids)
        pidTexts << QString::number(pid);
    const QString pidText = pidTexts.join(QLatin1Char(' '));
    if (pids.size() > 1)
        add(result, "Copy All PIDs", "复制全部 PID", [pidText] { copyPlain(pidText); });
    else
        add(result, "Copy PID", "复制 PID", [pidText] { copyPlain(pidText); });
    if (!path.isEmpty()) {
        add(result, "Copy Path", "复制路径", [path] { copyPlain(shellQuoted(path)); });
        add(result, "Show in File Manager", "在文件管理器中显示",
            [path] { FileManager::reveal(path); });
    }
    result->addDivider();
    if (muted)
        add(result, "Unmute Alerts", "恢复告警", [&monitor, groupName] {
            Preferences prefs = monitor.prefs();
            prefs.ignored.removeAll(groupName);
            monitor.setPrefs(prefs);
        });
    else
        add(result, "Mute Alerts", "不再告警", [&monitor, groupName] {
            Preferences prefs = monitor.prefs();
            prefs.ignored.append(groupName);
            monitor.setPrefs(prefs);
        });
    result->addDivider();
    // Where the user may signal none of them, quitting is not offered, and
    // the menu says why.
    if (const std::optional<QString> note = signalNote(group, member, me)) {
        result->add(L10n::text("Quit…", "结束…"), {});
        result->add(L10n::text("Force Quit…", "强制结束…"), {});
        result->add(*note, {});
        return plan;
    }
    auto confirm = [name, count = sampled.size(), targets](bool force) {
        // Asked (and the question built) only when chosen, in the language
        // of that moment.
        if (!confirmer()(question(name, count, force)) || targets.empty())
            return;
        const auto action = force ? ProcessSignals::Action::forceQuit : ProcessSignals::Action::quit;
        std::vector<int32_t> refused;
        ProcessSignals::send(targets, action, {}, &refused);
        if (!refused.empty())
            confirmer()(refusal(name, action, refused.size(), targets.size()));
    };
    add(result, "Quit…", "结束…", [confirm] { confirm(false); });
    add(result, "Force Quit…", "强制结束…", [confirm] { confirm(true); });
    return plan;
}

} // namespace ProcessMenu
