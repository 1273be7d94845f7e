#pragma once
// Runs the event loop until a condition holds or the time is up: for the
// few tests that talk to real threads, a real bus or real processes.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

// How long a test waits for a condition before it calls it a failure. Only
// a bound for a hang: a slow machine with every core busy still gets there.
constexpr double patience = 60;

template <class Predicate>
bool waitFor(Predicate done, double seconds = patience)
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
