// The flows view's costs: one build over 2,000 connections of 120
// applications to 600 hosts (as each sample costs on a busy machine), and
// one frame of 100 ribbons with traffic at the main window's size (a
// 1400-pixel-wide stage, QT_SCALE_FACTOR=2 for a 2× screen).

#include "network/flow_graph.h"
#include "network/flow_ribbons_view.h"

#include "ui/interaction_hold.h"

#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

namespace {

struct Machine {
    std::vector<Connection> connections;
    std::unordered_map<int32_t, Owner> owners;

    explicit Machine(int count)
    {
        for (int32_t pid = 1; pid <= 120; ++pid)
            owners[pid] = Owner{QStringLiteral("app%1").arg(pid), QStringLiteral("App %1").arg(pid),
                                std::nullopt, QStringLiteral("proc")};
        for (int i = 0; i < count; ++i) {
            Connection c;
            c.pid = 1 + i % 150; // some without an owner
            c.remoteHost = QStringLiteral("192.0.%1.%2").arg(i % 600 / 250).arg(i % 250);
            if (i % 3)
                c.host = QStringLiteral("host%1.example.net").arg(i % 600);
            c.remotePort = i % 4 ? 443 : 5228 + i % 7;
            c.scope = i % 10 ? Connection::Scope::internet : Connection::Scope::lan;
            c.rateIn = (i * 7919) % 50000;
            c.rateOut = (i * 104729) % 9000;
            c.bytesIn = c.rateIn * 30;
            c.bytesOut = c.rateOut * 30;
            connections.push_back(c);
        }
    }
};

void BM_FlowBuild(benchmark::State& state)
{
    const Machine machine(int(state.range(0)));
    InteractionHold hold(QStringLiteral("flow"));
    FlowGraph::Input input;
    input.connections = &machine.connections;
    input.owners = &machine.owners;
    input.scopes = {Connection::Scope::internet, Connection::Scope::lan};
    input.capacity = 22;
    input.service = [](int64_t port) {
        return port == 443 ? std::optional(QStringLiteral("HTTPS")) : std::nullopt;
    };
    for (auto _ : state)
        benchmark::DoNotOptimize(FlowGraph::build(input, hold));
}
BENCHMARK(BM_FlowBuild)->Arg(2000)->Unit(benchmark::kMicrosecond);

std::vector<FlowRibbons::Ribbon> ribbons(int count)
{
    std::vector<FlowRibbons::Ribbon> list;
    for (int i = 0; i < count; ++i)
        list.push_back({QStringLiteral("g:%1|h:%2").arg(i % 22).arg(i), i % 22, (i * 7) % 22,
                        double((i * 7919) % 900000), double((i * 104729) % 90000), i % 9 == 0});
    return list;
}

// Every dash moved by a pixel: the whole area of the ribbons is painted.
void BM_RibbonsFrame(benchmark::State& state)
{
    const double ratio = qEnvironmentVariableIntValue("QT_SCALE_FACTOR") > 1 ? 2 : 1;
    FlowRibbonsView view;
    view.resize(1400 - 400 - 28 - 460, 22 * 36);
    view.setRibbons(ribbons(int(state.range(0))));
    QImage image((QSizeF(view.size()) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    for (auto _ : state) {
        const QRegion dirty = view.advance(0.1);
        QPainter p(&image);
        p.setClipRegion(dirty);
        view.paintRibbons(p, dirty.boundingRect());
    }
}
BENCHMARK(BM_RibbonsFrame)->Arg(100)->Unit(benchmark::kMicrosecond);

// A new ribbon list: the base picture drawn again.
void BM_RibbonsBase(benchmark::State& state)
{
    FlowRibbonsView view;
    view.resize(1400 - 400 - 28 - 460, 22 * 36);
    const auto a = ribbons(100), b = ribbons(99);
    QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
    bool flip = false;
    for (auto _ : state) {
        view.setRibbons((flip = !flip) ? a : b);
        QPainter p(&image);
        view.paintRibbons(p, view.rect());
    }
}
BENCHMARK(BM_RibbonsBase)->Unit(benchmark::kMicrosecond);

} // namespace
