#include "field/field_sim.h"

#include "ui/motion.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

GroupSample groupOf(const QString& key, uint64_t mem, double cpu = 0)
{
    GroupSample g(key, key, std::nullopt);
    g.mem = mem;
    g.cpu = cpu;
    return g;
}

double dist(QPointF a, QPointF b)
{
    return std::hypot(a.x() - b.x(), a.y() - b.y());
}

FieldSim quietSim()
{
    FieldSim sim([] { return 0.0; });
    sim.quiet = true;
    return sim;
}

const QSizeF field(800, 600);

} // namespace

TEST(FieldSimTest, StepLengthIsBoundedWhateverTheClockDoes)
{
    FieldSim sim = quietSim();
    EXPECT_DOUBLE_EQ(sim.stepLength(5), 1.0 / 60);
    sim.last = 5;
    EXPECT_DOUBLE_EQ(sim.stepLength(5), FieldSim::shortestStep);   // same instant
    EXPECT_DOUBLE_EQ(sim.stepLength(4), FieldSim::shortestStep);   // clock stepped back
    EXPECT_DOUBLE_EQ(sim.stepLength(60), 1.0 / 30);                // long pause
    EXPECT_NEAR(sim.stepLength(5.02), 0.02, 1e-12);
    EXPECT_DOUBLE_EQ(sim.stepLength(std::nan("")), 1.0 / 60);

    // A drag with two frames at the same instant keeps a finite speed.
    const std::vector groups{groupOf("a", 100)};
    sim.step(groups, field, 1);
    sim.dragging = QStringLiteral("a");
    sim.dragPoint = QPointF(300, 300);
    sim.step(groups, field, 2);
    sim.step(groups, field, 2);
    const FieldSim::Body& a = sim.bodies.at("a");
    EXPECT_TRUE(std::isfinite(a.vel.x()) && std::isfinite(a.vel.y()));
    EXPECT_EQ(a.pos, QPointF(300, 300));
}

TEST(FieldSimTest, NewBodiesSpawnOnTheRingAndAreHeldInsideOnceTheyOverlap)
{
    FieldSim sim = quietSim(); // θ = 0: straight to the right
    const std::vector groups{groupOf("a", 100)};
    sim.step(groups, field, 0);
    const FieldSim::Body& a = sim.bodies.at("a");
    // 0.6 × 800 to the right of the centre, wholly outside: left alone.
    EXPECT_NEAR(a.pos.x(), 400 + 480, 2);
    EXPECT_NEAR(a.pos.y(), 300, 1e-9);
    EXPECT_DOUBLE_EQ(a.alpha, 1);
    EXPECT_DOUBLE_EQ(a.form, 1);
    // Grown from radius 4 by one frame's share towards its target.
    const double target = 9 + 600 * 1.0 / 6;
    EXPECT_DOUBLE_EQ(a.grown, 4 + 0.1 * (target - 4));

    double t = 0;
    while (sim.bodies.at("a").pos.x() - sim.bodies.at("a").r >= 800 && t < 5)
        sim.step(groups, field, t += 1.0 / 60);
    ASSERT_LT(t, 5);
    const FieldSim::Body& in = sim.bodies.at("a");
    EXPECT_LE(in.pos.x(), 800 - in.r + 1e-9);

    sim.step({}, field, t + 0.1);
    EXPECT_TRUE(sim.bodies.empty());
    EXPECT_TRUE(sim.settled);
}

TEST(FieldSimTest, DraggedBodyFollowsThePointerAndIsThrownAtHalfItsSpeed)
{
    FieldSim sim = quietSim();
    const std::vector groups{groupOf("a", 100)};
    sim.bodies["a"].pos = QPointF(400, 300);
    sim.step(groups, field, 0);
    sim.dragging = QStringLiteral("a");
    sim.dragPoint = QPointF(410, 300);
    sim.step(groups, field, 0.02);
    sim.dragPoint = QPointF(420, 300);
    sim.step(groups, field, 0.04);
    FieldSim::Body a = sim.bodies.at("a");
    EXPECT_EQ(a.pos, QPointF(420, 300));
    EXPECT_NEAR(a.vel.x(), 10 / 0.02 * 0.5, 1e-6);
    EXPECT_FALSE(sim.settled);

    sim.dragging.reset();
    sim.step(groups, field, 0.06);
    const FieldSim::Body& thrown = sim.bodies.at("a");
    const double damping = std::pow(0.04, 0.02);
    const double pull = (400 - 420) * 1.6 * 0.02;
    EXPECT_NEAR(thrown.vel.x(), (250 + pull) * damping, 1e-6);
    EXPECT_GT(thrown.pos.x(), 420);
}

TEST(FieldSimTest, OverlapsPartByRadiusAndHeldBodiesNeverGiveWay)
{
    // Radii 10 and 30, 4 points too close (the 5-point gap included).
    FieldSim::Body small, large;
    small.r = 10;
    large.r = 30;
    small.pos = QPointF(0, 0);
    large.pos = QPointF(41, 0);
    FieldSim::separate(small, large, false, false);
    EXPECT_NEAR(small.pos.x(), -3, 1e-9);
    EXPECT_NEAR(large.pos.x(), 42, 1e-9);

    // A held body stays; the other takes the whole correction.
    small.pos = QPointF(0, 0);
    large.pos = QPointF(41, 0);
    FieldSim::separate(small, large, false, true);
    EXPECT_NEAR(small.pos.x(), -4, 1e-9);
    EXPECT_NEAR(large.pos.x(), 41, 1e-9);

    // In the simulation: a pinned body does not move, and a free one lying on
    // it is pushed clear.
    FieldSim sim = quietSim();
    const std::vector groups{groupOf("a", 1000), groupOf("b", 1000)};
    sim.bodies["a"].pos = QPointF(380, 300);
    sim.bodies["b"].pos = QPointF(420, 300);
    sim.step(groups, field, 0);
    sim.pinned = QStringLiteral("a");
    const QPointF pinnedAt = sim.bodies.at("a").pos;
    for (int i = 1; i < 30; ++i)
        sim.step(groups, field, i / 60.0);
    const FieldSim::Body& a = sim.bodies.at("a");
    const FieldSim::Body& b = sim.bodies.at("b");
    EXPECT_EQ(a.pos, pinnedAt);
    EXPECT_GE(dist(a.pos, b.pos), a.r + b.r + FieldSim::gap - 1e-6);
}

TEST(FieldSimTest, HitPicksTheSmallestBubbleUnderThePoint)
{
    FieldSim sim;
    sim.bodies["big"].pos = QPointF(100, 100);
    sim.bodies["big"].r = 50;
    sim.bodies["small"].pos = QPointF(110, 100);
    sim.bodies["small"].r = 10;
    EXPECT_EQ(sim.hit(QPointF(112, 100)), QStringLiteral("small"));
    EXPECT_EQ(sim.hit(QPointF(60, 100)), QStringLiteral("big"));
    EXPECT_EQ(sim.hit(QPointF(120, 100)), QStringLiteral("small")); // on the rim
    EXPECT_EQ(sim.hit(QPointF(300, 300)), std::nullopt);
}

TEST(FieldSimTest, SettleSpreadsTheGroupsAndKeepsHints)
{
    EXPECT_TRUE(FieldSim::settle({}, field, {}).empty());

    std::vector<GroupSample> groups;
    for (int i = 0; i < 20; ++i)
        groups.push_back(groupOf(QString::number(i), uint64_t(1000 + 100 * i)));
    const auto layout = FieldSim::settle(groups, field, {});
    ASSERT_EQ(layout.size(), 20u);
    // Deterministic, and no two bubbles lie on each other.
    EXPECT_EQ(FieldSim::settle(groups, field, {}), layout);
    for (const auto& [k1, p1] : layout) {
        for (const auto& [k2, p2] : layout) {
            if (k1 < k2) {
                EXPECT_GT(dist(p1, p2), 10);
            }
        }
    }

    // Hints near the centre and apart from each other hardly move.
    const std::vector two{groupOf("a", 0), groupOf("b", 0)};
    const std::map<QString, QPointF> hint{{"a", QPointF(360, 300)}, {"b", QPointF(440, 300)}};
    const auto hinted = FieldSim::settle(two, field, hint);
    EXPECT_LT(dist(hinted.at("a"), hint.at("a")), 1);
    EXPECT_LT(dist(hinted.at("b"), hint.at("b")), 1);
}

TEST(FieldSimTest, EntranceFliesOutOfRowsOrRipplesFromTheCentre)
{
    const double standard = Motion::standard();
    const std::vector groups{groupOf("a", 1000), groupOf("b", 500), groupOf("c", 100)};
    FieldSim sim = quietSim();
    const std::map<QString, QPointF> rows{{"a", QPointF(37, 40)}, {"b", QPointF(37, 70)},
                                          {"c", QPointF(37, 100)}};
    sim.enter(groups, field, rows, {}, 10);
    for (const auto& [key, body] : sim.bodies) {
        EXPECT_EQ(body.pos, rows.at(key));
        EXPECT_DOUBLE_EQ(body.r, 9);
        EXPECT_DOUBLE_EQ(body.form, 0);
        EXPECT_DOUBLE_EQ(body.alpha, 1);
    }
    double t = 10;
    while (sim.bodies.at("a").flight && t < 12)
        sim.step(groups, field, t += 1.0 / 120);
    EXPECT_NEAR(t - 10, 0.40 * Motion::timeScale(), 0.02);
    EXPECT_LT(dist(sim.bodies.at("a").pos, sim.homes.at("a")), 1);

    FieldSim ripple = quietSim();
    ripple.enter(groups, field, {}, {}, 0);
    double earliest = 1e9, latest = -1e9;
    for (const auto& [key, body] : ripple.bodies) {
        EXPECT_DOUBLE_EQ(body.alpha, 0);
        EXPECT_EQ(body.pos, ripple.homes.at(key));
        earliest = std::min(earliest, body.flight->start);
        latest = std::max(latest, body.flight->start);
    }
    EXPECT_LT(earliest, latest); // the largest, nearest the centre, first
    EXPECT_NEAR(latest, 0.3 * standard, 1e-9);
}

TEST(FieldSimTest, CollapseLandsOnRowsAndSlidesTheRestAway)
{
    const double standard = Motion::standard();
    const std::vector groups{groupOf("a", 1000), groupOf("b", 500)};
    FieldSim sim = quietSim();
    sim.enter(groups, field, {}, {}, 0);
    for (double t = 0; t < 2; t += 1.0 / 60)
        sim.step(groups, field, t);
    const QPointF bStart = sim.bodies.at("b").pos;
    const QPointF aStart = sim.bodies.at("a").pos;

    sim.beginCollapse({{"a", QPointF(37, 50)}}, {{"b", 1.0}}, 10);
    sim.step(groups, field, 10 + 0.5 * standard);
    EXPECT_DOUBLE_EQ(sim.bodies.at("b").alpha, 0);
    EXPECT_NEAR(sim.bodies.at("b").pos.y(), bStart.y() + 36, 1e-9);
    EXPECT_FALSE(sim.settled);
    sim.step(groups, field, 10 + 0.75 * standard);
    EXPECT_LT(dist(sim.bodies.at("a").pos, QPointF(37, 50)), 1e-9);
    EXPECT_DOUBLE_EQ(sim.bodies.at("a").form, 0);
    EXPECT_DOUBLE_EQ(sim.bodies.at("a").alpha, 1);
    EXPECT_DOUBLE_EQ(sim.bodies.at("a").r, 9);
    sim.step(groups, field, 10 + standard);
    EXPECT_TRUE(sim.settled);

    // Back to live: from the row to where it lived, growing from row form.
    sim.resumeLive(11);
    const FieldSim::Body& a = sim.bodies.at("a");
    ASSERT_TRUE(a.flight);
    EXPECT_EQ(a.flight->from, QPointF(37, 50));
    EXPECT_EQ(a.flight->to, aStart);
    EXPECT_DOUBLE_EQ(a.flight->fromForm, 0);

    // With nothing running it changes nothing.
    FieldSim idle = quietSim();
    idle.bodies["x"].pos = QPointF(1, 2);
    idle.resumeLive(3);
    EXPECT_FALSE(idle.bodies.at("x").flight);
}

TEST(FieldSimTest, DissolveFadesEveryBodyOnceIncludingLateArrivals)
{
    const double standard = Motion::standard();
    std::vector groups{groupOf("a", 1000), groupOf("b", 500)};
    FieldSim sim = quietSim();
    sim.enter(groups, field, {}, {}, 0);
    for (double t = 0; t < 2; t += 1.0 / 60)
        sim.step(groups, field, t);
    sim.beginDissolve(field, 10);
    // The outermost starts at once, the central one last.
    EXPECT_DOUBLE_EQ(sim.dissolve->delay.at("b"), 0);
    EXPECT_GT(sim.dissolve->delay.at("a"), 0);

    // A group that turns up half way fades from where it spawned, by the
    // dissolve's curve, however many frames it sees.
    groups.push_back(groupOf("late", 10));
    const double d = 0.7 * standard;
    for (double t = 10.05; t < 10 + 0.6 * d; t += 1.0 / 240)
        sim.step(groups, field, t);
    const double at = 10 + 0.6 * d;
    sim.step(groups, field, at);
    const double s = FieldSim::smoothstep(0.6);
    const double v = FieldSim::smoothstep(2 * (s - 0.5));
    EXPECT_NEAR(sim.bodies.at("late").alpha, 1 - v, 1e-9);

    sim.step(groups, field, 10 + standard);
    EXPECT_TRUE(sim.settled);
    for (const auto& [key, body] : sim.bodies) {
        EXPECT_DOUBLE_EQ(body.form, 0) << key.toStdString();
        EXPECT_DOUBLE_EQ(body.alpha, 0) << key.toStdString();
    }
}

TEST(FieldSimTest, HotFieldNeverSettles)
{
    FieldSim sim([] { return 0.9; });
    const std::vector groups{groupOf("a", 1000, 20)};
    sim.bodies["a"].pos = QPointF(400, 300);
    for (double t = 0; t < 10; t += 1.0 / 60)
        sim.step(groups, field, t);
    EXPECT_FALSE(sim.settled);
    sim.step({groupOf("a", 1000, 19)}, field, 10.02);
    for (double t = 10.04; t < 20; t += 1.0 / 60)
        sim.step({groupOf("a", 1000, 19)}, field, t);
    EXPECT_TRUE(sim.settled);
}

TEST(FieldSimTest, PackedFieldComesToRest)
{
    // More bubbles than fit round the centre: those leaning on others are
    // pulled in and pushed back every frame, yet go nowhere, so the field
    // settles and its clock can stop.
    std::vector<GroupSample> groups;
    for (int i = 0; i < 40; ++i)
        groups.push_back(groupOf(QString::number(i), uint64_t(1e6 / std::pow(i + 1, 1.5))));
    FieldSim sim = quietSim();
    sim.enter(groups, QSizeF(600, 400), {}, {}, 0);
    double t = 0;
    while (t < 30 && !(t > 1 && sim.settled))
        sim.step(groups, QSizeF(600, 400), t += 1.0 / 60);
    EXPECT_TRUE(sim.settled);
    EXPECT_LT(t, 30);
}
