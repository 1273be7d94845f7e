#include "field/label_placement.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>

#include <cmath>

using namespace LabelPlacement;

namespace {

const QRectF canvas(-1000, -1000, 3000, 3000);

// Six pixels a character, the ellipsis too.
double measure(const Line&, const QString& text)
{
    return 6.0 * double(text.size());
}

Line line(const QString& text, double room, double top, double height, bool words)
{
    return {text, measure({}, text), room, top, height, 10, words};
}

// A bubble laid out as the field lays one out: the name above the centre,
// the figures below it, each within its share of the disc.
Bubble bubble(double x, double y, double r, int rank, const QString& name, const QString& value)
{
    return {{x, y}, r, rank, line(name, 1.7 * r, -16, 17, false), line(value, 1.9 * r, 3, 12, true)};
}

bool meetsRing(const QRectF& box, const Bubble& b)
{
    const double dx = std::max({0.0, box.left() - b.centre.x(), b.centre.x() - box.right()});
    const double dy = std::max({0.0, box.top() - b.centre.y(), b.centre.y() - box.bottom()});
    double far = 0;
    for (const QPointF& c : {box.topLeft(), box.topRight(), box.bottomLeft(), box.bottomRight()})
        far = std::max(far, std::hypot(c.x() - b.centre.x(), c.y() - b.centre.y()));
    return std::hypot(dx, dy) <= b.radius + ringReach && far >= b.radius - ringReach;
}

} // namespace

TEST(LabelPlacement, BubblesApartShowTheirLabelsWhole)
{
    const std::vector<Bubble> bubbles = {bubble(100, 100, 60, 0, "Browser", "2.1G  12.0%"),
                                         bubble(300, 100, 40, 1, "Editor", "900M  3.2%")};
    const std::vector<Shown> shown = place(bubbles, canvas, {}, measure);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0], (Shown{"Browser", "2.1G  12.0%"}));
    EXPECT_EQ(shown[1], (Shown{"Editor", "900M  3.2%"}));
}

// A smaller bubble pressed against a larger one, its name level with the
// larger one's figures: the name gives way, first shorter, then not at all,
// and the larger bubble keeps both its lines whatever order they come in.
TEST(LabelPlacement, ASmallerBubblesNameGivesWayToALargerOnesFigures)
{
    // The larger one's figures reach from 42 to 108 across, 103 to 115
    // down; the smaller one's name lies from 104 to 121 down.
    Bubble xorg = bubble(75, 100, 30, 0, "Xorg", "1.1G  19.0%");
    xorg.value.room = 100;
    Bubble simulator = bubble(132, 120, 36, 1, "Simulator", "600M  1.0%");
    simulator.radius = 20;
    std::vector<Shown> shown = place({simulator, xorg}, canvas, {}, measure);
    EXPECT_EQ(shown[1], (Shown{"Xorg", "1.1G  19.0%"}));
    // 132 - 108 - 4 leaves 20 each side: "Simul…" is 36 of the 54.
    EXPECT_EQ(shown[0].name, QStringLiteral("Simul…"));
    EXPECT_EQ(shown[0].value, QStringLiteral("600M  1.0%"));
    const QRectF name = box(simulator, simulator.name, measure({}, shown[0].name));
    const QRectF figures = box(xorg, xorg.value, xorg.value.width);
    EXPECT_GE(name.left() - figures.right(), gap);

    // Nearer, too little is left for three letters and an ellipsis.
    simulator.centre.setX(120);
    shown = place({simulator, xorg}, canvas, {}, measure);
    EXPECT_EQ(shown[1], (Shown{"Xorg", "1.1G  19.0%"}));
    EXPECT_EQ(shown[0], Shown{});

    // Right over the figures: gone, though it came first.
    simulator.centre.setX(80);
    shown = place({simulator, xorg}, canvas, {}, measure);
    EXPECT_EQ(shown[0], Shown{});
    EXPECT_EQ(shown[1], (Shown{"Xorg", "1.1G  19.0%"}));

    // Ranked the other way round, the other one keeps its name.
    simulator.rank = 0;
    xorg.rank = 1;
    shown = place({simulator, xorg}, canvas, {}, measure);
    EXPECT_EQ(shown[0].name, QStringLiteral("Simulator"));
    EXPECT_TRUE(shown[1].value.isEmpty());
}

// Figures wider than their own bubble stop short of the neighbour's ring,
// whole words first.
TEST(LabelPlacement, FiguresStopShortOfAnotherBubblesRing)
{
    Bubble video = bubble(100, 100, 30, 1, "Video", "1.2G  112.5%");
    video.value.room = 100;
    // The neighbour's ring passes 36 to the right of the centre at the
    // figures' height.
    const Bubble browser = bubble(100 + 36 + 60, 109, 60, 0, "Browser", "2.0G  4.0%");
    std::vector<Shown> shown = place({video, browser}, canvas, {}, measure);
    EXPECT_EQ(shown[0].name, QStringLiteral("Video"));
    EXPECT_EQ(shown[0].value, QStringLiteral("1.2G…"));
    EXPECT_EQ(shown[1], (Shown{"Browser", "2.0G  4.0%"}));
    EXPECT_FALSE(meetsRing(box(video, video.value, measure({}, shown[0].value)), browser));

    // A larger ring across the middle leaves no line of it.
    const Bubble through = bubble(130, 100, 30, 0, "Through", "1M  0.0%");
    shown = place({video, through}, canvas, {}, measure);
    EXPECT_EQ(shown[0], Shown{});
}

// The canvas's edges cut nothing: a label near one shortens, one past it
// goes; and the legend's text keeps its box.
TEST(LabelPlacement, LabelsKeepInsideTheCanvasAndOffTheLegend)
{
    const QRectF edges(0, 0, 400, 300);
    Bubble edge = bubble(11, 100, 40, 0, "Containers", "5.6G  27.9%");
    std::vector<Shown> shown = place({edge}, edges, {}, measure);
    // 22 wide: three letters and the ellipsis need 24.
    EXPECT_EQ(shown[0], Shown{});
    edge.centre.setX(25);
    shown = place({edge}, edges, {}, measure);
    EXPECT_EQ(shown[0], (Shown{"Contain…", "5.6G…"}));
    // Figures below the bottom edge go; the name above stays.
    edge.centre = QPointF(200, 290);
    shown = place({edge}, edges, {}, measure);
    EXPECT_EQ(shown[0], (Shown{"Containers", ""}));

    const QRectF legend(150, 190, 200, 14);
    edge.centre = QPointF(200, 200);
    shown = place({edge}, edges, {legend}, measure);
    EXPECT_EQ(shown[0], Shown{});
    edge.centre = QPointF(200, 180);
    shown = place({edge}, edges, {legend}, measure);
    EXPECT_EQ(shown[0].name, QStringLiteral("Containers"));
    EXPECT_TRUE(shown[0].value.isEmpty());
}

TEST(LabelPlacement, ShorteningKeepsWholeFiguresAndAFewLettersOfAName)
{
    const Line figures = line("1.1G  19.0%", 200, 0, 10, true);
    EXPECT_EQ(shorten(figures, 66, measure), QStringLiteral("1.1G  19.0%"));
    EXPECT_EQ(shorten(figures, 65, measure), QStringLiteral("1.1G…"));
    EXPECT_EQ(shorten(figures, 29, measure), QString());

    const Line name = line("Simulator", 200, 0, 10, false);
    EXPECT_EQ(shorten(name, 54, measure), QStringLiteral("Simulator"));
    EXPECT_EQ(shorten(name, 53, measure), QStringLiteral("Simulat…"));
    EXPECT_EQ(shorten(name, 24, measure), QStringLiteral("Sim…"));
    EXPECT_EQ(shorten(name, 23, measure), QString());
    // A blank before the cut goes; half of a pair is never kept.
    EXPECT_EQ(shorten(line("Web Content", 200, 0, 10, false), 29, measure), QStringLiteral("Web…"));
    const Line wide = line(QStringLiteral("ab\U0001F600cdef"), 200, 0, 10, false);
    EXPECT_EQ(shorten(wide, 30, measure), QStringLiteral("ab\U0001F600…"));
    EXPECT_EQ(shorten(wide, 29, measure), QString());
    // With no room at all, nothing.
    EXPECT_EQ(shorten(name, 0, measure), QString());
}

// A crowded canvas of random bubbles: no two labels shown run into each
// other, none crosses a larger bubble's ring, none is wider than its room,
// and the largest bubble keeps its name.
TEST(LabelPlacement, CrowdedFieldsShowNoLabelOverAnother)
{
    QRandomGenerator random(48);
    for (int round = 0; round < 40; ++round) {
        std::vector<Bubble> bubbles;
        const int count = 10 + random.bounded(40);
        for (int i = 0; i < count; ++i) {
            const double r = 27 + random.bounded(50.0);
            const QString name = QStringLiteral("process-%1").arg(i).left(4 + random.bounded(12));
            bubbles.push_back(bubble(random.bounded(600.0), random.bounded(400.0), r, 0, name,
                                     QStringLiteral("%1M  %2%").arg(random.bounded(900)).arg(random.bounded(99.0), 0, 'f', 1)));
        }
        std::vector<std::size_t> bySize(bubbles.size());
        for (std::size_t i = 0; i < bySize.size(); ++i)
            bySize[i] = i;
        std::sort(bySize.begin(), bySize.end(),
                  [&](std::size_t a, std::size_t b) { return bubbles[a].radius > bubbles[b].radius; });
        for (std::size_t k = 0; k < bySize.size(); ++k)
            bubbles[bySize[k]].rank = int(k);

        const QRectF edges(0, 0, 600, 400);
        const QRectF legend(20, 380, 400, 14);
        const std::vector<Shown> shown = place(bubbles, edges, {legend}, measure);
        struct Placed {
            std::size_t owner;
            QRectF box;
        };
        std::vector<Placed> boxes;
        for (std::size_t i = 0; i < bubbles.size(); ++i) {
            if (shown[i].name.isEmpty()) {
                EXPECT_TRUE(shown[i].value.isEmpty());
            }
            for (const auto& [text, l] : {std::pair{shown[i].name, bubbles[i].name}, {shown[i].value, bubbles[i].value}}) {
                if (text.isEmpty())
                    continue;
                EXPECT_LE(measure(l, text), l.room);
                const QRectF at = box(bubbles[i], l, measure(l, text));
                EXPECT_TRUE(edges.contains(at)) << "round " << round;
                EXPECT_FALSE(at.intersects(legend)) << "round " << round;
                boxes.push_back({i, at});
            }
        }
        for (std::size_t a = 0; a < boxes.size(); ++a) {
            for (std::size_t b = a + 1; b < boxes.size(); ++b)
                if (boxes[a].owner != boxes[b].owner) {
                    EXPECT_FALSE(boxes[a].box.adjusted(-gap + 0.01, 0, gap - 0.01, 0).intersects(boxes[b].box))
                        << "round " << round;
                }
            for (std::size_t j = 0; j < bubbles.size(); ++j)
                if (bubbles[j].rank < bubbles[boxes[a].owner].rank) {
                    EXPECT_FALSE(meetsRing(boxes[a].box, bubbles[j])) << "round " << round;
                }
        }
        // The largest, when its name lies within the canvas and off the
        // legend, keeps it.
        const Bubble& largest = bubbles[bySize.front()];
        const QRectF whole = box(largest, largest.name, std::min(largest.name.width, largest.name.room));
        if (edges.contains(whole) && !whole.adjusted(-gap, 0, gap, 0).intersects(legend)) {
            EXPECT_FALSE(shown[bySize.front()].name.isEmpty()) << "round " << round;
        }
    }
}
