#include "process/inspector_model.h"

#include "core/fmt.h"
#include "core/l10n.h"
#include "core/outside_text.h"
#include "platform/text_marks.h"
#include "ui/interaction_hold.h"
#include "ui/theme.h"

#include <algorithm>
#include <unordered_set>

namespace {

QColor faded(QColor color, double opacity)
{
    color.setAlphaF(color.alphaF() * opacity);
    return color;
}

QString rate(double bytesPerSecond)
{
    return Fmt::bytes(bytesPerSecond) + QStringLiteral("/s");
}

} // namespace

Inspection resolveInspection(const std::optional<GroupSample>& group, std::optional<int32_t> focusPid,
                             const QHash<QString, Monitor::Series>& series, const std::set<int32_t>& stopped,
                             const std::set<int32_t>& resumed, uint32_t me)
{
    Inspection out;
    if (!group)
        return out;
    out.group = group;
    const auto& members = group->members;
    if (members.size() == 1) {
        out.process = members.front();
    } else if (focusPid) {
        const auto it = std::find_if(members.begin(), members.end(),
                                     [&](const ProcSample& p) { return p.pid == *focusPid; });
        if (it != members.end())
            out.process = *it;
    }
    if (out.process) {
        out.pids = {out.process->pid};
    } else {
        out.pids.reserve(members.size());
        for (const ProcSample& p : members)
            out.pids.push_back(p.pid);
    }
    auto mayAct = [&](const ProcSample& p) {
        if (ProcessSignals::maySignal(p.uid, me))
            out.signalable.push_back(p.pid);
    };
    if (out.process)
        mayAct(*out.process);
    else
        std::for_each(members.begin(), members.end(), mayAct);
    if (const auto it = series.constFind(group->key); it != series.constEnd())
        out.series = *it;
    auto paused = [&](const ProcSample& p) {
        return stopped.count(p.pid) > 0 || (p.stopped() && resumed.count(p.pid) == 0);
    };
    out.paused = out.process ? paused(*out.process)
                             : !members.empty() && std::all_of(members.begin(), members.end(), paused);
    return out;
}

QString restrictedNote(const ProcSample& process, uint32_t me)
{
    if (process.uid && *process.uid != 0 && *process.uid != me)
        return L10n::text("Another user's process: reading threads and handles requires root",
                          "其他用户的进程：读取线程与句柄需要 root 权限");
    return L10n::text("System process: reading threads and handles requires root", "系统进程：读取线程与句柄需要 root 权限");
}

std::optional<QString> signalNote(const GroupSample& group, const std::optional<ProcSample>& process,
                                  uint32_t me)
{
    const ProcSample* first = process ? &*process : group.members.empty() ? nullptr : &group.members.front();
    if (!first)
        return std::nullopt;
    auto may = [me](const ProcSample& p) { return ProcessSignals::maySignal(p.uid, me); };
    if (process ? may(*process) : std::any_of(group.members.begin(), group.members.end(), may))
        return std::nullopt;
    const bool many = !process && group.members.size() >= 2;
    if (first->uid == 0u)
        return many ? L10n::text("System processes: quitting or pausing them requires root", "系统进程：结束或暂停需要 root 权限")
                    : L10n::text("System process: quitting or pausing it requires root", "系统进程：结束或暂停需要 root 权限");
    return many ? L10n::text("Another user's processes: quitting or pausing them requires root",
                             "其他用户的进程：结束或暂停需要 root 权限")
                : L10n::text("Another user's process: quitting or pausing it requires root", "其他用户的进程：结束或暂停需要 root 权限");
}

QString refusedText(ProcessSignals::Action action, const QString& name, std::size_t refused, std::size_t total)
{
    using Action = ProcessSignals::Action;
    struct Texts {
        const char *all, *allZh, *some, *someZh;
    };
    // %1 the name; %2 how many were refused, %3 of how many.
    static constexpr Texts quit{"The system refused to quit “%1”.", "系统拒绝结束「%1」。",
                                "The system refused to quit %2 of the %3 processes of “%1”.",
                                "系统拒绝结束「%1」的 %3 个进程中的 %2 个。"};
    static constexpr Texts force{"The system refused to force quit “%1”.", "系统拒绝强制结束「%1」。",
                                 "The system refused to force quit %2 of the %3 processes of “%1”.",
                                 "系统拒绝强制结束「%1」的 %3 个进程中的 %2 个。"};
    static constexpr Texts pause{"The system refused to pause “%1”.", "系统拒绝暂停「%1」。",
                                 "The system refused to pause %2 of the %3 processes of “%1”.",
                                 "系统拒绝暂停「%1」的 %3 个进程中的 %2 个。"};
    static constexpr Texts resume{"The system refused to resume “%1”.", "系统拒绝继续运行「%1」。",
                                  "The system refused to resume %2 of the %3 processes of “%1”.",
                                  "系统拒绝继续运行「%1」的 %3 个进程中的 %2 个。"};
    const Texts& t = action == Action::quit ? quit : action == Action::forceQuit ? force
                   : action == Action::pause ? pause : resume;
    // All at once, so a name holding "%2" stays as it is.
    const QString shown = OutsideText::isolate(name);
    if (refused >= total)
        return L10n::text(t.all, t.allZh).arg(shown);
    return L10n::text(t.some, t.someZh).arg(shown, QString::number(refused), QString::number(total));
}

QString cpuText(double cpu)
{
    return Fmt::fixed(cpu, cpu >= 100 ? 0 : 1) + QLatin1Char('%');
}

std::array<TileModel, 6> tileModels(const GroupSample& group, const std::optional<ProcSample>& process,
                                    const Monitor::Series& series, const Thresholds& thresholds)
{
    double cpu = group.cpu;
    uint64_t mem = group.mem;
    int64_t threads = group.threads, fds = group.fds;
    double netIn = group.netIn, netOut = group.netOut;
    bool restricted = true;
    if (process) {
        cpu = process->cpu;
        mem = process->mem;
        threads = process->threads;
        fds = process->fds;
        netIn = process->netIn;
        netOut = process->netOut;
        restricted = process->restricted;
    } else {
        restricted = std::all_of(group.members.begin(), group.members.end(),
                                 [](const ProcSample& p) { return p.restricted; });
    }
    const QString dash = QStringLiteral("\u2014");
    const QColor plain = faded(Theme::text(), 0.8);
    return {{
        {QStringLiteral("CPU"), cpuText(cpu), series.cpu, Theme::cpu(), 100},
        {L10n::text("Memory", "内存"), Fmt::bytes(double(mem)), series.mem, Theme::mem(), 1},
        {L10n::text("Threads", "线程"), restricted ? dash : QString::number(threads), series.threads,
         threads >= thresholds.threads ? Theme::warn() : plain, 1},
        {L10n::text("Handles", "句柄"), restricted ? dash : QString::number(fds), series.fds,
         fds >= thresholds.fds ? Theme::warn() : plain, 1},
        {L10n::text("↓ Download", "↓ 下载"), rate(netIn), series.netIn, Theme::net(), 1024},
        {L10n::text("↑ Upload", "↑ 上传"), rate(netOut), series.netOut, faded(Theme::net(), 0.7), 1024},
    }};
}

QString subtitleCount(std::size_t members)
{
    return L10n::isChinese() ? QStringLiteral("%1 个进程").arg(members) : QStringLiteral("%1 processes").arg(members);
}

std::optional<QString> moreText(std::size_t total, std::size_t shown)
{
    if (total <= shown)
        return std::nullopt;
    const auto rest = total - shown;
    return L10n::isChinese() ? QStringLiteral("另有 %1 条").arg(rest) : QStringLiteral("%1 more").arg(rest);
}

MemberList memberRows(const GroupSample& group, std::optional<int32_t> focusPid, InteractionHold& hold)
{
    std::vector<ProcSample> sorted = group.members;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const ProcSample& a, const ProcSample& b) { return a.cpu > b.cpu; });
    const QString slot = QStringLiteral("members");
    const auto arranged = hold.arrange(sorted, slot, group.key, true, true, [](const ProcSample& p) { return p.pid; });
    std::vector<MemberRow> rows;
    const std::size_t n = std::min(arranged.size(), maxMemberRows);
    rows.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        const ProcSample& p = arranged[i];
        MemberRow row;
        row.pid = p.pid;
        row.name = p.name;
        row.departed = hold.departed(p.pid, slot);
        row.focused = focusPid == p.pid;
        if (row.departed) {
            row.cpu = L10n::text("Exited", "已退出");
        } else {
            row.cpu = cpuText(p.cpu);
            row.mem = Fmt::bytes(double(p.mem));
        }
        rows.push_back(std::move(row));
    }
    return {std::move(rows), moreText(arranged.size(), n)};
}

NetworkModel networkModel(const Snapshot& snapshot, const std::vector<int32_t>& pids, InteractionHold& hold)
{
    const std::unordered_set<int32_t> wanted(pids.begin(), pids.end());
    NetworkModel out;

    std::vector<const Listener*> listeners;
    for (const Listener& l : snapshot.listeners)
        if (wanted.count(l.pid))
            listeners.push_back(&l);
    std::stable_sort(listeners.begin(), listeners.end(),
                     [](const Listener* a, const Listener* b) { return a->port < b->port; });
    if (!listeners.empty()) {
        QStringList parts;
        for (const Listener* l : listeners) {
            out.ports.push_back(l->port);
            QString part = QLatin1Char(':') + QString::number(l->port);
            if (!l->localOnly)
                part += L10n::text(" (LAN)", "（局域网可见）");
            parts << part;
        }
        out.listening = L10n::text("Listening ", "监听 ") + parts.join(QStringLiteral("  "));
    }

    std::vector<Connection> kept;
    for (const Connection& c : snapshot.connections)
        if (wanted.count(c.pid))
            kept.push_back(c);
    std::stable_sort(kept.begin(), kept.end(), [](const Connection& a, const Connection& b) {
        const double ra = a.rateIn + a.rateOut, rb = b.rateIn + b.rateOut;
        if (ra != rb)
            return ra > rb;
        return a.bytesIn + a.bytesOut > b.bytesIn + b.bytesOut;
    });
    const QString slot = QStringLiteral("connections");
    const auto arranged = hold.arrange(kept, slot, pids, true, true, [](const Connection& c) { return c.id; });
    out.count = L10n::isChinese() ? QStringLiteral("%1 条").arg(arranged.size())
                                  : QStringLiteral("%1 open").arg(arranged.size());
    out.empty = arranged.empty();
    const std::size_t n = std::min(arranged.size(), maxConnectionRows);
    out.rows.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        const Connection& c = arranged[i];
        ConnectionRow row;
        row.id = c.id;
        // A right-to-left host name would carry the port with it
        // ("00164:elpmaxe.paypal"); isolated, the port reads as it is.
        const QString host = c.host.value_or(c.remoteHost);
        const QString port = QLatin1Char(':') + QString::number(c.remotePort);
        row.display = OutsideText::isolate(host) + port;
        row.copied = OutsideText::plain(host) + port;
        row.departed = hold.departed(c.id, slot);
        row.active = c.rateIn + c.rateOut > 0;
        if (row.departed) {
            row.traffic = L10n::text("Closed", "已关闭");
        } else if (row.active) {
            row.traffic = QStringLiteral("↓") + rate(c.rateIn) + QStringLiteral(" ↑") + rate(c.rateOut);
            row.help = L10n::text("Current download and upload rate", "当前下载与上传速率");
        } else {
            row.traffic = Fmt::bytes(c.bytesIn + c.bytesOut);
            row.help = L10n::text("Total data transferred on this connection", "这条连接累计传输的数据量");
        }
        out.rows.push_back(std::move(row));
    }
    out.more = moreText(arranged.size(), n);
    return out;
}

std::vector<Incident> alertRows(const std::vector<Incident>& open, const QString& groupKey, int alertsShown,
                                InteractionHold& hold)
{
    std::vector<Incident> mine;
    for (const Incident& incident : open)
        if (incident.groupKey && *incident.groupKey == groupKey)
            mine.push_back(incident);
    const QString revision = groupKey + QLatin1Char('|') + QString::number(alertsShown);
    return hold.arrange(mine, QStringLiteral("alerts"), revision, true, false,
                        [](const Incident& i) { return i.id; });
}

std::optional<QString> newAlertsText(int withheld)
{
    if (withheld < 1)
        return std::nullopt;
    if (L10n::isChinese())
        return QStringLiteral("%1 条新告警").arg(withheld);
    return withheld == 1 ? QStringLiteral("1 new alert") : QStringLiteral("%1 new alerts").arg(withheld);
}

std::optional<ProcSample> parentOf(const Snapshot& snapshot, const ProcSample& process)
{
    for (const GroupSample& g : snapshot.groups)
        for (const ProcSample& p : g.members)
            if (p.pid == process.ppid)
                return p;
    return std::nullopt;
}

QString revealPath(const GroupSample& group, const std::optional<ProcSample>& process)
{
    if (process)
        return process->path;
    if (group.bundlePath)
        return *group.bundlePath;
    if (!group.members.empty())
        return group.members.front().path;
    return {};
}

QString visibleCommandLine(const QString& text)
{
    auto hidden = [](char16_t c) {
        return c < 0x20 || (c >= 0x7f && c < 0xa0) || (c >= 0x2028 && c <= 0x202e) || (c >= 0x2060 && c <= 0x2069)
            || c == 0x200d || TextMarks::invisibleMark(c);
    };
    if (std::none_of(text.begin(), text.end(), [&](QChar c) { return hidden(c.unicode()); }))
        return text;
    QString out;
    out.reserve(text.size() + 8);
    for (const QChar qc : text) {
        const char16_t c = qc.unicode();
        if (!hidden(c)) {
            out += qc;
        } else if (c == u'\n') {
            out += QStringLiteral("\\n");
        } else if (c == u'\t') {
            out += QStringLiteral("\\t");
        } else if (c == u'\r') {
            out += QStringLiteral("\\r");
        } else if (c < 0x80) {
            out += QStringLiteral("\\x%1").arg(int(c), 2, 16, QLatin1Char('0'));
        } else {
            out += QStringLiteral("\\u%1").arg(int(c), 4, 16, QLatin1Char('0'));
        }
    }
    return out;
}

QString holdLabel(const QString& name, std::size_t targets)
{
    return targets >= 2 ? OutsideText::isolate(name) + QStringLiteral(" \u00D7") + QString::number(targets) : name;
}
