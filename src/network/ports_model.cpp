#include "network/ports_model.h"

#include "core/fmt.h"
#include "core/l10n.h"
#include "core/outside_text.h"
#include "model/monitor.h"
#include "ui/clipboard.h"
#include "ui/interaction_hold.h"

#include <QTextBoundaryFinder>

#include <algorithm>
#include <array>

namespace {

struct KnownPort {
    int64_t port;
    const char* name;
    // Null where the name is the same in both languages.
    const char* chinese;
};

constexpr std::array<KnownPort, 42> knownPorts{{
    {20, "FTP", nullptr},
    {21, "FTP", nullptr},
    {22, "SSH", nullptr},
    {25, "SMTP", nullptr},
    {53, "DNS", nullptr},
    {67, "DHCP", nullptr},
    {68, "DHCP", nullptr},
    {80, "HTTP", nullptr},
    {88, "Kerberos", nullptr},
    {123, "NTP", nullptr},
    {137, "NetBIOS", nullptr},
    {138, "NetBIOS", nullptr},
    {139, "NetBIOS", nullptr},
    {143, "IMAP", nullptr},
    {443, "HTTPS", nullptr},
    {445, "SMB", nullptr},
    {548, "AFP", nullptr},
    {587, "SMTP", nullptr},
    {631, "Printing", "打印"},
    {853, "DNS over TLS", nullptr},
    {993, "IMAPS", nullptr},
    {995, "POP3S", nullptr},
    {1080, "SOCKS", nullptr},
    {1883, "MQTT", nullptr},
    {3000, "Dev server", "开发服务器"},
    {3306, "MySQL", nullptr},
    {3478, "STUN", nullptr},
    {5000, "AirPlay Receiver", "AirPlay 接收"},
    {5173, "Vite", nullptr},
    {5223, "Apple Push", "Apple 推送"},
    {5228, "Google Push", "Google 推送"},
    {5353, "mDNS", nullptr},
    {5432, "PostgreSQL", nullptr},
    {5900, "Screen Sharing", "屏幕共享"},
    {6379, "Redis", nullptr},
    {7000, "AirPlay", nullptr},
    {8000, "HTTP alt", "HTTP 备用"},
    {8080, "HTTP proxy", "HTTP 代理"},
    {8443, "HTTPS alt", "HTTPS 备用"},
    {8888, "HTTP alt", "HTTP 备用"},
    {9090, "HTTP alt", "HTTP 备用"},
    {27017, "MongoDB", nullptr},
}};

QString nameOf(const KnownPort& known)
{
    return QString::fromUtf8(known.chinese && L10n::isChinese() ? known.chinese : known.name);
}

const Owner* ownerOf(const PortsModel::Owners& owners, int32_t pid)
{
    auto it = owners.find(pid);
    return it == owners.end() ? nullptr : &it->second;
}

} // namespace

std::map<int64_t, QString> Ports::names()
{
    std::map<int64_t, QString> result;
    for (const KnownPort& known : knownPorts)
        result.emplace(known.port, nameOf(known));
    return result;
}

std::optional<QString> Ports::service(int64_t port)
{
    // The table is sorted by port; the language is chosen on every call.
    auto it = std::lower_bound(knownPorts.begin(), knownPorts.end(), port,
                               [](const KnownPort& known, int64_t p) { return known.port < p; });
    if (it == knownPorts.end() || it->port != port)
        return std::nullopt;
    return nameOf(*it);
}

bool PortsModel::matches(const Listener& listener, const QString& filter, const Owners& owners)
{
    if (filter.isEmpty())
        return true;
    if (QString::number(listener.port).startsWith(filter))
        return true;
    const Owner* owner = ownerOf(owners, listener.pid);
    return owner
        && (owner->name.contains(filter, Qt::CaseInsensitive)
            || owner->process.contains(filter, Qt::CaseInsensitive));
}

std::vector<Listener> PortsModel::ordered(const std::vector<Listener>& listeners,
                                          const QString& filter, const Owners& owners)
{
    std::vector<Listener> kept;
    kept.reserve(listeners.size());
    for (const Listener& listener : listeners)
        if (matches(listener, filter, owners))
            kept.push_back(listener);
    std::stable_sort(kept.begin(), kept.end(), [](const Listener& a, const Listener& b) {
        if (a.port != b.port)
            return a.port < b.port;
        if (const int order = QString::compare(a.proto, b.proto); order != 0)
            return order < 0;
        return a.pid < b.pid;
    });
    return kept;
}

std::vector<PortRow> PortsModel::rows(const std::vector<Listener>& listeners, const QString& filter,
                                      const Owners& owners, InteractionHold& hold)
{
    // Rows carry their owner into the hold, so a listener kept after it
    // closed shows the owner it had, not whoever has its pid now.
    std::vector<PortRow> live;
    live.reserve(listeners.size());
    for (Listener& listener : ordered(listeners, filter, owners)) {
        PortRow row;
        if (const Owner* owner = ownerOf(owners, listener.pid))
            row.owner = *owner;
        row.id = listener.id();
        row.listener = std::move(listener);
        live.push_back(std::move(row));
    }
    const QString slot;
    std::vector<PortRow> shown =
        hold.arrange(live, slot, filter, true, true, [](const PortRow& row) { return row.id; });
    for (PortRow& row : shown)
        row.closed = hold.departed(row.id, slot);
    return shown;
}

QString PortsModel::portText(const PortRow& row)
{
    return u':' + QString::number(row.listener.port);
}

QString PortsModel::serviceText(const PortRow& row)
{
    return Ports::service(row.listener.port).value_or(QStringLiteral("—"));
}

QString PortsModel::ownerText(const PortRow& row)
{
    return row.owner ? row.owner->name : L10n::text("Unknown", "未知");
}

QString PortsModel::processText(const PortRow& row)
{
    return (row.owner ? OutsideText::isolate(row.owner->process) : QStringLiteral("?"))
        + QStringLiteral("  ") + QString::number(row.listener.pid);
}

QString PortsModel::processText(const PortRow& row, double room, const std::function<double(const QString&)>& width)
{
    const QString full = processText(row);
    if (!row.owner || width(full) <= room)
        return full;
    // The name is cut in the middle, by whole letters, to the most that
    // fits beside the pid: its start and its end tell names apart best.
    const QString name = OutsideText::plain(row.owner->process);
    std::vector<qsizetype> bounds{0};
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, name);
    for (qsizetype at = graphemes.toNextBoundary(); at > 0; at = graphemes.toNextBoundary())
        bounds.push_back(at);
    const qsizetype letters = qsizetype(bounds.size()) - 1;
    const QString pid = QStringLiteral("  ") + QString::number(row.listener.pid);
    const auto kept = [&](qsizetype keep) {
        const qsizetype head = (keep + 1) / 2;
        const QStringView whole(name);
        return OutsideText::isolate(Fmt::cut(whole.first(bounds[std::size_t(head)]),
                                             whole.mid(bounds[std::size_t(letters - keep / 2)])))
            + pid;
    };
    // The most letters that fit, found by halving.
    qsizetype lo = 0, hi = letters - 1;
    while (lo < hi) {
        const qsizetype mid = (lo + hi + 1) / 2;
        if (width(kept(mid)) <= room)
            lo = mid;
        else
            hi = mid - 1;
    }
    return kept(std::max<qsizetype>(lo, 0));
}

QString PortsModel::visibilityText(const PortRow& row)
{
    if (row.closed)
        return L10n::text("Closed", "已关闭");
    if (row.listener.localOnly)
        return L10n::text("Local only", "仅本机");
    return L10n::text("Visible on LAN", "局域网可见");
}

QString PortsModel::visibilityHelp(const PortRow& row)
{
    if (row.listener.localOnly)
        return L10n::text("Bound to the loopback address only; other devices can’t connect",
                          "只绑定在回环地址，其他设备无法连接");
    return L10n::text("Bound to all interfaces; devices on the same network can connect",
                      "绑定在所有网络接口，同一局域网内的设备可以连接");
}

bool PortsModel::exposed(const PortRow& row)
{
    return !row.listener.localOnly && !row.closed;
}

QString PortsModel::emptyText(const QString& filter)
{
    if (filter.isEmpty())
        return L10n::text(
            "Nothing is listening right now. Ports appear here as soon as a process starts listening.",
            "当前没有进程在监听端口。有进程开始监听后将显示在此。");
    return OutsideText::noMatch("ports", "端口", filter);
}

std::vector<QString> PortsModel::headings()
{
    return {L10n::text("Port", "端口"),         L10n::text("Proto", "协议"),
            L10n::text("Service", "用途"),      L10n::text("Owner", "占用者"),
            L10n::text("Process", "进程"),      L10n::text("Visibility", "可见范围")};
}

MenuPlan PortsModel::menu(const PortRow& row, Monitor& monitor)
{
    const QString port = QString::number(row.listener.port);
    const QString pid = QString::number(row.listener.pid);
    MenuPlan plan;
    plan.add(L10n::text("Copy Port Number", "复制端口号"), [port] { copyPlain(port); });
    plan.add(L10n::text("Copy PID", "复制 PID"), [pid] { copyPlain(pid); });
    plan.add(L10n::text("Copy Local Address", "复制本机地址"),
             [port] { copyPlain(QStringLiteral("localhost:") + port); });
    if (row.owner) {
        plan.addDivider();
        plan.add(L10n::text("Show in Inspector", "在检查器中查看"),
                 [row, &monitor] { showInInspector(row, monitor); });
    }
    return plan;
}

void PortsModel::showInInspector(const PortRow& row, Monitor& monitor)
{
    if (!row.owner)
        return;
    monitor.setSelection(row.owner->key);
    monitor.setFocusPid(row.listener.pid);
}

PortsColumns PortsColumns::across(double width)
{
    PortsColumns c;
    enum { portAt, protoAt, serviceAt, ownerAt, processAt, visibilityAt };
    double widths[6] = {port, proto, service, 0, process, visibility};
    const auto owner = [&] {
        double rest = width - 2 * padding;
        for (int i = 0; i < 6; ++i)
            rest -= widths[i];
        return rest;
    };
    // What gives way, in order: narrower, then gone.
    const std::pair<int, double> steps[] = {{processAt, 100}, {portAt, 64},  {serviceAt, 76},
                                            {processAt, 0},   {serviceAt, 0}, {protoAt, 0}};
    for (auto [column, narrowest] : steps) {
        const double short_ = ownerReadable - owner();
        if (short_ <= 0)
            break;
        widths[column] = narrowest > 0 ? std::max(narrowest, widths[column] - short_) : 0;
    }
    // Words cut to "Visib…" tell less than the dot alone, so the visibility
    // column keeps them whole or gives them up.
    if (owner() < ownerReadable)
        widths[visibilityAt] = visibilityDot;
    widths[ownerAt] = std::max(0.0, owner());
    double x = padding;
    for (int i = 0; i < 6; ++i) {
        c.x[i] = x;
        c.width[i] = widths[i];
        x += widths[i];
    }
    for (int i = 0; i < 6; ++i) {
        int next = i + 1;
        while (next < 6 && widths[next] <= 0)
            ++next;
        // The protocol is centred; every other column starts at its left.
        const bool flush = next < 6 && next != protoAt && i != protoAt;
        c.room[i] = std::max(0.0, widths[i] - (flush ? gap : 0));
    }
    return c;
}
