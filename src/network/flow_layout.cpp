#include "network/flow_layout.h"

#include "core/fmt.h"
#include "network/flow_graph.h"
#include "ui/fonts.h"

#include <QFontMetricsF>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <cmath>
#include <utility>

namespace FlowLayout {

namespace {

QString rates(const FlowNode& node)
{
    return QStringLiteral("↓%1/s ↑%2/s").arg(Fmt::bytes(node.rateIn), Fmt::bytes(node.rateOut));
}

QString shortRates(const FlowNode& node)
{
    return QStringLiteral("↓%1 ↑%2").arg(Fmt::bytes(node.rateIn), Fmt::bytes(node.rateOut));
}

} // namespace

Header header(double width, const std::vector<double>& chipWidths, double countWidth, double briefWidth,
              double legendWidth)
{
    using Count = Header::Count;
    Header h;
    double x = padding;
    for (double chip : chipWidths) {
        h.chips.push_back(x);
        x += chip + gap;
    }
    // Where the last chip ends; with no chip, the padding.
    const double chipsEnd = chipWidths.empty() ? padding : x - gap;
    const double end = width - padding;
    auto widthOf = [&](Count c) {
        return c == Count::full ? countWidth : c == Count::brief ? briefWidth : 0;
    };
    // In order of preference; the first that fits is shown.
    const std::pair<Count, bool> choices[] = {{Count::full, true},  {Count::full, false},
                                              {Count::brief, true}, {Count::brief, false},
                                              {Count::none, true},  {Count::none, false}};
    for (const auto& [count, legend] : choices) {
        const double counted = widthOf(count);
        if (count != Count::none && counted <= 0)
            continue;
        double span = counted + (legend ? legendWidth : 0);
        if (counted > 0 && legend)
            span += gap;
        if (span > 0 && chipsEnd + gap + span > end)
            continue;
        h.countShown = count;
        h.legendShown = legend;
        break;
    }
    h.legend = end - legendWidth;
    h.count = (h.legendShown ? h.legend - gap : end) - widthOf(h.countShown);
    return h;
}

Columns columns(double width, double labelWidth, const Need& appNeed, const Need& hostNeed)
{
    Columns c;
    const double full = std::max(labelWidth, 0.0);
    const double room = std::min(std::max(0.0, width - 2 * padding - ribbonsNarrowest), 2 * full);
    struct Step {
        double app, host;
    };
    auto sane = [](const Need& n) {
        const double least = std::max(0.0, std::min(n.least, n.whole));
        return std::pair{least, std::max(least, n.whole)};
    };
    const auto [appLeast, appWhole] = sane(appNeed);
    const auto [hostLeast, hostWhole] = sane(hostNeed);
    const Step steps[] = {{0, 0},
                          {appLeast, hostLeast},
                          {appWhole, hostWhole},
                          {std::max(appWhole, full), std::max(hostWhole, full)}};
    // The step the room reaches: both floors met, the ceilings not both.
    std::size_t k = 0;
    while (k + 2 < std::size(steps) && steps[k + 1].app + steps[k + 1].host <= room)
        ++k;
    const Step& floor = steps[k];
    const Step& ceiling = steps[k + 1];
    // As even as the floors and ceilings allow.
    const double app = std::clamp(room / 2, std::max(floor.app, room - ceiling.host),
                                  std::min(ceiling.app, room - floor.host));
    const double host = room - app;
    // Whole pixels, so the rows and the ribbon area meet without a seam.
    c.appWidth = std::floor(app);
    c.hostWidth = std::floor(host);
    c.app = padding;
    c.ribbons = c.app + c.appWidth;
    c.host = std::max(c.ribbons, width - padding - c.hostWidth);
    c.ribbonsWidth = c.host - c.ribbons;
    return c;
}

Need need(const std::vector<FlowNode>& nodes, bool host, const QFontMetricsF& title,
          const QFontMetricsF& detail)
{
    Need n;
    for (const FlowNode& node : nodes) {
        const double named = title.horizontalAdvance(node.title);
        n.least = std::max(n.least, named);
        n.whole = std::max(n.whole, named);
        if (node.rateIn + node.rateOut > 0) {
            n.least = std::max(n.least, detail.horizontalAdvance(shortRates(node)));
            n.whole = std::max(n.whole, detail.horizontalAdvance(rates(node)));
        }
    }
    // Whole pixels, as the columns take them.
    const double mark = (host ? dot : iconSize) + spacing;
    return {std::ceil(n.least + mark), std::ceil(n.whole + mark)};
}

namespace {

// Where a label ends: host names part at dots, addresses at colons,
// application names at blanks and dashes.
bool separator(QChar c)
{
    return c == u'.' || c == u':' || c == u' ' || c == u'-' || c == u'_' || c == u'/';
}

// One title's cuts, tried in order until the column's texts are apart.
class Cutter {
public:
    Cutter(const QString& title, double room, const Measure& width)
        : title_(title)
        , room_(room)
        , width_(width)
    {
        // Cuts fall between letters as the reader sees them, never inside
        // a pair of surrogates or before a combining mark.
        QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, title);
        for (qsizetype at = 0; at >= 0; at = finder.toNextBoundary())
            bounds_.push_back(at);
        if (bounds_.empty() || bounds_.back() != title.size())
            bounds_.push_back(title.size());
    }

    // The cuts in order of preference. `shared` is the longest beginning
    // the title has in common with another title, `trail` the longest end.
    std::vector<QString> cuts(qsizetype shared, qsizetype trail) const
    {
        const qsizetype n = title_.size();
        // Where the label holding the first differing letter begins and ends.
        qsizetype labelStart = std::min(shared, n), labelEnd = std::min(shared + 1, n);
        while (labelStart > 0 && !separator(title_.at(labelStart - 1)))
            --labelStart;
        while (labelEnd < n && !separator(title_.at(labelEnd)))
            ++labelEnd;

        std::vector<std::pair<int, QString>> ranked;
        // Beginning and end, evenly: while its end tells it apart.
        if (auto [head, tail] = balanced(); tail > trail)
            ranked.emplace_back(0, text(head, n - tail, n));
        // The beginning through the differing label, or through its first
        // differing letter.
        const qsizetype head = largest([&](qsizetype h) { return text(h, n, n); });
        if (head >= labelEnd)
            ranked.emplace_back(1, text(head, n, n));
        else if (head > shared)
            ranked.emplace_back(3, text(head, n, n));
        // The differing label between two ellipses, from its start, or from
        // the differing letter itself.
        for (qsizetype from : {labelStart, shared}) {
            if (from <= 0 || from >= n || !std::binary_search(bounds_.begin(), bounds_.end(), from))
                continue;
            const qsizetype to = largest([&](qsizetype b) { return window(from, b); }, from);
            if (to >= labelEnd && from == labelStart)
                ranked.emplace_back(2, window(from, to));
            else if (to > shared)
                ranked.emplace_back(4, window(from, to));
        }
        // The end alone, while it tells the title apart.
        const qsizetype tail = n - smallest([&](qsizetype t) { return text(0, t, n); });
        if (tail > trail)
            ranked.emplace_back(5, text(0, n - tail, n));
        std::stable_sort(ranked.begin(), ranked.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        std::vector<QString> result;
        for (auto& [rank, cut] : ranked)
            if (!cut.isEmpty() && std::find(result.begin(), result.end(), cut) == result.end())
                result.push_back(std::move(cut));
        return result;
    }

private:
    bool fits(const QString& text) const { return !text.isEmpty() && width_(text) <= room_; }

    // The title's [0, head) and [tailFrom, end) around an ellipsis; the
    // ellipsis alone stands for nothing, so that text is empty.
    QString text(qsizetype head, qsizetype tailFrom, qsizetype end) const
    {
        if (head == 0 && tailFrom == end)
            return {};
        const QString cut = Fmt::cut(QStringView(title_).first(head), QStringView(title_).mid(tailFrom, end - tailFrom));
        return cut == ellipsis ? QString() : cut;
    }
    QString window(qsizetype from, qsizetype to) const
    {
        const QStringView part = QStringView(title_).mid(from, to - from);
        return to < title_.size() ? Fmt::cut({}, Fmt::cut(part)) : Fmt::cut({}, part);
    }

    // The largest boundary after `least` whose text fits, or `least`. A
    // text grows with its letters, so the search stops at the first fit
    // from the top: a title a little too long is measured a few times.
    template <typename Make>
    qsizetype largest(Make make, qsizetype least = 0) const
    {
        for (auto b = bounds_.rbegin(); b != bounds_.rend() && *b > least; ++b)
            if (*b < title_.size() && fits(make(*b)))
                return *b;
        return least;
    }
    // The smallest boundary whose text fits, or the title's end.
    template <typename Make>
    qsizetype smallest(Make make) const
    {
        for (qsizetype b : bounds_)
            if (b > 0 && fits(make(b)))
                return b;
        return title_.size();
    }

    // The most letters that fit, the beginning taking the odd one.
    std::pair<qsizetype, qsizetype> balanced() const
    {
        const qsizetype count = qsizetype(bounds_.size()) - 1;
        for (qsizetype k = count - 1; k >= 2; --k) {
            const qsizetype head = bounds_[std::size_t((k + 1) / 2)];
            const qsizetype tailFrom = bounds_[std::size_t(count - k / 2)];
            if (fits(text(head, tailFrom, title_.size())))
                return {head, title_.size() - tailFrom};
        }
        return {0, 0};
    }

    static inline const QString ellipsis = QStringLiteral("…");
    const QString& title_;
    double room_;
    const Measure& width_;
    std::vector<qsizetype> bounds_;
};

qsizetype commonStart(const QString& a, const QString& b)
{
    const qsizetype n = std::min(a.size(), b.size());
    qsizetype i = 0;
    while (i < n && a.at(i) == b.at(i))
        ++i;
    return i;
}

qsizetype commonEnd(const QString& a, const QString& b)
{
    const qsizetype n = std::min(a.size(), b.size());
    qsizetype i = 0;
    while (i < n && a.at(a.size() - 1 - i) == b.at(b.size() - 1 - i))
        ++i;
    return i;
}

} // namespace

std::vector<QString> distinctCuts(const std::vector<QString>& titles, double room, const Measure& width)
{
    const std::size_t count = titles.size();
    std::vector<std::vector<QString>> choices(count);
    for (std::size_t i = 0; i < count; ++i) {
        const QString& title = titles[i];
        if (title.isEmpty() || width(title) <= room) {
            choices[i] = {title};
            continue;
        }
        qsizetype shared = 0, trail = 0;
        for (std::size_t j = 0; j < count; ++j) {
            if (titles[j] == title)
                continue;
            shared = std::max(shared, commonStart(title, titles[j]));
            trail = std::max(trail, commonEnd(title, titles[j]));
        }
        choices[i] = Cutter(title, room, width).cuts(shared, trail);
    }
    // Each title takes its first choice; titles whose texts meet move on to
    // their next, a whole title staying while a cut one moves. A title out
    // of choices shows nothing.
    std::vector<std::size_t> at(count, 0);
    auto shown = [&](std::size_t i) { return at[i] < choices[i].size() ? choices[i][at[i]] : QString(); };
    for (bool moved = true; moved;) {
        moved = false;
        for (std::size_t i = 0; i < count; ++i) {
            const QString text = shown(i);
            if (text.isEmpty())
                continue;
            std::vector<std::size_t> meeting;
            for (std::size_t j = 0; j < count; ++j)
                if (j != i && titles[j] != titles[i] && shown(j) == text)
                    meeting.push_back(j);
            if (meeting.empty())
                continue;
            meeting.push_back(i);
            for (std::size_t j : meeting)
                if (text != titles[j]) {
                    ++at[j];
                    moved = true;
                }
        }
    }
    std::vector<QString> result(count);
    for (std::size_t i = 0; i < count; ++i)
        result[i] = shown(i);
    return result;
}

QString fittedDetail(const FlowNode& node, double room, const QFontMetricsF& metrics)
{
    auto fits = [&](const QString& text) { return metrics.horizontalAdvance(text) <= room; };
    if (node.rateIn + node.rateOut <= 0)
        return Fonts::elided(metrics, node.detail, Qt::ElideRight, room);

    const QString in = QStringLiteral("↓") + Fmt::bytes(node.rateIn);
    const QString out = QStringLiteral("↑") + Fmt::bytes(node.rateOut);
    const QString both = rates(node);
    const QString full = node.detail.isEmpty() ? both : both + QStringLiteral("  ") + node.detail;
    if (fits(full))
        return full;
    if (!node.detail.isEmpty()) {
        const QString lead = both + QStringLiteral("  ");
        const QString rest
            = Fonts::elided(metrics, node.detail, Qt::ElideRight, room - metrics.horizontalAdvance(lead));
        // Three letters and the ellipsis, or the detail is better left out.
        if (rest.size() >= 4 && rest != node.detail)
            return lead + rest;
    }
    const QString larger = node.rateOut > node.rateIn ? out : in;
    for (const QString& text : {both, shortRates(node), larger})
        if (fits(text))
            return text;
    return {};
}

} // namespace FlowLayout
