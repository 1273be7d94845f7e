#pragma once
// The Flows mode's model: which applications exchange traffic with which
// remote hosts. One build turns a snapshot's connections into two ranked
// node lists cut to the rows that fit, the links between the shown nodes
// and the number of nodes left out. Pure apart from the hold it arranges
// through, so it is tested and measured without a widget.

#include "core/owner.h"
#include "core/records.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <unordered_map>
#include <vector>

class InteractionHold;

struct FlowNode {
    QString id;                        // "g:" + owner key, or "h:" + host text
    QString title;                     // owner name, or host text
    QString detail;                    // the second text line
    std::optional<QString> bundlePath; // applications only
    std::optional<QString> groupKey;   // applications only
    double rateIn = 0, rateOut = 0;    // B/s
    double bytes = 0;                  // cumulative, both directions
    bool departed = false;             // kept on screen by the hold after it left

    bool operator==(const FlowNode&) const = default;
};

struct FlowEdge {
    QString from; // application id
    QString to;   // host id
    double rateIn = 0, rateOut = 0;

    bool operator==(const FlowEdge&) const = default;
};

struct FlowGraph {
    using Scope = Connection::Scope;
    using Scopes = std::set<Scope>;
    // The service name of a well-known port, when it has one.
    using ServiceName = std::function<std::optional<QString>(int64_t port)>;

    std::vector<FlowNode> apps;
    std::vector<FlowNode> hosts;
    std::vector<FlowEdge> edges;
    // Built nodes that are not shown: cut off, or appended during a hold
    // below a full column.
    int hidden = 0;

    bool operator==(const FlowGraph&) const = default;

    struct Input {
        const std::vector<Connection>* connections = nullptr;
        const std::unordered_map<int32_t, Owner>* owners = nullptr;
        QString filter;
        Scopes scopes;
        int capacity = 3;
        ServiceName service;
    };

    // Builds the graph; `hold` keeps each column's order still while it is
    // active (slots "apps" and "hosts").
    static FlowGraph build(const Input& input, InteractionHold& hold);

    // Rows that fit an offered height: (height − 54) / rowHeight, at least 3.
    static int capacity(double height, double rowHeight);
    // What changes the wanted order: the scopes as "[0, 1]" and the filter.
    static QString revision(const Scopes& scopes, const QString& filter);
    // Whether a connection passes the filter (empty: all): the owner's name
    // or the host text contain it, or the remote port is exactly it.
    static bool matches(const QString& filter, const QString& ownerName, const QString& hostText,
                        int64_t port);
    // The host detail's port list: the two lowest ports, named where known.
    static QString portList(const std::set<int64_t>& ports, const ServiceName& service);
};
