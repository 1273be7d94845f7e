#include "field/capacity_bars.h"

#include "core/l10n.h"
#include "field/repaint_counter.h"
#include "field/trace_geometry.h"
#include "model/monitor.h"
#include "ui/fonts.h"
#include "ui/frame_clock.h"
#include "ui/motion.h"
#include "ui/panel_label.h"
#include "ui/theme.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {

constexpr double lineGap = 4;

QFont countFont()
{
    return Fonts::mono(10.5, QFont::Medium);
}

QFont limitFont()
{
    return Fonts::mono(8.5);
}

void capsule(QPainter& p, const QRectF& r, const QColor& color)
{
    const double radius = r.height() / 2;
    p.setBrush(color);
    p.drawRoundedRect(r, radius, radius);
}

} // namespace

CapacityBars::Model CapacityBars::build(const SystemSample& s)
{
    const QString max = L10n::text("max", "上限");
    const auto bar = [&](const char* en, const char* zh, int64_t count, int64_t limit) {
        return Bar{L10n::text(en, zh), QString::number(count), max + QLatin1Char(' ') + QString::number(limit),
                   TraceGeometry::capacityFraction(count, limit)};
    };
    return Model{{
        bar("FILES", "文件", s.fileCount, s.fileMax),
        bar("THREADS", "线程", s.threadCount, s.threadMax),
        bar("PROCS", "进程", s.procCount, s.procMax),
    }};
}

CapacityBars::Model CapacityBars::build(const Monitor& monitor)
{
    return build(monitor.snapshot().system);
}

double CapacityBars::fillWidth(double fraction, double track)
{
    return std::max(fraction * track, 3.0);
}

CapacityBars::CapacityBars(Monitor& monitor, QWidget* parent) : QWidget(parent), monitor_(monitor)
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    connect(&monitor, &Monitor::snapshotChanged, this, &CapacityBars::scheduleRefresh);
    connect(&monitor, &Monitor::prefsChanged, this, &CapacityBars::scheduleRefresh);
    refresh();
}

CapacityBars::~CapacityBars() = default;

QSize CapacityBars::sizeHint() const
{
    const QFontMetricsF caption(PanelLabel::captionFont());
    const QFontMetricsF count(countFont());
    const QFontMetricsF limit(limitFont());
    const double line = std::max(caption.height(), count.height());
    const double h = line + lineGap + trackHeight + lineGap + limit.height();
    return {200, int(std::ceil(h))};
}

void CapacityBars::scheduleRefresh()
{
    refreshGate_.schedule();
}

void CapacityBars::refresh()
{
    Model next = build(monitor_);
    if (presented_ && next == model_)
        return;
    const bool animate = presented_ && isVisible();
    presented_ = true;
    model_ = std::move(next);
    const Animation easeOut =
        Animation::timing(TimingCurve{0, 0, 0.58, 1}, 0.7 * Motion::timeScale());
    bool moving = false;
    for (int i = 0; i < barCount; ++i) {
        auto& fill = fills_[std::size_t(i)];
        const double target = model_.bars[std::size_t(i)].fraction;
        if (fill.target() == target && !fill.moving())
            continue;
        // A change of a few moves the fill by a device pixel at most and
        // keeps its colour: an ease would show that as one step anyway, so
        // take the step now and keep the frame clock asleep.
        const auto from = lookAt(fill.value());
        const auto to = lookAt(target);
        const bool slight = !fill.moving() && from.second == to.second
            && std::abs(from.first - to.first) <= 1;
        if (animate && !slight)
            fill.setTarget(target, easeOut);
        else
            fill.set(target);
        moving = moving || fill.moving();
    }
    if (moving)
        FrameClock::shared().subscribe(this, [this](double dt) { return frame(dt); });
    update();
}

bool CapacityBars::frame(double dt)
{
    bool moving = false;
    for (auto& fill : fills_)
        moving = fill.step(dt) || moving;
    // A count that changes by a few moves no fill by a whole device pixel
    // and no colour by a whole step: nothing to repaint.
    if (!moving || drawnLook() != paintedLook_)
        update();
    return moving;
}

std::pair<int, int> CapacityBars::lookAt(double fraction) const
{
    const double ratio = devicePixelRatioF();
    const double track = (width() - spacing * (barCount - 1)) / barCount;
    const double shown = std::clamp(fraction, 0.0, 1.0);
    return {TraceGeometry::roundToInt(fillWidth(shown, track) * ratio),
            int(Theme::heat(shown * 1.2).rgba() & 0xffffff)};
}

std::array<int, 2 * CapacityBars::barCount> CapacityBars::drawnLook() const
{
    std::array<int, 2 * barCount> look{};
    for (int i = 0; i < barCount; ++i) {
        const auto [widthPx, color] = lookAt(shownFraction(i));
        look[std::size_t(2 * i)] = widthPx;
        look[std::size_t(2 * i + 1)] = color;
    }
    return look;
}

void CapacityBars::hideEvent(QHideEvent* event)
{
    // Nothing eases unseen: the bars show their targets when next seen.
    FrameClock::shared().unsubscribe(this);
    for (int i = 0; i < barCount; ++i)
        fills_[std::size_t(i)].set(model_.bars[std::size_t(i)].fraction);
    QWidget::hideEvent(event);
}

void CapacityBars::paintEvent(QPaintEvent*)
{
    RepaintCounter::count("capacity bars");
    paintedLook_ = drawnLook();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QFont caption = PanelLabel::captionFont();
    const QFont count = countFont();
    const QFont limit = limitFont();
    const QFontMetricsF cm(caption), nm(count), lm(limit);
    const double line = std::max(cm.height(), nm.height());
    // Both texts of the first line share one baseline.
    const double baseline = std::max(cm.ascent(), nm.ascent());
    const double barWidth = (width() - spacing * (barCount - 1)) / barCount;
    for (int i = 0; i < barCount; ++i) {
        const Bar& bar = model_.bars[std::size_t(i)];
        const double x = i * (barWidth + spacing);
        p.setFont(caption);
        p.setPen(Theme::faint());
        p.drawText(QPointF(x, baseline), bar.title);
        p.setFont(count);
        p.setPen(Theme::text());
        p.drawText(QPointF(x + barWidth - nm.horizontalAdvance(bar.count), baseline), bar.count);

        const double trackY = line + lineGap;
        p.setPen(Qt::NoPen);
        capsule(p, QRectF(x, trackY, barWidth, trackHeight), Theme::line());
        const double shown = std::clamp(shownFraction(i), 0.0, 1.0);
        capsule(p, QRectF(x, trackY, fillWidth(shown, barWidth), trackHeight),
                Theme::heat(shown * 1.2));

        p.setFont(limit);
        p.setPen(Theme::faint());
        p.drawText(QPointF(x, trackY + trackHeight + lineGap + lm.ascent()), bar.limit);
    }
}
