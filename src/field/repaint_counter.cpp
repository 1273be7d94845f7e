#include "field/repaint_counter.h"

#include <QElapsedTimer>
#include <QHash>
#include <QtGlobal>

namespace RepaintCounter {

bool enabled()
{
    static const bool on = qEnvironmentVariableIsSet("TAVRIN_COUNT_REPAINTS");
    return on;
}

void count(const char* name)
{
    if (!enabled())
        return;
    static QElapsedTimer clock;
    static QHash<QByteArray, quint64> counts;
    if (!clock.isValid())
        clock.start();
    ++counts[QByteArray(name)];
    const qint64 ms = clock.elapsed();
    if (ms < 10000)
        return;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        qInfo("repaints %s: %.1f/s", it.key().constData(), double(it.value()) * 1000 / double(ms));
    counts.clear();
    clock.restart();
}

} // namespace RepaintCounter
