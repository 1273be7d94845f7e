#pragma once
// The simulated machine behind demo mode: its application groups with their
// process roles, its network flows and its listening sockets. Pure data.

#include "core/records.h"

#include <QString>

#include <optional>
#include <vector>

enum class GroupKind { app, agent, tool, daemon, system };

// One row of a group's process list.
struct Role {
    QString name;        // the process name
    int count = 1;       // how many processes
    double cpu = 0;      // typical percent of one core
    double memMB = 0;    // MiB
    int threads = 0;
    int fds = 0;
    double read = 0;     // disk KiB/s
    double write = 0;    // disk KiB/s
    double swing = 0.35; // how strongly the load varies
};

struct GroupSpec {
    QString name;
    GroupKind kind = GroupKind::tool;
    std::vector<Role> roles;
};

enum class Traffic { steady, bursty, idle, beacon, download };

// One simulated flow.
struct LinkSpec {
    QString owner;               // a role name
    std::optional<QString> host; // reverse name of the remote address; none for loopback
    QString address;             // remote address
    int port = 0;
    Connection::Scope scope = Connection::Scope::internet;
    double rateIn = 0, rateOut = 0; // KiB/s
    Traffic traffic = Traffic::steady;
};

struct ListenerSpec {
    QString owner; // a role name
    QString proto;
    int port = 0;
    bool localOnly = false;
};

namespace DemoTables {

// Role names the simulation treats specially.
inline constexpr char16_t kernelName[] = u"kernel";   // pid 0
inline constexpr char16_t initName[] = u"systemd";    // pid 1
inline constexpr char16_t shellName[] = u"zsh";
inline constexpr char16_t terminalName[] = u"Terminal";
inline constexpr char16_t selfName[] = u"Tavrin";
inline constexpr char16_t agentName[] = u"agent-cli";
inline constexpr char16_t cloudSyncName[] = u"Cloud Sync";

// Built once on first use; safe to call from any thread.
const std::vector<GroupSpec>& groups();
const std::vector<LinkSpec>& links();
const std::vector<ListenerSpec>& listeners();

} // namespace DemoTables
