#include "network/flow_graph.h"

#include "core/fmt.h"
#include "core/l10n.h"
#include "ui/interaction_hold.h"

#include <QHash>
#include <QSet>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace {

// The working tables of one build, by index, in first-seen order so equal
// nodes rank the same way every time. Applications are found by pid and
// hosts by their text, so a connection costs no new text unless it brings
// a new node; edges are keyed by the two indices.
struct Tables {
    std::unordered_map<int32_t, std::size_t> appByPid;
    QHash<QString, std::size_t> appByKey, hostByText;
    std::unordered_map<uint64_t, std::size_t> edgeIndex;
    std::vector<FlowNode> apps, hosts;
    std::vector<FlowEdge> edges;
    std::vector<std::set<int64_t>> ports;
    std::vector<int> conns;
};

void add(FlowNode& node, const Connection& c)
{
    node.rateIn += c.rateIn;
    node.rateOut += c.rateOut;
    node.bytes += c.bytesIn + c.bytesOut;
}

// Busiest first; then the larger byte count; then the smaller id.
void sortByTraffic(std::vector<FlowNode>& nodes)
{
    std::stable_sort(nodes.begin(), nodes.end(), [](const FlowNode& a, const FlowNode& b) {
        const double ra = a.rateIn + a.rateOut, rb = b.rateIn + b.rateOut;
        if (ra != rb)
            return ra > rb;
        if (a.bytes != b.bytes)
            return a.bytes > b.bytes;
        return a.id < b.id;
    });
}

std::vector<FlowNode> rank(std::vector<FlowNode> nodes, const QString& slot, const QString& revision,
                           InteractionHold& hold)
{
    sortByTraffic(nodes);
    return hold.arrange(nodes, slot, revision, true, true, [](const FlowNode& n) { return n.id; });
}

} // namespace

int FlowGraph::capacity(double height, double rowHeight)
{
    if (!(rowHeight > 0) || !std::isfinite(height))
        return 3;
    const double rows = std::trunc((height - 54) / rowHeight);
    // Far beyond any screen; keeps the conversion defined.
    return int(std::clamp(rows, 3.0, 100000.0));
}

QString FlowGraph::revision(const Scopes& scopes, const QString& filter)
{
    QStringList numbers;
    for (Scope scope : scopes) // a std::set runs in ascending case order
        numbers << QString::number(int(scope));
    return QStringLiteral("[") + numbers.join(QStringLiteral(", ")) + QStringLiteral("]|") + filter;
}

bool FlowGraph::matches(const QString& filter, const QString& ownerName, const QString& hostText,
                        int64_t port)
{
    if (filter.isEmpty())
        return true;
    return ownerName.contains(filter, Qt::CaseInsensitive)
        || hostText.contains(filter, Qt::CaseInsensitive) || QString::number(port) == filter;
}

QString FlowGraph::portList(const std::set<int64_t>& ports, const ServiceName& service)
{
    QStringList parts;
    for (int64_t port : ports) {
        if (parts.size() == 2)
            break;
        const std::optional<QString> name = service ? service(port) : std::nullopt;
        parts << (name ? *name + QStringLiteral(" :") : QStringLiteral(":")) + QString::number(port);
    }
    return parts.join(QLatin1Char(' '));
}

FlowGraph FlowGraph::build(const Input& input, InteractionHold& hold)
{
    Tables t;
    const QString& filter = input.filter;
    if (input.connections && input.owners) {
        for (const Connection& c : *input.connections) {
            if (!input.scopes.contains(c.scope))
                continue;
            auto owner = input.owners->find(c.pid);
            if (owner == input.owners->end())
                continue;
            const Owner& o = owner->second;
            const QString hostText = c.host.value_or(c.remoteHost);
            if (!matches(filter, o.name, hostText, c.remotePort))
                continue;

            auto app = t.appByPid.find(c.pid);
            if (app == t.appByPid.end()) {
                auto byKey = t.appByKey.constFind(o.key);
                std::size_t index;
                if (byKey != t.appByKey.constEnd()) {
                    index = *byKey;
                } else {
                    index = t.apps.size();
                    t.appByKey.insert(o.key, index);
                    FlowNode node;
                    node.id = QStringLiteral("g:") + o.key;
                    node.title = o.name;
                    node.bundlePath = o.bundlePath;
                    node.groupKey = o.key;
                    t.apps.push_back(std::move(node));
                }
                app = t.appByPid.emplace(c.pid, index).first;
            }
            const std::size_t a = app->second;

            auto host = t.hostByText.constFind(hostText);
            if (host == t.hostByText.constEnd()) {
                host = t.hostByText.insert(hostText, t.hosts.size());
                FlowNode node;
                node.id = QStringLiteral("h:") + hostText;
                node.title = hostText;
                t.hosts.push_back(std::move(node));
                t.ports.emplace_back();
                t.conns.push_back(0);
            }
            const std::size_t h = *host;

            add(t.apps[a], c);
            add(t.hosts[h], c);
            t.ports[h].insert(c.remotePort);
            t.conns[h] += 1;

            auto [edge, fresh] = t.edgeIndex.emplace((uint64_t(a) << 32) | uint64_t(h), t.edges.size());
            if (fresh)
                t.edges.push_back({t.apps[a].id, t.hosts[h].id, 0, 0});
            t.edges[edge->second].rateIn += c.rateIn;
            t.edges[edge->second].rateOut += c.rateOut;
        }
    }

    const QString rev = revision(input.scopes, filter);
    const int capacity = std::max(input.capacity, 3);
    FlowGraph graph;
    graph.apps = rank(t.apps, QStringLiteral("apps"), rev, hold);
    graph.hosts = rank(t.hosts, QStringLiteral("hosts"), rev, hold);
    if (graph.apps.size() > std::size_t(capacity))
        graph.apps.resize(std::size_t(capacity));
    if (graph.hosts.size() > std::size_t(capacity))
        graph.hosts.resize(std::size_t(capacity));

    for (FlowNode& app : graph.apps) {
        if (hold.departed(app.id, QStringLiteral("apps"))) {
            app.detail = L10n::text("Exited", "已退出");
            app.rateIn = app.rateOut = 0;
            app.departed = true;
        } else {
            app.detail = L10n::text("Total %1", "累计 %1").arg(Fmt::bytes(app.bytes));
            app.departed = false;
        }
    }
    for (FlowNode& host : graph.hosts) {
        if (hold.departed(host.id, QStringLiteral("hosts"))) {
            host.detail = L10n::text("Closed", "已关闭");
            host.rateIn = host.rateOut = 0;
            host.departed = true;
        } else {
            const std::size_t h = t.hostByText.value(host.title);
            host.detail = L10n::text("%1 · %2 conns", "%1 · %2 条连接")
                              .arg(portList(t.ports[h], input.service))
                              .arg(t.conns[h]);
            host.departed = false;
        }
    }

    QSet<QString> shownApps, shownHosts;
    for (const FlowNode& n : graph.apps)
        shownApps.insert(n.id);
    for (const FlowNode& n : graph.hosts)
        shownHosts.insert(n.id);
    for (const FlowEdge& e : t.edges)
        if (shownApps.contains(e.from) && shownHosts.contains(e.to))
            graph.edges.push_back(e);

    // The nodes of this build that have no row. Departed nodes kept in rows
    // must not offset real ones that were cut, so this counts ids, not rows.
    for (const FlowNode& n : t.apps)
        graph.hidden += shownApps.contains(n.id) ? 0 : 1;
    for (const FlowNode& n : t.hosts)
        graph.hidden += shownHosts.contains(n.id) ? 0 : 1;
    return graph;
}
