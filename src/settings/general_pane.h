#pragma once
// Notifications, the CPU percentage in the tray icon's tooltip, interface
// sounds and the interface language, each written straight into the
// preferences.

#include "ui/refresh_gate.h"

#include <QWidget>

class Monitor;
class Segmented;
class ToggleRow;

class GeneralPane : public QWidget {
    Q_OBJECT

public:
    explicit GeneralPane(Monitor& monitor, QWidget* parent = nullptr);

    ToggleRow* notifyRow() const { return notify_; }
    ToggleRow* trayRow() const { return tray_; }
    ToggleRow* soundsRow() const { return sounds_; }
    Segmented* languagePicker() const { return language_; }

private:
    void refresh();

    Monitor& monitor_;
    ToggleRow* notify_;
    ToggleRow* tray_;
    ToggleRow* sounds_;
    Segmented* language_;
    RefreshGate refreshGate_{this, [this] { refresh(); }};
};
