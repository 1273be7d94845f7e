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

// The working tables of one build: nodes and edges by key, in first-seen
// order so equal nodes rank the same way every time.
struct Tables {
    QHash<QString, std::size_t> appIndex, hostIndex, edgeIndex;
    std::vector<FlowNode> apps, hosts;
    std::vector<FlowEdge> edges;
    QHash<QString, std::set<int64_t>> ports;
    QHash<QString, int> conns;
};

FlowNode& nodeFor(QHash<QString, std::size_t>& index, std::vector<FlowNode>& nodes,
                  const QString& id, const QString& title)
{
    auto it = index.find(id);
    if (it != index.end())
        return nodes[*it];
    index.insert(id, nodes.size());
    FlowNode node;
    node.id = id;
    node.title = title;
    nodes.push_back(std::move(node));
    return nodes.back();
}

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

            const QString appId = QStringLiteral("g:") + o.key;
            const QString hostId = QStringLiteral("h:") + hostText;

            FlowNode& app = nodeFor(t.appIndex, t.apps, appId, o.name);
            if (!app.groupKey) {
                app.groupKey = o.key;
                app.bundlePath = o.bundlePath;
            }
            add(app, c);
            add(nodeFor(t.hostIndex, t.hosts, hostId, hostText), c);
            t.ports[hostId].insert(c.remotePort);
            t.conns[hostId] += 1;

            const QString edgeKey = appId + QLatin1Char('|') + hostId;
            auto edge = t.edgeIndex.find(edgeKey);
            if (edge == t.edgeIndex.end()) {
                edge = t.edgeIndex.insert(edgeKey, t.edges.size());
                t.edges.push_back({appId, hostId, 0, 0});
            }
            t.edges[*edge].rateIn += c.rateIn;
            t.edges[*edge].rateOut += c.rateOut;
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
            host.detail = L10n::text("%1 · %2 conns", "%1 · %2 条连接")
                              .arg(portList(t.ports.value(host.id), input.service))
                              .arg(t.conns.value(host.id));
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
