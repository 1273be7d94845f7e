#pragma once
// Runs the event loop until a condition holds or the time is up: for the
// few tests that talk to real threads or a real bus.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

template <class Predicate>
bool waitFor(Predicate done, double seconds)
{
    QDeadlineTimer deadline(qint64(seconds * 1000));
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}
