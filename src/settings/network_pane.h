#pragma once
// The name-lookup switch, live counts of where the names of the current
// connections come from, and how traffic is measured.

// moc cannot parse the standard library's concepts, which these reach.
#ifndef Q_MOC_RUN
#include "core/records.h"
#endif
#include "ui/refresh_gate.h"

#include <QWidget>

#include <vector>

class Monitor;
class QLabel;
class ToggleRow;

class NetworkPane : public QWidget {
    Q_OBJECT

public:
    // Numbers of connection records, not of distinct addresses.
    struct Counts {
        int outbound = 0; // not loopback
        int resolved = 0; // of those, with a name
        int proxy = 0;    // of those, in the fake-IP range 198.18.0.0/15
        int reverse = 0;  // resolved − proxy
        bool operator==(const Counts&) const = default;
    };
    static Counts count(const std::vector<Connection>& connections);

    explicit NetworkPane(Monitor& monitor, QWidget* parent = nullptr);

    ToggleRow* resolveRow() const { return resolve_; }
    const Counts& counts() const { return counts_; }

private:
    void refresh();
    QWidget* stat(QLabel*& value, const QString& title);
    QWidget* source(const QString& title, const QString& text);
    QWidget* note(const QString& text);

    Monitor& monitor_;
    ToggleRow* resolve_;
    Counts counts_;
    QLabel* outbound_ = nullptr;
    QLabel* resolved_ = nullptr;
    QLabel* proxy_ = nullptr;
    QLabel* reverse_ = nullptr;
    RefreshGate refreshGate_{this, [this] { refresh(); }};
};
