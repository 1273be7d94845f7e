#pragma once
// On-demand details of one process for the inspector.

#include <QString>

#include <cstdint>
#include <utility>
#include <vector>

namespace ProcessInspect {

// Open descriptors by kind: files, sockets, pipes, epoll, other, in that
// order and always all five; empty when none can be read.
std::vector<std::pair<QString, int64_t>> fdBreakdown(int32_t pid, const QString& root = QStringLiteral("/"));

// The argument vector joined with single spaces; "" when unreadable.
QString commandLine(int32_t pid, const QString& root = QStringLiteral("/"));

} // namespace ProcessInspect
