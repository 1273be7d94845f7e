#pragma once
// On-demand details of one process for the inspector.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <utility>
#include <vector>

namespace ProcessInspect {

// Open descriptors by kind: files, sockets, pipes, epoll, other, in that
// order and always all five; empty when none can be read.
std::vector<std::pair<QString, int64_t>> fdBreakdown(int32_t pid, const QString& root = QStringLiteral("/"));

// The argument vector as the process holds it, byte for byte; empty when
// unreadable.
std::vector<QByteArray> arguments(int32_t pid, const QString& root = QStringLiteral("/"));

// The argument vector joined with single spaces; "" when unreadable.
QString commandLine(int32_t pid, const QString& root = QStringLiteral("/"));
QString commandLine(const std::vector<QByteArray>& arguments);

// The executable's path as the kernel links it, byte for byte, without
// " (deleted)"; empty when refused.
QByteArray executable(int32_t pid, const QString& root = QStringLiteral("/"));

} // namespace ProcessInspect
