#include "field/memory_legend.h"
#include "field/reactor_view.h"

#include "app/view_fixture.h"
#include "core/fmt.h"

#include <QCoreApplication>
#include <QImage>
#include <QMouseEvent>

#include <numbers>

namespace {

class ReactorViewTest : public ViewTest {
protected:
    static Snapshot load(double cpu, std::vector<double> cores)
    {
        Snapshot s;
        s.system.cpu = cpu;
        s.system.cores = std::move(cores);
        s.system.gpu = 0.079;
        s.system.load = 1.26;
        s.system.memTotal = 1000;
        s.system.memApp = 400;
        s.system.memWired = 100;
        return s;
    }

    // A gauge filling a shown window of `size`.
    ReactorLayerView* shownGauge(QWidget& window, QSize size)
    {
        auto* view = new ReactorLayerView(&window);
        view->setGeometry(QRect(QPoint(), size));
        showOffscreen(window, size);
        return view;
    }

    // The view painted over black.
    static QImage rendered(QWidget& view)
    {
        QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::black);
        view.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        return image;
    }

    // Runs clock frames for `seconds`.
    void run(double seconds)
    {
        for (double t = 0; t < seconds - 1e-9; t += FrameClock::interval)
            advance(FrameClock::interval);
    }
};

} // namespace

TEST_F(ReactorViewTest, ModelFollowsTheSnapshotAndFigures)
{
    auto m = make();
    ingest(*m, load(0.495, {0.2, 0.8}));
    const ReactorView::Model model = ReactorView::build(*m);
    EXPECT_EQ(model.gauge.cores, (std::vector<double>{0.2, 0.8}));
    EXPECT_DOUBLE_EQ(model.gauge.mem[0], 0.4);
    EXPECT_DOUBLE_EQ(model.gauge.mem[1], 0.1);
    EXPECT_EQ(model.gauge.kinds, m->host().coreKinds);
    EXPECT_EQ(model.gauge.stamp, m->sampleDate());
    EXPECT_EQ(model.percent, QStringLiteral("50"));
    // The GPU figure is cut, not rounded.
    EXPECT_EQ(model.detail, QStringLiteral("GPU 7%  LOAD 1.3"));
    EXPECT_EQ(ReactorView::build(*m), model);

    const MemoryLegend::Model legend = MemoryLegend::build(*m);
    EXPECT_EQ(legend.sizes[0], Fmt::bytes(400));
    EXPECT_EQ(legend.sizes[3], Fmt::bytes(0));
}

TEST_F(ReactorViewTest, WedgesEaseToTheNewLoads)
{
    ReactorLayerView view;
    showOffscreen(view, {400, 330});
    ReactorLayerView::Model model;
    model.kinds = {CoreKind::performance, CoreKind::performance};
    model.cores = {0.2, 0.5};
    model.stamp = Date{1};
    view.apply(model);
    // The first model shows at once.
    EXPECT_EQ(view.shownLoads(), (std::vector<double>{0.2, 0.5}));

    model.cores = {1.4, 0};
    model.stamp = Date{2};
    view.apply(model);
    EXPECT_EQ(view.shownLoads(), (std::vector<double>{0.2, 0.5}));
    run(0.35);
    EXPECT_GT(view.shownLoads()[0], 0.6);
    EXPECT_LT(view.shownLoads()[0], 1.0);
    run(0.4);
    // Settled at the clamped loads.
    EXPECT_EQ(view.shownLoads(), (std::vector<double>{1.0, 0.004}));

    // A change of kinds is not animated.
    model.kinds = {CoreKind::efficiency, CoreKind::performance};
    model.cores = {0.3, 0.3};
    view.apply(model);
    EXPECT_EQ(view.shownLoads(), (std::vector<double>{0.3, 0.3}));
}

TEST_F(ReactorViewTest, PulseKeepsItsPaceAndStopsWhileHidden)
{
    QWidget window;
    auto* view = shownGauge(window, {400, 330});
    ReactorLayerView::Model model;
    model.kinds = {CoreKind::performance};
    model.cores = {0.1};
    view->apply(model);
    ASSERT_TRUE(FrameClock::shared().subscribed(view));

    const double before = view->pulsePhase();
    const int repaints = view->pulseRepaints();
    run(1.0);
    // 0.3 cycles a second at idle, and never more than 30 repaints.
    EXPECT_NEAR(view->pulsePhase() - before, 0.3, 0.02);
    EXPECT_LE(view->pulseRepaints() - repaints, 30);
    EXPECT_GT(view->pulseRepaints() - repaints, 5);

    // A busier machine speeds it up where it stands.
    const double phase = view->pulsePhase();
    model.cpu = 1;
    model.stamp = Date{5};
    view->apply(model);
    EXPECT_DOUBLE_EQ(view->pulsePhase(), phase);
    run(0.25);
    // It moves only at its wake-ups, at most a 30th of a second apart.
    EXPECT_NEAR(view->pulsePhase() - phase, 0.5, 2.0 / 30 + 0.01);

    // Hidden, nothing ticks; shown again, it carries on from where it was.
    window.hide();
    run(0.1);
    EXPECT_FALSE(FrameClock::shared().subscribed(view));
    const double held = view->pulsePhase();
    run(1);
    EXPECT_DOUBLE_EQ(view->pulsePhase(), held);
    window.show();
    EXPECT_TRUE(FrameClock::shared().subscribed(view));
    advance(FrameClock::interval);
    EXPECT_NEAR(view->pulsePhase(), held, 0.1);

    window.showMinimized();
    run(0.1);
    EXPECT_FALSE(FrameClock::shared().subscribed(view));
}

TEST_F(ReactorViewTest, PulseRepaintsAsOftenAsARingGrowsAPixel)
{
    QWidget window;
    auto* view = shownGauge(window, {368, 330});
    ReactorLayerView::Model model;
    model.kinds = {CoreKind::performance};
    model.cores = {0.1};
    view->apply(model);
    // Ten seconds of 60 Hz frames at idle: three whole cycles.
    const int before = view->pulseRepaints();
    for (int i = 0; i < 600; ++i)
        view->frame(1.0 / 60);
    const double perSecond = (view->pulseRepaints() - before) / 10.0;
    EXPECT_GT(perSecond, 8);
    EXPECT_LT(perSecond, 18);
}

TEST_F(ReactorViewTest, PulseLeavesNoTraceInTheGauge)
{
    QWidget window;
    auto* view = shownGauge(window, {368, 330});
    ReactorLayerView::Model model;
    model.kinds = {CoreKind::performance, CoreKind::efficiency};
    model.cores = {0.5, 0.2};
    view->apply(model);
    for (int i = 0; i < 40; ++i)
        view->frame(1.0 / 30);
    const auto shot = [&] { return rendered(*view); };
    const QImage first = shot();
    // The same moment painted again is the same picture; rings drawn
    // over rings would brighten it.
    EXPECT_EQ(shot(), first);
    // Another moment moves the rings.
    view->frame(0.5);
    EXPECT_NE(shot(), first);
}

TEST_F(ReactorViewTest, EasedWedgesEndAsAFreshPaintingOfTheLoads)
{
    // Each easing frame redraws only the pixels between a wedge's old and
    // new edge; after many such steps, up and down, the picture must be
    // the one a fresh gauge paints for the final loads.
    const auto shot = rendered;
    const std::vector<CoreKind> kinds(6, CoreKind::performance);
    QWidget window;
    auto* eased = shownGauge(window, {368, 330});
    ReactorLayerView::Model model;
    model.kinds = kinds;
    model.cores = {0.1, 0.9, 0.5, 1.0, 0.0, 0.3};
    eased->apply(model);
    shot(*eased);
    for (const auto& loads : {std::vector<double>{0.9, 0.1, 0.55, 0.2, 1.0, 0.31},
                              std::vector<double>{0.4, 0.6, 0.0, 0.7, 0.35, 0.9}}) {
        model.cores = loads;
        model.stamp = Date{model.stamp.sinceReference + 1};
        eased->apply(model);
        for (int i = 0; i < 30; ++i) {
            eased->frame(1.0 / 30);
            shot(*eased);
        }
    }
    window.hide();
    ReactorLayerView fresh;
    fresh.resize(368, 330);
    fresh.apply(model);
    EXPECT_EQ(shot(*eased), shot(fresh));
}

// A busy core's wedge stands out bright against an idle one's at the
// gauge's full size and at the small one of a 1024 x 600 window, where the
// heat bands must not thin to faint lines.
TEST_F(ReactorViewTest, PaintsTheLitWedgeOfABusyCore)
{
    for (const QSize size : {QSize(400, 400), QSize(368, 120), QSize(368, 80)}) {
        SCOPED_TRACE(size.height());
        ReactorLayerView view;
        view.resize(size);
        // The gauge paints its own ground in its window colour.
        QPalette palette = view.palette();
        palette.setColor(QPalette::Window, Qt::black);
        view.setPalette(palette);
        ReactorLayerView::Model model;
        model.kinds = {CoreKind::performance, CoreKind::performance};
        model.cores = {1.0, 0.0};
        view.apply(model);
        const QImage shot = rendered(view);
        const ReactorGeometry g(size, model.kinds);
        // Right of the centre lies core 0 (busy), left core 1 (idle): the
        // brightest pixel across the outer half of each ring.
        int busy = 0, idle = 0;
        for (double d = 0.66 * g.r + 0.155 * g.r; d < 0.97 * g.r; d += 0.25) {
            const auto brightness = [&](QPointF p) {
                const QColor c = shot.pixelColor(p.toPoint());
                return c.red() + c.green() + c.blue();
            };
            busy = std::max(busy, brightness(g.centre + QPointF(d, 0)));
            idle = std::max(idle, brightness(g.centre - QPointF(d, 0)));
        }
        EXPECT_GT(busy, 300);
        EXPECT_LT(idle, 60);
    }
}

// The figures never reach the memory ring or beyond, however small the
// gauge: with the widest figures and without any, the picture is the same
// from the memory ring out.
TEST_F(ReactorViewTest, ReadoutNeverInksTheRings)
{
    for (const int height : {330, 160, 120, 90}) {
        SCOPED_TRACE(height);
        const QSize size(368, height);
        ReactorLayerView view;
        view.resize(size);
        ReactorLayerView::Model model;
        model.kinds = std::vector<CoreKind>(8, CoreKind::performance);
        model.cores = std::vector<double>(8, 0.5);
        model.mem = {0.4, 0.1, 0.1, 0.2};
        view.apply(model);
        view.setReadout(QString(), QString());
        const QImage bare = rendered(view);
        view.setReadout(QStringLiteral("100"), QStringLiteral("GPU 100%  LOAD 12.5"));
        const QImage full = rendered(view);
        const ReactorGeometry g(size, model.kinds);
        const double memInner = (ReactorGeometry::memRadius - ReactorGeometry::memWidth / 2) * g.r;
        int inside = 0, outside = 0;
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x) {
                if (bare.pixel(x, y) == full.pixel(x, y))
                    continue;
                if (std::hypot(x + 0.5 - g.centre.x(), y + 0.5 - g.centre.y()) < memInner - 0.5)
                    ++inside;
                else
                    ++outside;
            }
        EXPECT_GT(inside, 0);
        EXPECT_EQ(outside, 0);
    }
}

TEST_F(ReactorViewTest, TipFollowsThePointerAndLeavesWithIt)
{
    auto m = make();
    ingest(*m, load(0.3, std::vector<double>(m->host().coreKinds.size(), 0.5)));
    ReactorView view(*m);
    showOffscreen(view, {368, 330});
    runPending();
    const ReactorGeometry g(view.size(), m->host().coreKinds);
    ASSERT_FALSE(g.sectors.empty());
    const double mid = (g.sectors[0].start + g.sectors[0].end) / 2 * std::numbers::pi / 180;
    const QPointF over = g.centre + QPointF(0.8 * g.r * std::cos(mid), 0.8 * g.r * std::sin(mid));
    QMouseEvent move(QEvent::MouseMove, over, view.mapToGlobal(over), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(&view, &move);
    ASSERT_TRUE(view.tip());
    EXPECT_TRUE(view.tip()->endsWith(QStringLiteral("1  50%")));

    // Over every sector and all round the memory ring, the tip shows whole
    // inside the view that clips it: over the top it cannot sit above.
    const auto point = [&](double degrees, double radius) {
        const double a = degrees * std::numbers::pi / 180;
        const QPointF at = g.centre + radius * QPointF(std::cos(a), std::sin(a));
        QMouseEvent e(QEvent::MouseMove, at, view.mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                      Qt::NoModifier);
        QCoreApplication::sendEvent(&view, &e);
        return at;
    };
    for (const auto& sector : g.sectors) {
        for (double radius : {0.67 * g.r, 0.96 * g.r}) {
            const QPointF at = point((sector.start + sector.end) / 2, radius);
            ASSERT_TRUE(view.tip());
            EXPECT_TRUE(view.rect().contains(view.tipGeometry())) << at.x() << "," << at.y();
        }
    }
    for (double degrees = -90; degrees < 270; degrees += 15) {
        point(degrees, 0.575 * g.r);
        ASSERT_TRUE(view.tip());
        EXPECT_TRUE(view.rect().contains(view.tipGeometry())) << degrees;
    }
    // Where there is room, it stays above the pointer.
    const QPointF low = point(90, 0.8 * g.r);
    EXPECT_LT(view.tipGeometry().bottom(), low.y());
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&view, &leave);
    EXPECT_FALSE(view.tip());
    EXPECT_TRUE(view.tipGeometry().isEmpty());
}
