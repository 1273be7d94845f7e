#pragma once
// Tells a widget when its window is minimised, restored or shown, so an
// animation that must not run unseen can stop and start with it. The widget
// calls follow() from its showEvent: a widget can move to another window.

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>

class WindowWatch final : public QObject {
public:
    WindowWatch(QWidget* owner, std::function<void()> changed);
    ~WindowWatch() override;

    // Watches the owner's window as it is now.
    void follow();

    // Whether the owner can be seen: shown, in a window that is not minimised.
    static bool seen(const QWidget* widget);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* owner_;
    std::function<void()> changed_;
    QPointer<QWidget> window_;
};
