#pragma once
// Widget tests run under kit_main's application object (offscreen under
// ctest), on a manual clock that also drives the frame clock, against their
// own defaults file.

#include "hold_fixture.h"
#include "ui/frame_clock.h"

#include <QCoreApplication>
#include <QEnterEvent>
#include <QEvent>
#include <QWidget>

class WidgetTest : public HoldTest {
protected:
    static void send(QObject* to, QEvent::Type type)
    {
        QEvent event(type);
        QCoreApplication::sendEvent(to, &event);
    }

    // The pointer entering a widget at its centre, as the toolkit sends it.
    static void enter(QWidget* widget)
    {
        const QPointF at = QRectF(widget->rect()).center();
        QEnterEvent event(at, at, widget->mapToGlobal(at));
        QCoreApplication::sendEvent(widget, &event);
    }

    // Runs frames until nothing moves (at most `seconds`).
    void settle(double seconds = 2)
    {
        for (double t = 0; t < seconds && FrameClock::shared().running(); t += FrameClock::interval)
            advance(FrameClock::interval);
    }
};
