#include "platform/boot_timer.h"

#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>

double BootTimer::now()
{
    timespec ts{};
    ::clock_gettime(CLOCK_BOOTTIME, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

void BootTimer::at(double due, QObject* context, std::function<void()> action)
{
    const int fd = ::timerfd_create(CLOCK_BOOTTIME, TFD_NONBLOCK | TFD_CLOEXEC);
    itimerspec when{};
    // A deadline already past still arms the timer: zero would disarm it.
    const double at = std::max(due, 1e-9);
    when.it_value.tv_sec = time_t(std::floor(at));
    when.it_value.tv_nsec = long((at - std::floor(at)) * 1e9);
    if (fd < 0 || ::timerfd_settime(fd, TFD_TIMER_ABSTIME, &when, nullptr) != 0) {
        // No boot-clock timer here: the loop's own timer is the best left.
        if (fd >= 0)
            ::close(fd);
        const int ms = int(std::clamp((due - now()) * 1000.0, 0.0, 2147483647.0));
        QTimer::singleShot(ms, context, std::move(action));
        return;
    }
    // The notifier lives as long as the context at most, and closes the
    // timer with it.
    auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, context);
    QObject::connect(notifier, &QObject::destroyed, [fd] { ::close(fd); });
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [notifier, fd, action = std::move(action)] {
        std::uint64_t expirations = 0;
        if (::read(fd, &expirations, sizeof expirations) != sizeof expirations)
            return;
        notifier->setEnabled(false);
        notifier->deleteLater();
        action();
    });
}
