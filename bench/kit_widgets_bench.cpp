// One paint of each of the kit's small widgets, as a view repaints them:
// the process icon (letter tile and application icon), the hold badge and
// a press button caught mid-press.

#include "ui/hold_badge.h"
#include "ui/interaction_hold.h"
#include "ui/press_button.h"
#include "ui/process_icon.h"

#include <QApplication>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

#include <benchmark/benchmark.h>

#include <vector>

namespace {

// Renders `widget` into one reused image per iteration.
void paintLoop(benchmark::State& state, QWidget& widget)
{
    QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        image.fill(Qt::transparent);
        widget.render(&image);
        benchmark::DoNotOptimize(image.constBits());
    }
}

// What render() itself costs: an empty widget of the same size.
void emptyWidget(benchmark::State& state)
{
    QWidget widget;
    widget.resize(80, 24);
    paintLoop(state, widget);
}
BENCHMARK(emptyWidget);

void processIconLetter(benchmark::State& state)
{
    ProcessIcon icon(QStringLiteral("kernel_task"), std::nullopt, 20);
    icon.resize(20, 20);
    paintLoop(state, icon);
}
BENCHMARK(processIconLetter);

void processIconApp(benchmark::State& state)
{
    // An entry whose icon cannot be found draws the generic icon; the path
    // is resolved once, as in a view.
    QTemporaryDir dir;
    const QString entry = dir.filePath(QStringLiteral("bench.desktop"));
    ProcessIcon icon(QStringLiteral("bench"), entry, 20);
    icon.resize(20, 20);
    paintLoop(state, icon);
}
BENCHMARK(processIconApp);

void holdBadge(benchmark::State& state)
{
    InteractionHold hold(QStringLiteral("bench"));
    auto self = [](const QString& s) { return s; };
    hold.arrange(std::vector<QString>{QStringLiteral("a"), QStringLiteral("b")}, QString(), 0,
                 false, false, self);
    hold.set(InteractionHold::Reason::pointer, true);
    hold.arrange(std::vector<QString>{QStringLiteral("b"), QStringLiteral("a")}, QString(), 0,
                 false, false, self);
    QCoreApplication::processEvents();
    HoldBadge badge(hold);
    badge.resize(badge.sizeHint());
    if (!badge.shownText())
        state.SkipWithError("the badge shows nothing");
    paintLoop(state, badge);
}
BENCHMARK(holdBadge);

// At rest: no transform, no wash.
void pressButtonAtRest(benchmark::State& state)
{
    PressButton button(PressStyle::surface(8), QStringLiteral("Pause"));
    button.setSymbol(QStringLiteral("pause.fill"), 10);
    button.setContentsMargins(8, 4, 8, 4);
    button.resize(button.sizeHint());
    paintLoop(state, button);
}
BENCHMARK(pressButtonAtRest);

void pressButton(benchmark::State& state)
{
    PressButton button(PressStyle::icon(6), QStringLiteral("Pause"));
    button.setSymbol(QStringLiteral("pause.fill"), 10);
    button.setContentsMargins(8, 4, 8, 4);
    button.resize(button.sizeHint());
    button.show();
    QTest::mousePress(&button, Qt::LeftButton);
    // Caught mid-press: scaled, washed and tinted.
    while (button.pressAmount() < 0.5)
        QTest::qWait(5);
    paintLoop(state, button);
    QTest::mouseRelease(&button, Qt::LeftButton);
}
BENCHMARK(pressButton);

} // namespace
