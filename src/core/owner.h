#pragma once
// Who a process belongs to: its application group and its own name. The
// Monitor rebuilds one per process id for each snapshot it takes over.

#include <QString>

#include <optional>

struct Owner {
    QString key;                         // group key
    QString name;                        // group name
    std::optional<QString> bundlePath;   // the group's application entry, when it has one
    QString process;                     // the process's own name

    bool operator==(const Owner&) const = default;
};
