#include "network/flow_layout.h"

#include "network/flow_graph.h"
#include "ui/fonts.h"

#include <QFontMetricsF>

#include <gtest/gtest.h>

#include <random>

using namespace FlowLayout;

namespace {

constexpr double eps = 1e-9;

// One unit a letter, the ellipsis too: cuts read as counts.
double letters(const QString& text)
{
    return double(text.size());
}

// No two different names are shown (not empty) as the same text.
bool apart(const std::vector<QString>& names, const std::vector<QString>& texts)
{
    for (std::size_t i = 0; i < texts.size(); ++i)
        for (std::size_t j = i + 1; j < texts.size(); ++j)
            if (!texts[i].isEmpty() && texts[i] == texts[j] && names[i] != names[j])
                return false;
    return true;
}

} // namespace

TEST(FlowLayoutTest, ColumnsShareTheWidthTheyHave)
{
    constexpr double label = 230;
    for (auto [appNeed, hostNeed] : {std::pair{500.0, 500.0}, std::pair{90.0, 170.0}, std::pair{170.0, 60.0}}) {
        for (double w = 0; w <= 1600; w += 1) {
            SCOPED_TRACE(testing::Message() << w << " needs " << appNeed << ", " << hostNeed);
            const Columns c = columns(w, label, appNeed, hostNeed);
            // Applications, ribbons, hosts, left to right inside the padding.
            EXPECT_EQ(c.app, padding);
            EXPECT_NEAR(c.ribbons, c.app + c.appWidth, eps);
            EXPECT_NEAR(c.host, c.ribbons + c.ribbonsWidth, eps);
            EXPECT_TRUE(c.ribbonsWidth >= 0 && c.appWidth >= 0 && c.hostWidth >= 0);
            EXPECT_TRUE(c.appWidth <= label && c.hostWidth <= label);
            EXPECT_TRUE(w < 2 * padding || c.host + c.hostWidth <= w - padding + eps);
            // Full columns while the ribbons have room; below that the
            // ribbons keep theirs, and neither column gets less than half
            // of the rest unless it needs less.
            const double room = w - 2 * padding - ribbonsNarrowest;
            if (room >= 2 * label) {
                EXPECT_TRUE(c.appWidth == label && c.hostWidth == label);
            } else if (room >= 0) {
                EXPECT_NEAR(c.ribbonsWidth, ribbonsNarrowest, 2);
                EXPECT_GE(c.appWidth, std::min(appNeed, room / 2) - 1);
                EXPECT_GE(c.hostWidth, std::min(hostNeed, room / 2) - 1);
            }
        }
    }
    // Beside the instruments and the inspector of a 1024-wide window: long
    // names on both sides share equally; short applications leave their
    // room to the hosts.
    EXPECT_EQ(columns(292, 230, 400, 400), (Columns{14, 108, 170, 108, 122, 48}));
    EXPECT_EQ(columns(292, 230, 80, 400), (Columns{14, 80, 142, 136, 94, 48}));
    // Both fit, one in less than half: the other gets what it needs.
    EXPECT_EQ(columns(320, 230, 100, 130).hostWidth, 130);
    // Without the inspector both keep their width.
    EXPECT_EQ(columns(623, 230, 80, 80), (Columns{14, 230, 379, 230, 244, 135}));
}

TEST(FlowLayoutTest, HeaderKeepsTheCountAndLegendOffTheChips)
{
    using Count = Header::Count;
    const std::vector<double> chips{58, 36, 68};
    const double chipsEnd = padding + 58 + gap + 36 + gap + 68;
    constexpr double full = 170, brief = 60, legend = 110;
    for (bool counted : {false, true}) {
        for (double w = 100; w <= 900; w += 1) {
            SCOPED_TRACE(testing::Message() << w << (counted ? " counted" : ""));
            const Header h = header(w, chips, counted ? full : 0, counted ? brief : 0, legend);
            EXPECT_EQ(h.chips, (std::vector<double>{padding, padding + 58 + gap, padding + 58 + gap + 36 + gap}));
            const double countWidth = h.countShown == Count::full ? full
                : h.countShown == Count::brief                    ? brief
                                                                  : 0;
            // In order and apart, the last one at the right padding.
            double left = chipsEnd + gap;
            if (countWidth > 0) {
                EXPECT_GE(h.count, left - eps);
                left = h.count + countWidth + gap;
            }
            EXPECT_TRUE(!h.legendShown || h.legend >= left - eps);
            if (h.legendShown || countWidth > 0) {
                EXPECT_NEAR(h.legendShown ? h.legend + legend : h.count + countWidth, w - padding, eps);
            }
            // A count shows in some form wherever one fits.
            EXPECT_EQ(countWidth > 0, counted && w >= chipsEnd + gap + brief + padding);
            EXPECT_TRUE(counted || h.legendShown == (w >= chipsEnd + gap + legend + padding));
        }
    }
    // Short of room for both, the legend goes first, then the count turns
    // brief; the legend comes back beside a brief count, or alone, when it
    // fits.
    const double both = chipsEnd + gap + full + gap + legend + padding;
    auto shown = [&](double w, double fullWidth, double legendWidth) {
        const Header h = header(w, chips, fullWidth, brief, legendWidth);
        return std::pair{h.countShown, h.legendShown};
    };
    EXPECT_EQ(shown(both, full, legend), std::pair(Count::full, true));
    EXPECT_EQ(shown(both - 1, full, legend), std::pair(Count::full, false));
    EXPECT_EQ(shown(chipsEnd + gap + full + padding - 1, full, legend), std::pair(Count::brief, false));
    EXPECT_EQ(shown(chipsEnd + gap + brief + gap + legend + padding, 400, legend), std::pair(Count::brief, true));
    EXPECT_EQ(shown(chipsEnd + gap + 50 + padding, full, 50), std::pair(Count::none, true));
}

TEST(FlowLayoutTest, RateLineShortensThenDrops)
{
    const QFontMetricsF m(Fonts::mono(9));
    FlowNode node;
    node.rateIn = 900 * 1024;
    node.rateOut = 22 * 1024;
    node.detail = QStringLiteral(":443 HTTPS · 1 conns");
    const QString rates = QStringLiteral("↓900K/s ↑22K/s");
    const QString full = rates + QStringLiteral("  ") + node.detail;
    auto at = [&](double room) {
        const QString text = fittedDetail(node, room, m);
        EXPECT_LE(m.horizontalAdvance(text), room) << text.toStdString();
        return text;
    };
    auto width = [&](const char* text) { return m.horizontalAdvance(QString::fromUtf8(text)); };
    EXPECT_EQ(at(m.horizontalAdvance(full)), full);
    // Part of the detail, with its ellipsis; less than three letters of it
    // is left out.
    const QString part = at(m.horizontalAdvance(full) - 1);
    EXPECT_TRUE(part.startsWith(rates + QStringLiteral("  :4")) && part.endsWith(QStringLiteral("…")));
    EXPECT_EQ(at(m.horizontalAdvance(rates + QStringLiteral("  :4…"))), rates);
    EXPECT_EQ(at(m.horizontalAdvance(rates) - 1), QStringLiteral("↓900K ↑22K"));
    EXPECT_EQ(at(width("↓900K ↑22K") - 1), QStringLiteral("↓900K"));
    EXPECT_EQ(at(width("↓900K") - 1), QString());
    // Upload ahead: the up arrow stays.
    std::swap(node.rateIn, node.rateOut);
    EXPECT_EQ(at(width("↑900K")), QStringLiteral("↑900K"));
    // No detail: no trailing blanks.
    node.detail.clear();
    EXPECT_EQ(at(500), QStringLiteral("↓22K/s ↑900K/s"));
    // A quiet node's detail is elided at its end.
    FlowNode quiet;
    quiet.detail = QStringLiteral("Total 1.2M");
    EXPECT_EQ(fittedDetail(quiet, 500, m), quiet.detail);
    EXPECT_TRUE(fittedDetail(quiet, m.horizontalAdvance(quiet.detail) - 1, m).endsWith(QStringLiteral("…")));

    // A column asks for its widest title or rate line, with the icon or dot.
    const QFontMetricsF title(Fonts::font(11.5, QFont::Medium));
    FlowNode named;
    named.title = QStringLiteral("cdn.stream.example");
    node.title = QStringLiteral("x");
    EXPECT_EQ(need({named, node}, true, title, m).whole,
              std::ceil(std::max(title.horizontalAdvance(named.title), width("↓22K/s ↑900K/s")) + dot + spacing));
    EXPECT_EQ(need({named}, false, title, m).whole, std::ceil(title.horizontalAdvance(named.title) + iconSize + spacing));
}

// A short column gives its room to the other, by what each one's names
// need: first every title whole with short rates, then the full rate
// lines, then up to the label width.
TEST(FlowLayoutTest, ColumnsShareByNeed)
{
    // Room to spare: hosts that need more than the label width take what
    // the short application names leave.
    EXPECT_EQ(columns(800, 230, 80, 300), (Columns{14, 160, 486, 300, 174, 312}));
    EXPECT_EQ(columns(800, 230, 300, 80).appWidth, 300);
    // Short of room, the applications keep no more than their titles ask
    // when their rate lines would take more; the rates go short.
    const Need apps{90, 130}, hosts{160, 200};
    EXPECT_EQ(columns(292, 230, apps, hosts), (Columns{14, 90, 152, 126, 104, 48}));
    // With room for every least need, what is left goes towards the whole
    // ones, as evenly as they allow.
    EXPECT_EQ(columns(292 + 60, 230, apps, hosts).appWidth, 116);
    EXPECT_EQ(columns(292 + 114, 230, apps, hosts).appWidth, 130);
    EXPECT_EQ(columns(292 + 114, 230, apps, hosts).hostWidth, 200);
    // Beyond that, towards the label width.
    EXPECT_EQ(columns(292 + 120, 230, apps, hosts).appWidth, 136);

    // Measured: short titles with long rate lines, beside long host names.
    const QFontMetricsF title(Fonts::font(11.5, QFont::Medium)), detail(Fonts::mono(9));
    FlowNode app;
    app.title = QStringLiteral("Music");
    app.rateIn = 866 * 1024;
    app.rateOut = 354 * 1024;
    FlowNode host = app;
    host.title = QStringLiteral("registry.containers.example");
    const Need appNeed = need({app}, false, title, detail), hostNeed = need({host}, true, title, detail);
    EXPECT_LT(appNeed.least, appNeed.whole);
    // In whole pixels, rounded up.
    EXPECT_EQ(appNeed.least,
              std::ceil(std::max(title.horizontalAdvance(app.title),
                                 detail.horizontalAdvance(QStringLiteral("↓866K ↑354K")))
                        + iconSize + spacing));
    const Columns c = columns(292, 230, appNeed, hostNeed);
    EXPECT_EQ(c.appWidth, appNeed.least);
    EXPECT_GT(c.hostWidth, 216 / 2);
    // The short rate line still fits the application's column.
    EXPECT_EQ(fittedDetail(app, c.appWidth - iconSize - spacing, detail), QStringLiteral("↓866K ↑354K"));
}

TEST(FlowLayoutTest, CutTitlesNeverReadTheSame)
{
    // Hosts that share their beginning and end show the label that differs.
    const std::vector<QString> hosts{"media.meet.example", "media.video.example", "cdn.stream.example",
                                     "sync.cloud.example"};
    EXPECT_EQ(distinctCuts(hosts, 12, letters),
              (std::vector<QString>{"media.meet…", "media.video…", "cdn.stream…", "sync.cloud…"}));
    EXPECT_EQ(distinctCuts(hosts, 40, letters), hosts);
    // Too short for the beginning through the differing label: that
    // label between ellipses.
    EXPECT_EQ(distinctCuts(hosts, 8, letters),
              (std::vector<QString>{"…meet.e…", "…video…", "cdn.str…", "sync.cl…"}));
    EXPECT_EQ(distinctCuts({"a.long.shared.front.X.long.shared.tail", "a.long.shared.front.Y.long.shared.tail"}, 10,
                           letters),
              (std::vector<QString>{"…X.long.s…", "…Y.long.s…"}));
    // An end that differs keeps the beginning and end around the ellipsis.
    EXPECT_EQ(distinctCuts({"Containers", "Containers Helper"}, 9, letters),
              (std::vector<QString>{"Cont…ners", "Cont…lper"}));
    // Equal titles may read the same.
    EXPECT_EQ(distinctCuts({"abcd.x", "abcd.x"}, 4, letters), (std::vector<QString>{"ab…x", "ab…x"}));
    // Letters are never split: a pair of surrogates stays whole.
    for (const QString& cut : distinctCuts({"x😀😀😀😀y.example", "x😀😀😀😀z.example"}, 7, letters))
        for (qsizetype i = 0; i < cut.size(); ++i)
            EXPECT_EQ(cut.at(i).isHighSurrogate(), i + 1 < cut.size() && cut.at(i + 1).isLowSurrogate())
                << cut.toStdString();

    // In the rows' font at the width where a middle cut gives both the
    // same text, they read apart.
    const QFontMetricsF m(Fonts::font(11.5, QFont::Medium));
    const Measure measure = [&m](const QString& t) { return m.horizontalAdvance(t); };
    const double tight = m.horizontalAdvance(QStringLiteral("media….xample"));
    ASSERT_EQ(m.elidedText(hosts[0], Qt::ElideMiddle, tight), m.elidedText(hosts[1], Qt::ElideMiddle, tight));
    for (double room = 0; room <= 160; room += 0.5) {
        SCOPED_TRACE(room);
        const std::vector<QString> cuts = distinctCuts(hosts, room, measure);
        EXPECT_TRUE(apart(hosts, cuts));
        for (std::size_t i = 0; i < hosts.size(); ++i) {
            EXPECT_LE(measure(cuts[i]), room) << cuts[i].toStdString();
            EXPECT_EQ(cuts[i] == hosts[i], measure(hosts[i]) <= room);
        }
        if (room >= tight) {
            EXPECT_TRUE(cuts[0].startsWith(QStringLiteral("media.meet")));
            EXPECT_TRUE(cuts[1].startsWith(QStringLiteral("media.video")));
        }
    }

    // Many names alike at the front and back, at every width: the texts
    // shown are apart, fit, and whole where the whole fits.
    std::mt19937 random(7);
    for (int round = 0; round < 300; ++round) {
        std::vector<QString> names;
        const int count = 2 + int(random() % 6);
        for (int i = 0; i < count; ++i) {
            QString name = QStringLiteral("ab.cd.");
            for (unsigned k = random() % 4; k > 0; --k)
                name += QChar(u"ab.-"[random() % 4]);
            name += QStringLiteral(".shared.tail");
            names.push_back(name);
        }
        for (double room = 1; room <= 30; ++room) {
            const std::vector<QString> cuts = distinctCuts(names, room, letters);
            ASSERT_TRUE(apart(names, cuts));
            for (std::size_t i = 0; i < names.size(); ++i) {
                ASSERT_LE(cuts[i].size(), room);
                ASSERT_EQ(cuts[i] == names[i], names[i].size() <= room);
            }
        }
    }
}

// A dot or hyphen against the ellipsis would read as one more dot
// ("photos.cloud.…") or a dash of its own: a cut drops it, at every width
// and from every side of the ellipsis, and the cuts still read apart.
TEST(FlowLayoutTest, ACutNeverLeavesADotOrHyphenBesideItsEllipsis)
{
    const std::vector<QString> hosts{"photos.cloud.example.com", "photos.cloud-sync.example.com",
                                     "mail.cloud.example.com", "app-store-cdn.example.net", "a.b.c.d.e.f.g"};
    const auto loose = [](const QString& cut) {
        for (const char16_t* bad : {u".…", u"-…", u"….", u"…-"})
            if (cut.contains(QStringView(bad)))
                return true;
        return false;
    };
    for (double room = 1; room <= 30; ++room) {
        SCOPED_TRACE(room);
        const std::vector<QString> cuts = distinctCuts(hosts, room, letters);
        EXPECT_TRUE(apart(hosts, cuts));
        for (const QString& cut : cuts) {
            EXPECT_FALSE(loose(cut)) << cut.toStdString();
            EXPECT_LE(cut.size(), room);
        }
    }
    // The rate line's detail is cut the same way.
    const QFontMetricsF m(Fonts::font(10));
    FlowNode node;
    node.detail = QStringLiteral("https.-:443 · 3 conns");
    for (double room = 10; room <= m.horizontalAdvance(node.detail); room += 1)
        EXPECT_FALSE(loose(fittedDetail(node, room, m))) << room;
}
