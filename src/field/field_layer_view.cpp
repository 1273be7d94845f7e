#include "field/field_layer_view.h"

#include "field/dot_sprites.h"
#include "field/field_style.h"
#include "field/label_placement.h"
#include "field/repaint_counter.h"
#include "model/monitor.h"
#include "platform/defaults.h"
#include "ui/banded.h"
#include "ui/desktop_settings.h"
#include "ui/fonts.h"
#include "ui/frame_clock.h"
#include "ui/icons.h"
#include "ui/interaction_hold.h"
#include "ui/process_icon.h"
#include "ui/scheduler.h"
#include "ui/theme.h"
#include "ui/widget_opacity.h"

#include <QMenu>
#include <QMouseEvent>
#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <tuple>

namespace {

using Theme::withAlpha;

constexpr double iconEdge = 18;
constexpr int blitBand = Banded::rows;
// Qt's raster engine hands a fill or blit of more runs (rows times clip
// rectangles) than this to its thread pool and waits for it.
constexpr int maxRuns = 88;

QFont nameFont(double size)
{
    return Fonts::font(size, QFont::DemiBold);
}

QFont detailFont()
{
    return Fonts::mono(9);
}

QFont tipFont()
{
    return Fonts::mono(10);
}

QStaticText plain(const QString& text)
{
    QStaticText s(text);
    s.setTextFormat(Qt::PlainText);
    s.setPerformanceHint(QStaticText::AggressiveCaching);
    return s;
}

double shellOpacity(double form)
{
    return std::min(form / 0.45, 1.0);
}

double iconOpacity(double form)
{
    return form / 0.4 < 1 ? 1 - form / 0.4 : 0;
}

// How far each part of a bubble reaches from its centre, unscaled, with
// room for antialiasing.
constexpr double tickInner = 2.5, tickOuter = 5.5; // beyond the radius
constexpr double ringReach = 6, haloReach = 9;
constexpr double dotRadius = 1.3, dotReach = dotRadius + 1.2;

double spinRim(double r)
{
    return r + tickOuter;
}

// How fast ticks turn, in radians a second: once round in twenty seconds
// at speed 1.
double spinRate(double tickSpeed)
{
    return tickSpeed * 2 * std::numbers::pi / 20;
}

// The margin round a label's picture, for glyphs that reach past its box.
constexpr int labelPad = 2;

// A label drawn once into a picture, at `at` in the painter's units: many
// small clipped glyph copies cost far more than one copy of the picture,
// and dots and ticks round a bubble clip it into pieces on most frames.
// Only the raster engine gains by that; any other device (a printer, a
// vector export, a text recorder) takes the text as text, where it lies.
void drawLabel(QPainter& p, QPointF at, const QStaticText& text, const QFont& font, const QColor& color,
               Art& art)
{
    if (p.paintEngine()->type() != QPaintEngine::Raster) {
        p.setFont(font);
        p.setPen(color);
        p.drawStaticText(at, text);
        return;
    }
    const double ratio = p.device()->devicePixelRatioF();
    if (art.picture.isNull() || art.color != color.rgba() || art.picture.devicePixelRatio() != ratio) {
        const QSizeF size = text.size() + QSizeF(2 * labelPad, 2 * labelPad);
        QPixmap picture(QSize(int(std::ceil(size.width() * ratio)), int(std::ceil(size.height() * ratio))));
        picture.setDevicePixelRatio(ratio);
        picture.fill(Qt::transparent);
        QPainter lp(&picture);
        lp.setFont(font);
        lp.setPen(color);
        lp.drawStaticText(QPointF(labelPad, labelPad), text);
        lp.end();
        art.picture = picture;
        art.color = color.rgba();
    }
    p.drawPixmap(at - QPointF(labelPad, labelPad), art.picture);
}

// A circle of radius `r` in the middle of a transparent square picture of
// half side `half`, a whole number, so that it is centred on a pixel.
QPixmap circlePicture(double half, double ratio, double r, const QBrush& fill, const QPen& pen)
{
    const int edge = std::max(1, int(std::ceil(2 * half * ratio)));
    QPixmap picture(edge, edge);
    picture.setDevicePixelRatio(ratio);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(half, half);
    p.setBrush(fill);
    p.setPen(pen);
    p.drawEllipse(QPointF(), r, r);
    return picture;
}

// A box of half side `half` about `centre`.
QRectF square(QPointF centre, double half)
{
    return {centre.x() - half, centre.y() - half, 2 * half, 2 * half};
}

// The k-th of n one-point marks three points deep, evenly round a circle of
// radius r and turned by `spin`, in the bubble's own units.
QLineF tickMark(double spin, int k, int n, double r)
{
    const double a = spin + 2 * std::numbers::pi * k / n;
    const QPointF dir(std::cos(a), std::sin(a));
    return {dir * (r + tickInner), dir * (r + tickOuter)};
}


} // namespace

FieldLayerView::FieldLayerView(Monitor* monitor, QWidget* parent)
    : QWidget(parent), monitor_(monitor)
{
    setAttribute(Qt::WA_NoSystemBackground);
    setMouseTracking(true);
    const Defaults& defaults = Defaults::standard();
    simulatedBubble_ = defaults.stringValue(QStringLiteral("simulateHoverBubble"));
    simulatedUntil_ = defaults.doubleValue(QStringLiteral("simulateHoverUntil"), 0);
    if (!std::isfinite(simulatedUntil_))
        simulatedUntil_ = 0;
}

FieldLayerView::~FieldLayerView()
{
    saveLayout();
    stopClocks();
}

double FieldLayerView::now() const
{
    return Scheduler::current().now();
}

bool FieldLayerView::ticking() const
{
    return FrameClock::shared().subscribed(this);
}

bool FieldLayerView::motionTicking() const
{
    return FrameClock::shared().subscribed(&motionOwner_) && !spinSleeping_;
}

double FieldLayerView::scale(const QString& key) const
{
    auto it = nodes_.find(key);
    return it == nodes_.end() ? 1 : it->second.scale.value();
}

std::optional<std::pair<QString, QRectF>> FieldLayerView::tip() const
{
    if (!tipKey_)
        return std::nullopt;
    return std::pair{tipText_, tipBox_};
}

// ---- clocks

void FieldLayerView::wake()
{
    if (!isVisible() || ticking())
        return;
    // The first frame after a pause steps by the first frame's length.
    sim_.last.reset();
    FrameClock::shared().subscribe(this, [this](double) { return simFrame(); });
}

void FieldLayerView::stopClocks()
{
    spinSleeping_ = false;
    FrameClock::shared().unsubscribe(this);
    FrameClock::shared().unsubscribe(&motionOwner_);
}

bool FieldLayerView::hasMotion(const Node& node) const
{
    auto it = sim_.bodies.find(node.group.key);
    return it != sim_.bodies.end() && hasMotion(node, it->second);
}

bool FieldLayerView::hasMotion(const Node& node, const FieldSim::Body& body)
{
    if (body.alpha <= 0 || shellOpacity(body.form) <= 0)
        return false;
    return node.ticksShown || node.selected || node.flag || node.dots[0] > 0 || node.dots[1] > 0;
}

void FieldLayerView::ensureMotion()
{
    if (!isVisible() || motionTicking())
        return;
    bool any = false;
    bool continuous = false;
    for (const auto& [key, node] : nodes_) {
        if (!hasMotion(node))
            continue;
        any = true;
        continuous = continuous || node.selected || node.flag || node.dots[0] > 0 || node.dots[1] > 0;
    }
    if (!any || (spinSleeping_ && !continuous))
        return;
    spinSleeping_ = false;
    motionTime_ = now();
    FrameClock::shared().subscribe(&motionOwner_, [this](double) { return motionFrame(); });
}

bool FieldLayerView::motionFrame()
{
    RepaintCounter::count("field motion frame");
    spinSleeping_ = false;
    const double t = now();
    const double dt = std::clamp(t - motionTime_, 0.0, 1.5);
    motionTime_ = t;
    bool any = false;
    const double ratio = devicePixelRatioF();
    auto body = sim_.bodies.begin();
    for (auto& [key, node] : nodes_) {
        // Both maps are ordered by key.
        while (body != sim_.bodies.end() && body->first < key)
            ++body;
        if (body == sim_.bodies.end() || body->first != key || !hasMotion(node, body->second))
            continue;
        any = true;
        if (node.ticksShown)
            node.spin = std::fmod(node.spin + dt * spinRate(node.tickSpeed), 2 * std::numbers::pi);
        refreshNode(node, body->second, ratio);
    }
    flushDirty();
    if (!any || !isVisible())
        return false;
    sleepUntilNextStep();
    return true;
}

// Rather than take every frame, snooze on the frame clock until the next
// step of the endless motions. Ticks alone turn slowly and may come a
// little late, sharing a frame with whatever else moves then (the gauge's
// pulse takes one every 60 ms or so). The dots, the ring's dashes and the
// halo's glow all step together, on the dots' whole-pixel steps (about 19 a
// second, at most 30): a busy field then takes one frame and one repaint
// for all of them, however many bubbles move. Those may come a frame or two
// late as well, so that the window takes one frame, not two, when the
// gauge's pulse comes soon after: a dot then steps two pixels at once.
void FieldLayerView::sleepUntilNextStep()
{
    const double ratio = devicePixelRatioF();
    const double t = now();
    double ticks = 1;
    bool continuous = false;
    for (const auto& [key, node] : nodes_) {
        if (!hasMotion(node))
            continue;
        continuous = continuous || node.selected || node.flag || node.dots[0] > 0 || node.dots[1] > 0;
        if (!node.ticksShown)
            continue;
        const double rim = spinRim(node.radius) * ratio / spinStep;
        const double rate = spinRate(node.tickSpeed);
        if (!(rim > 0) || !(rate > 0))
            continue;
        const double next = (std::floor(node.spin * rim) + 1) / rim;
        ticks = std::min(ticks, (next - node.spin) / rate);
    }
    spinSleeping_ = !continuous;
    if (spinSleeping_) {
        FrameClock::shared().snooze(&motionOwner_, std::max(0.0, ticks) + 1e-4, spinSlack);
        return;
    }
    // The others all step on the dots' steps, and the ticks ride on them:
    // one frame and one repaint for all of them, shared with the column's
    // when one comes a little later.
    const double period = std::max(1 / (flowRate * ratio), motionInterval);
    const double next = (std::floor(t / period) + 1) * period - t;
    FrameClock::shared().snooze(&motionOwner_, next + 1e-4, flowSlack);
}

bool FieldLayerView::simFrame()
{
    RepaintCounter::count("field simulation frame");
    if (width() <= 20)
        return false;
    if (!entered_) {
        if (groups_.empty())
            return false;
        enter();
    }
    trackPointer();
    sim_.step(groups_, QSizeF(size()), now());

    bool scaling = false;
    const double ratio = devicePixelRatioF();
    for (auto& [key, node] : nodes_) {
        scaling = node.scale.step(FrameClock::interval) || scaling;
        auto it = sim_.bodies.find(key);
        if (it == sim_.bodies.end())
            continue;
        const FieldSim::Body& body = it->second;
        if (!node.hasIcon && iconOpacity(body.form) > 0) {
            node.hasIcon = true;
            QPixmap icon(QSize(int(std::ceil(iconEdge * ratio)), int(std::ceil(iconEdge * ratio))));
            icon.setDevicePixelRatio(ratio);
            icon.fill(Qt::transparent);
            QPainter ip(&icon);
            ip.setRenderHint(QPainter::SmoothPixmapTransform);
            ProcessIcon::paint(ip, QRectF(0, 0, iconEdge, iconEdge), iconEdge,
                               Icons::letter(node.group.name), node.group.bundlePath);
            ip.end();
            node.icon = icon;
        }
        resizeNode(node, body.r, false);
        refreshNode(node, body, ratio);
    }

    if (phase_ == Phase::live && entered_) {
        const bool flying = std::any_of(sim_.bodies.begin(), sim_.bodies.end(),
                                        [](const auto& e) { return e.second.flight.has_value(); });
        if (!flying)
            setCovering(true);
    }
    ensureMotion();
    flushDirty();
    return !sim_.settled || scaling;
}

void FieldLayerView::setCovering(bool covering)
{
    if (covering == covering_)
        return;
    covering_ = covering;
    WidgetOpacity::claimGround(this, covering);
    update();
    emit coveringChanged(covering);
}

// ---- model

void FieldLayerView::apply(const std::vector<GroupSample>& groups,
                           const QHash<QString, Severity>& flags,
                           const std::optional<QString>& selection, int threadLimit)
{
    groups_ = groups;
    flags_ = flags;
    selection_ = selection;
    threadLimit_ = threadLimit;

    QSet<QString> seen;
    for (const GroupSample& g : groups) {
        seen.insert(g.key);
        auto it = nodes_.try_emplace(g.key).first;
        it->second.group = g;
        style(it->second);
    }
    for (auto it = nodes_.begin(); it != nodes_.end();) {
        if (seen.contains(it->first)) {
            ++it;
            continue;
        }
        if (it->second.drawn.box.isValid())
            update(it->second.drawn.box.toAlignedRect());
        it = nodes_.erase(it);
        labelsDirty_ = true;
    }
    if (tipKey_ && !nodes_.contains(*tipKey_))
        hideTip();
    flushDirty();
    wake();
    ensureMotion();
}

void FieldLayerView::style(Node& node)
{
    const GroupSample& g = node.group;
    // Colours as the canvas stores them: a change finer than a colour
    // level draws the same pixels.
    const auto look = [](const Node& n) {
        return std::tuple(n.fill.rgba(), n.stroke.rgba(), n.strokeWidth, n.tickColor.rgba(), n.tickCount,
                          n.ticksShown, n.selected, n.flag, n.dots[0] > 0 || n.dots[1] > 0);
    };
    const auto before = look(node);

    const bool emphasised = (selection_ && *selection_ == g.key) || (hovered_ && *hovered_ == g.key);
    const FieldStyle::Disc disc = FieldStyle::disc(g.cpu, emphasised);
    if (disc.fill.rgba() != node.fill.rgba() || disc.stroke.rgba() != node.stroke.rgba()
        || disc.width != node.strokeWidth)
        node.discRadius = -1;
    node.fill = disc.fill;
    node.stroke = disc.stroke;
    node.strokeWidth = disc.width;
    node.tickColor = FieldStyle::ticks(g.threads, threadLimit_);
    node.tickSpeed = FieldStyle::tickSpeed(g.cpu);
    node.tickCount = FieldStyle::tickCount(g.threads);
    node.ticksShown = node.radius > 0 && FieldStyle::ticksShown(node.tickCount, node.radius);
    node.selected = selection_ && *selection_ == g.key;
    auto flag = flags_.find(g.key);
    node.flag = flag == flags_.end() ? std::nullopt : std::optional<Severity>(*flag);
    const int dotsWere[2] = {node.dots[0], node.dots[1]};
    node.dots[0] = FieldStyle::dots(g.netIn);
    node.dots[1] = FieldStyle::dots(g.netOut);
    const QString detail = FieldStyle::detailText(g);
    if (detail != node.detailText || g.name != node.nameText) {
        // The labels are placed again; only those that change repaint.
        node.detailText = detail;
        node.nameText = g.name;
        measureLabels(node);
    }
    // Colours change the picture without moving anything; a sample that
    // changes neither them nor the figures repaints nothing, and one that
    // changes only the figures repaints only their line.
    if (look(node) != before) {
        node.drawn.stale = true;
    } else {
        // Traffic that changes pace but goes on changes only the dots: the
        // pixels of the old ones and of the new.
        if (!node.drawn.stale && node.drawn.box.isValid()
            && (node.dots[0] != dotsWere[0] || node.dots[1] != dotsWere[1])) {
            markDots(node, dotsWere);
            markDots(node, node.dots);
        }
    }
    refreshNode(node);
}

// A box in the bubble's own units on the canvas, as the bubble was last
// drawn, with room for antialiasing.
QRectF FieldLayerView::onCanvas(const Node& node, const QRectF& local) const
{
    const QRectF grown = local.adjusted(-3, -3, 3, 3);
    const double s = node.drawn.scale;
    return {node.drawn.pos + grown.topLeft() * s, grown.size() * s};
}

// The name in the bubble's own units, as it is drawn.
QRectF FieldLayerView::nameRect(const Node& node, double r)
{
    const QRectF nf = FieldStyle::nameFrame(r, node.nameSize.value_or(0));
    const QSizeF ns = node.name.size();
    return {QPointF(std::round(-ns.width() / 2), std::round(nf.center().y() - ns.height() / 2)), ns};
}

// The line of figures in the bubble's own units, as it is drawn.
QRectF FieldLayerView::detailRect(const Node& node, double r)
{
    const QRectF df = FieldStyle::detailFrame(r);
    const QSizeF ds = node.detail.size();
    return {QPointF(std::round(-ds.width() / 2), std::round(df.center().y() - ds.height() / 2)), ds};
}

void FieldLayerView::resizeNode(Node& node, double r, bool force)
{
    if (!force && std::abs(r - node.radius) <= 0.4)
        return;
    const GroupSample& g = node.group;
    node.radius = r;
    node.tickCount = FieldStyle::tickCount(g.threads);
    node.ticksShown = FieldStyle::ticksShown(node.tickCount, r);
    const std::optional<double> size = FieldStyle::nameSize(r);
    if (size != node.nameSize) {
        node.nameSize = size;
        // Laid out again in the new face; the whole bubble repaints anyway.
        node.nameShown.clear();
        node.name = {};
        node.nameArt = {};
        measureLabels(node);
    }
    node.dots[0] = FieldStyle::dots(g.netIn);
    node.dots[1] = FieldStyle::dots(g.netOut);
}

void FieldLayerView::measureLabels(Node& node)
{
    labelsDirty_ = true;
    if (!node.nameSize)
        return;
    const QFontMetricsF name(nameFont(*node.nameSize));
    node.nameWidth = name.horizontalAdvance(node.nameText);
    node.nameHeight = name.height();
    node.detailWidth = QFontMetricsF(detailFont()).horizontalAdvance(node.detailText);
}

// Which labels show, and how far cut, where the bubbles were last drawn.
// Run when one moved or changed its texts; a label that changes repaints
// its old and new pixels.
void FieldLayerView::placeLabels()
{
    labelsDirty_ = false;
    using LabelPlacement::Line;
    std::vector<LabelPlacement::Bubble> bubbles;
    std::vector<Node*> owners;
    const double detailHeight = QFontMetricsF(detailFont()).height();
    for (auto& [key, node] : nodes_) {
        const Drawn& d = node.drawn;
        if (!d.box.isValid() || d.r <= 0 || d.alpha <= 0 || shellOpacity(d.form) <= 0) {
            // Not drawn: its labels are placed afresh when it shows again.
            node.nameShown.clear();
            node.detailShown.clear();
            continue;
        }
        LabelPlacement::Bubble b;
        b.centre = d.pos;
        b.radius = d.r * d.scale;
        if (node.nameSize) {
            const QRectF nf = FieldStyle::nameFrame(d.r, *node.nameSize);
            const QRectF df = FieldStyle::detailFrame(d.r);
            b.name = Line{node.nameText,
                          node.nameWidth,
                          nf.width(),
                          std::round(nf.center().y() - node.nameHeight / 2),
                          node.nameHeight,
                          *node.nameSize,
                          false};
            b.value = Line{node.detailText, node.detailWidth, df.width(),
                           std::round(df.center().y() - detailHeight / 2), detailHeight, 0, true};
        }
        bubbles.push_back(b);
        owners.push_back(&node);
    }
    // Ranked by size; of two alike, the one first by key.
    std::vector<std::size_t> bySize(bubbles.size());
    for (std::size_t i = 0; i < bySize.size(); ++i)
        bySize[i] = i;
    std::stable_sort(bySize.begin(), bySize.end(),
                     [&](std::size_t a, std::size_t b) { return bubbles[a].radius > bubbles[b].radius; });
    for (std::size_t k = 0; k < bySize.size(); ++k)
        bubbles[bySize[k]].rank = int(k);

    const QFontMetricsF detail(detailFont());
    std::map<double, QFontMetricsF> names;
    // A label that gives way on one frame mostly gives way alike on the
    // next: the widths of its shorter forms are kept.
    if (shortWidths_.size() > 4096)
        shortWidths_.clear();
    const auto measure = [&](const Line& line, const QString& text) {
        const auto key = std::pair(line.words ? 0.0 : line.size, text);
        if (auto known = shortWidths_.find(key); known != shortWidths_.end())
            return known->second;
        double width = 0;
        if (line.words) {
            width = detail.horizontalAdvance(text);
        } else {
            auto it = names.find(line.size);
            if (it == names.end())
                it = names.emplace(line.size, QFontMetricsF(nameFont(line.size))).first;
            width = it->second.horizontalAdvance(text);
        }
        shortWidths_.emplace(key, width);
        return width;
    };
    std::vector<QRectF> taken;
    if (keepOut_.isValid())
        taken.push_back(keepOut_);
    const std::vector<LabelPlacement::Shown> shown = LabelPlacement::place(bubbles, rect(), taken, measure);

    for (std::size_t i = 0; i < owners.size(); ++i) {
        Node& node = *owners[i];
        const double r = node.drawn.r;
        if (shown[i].name != node.nameShown) {
            if (!node.nameShown.isEmpty())
                dirtyTiles().add(onCanvas(node, nameRect(node, r)));
            node.nameShown = shown[i].name;
            node.name = plain(node.nameShown);
            if (node.nameSize)
                node.name.prepare(QTransform(), nameFont(*node.nameSize));
            node.nameArt = {};
            if (!node.nameShown.isEmpty())
                dirtyTiles().add(onCanvas(node, nameRect(node, r)));
        }
        if (shown[i].value != node.detailShown) {
            if (!node.detailShown.isEmpty())
                dirtyTiles().add(onCanvas(node, detailRect(node, r)));
            node.detailShown = shown[i].value;
            node.detail = plain(node.detailShown);
            node.detail.prepare(QTransform(), detailFont());
            node.detailArt = {};
            if (!node.detailShown.isEmpty())
                dirtyTiles().add(onCanvas(node, detailRect(node, r)));
        }
    }
}

// ---- phases

void FieldLayerView::transition(bool fromRows, Phase phase)
{
    fromRows_ = fromRows;
    if (phase != phase_) {
        phase_ = phase;
        if (entered_)
            begin(phase);
        return;
    }
    if (phase == Phase::toRows && entered_ && sim_.collapse) {
        if (auto rows = rowPoints()) {
            sim_.collapse->anchors = rows->visible;
            sim_.collapse->away = rows->away;
            wake();
        }
    }
}

void FieldLayerView::enter()
{
    entered_ = true;
    std::map<QString, QPointF> rows;
    if (fromRows_)
        if (auto points = rowPoints())
            rows = points->visible;
    sim_.enter(groups_, QSizeF(size()), rows, layoutHint(), now());
    hideRowIcons(rows);
    if (phase_ != Phase::live)
        begin(phase_);
}

void FieldLayerView::hideRowIcons(const std::map<QString, QPointF>& rows)
{
    if (!monitor_ || !monitor_->rowIconHider)
        return;
    QSet<QString> keys;
    for (const auto& [key, point] : rows)
        if (sim_.bodies.contains(key))
            keys.insert(key);
    monitor_->rowIconHider(keys);
}

void FieldLayerView::begin(Phase phase)
{
    switch (phase) {
    case Phase::live:
        sim_.resumeLive(now());
        break;
    case Phase::toRows: {
        saveLayout();
        const std::optional<Rows> rows = rowPoints();
        setHover(std::nullopt);
        release();
        hideTip();
        sim_.beginCollapse(rows ? rows->visible : std::map<QString, QPointF>{},
                           rows ? rows->away : std::map<QString, double>{}, now());
        hideRowIcons(rows ? rows->visible : std::map<QString, QPointF>{});
        break;
    }
    case Phase::dissolve:
        saveLayout();
        setHover(std::nullopt);
        release();
        hideTip();
        sim_.beginDissolve(QSizeF(size()), now());
        break;
    }
    if (phase != Phase::live)
        setCovering(false);
    wake();
}

std::optional<FieldLayerView::Rows> FieldLayerView::rowPoints() const
{
    if (!window() || !monitor_ || !monitor_->rowAnchorSource)
        return std::nullopt;
    const std::optional<Monitor::RowAnchors> anchors = monitor_->rowAnchorSource();
    if (!anchors)
        return std::nullopt;
    const QWidget* top = window();
    QHash<QString, QPointF> points;
    for (auto it = anchors->points.begin(); it != anchors->points.end(); ++it)
        points.insert(it.key(), mapFrom(top, it.value()));
    const QRectF clip(mapFrom(top, anchors->clip.topLeft()), anchors->clip.size());
    FieldStyle::RowPoints found = FieldStyle::rowPoints(points, clip);
    return Rows{std::move(found.visible), std::move(found.away)};
}

void FieldLayerView::saveLayout()
{
    if (!entered_ || width() <= 20 || sim_.bodies.empty() || !monitor_)
        return;
    Monitor::FieldLayout layout;
    if (!sim_.collapse && !sim_.dissolve) {
        for (const auto& [key, b] : sim_.bodies)
            layout.points.insert(key, b.flight ? b.flight->to : b.pos);
    } else {
        for (const auto& [key, home] : sim_.homes)
            layout.points.insert(key, home);
    }
    layout.size = QSizeF(size());
    monitor_->fieldLayout = layout;
}

std::map<QString, QPointF> FieldLayerView::layoutHint() const
{
    std::map<QString, QPointF> hint;
    if (!monitor_)
        return hint;
    const Monitor::FieldLayout& saved = monitor_->fieldLayout;
    if (saved.size.width() <= 20 || saved.size.height() <= 0)
        return hint;
    const double sx = width() / saved.size.width();
    const double sy = height() / saved.size.height();
    for (auto it = saved.points.begin(); it != saved.points.end(); ++it)
        hint.emplace(it.key(), QPointF(it.value().x() * sx, it.value().y() * sy));
    return hint;
}

// ---- repaint bookkeeping

FieldLayerView::Steps FieldLayerView::motionSteps(const Node& node, const FieldSim::Body& body,
                                                  double ratio) const
{
    Steps steps;
    if (!hasMotion(node, body))
        return steps;
    if (node.ticksShown)
        steps.spin = static_cast<long long>(
            std::floor(node.spin * spinRim(node.radius > 0 ? node.radius : body.r) * ratio / spinStep));
    if (node.selected)
        steps.march = static_cast<long long>(std::floor(FieldStyle::marchPhase(motionTime_) * ratio));
    if (node.flag)
        steps.throb = static_cast<long long>(std::floor(FieldStyle::throb(motionTime_) * 48));
    if (node.dots[0] > 0 || node.dots[1] > 0)
        steps.flow = static_cast<long long>(
            std::floor(motionTime_ * flowRate * ratio));
    return steps;
}

FieldLayerView::Drawn FieldLayerView::drawnState(const Node& node, const FieldSim::Body& body,
                                                 double ratio) const
{
    Drawn d;
    d.pos = body.pos;
    d.r = node.radius > 0 ? node.radius : body.r;
    d.alpha = body.alpha;
    d.form = body.form;
    d.scale = node.scale.value();
    d.steps = motionSteps(node, body, ratio);
    d.stale = false;
    const bool dots = node.dots[0] > 0 || node.dots[1] > 0;
    const double reach = std::max(dots ? body.r + 34 : body.r + 10, iconEdge / 2 + 2)
        * std::max(1.05, d.scale);
    if (body.alpha > 0)
        d.box = square(body.pos, reach);
    return d;
}

DirtyTiles& FieldLayerView::dirtyTiles()
{
    if (dirty_.size() != size()) {
        // A new size repaints everything anyway.
        dirty_.resize(size());
    }
    return dirty_;
}

void FieldLayerView::flushDirty()
{
    if (labelsDirty_)
        placeLabels();
    if (dirty_.empty())
        return;
    update(dirty_.region());
    dirty_.clear();
}

// The ticks as drawn now, each with its antialiased edge.
void FieldLayerView::markTicks(const Node& node)
{
    if (!node.ticksShown || node.tickCount < 1)
        return;
    DirtyTiles& tiles = dirtyTiles();
    const QPointF at = node.drawn.pos;
    const double s = node.drawn.scale;
    const double r = node.drawn.r;
    for (int k = 0; k < node.tickCount; ++k) {
        const QLineF mark = tickMark(node.spinAt, k, node.tickCount, r);
        tiles.add(QRectF(at + mark.p1() * s, at + mark.p2() * s).normalized().adjusted(-1.5, -1.5, 1.5, 1.5));
    }
}

// The dots as drawn now, `counts` of them in and out.
void FieldLayerView::markDots(const Node& node, const int (&counts)[2])
{
    DirtyTiles& tiles = dirtyTiles();
    const double s = node.drawn.scale;
    const double reach = dotReach * s;
    for (int slot = 0; slot < 2; ++slot)
        for (int k = 0; k < counts[slot]; ++k) {
            const FieldStyle::Dot d = FieldStyle::dot(slot, k, counts[slot], node.drawn.r, node.flowAt);
            if (d.opacity <= 0)
                continue;
            tiles.add(square(node.drawn.pos + d.centre * s, reach));
        }
}

void FieldLayerView::refreshNode(Node& node)
{
    auto it = sim_.bodies.find(node.group.key);
    if (it != sim_.bodies.end())
        refreshNode(node, it->second, devicePixelRatioF());
}

void FieldLayerView::refreshNode(Node& node, const FieldSim::Body& body, double ratio)
{
    const Drawn next = drawnState(node, body, ratio);
    // A resting field still creeps by hundredths of a pixel as samples
    // come in. The bubble stays drawn where it was until it has moved by a
    // quarter of a pixel from there, so creep cannot add up unseen, and
    // every repaint of a piece of it, meanwhile, draws it in that place.
    const bool still = std::abs(next.pos.x() - node.drawn.pos.x()) <= restDrift
        && std::abs(next.pos.y() - node.drawn.pos.y()) <= restDrift && next.r == node.drawn.r
        && next.alpha == node.drawn.alpha && next.form == node.drawn.form && next.scale == node.drawn.scale
        && !node.drawn.stale;
    if (still && next.steps == node.drawn.steps)
        return;
    ++repaints_;
    if (still && node.radius > 0) {
        RepaintCounter::count("field motion step");
        // Only the endless motions moved, all outside the disc: repaint the
        // pixels each one left and takes, nothing else.
        const Steps was = node.drawn.steps;
        node.drawn.steps = next.steps;
        if (next.steps.spin != was.spin) {
            markTicks(node);
            node.spinAt = node.spin;
            markTicks(node);
        }
        if (next.steps.flow != was.flow) {
            markDots(node, node.dots);
            node.flowAt = motionTime_;
            markDots(node, node.dots);
        }
        if (next.steps.march != was.march || next.steps.throb != was.throb) {
            node.marchAt = node.throbAt = motionTime_;
            // The ring and the halo: their box less the square inside the disc.
            const double s = node.drawn.scale;
            const double outer = (node.drawn.r + haloReach) * s;
            const double inner = ((node.drawn.r + 1.5) / std::numbers::sqrt2 - 2) * s;
            dirtyTiles().addFrame(square(node.drawn.pos, outer), square(node.drawn.pos, inner));
        }
        return;
    }
    RepaintCounter::count("field whole bubble");
    node.spinAt = node.spin;
    node.flowAt = node.marchAt = node.throbAt = motionTime_;
    QRectF dirty = next.box;
    if (node.drawn.box.isValid())
        dirty = dirty.isValid() ? dirty.united(node.drawn.box) : node.drawn.box;
    node.drawn = next;
    labelsDirty_ = true;
    if (dirty.isValid())
        update(dirty.toAlignedRect().adjusted(-1, -1, 1, 1));
    else
        --repaints_;
}

// ---- painting

void FieldLayerView::paintEvent(QPaintEvent* event)
{
    RepaintCounter::count("field");
    QPainter p(this);
    // The dirty rectangles of one frame lie scattered over the canvas; their
    // bounding box would often be all of it.
    const QRegion& region = event->region();
    // The ground: one fill covers the rectangles of several of the
    // region's bands, for a fill is cheap in pixels and dear in calls, and
    // the painter's clip leaves the gaps alone. The clip hands the engine
    // one run per row and rectangle; a fill stops short of the thread
    // pool's threshold of them. Filling a pixel twice does no harm.
    if (covering_) {
        QRect block;
        int widest = 0, inBand = 0, bandTop = -1;
        for (const QRect& r : region) {
            if (r.top() != bandTop) {
                bandTop = r.top();
                inBand = 0;
            }
            ++inBand;
            if (block.isValid()) {
                const QRect grown = block.united(r);
                const int across = std::max(widest, inBand);
                if (grown.height() <= blitBand && grown.height() * across <= maxRuns) {
                    block = grown;
                    widest = across;
                    continue;
                }
                Banded::fillRect(p, block, Theme::bg());
            }
            block = r;
            widest = inBand = 1;
        }
        if (block.isValid())
            Banded::fillRect(p, block, Theme::bg());
    }
    p.setRenderHint(QPainter::Antialiasing);
    // Each shape is drawn only where it meets the area.
    paintArea_.resize(size());
    paintArea_.add(region);

    // Larger bubbles lie behind smaller ones.
    std::vector<std::pair<const Node*, const FieldSim::Body*>> order;
    order.reserve(nodes_.size());
    auto body = sim_.bodies.begin();
    for (const auto& [key, node] : nodes_) {
        // Both maps are ordered by key.
        while (body != sim_.bodies.end() && body->first < key)
            ++body;
        if (body == sim_.bodies.end() || body->first != key || body->second.alpha <= 0)
            continue;
        if (!paintArea_.intersects(node.drawn.box))
            continue;
        order.emplace_back(&node, &body->second);
    }
    std::stable_sort(order.begin(), order.end(),
                     [](const auto& a, const auto& b) { return a.second->r > b.second->r; });
    for (const auto& [node, b] : order)
        paintNode(p, *node, *b, paintArea_);
    if (tipKey_ && region.intersects(tipBox_.toAlignedRect()))
        paintTip(p);
}

void FieldLayerView::paintNode(QPainter& p, const Node& node, const FieldSim::Body& body,
                               const DirtyTiles& area) const
{
    // As last wholly repainted: where it stood, at the radius its paths
    // and labels were sized for, and at its scale.
    const QPointF at = node.drawn.pos;
    const double r = node.drawn.r;
    const double s = node.drawn.scale;
    // Whether a box around the centre, in the bubble's own units, meets
    // the area being painted.
    const auto meets = [&](const QRectF& local) {
        return area.intersects(QRectF(at + local.topLeft() * s, local.size() * s));
    };
    p.save();
    p.translate(at);
    if (s != 1)
        p.scale(s, s);

    const double shell = shellOpacity(body.form) * body.alpha;
    if (shell > 0) {
        p.setOpacity(shell);
        if (node.flag && meets(square(QPointF(), r + haloReach))) {
            const QColor halo = FieldStyle::halo(*node.flag);
            const double glow = FieldStyle::throb(node.throbAt);
            if (s == 1) {
                // The ring drawn once, at full strength; the glow is its
                // opacity.
                p.setOpacity(shell * glow);
                const QPixmap& ring = haloArt(node, r, halo);
                const double half = ring.width() / ring.devicePixelRatio() / 2;
                Banded::drawPixmap(p, -QPointF(half, half), ring);
                p.setOpacity(shell);
            } else {
                p.setBrush(Qt::NoBrush);
                p.setPen(QPen(Theme::flatBrush(withAlpha(halo, glow)), 2));
                p.drawEllipse(QPointF(), r + 7, r + 7);
            }
        }
        const QPixmap& disc = discArt(node, r);
        const double ratio = disc.devicePixelRatio();
        const double half = disc.width() / ratio / 2;
        // In bands: Qt's raster engine sends a blit of more than about a
        // hundred lines to its thread pool and waits for it, which costs
        // more in wake-ups than the copy.
        const QRectF whole(-half, -half, disc.width() / ratio, disc.height() / ratio);
        // Only the rows and columns of the disc the area meets, in whole
        // pixels of the picture.
        QRect part(0, 0, disc.width(), disc.height());
        const bool partial = !area.full() && s == 1;
        if (partial) {
            const QRectF on = area.bounds(QRectF(at + whole.topLeft(), whole.size()).adjusted(-1, -1, 1, 1));
            if (on.isEmpty())
                part = QRect();
            else
                part = QRectF((on.topLeft() - at - whole.topLeft()) * ratio, on.size() * ratio)
                           .toAlignedRect()
                           .adjusted(-1, -1, 1, 1)
                           .intersected(part);
        }
        for (int y = part.top(); y <= part.bottom();) {
            int rows = std::min(blitBand, part.bottom() + 1 - y);
            QRectF source(part.left(), y, part.width(), rows);
            QRectF target(whole.topLeft() + source.topLeft() / ratio, source.size() / ratio);
            if (partial) {
                // As many rows as keep the copy's runs (rows times the clip's
                // rectangles on a row) under the thread pool's threshold:
                // each call costs more than the pixels it copies.
                const int runs = area.runs(QRectF(at + target.topLeft(), target.size()));
                if (runs * rows > maxRuns) {
                    rows = std::max(1, maxRuns / runs);
                    source.setHeight(rows);
                    target.setHeight(rows / ratio);
                }
            }
            if (meets(target.adjusted(-1, -1, 1, 1)))
                p.drawPixmap(target.topLeft(), disc, source);
            y += rows;
        }

        if (node.ticksShown) {
            const int n = node.tickCount;
            QVarLengthArray<QLineF, 72> marks;
            for (int k = 0; k < n; ++k) {
                const QLineF mark = tickMark(node.spinAt, k, n, r);
                if (meets(QRectF(mark.p1(), mark.p2()).normalized().adjusted(-1.5, -1.5, 1.5, 1.5)))
                    marks.append(mark);
            }
            if (!marks.isEmpty()) {
                // Unscaled, a one-pixel pen takes the painter's thin-line
                // path, which blends as it goes; scaled, the marks become
                // one filled outline, which a flat gradient keeps off the
                // raster engine's thread pool.
                const QBrush ink = s == 1 ? QBrush(node.tickColor) : Theme::flatBrush(node.tickColor);
                p.setPen(QPen(ink, 1, Qt::SolidLine, Qt::FlatCap));
                p.drawLines(marks.data(), int(marks.size()));
            }
        }
        if (node.selected && meets(square(QPointF(), r + ringReach))) {
            QPen ring(Theme::flatBrush(withAlpha(Theme::text(), 0.5)), 1);
            // Dash lengths are in pen widths; the width is 1.
            ring.setDashPattern({3, 4});
            ring.setDashOffset(-FieldStyle::marchPhase(node.marchAt));
            p.setBrush(Qt::NoBrush);
            p.setPen(ring);
            p.drawEllipse(QPointF(), r + 4, r + 4);
        }
        if (node.nameSize && !node.nameShown.isEmpty()) {
            const QRectF name = nameRect(node, r);
            if (meets(name.adjusted(-3, -3, 3, 3)))
                drawLabel(p, name.topLeft(), node.name, nameFont(*node.nameSize), Theme::text(), node.nameArt);
        }
        if (node.nameSize && !node.detailShown.isEmpty()) {
            const QRectF detail = detailRect(node, r);
            if (meets(detail.adjusted(-3, -3, 3, 3)))
                drawLabel(p, detail.topLeft(), node.detail, detailFont(), Theme::dim(), node.detailArt);
        }
        if (node.dots[0] > 0 || node.dots[1] > 0)
            paintDots(p, node, shell, area);
    }
    const double icon = iconOpacity(body.form) * body.alpha;
    if (icon > 0 && !node.icon.isNull() && meets(square(QPointF(), iconEdge / 2 + 1))) {
        p.setOpacity(icon);
        p.drawPixmap(QPointF(-iconEdge / 2, -iconEdge / 2), node.icon);
    }
    p.restore();
}

void FieldLayerView::paintDots(QPainter& p, const Node& node, double shell, const DirtyTiles& area) const
{
    const double r = node.drawn.r;
    const double s = node.drawn.scale;
    const QTransform world = p.worldTransform();
    const double ratio = p.device()->devicePixelRatio();
    // Unscaled bubbles copy their dots in whole device pixels; a bubble
    // growing under the pointer fills them, at sizes no copy was made for.
    const bool copies = world.type() <= QTransform::TxTranslate;
    if (copies)
        p.setWorldTransform(QTransform::fromScale(1 / ratio, 1 / ratio));
    else
        p.setPen(Qt::NoPen);
    const double reach = dotReach * s;
    for (int slot = 0; slot < 2; ++slot) {
        const int count = node.dots[slot];
        if (count < 1)
            continue;
        const QColor color = withAlpha(Theme::net(), slot == 0 ? 1.0 : 0.6);
        if (!copies)
            p.setBrush(color);
        for (int k = 0; k < count; ++k) {
            const FieldStyle::Dot d = FieldStyle::dot(slot, k, count, r, node.flowAt);
            if (d.opacity <= 0)
                continue;
            const QRectF box = square(node.drawn.pos + d.centre * s, reach);
            if (!area.intersects(box) || keepOut_.intersects(box))
                continue;
            p.setOpacity(shell * d.opacity);
            if (copies)
                dotSprites_.draw(p, color, dotRadius * ratio, world.map(d.centre) * ratio);
            else
                p.drawEllipse(d.centre, dotRadius, dotRadius);
        }
    }
    if (copies)
        p.setWorldTransform(world);
}

const QPixmap& FieldLayerView::discArt(const Node& node, double r) const
{
    const double ratio = devicePixelRatioF();
    if (node.discRadius == r && !node.discArt.isNull() && node.discArt.devicePixelRatio() == ratio)
        return node.discArt;
    // Flat gradients keep the fill of a large disc on this thread.
    node.discArt = circlePicture(std::ceil(r + node.strokeWidth / 2 + 1), ratio, r, Theme::flatBrush(node.fill),
                                 QPen(Theme::flatBrush(node.stroke), node.strokeWidth));
    node.discRadius = r;
    return node.discArt;
}

const QPixmap& FieldLayerView::haloArt(const Node& node, double r, const QColor& color) const
{
    const double ratio = devicePixelRatioF();
    Art& art = node.haloArt;
    if (art.radius == r && art.color == color.rgba() && !art.picture.isNull()
        && art.picture.devicePixelRatio() == ratio)
        return art.picture;
    art = {circlePicture(std::ceil(r + haloReach), ratio, r + 7, Qt::NoBrush, QPen(Theme::flatBrush(color), 2)),
           color.rgba(), r};
    return art.picture;
}

void FieldLayerView::paintTip(QPainter& p) const
{
    p.save();
    p.setOpacity(1);
    p.setPen(QPen(Theme::flatBrush(Theme::line()), 1));
    p.setBrush(Theme::flatBrush(Theme::raised()));
    p.drawRoundedRect(tipBox_.adjusted(0.5, 0.5, -0.5, -0.5), 5, 5);
    p.setFont(tipFont());
    p.setPen(Theme::text());
    const QSizeF ts = tipLayout_.size();
    p.drawStaticText(QPointF(std::round(tipBox_.center().x() - ts.width() / 2),
                             std::round(tipBox_.center().y() - ts.height() / 2)),
                     tipLayout_);
    p.restore();
}

// ---- widget events

void FieldLayerView::setInset(const QMarginsF& inset)
{
    if (inset == sim_.inset)
        return;
    sim_.inset = inset;
    wake();
}

void FieldLayerView::setKeepOut(const QRectF& rect)
{
    if (rect == keepOut_)
        return;
    keepOut_ = rect;
    labelsDirty_ = true;
    flushDirty();
    update();
}

void FieldLayerView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    labelsDirty_ = true;
    wake();
}

void FieldLayerView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    wake();
    ensureMotion();
}

void FieldLayerView::hideEvent(QHideEvent* event)
{
    stopClocks();
    QWidget::hideEvent(event);
}

// ---- pointer

void FieldLayerView::trackPointer()
{
    if (phase_ != Phase::live)
        return;
    if (!simulatedBubble_.isEmpty() && monitor_) {
        const double since = now() - InteractionHold::launch();
        if (simulatedUntil_ <= 0 || since < simulatedUntil_) {
            for (const GroupSample& g : groups_) {
                if (g.name != simulatedBubble_)
                    continue;
                auto it = sim_.bodies.find(g.key);
                if (it != sim_.bodies.end() && !it->second.flight)
                    hover(it->second.pos, g.key);
                return;
            }
            return;
        }
    }
    if (pointerInside_ && !InteractionHold::simulating() && !sim_.dragging) {
        hover(pointer_, std::nullopt);
        return;
    }
    if (!sim_.dragging && (hovered_ || sim_.pinned))
        hover(std::nullopt, std::nullopt);
}

void FieldLayerView::hover(const std::optional<QPointF>& point, const std::optional<QString>& forced)
{
    if (phase_ != Phase::live)
        return;
    std::optional<QString> key = forced;
    if (!key && point)
        key = sim_.hit(*point);
    setHover(key);
    const std::optional<QString> pin = !pinBlocked_ && !sim_.dragging ? key : std::nullopt;
    if (pin != sim_.pinned) {
        sim_.pinned = pin;
        wake();
    }
    if (key && point && nodes_.contains(*key))
        showTip(*key, *point);
    else
        hideTip();
}

void FieldLayerView::showTip(const QString& key, QPointF point)
{
    const QString text = FieldStyle::tooltipText(nodes_.at(key).group);
    const QFontMetricsF metrics(tipFont());
    const QRectF box = FieldStyle::tooltipFrame(point, metrics.horizontalAdvance(text), width());
    if (tipKey_ == key && text == tipText_ && box == tipBox_)
        return;
    if (tipKey_)
        update(tipBox_.toAlignedRect().adjusted(-1, -1, 1, 1));
    tipKey_ = key;
    if (text != tipText_) {
        tipText_ = text;
        tipLayout_ = plain(text);
        tipLayout_.prepare(QTransform(), tipFont());
    }
    tipBox_ = box;
    update(tipBox_.toAlignedRect().adjusted(-1, -1, 1, 1));
}

void FieldLayerView::hideTip()
{
    if (!tipKey_)
        return;
    tipKey_.reset();
    update(tipBox_.toAlignedRect().adjusted(-1, -1, 1, 1));
}

void FieldLayerView::setHover(const std::optional<QString>& key)
{
    if (key == hovered_)
        return;
    const std::optional<QString> old = hovered_;
    hovered_ = key;
    for (const auto& k : {old, key})
        if (k)
            if (auto it = nodes_.find(*k); it != nodes_.end())
                style(it->second);
    if (old && old != pressedKey_)
        setScale(old, 1.0);
    if (key && key != pressedKey_)
        setScale(key, 1.04);
    flushDirty();
}

void FieldLayerView::setScale(const std::optional<QString>& key, double scale)
{
    if (!key)
        return;
    auto it = nodes_.find(*key);
    if (it == nodes_.end())
        return;
    const Animation spring = Animation::spring(Motion::quick() * 1.5, 0.72);
    it->second.scale.setTarget(scale, spring.unless(DesktopSettings::instance().reduceMotion()));
    refreshNode(it->second);
    flushDirty();
    wake();
}

void FieldLayerView::release()
{
    if (!pressedKey_)
        return;
    const QString key = *pressedKey_;
    pressedKey_.reset();
    setScale(key, hovered_ == key ? 1.04 : 1.0);
}

void FieldLayerView::enterEvent(QEnterEvent* event)
{
    pointerInside_ = true;
    QWidget::enterEvent(event);
}

void FieldLayerView::leaveEvent(QEvent* event)
{
    pointerInside_ = false;
    hover(std::nullopt, std::nullopt);
    QWidget::leaveEvent(event);
}

void FieldLayerView::mouseMoveEvent(QMouseEvent* event)
{
    pointer_ = event->position();
    pointerInside_ = true;
    if (event->buttons() & Qt::LeftButton) {
        if (sim_.dragging) {
            sim_.dragPoint = pointer_;
            dragMoved_ = true;
            wake();
        }
        return;
    }
    pinBlocked_ = false;
    hover(pointer_, std::nullopt);
}

void FieldLayerView::mousePressEvent(QMouseEvent* event)
{
    if (phase_ != Phase::live)
        return;
    const QPointF at = event->position();
    if (event->button() == Qt::RightButton) {
        if (!monitor_ || !menuFactory)
            return;
        const std::optional<QString> key = sim_.hit(at);
        if (!key || !nodes_.contains(*key))
            return;
        std::unique_ptr<QMenu> menu(menuFactory(nodes_.at(*key).group, this));
        if (menu)
            menu->exec(event->globalPosition().toPoint());
        return;
    }
    if (event->button() != Qt::LeftButton)
        return;
    sim_.pinned.reset();
    sim_.dragging = sim_.hit(at);
    sim_.dragPoint = at;
    dragMoved_ = false;
    hideTip();
    pressedKey_ = sim_.dragging;
    setScale(pressedKey_, 0.97);
    wake();
}

void FieldLayerView::mouseReleaseEvent(QMouseEvent* event)
{
    if (phase_ != Phase::live || event->button() != Qt::LeftButton)
        return;
    if (!dragMoved_ && onSelect)
        onSelect(sim_.dragging);
    pinBlocked_ = dragMoved_;
    sim_.dragging.reset();
    release();
    wake();
}
