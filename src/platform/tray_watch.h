#pragma once
// Whether the desktop has a tray, followed as trays come and go: the
// StatusNotifierItem watcher's name on the session bus, and on X11 the
// owner of the screen's tray selection. Both are told by their servers, so
// nothing is polled.

#include <QDBusConnection>
#include <QObject>

#include <memory>

class QDBusServiceWatcher;

class TrayWatch : public QObject {
    Q_OBJECT

public:
    // The session bus, and the X11 tray selection when the application runs
    // on the xcb platform.
    explicit TrayWatch(QObject* parent = nullptr);
    // The given bus only, and the X11 selection only when `x11` is true.
    TrayWatch(const QDBusConnection& bus, bool x11, QObject* parent = nullptr);
    ~TrayWatch() override;

    // A StatusNotifierItem watcher is on the bus, or an X11 tray owns the
    // selection.
    bool available() const { return statusNotifier_ || xembed_; }
    bool statusNotifier() const { return statusNotifier_; }
    bool xembed() const { return xembed_; }

    static constexpr const char* watcherService = "org.kde.StatusNotifierWatcher";

signals:
    // After either side changed, with the new availability; also when one
    // tray replaced another while the availability stayed the same, so that
    // the icon can be docked afresh.
    void changed(bool available);

private:
    class X11Selection;

    void setStatusNotifier(bool present);
    void setXembed(bool present);

    QDBusServiceWatcher* busWatcher_ = nullptr;
    std::unique_ptr<X11Selection> x11_;
    bool statusNotifier_ = false;
    bool xembed_ = false;
};
