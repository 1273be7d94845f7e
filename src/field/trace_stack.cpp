#include "field/trace_stack.h"

#include "core/fmt.h"
#include "core/l10n.h"
#include "field/repaint_counter.h"
#include "field/trace_geometry.h"
#include "model/monitor.h"
#include "ui/fonts.h"
#include "ui/panel_label.h"
#include "ui/theme.h"

#include <QPainter>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

using Extract = double (*)(const SystemSample&);

double usedMemory(const SystemSample& s)
{
    return double(s.memApp + s.memWired + s.memCompressed);
}

QString percent(double v)
{
    return QString::number(TraceGeometry::toInt(v * 100)) + QLatin1Char('%');
}

QString bytes(double v)
{
    return Fmt::bytes(v);
}

QString rate(double v)
{
    return Fmt::bytes(v) + QStringLiteral("/s");
}

// The fixed part of a row: what it plots and how a value reads.
struct RowKind {
    const char* en;
    const char* zh;
    std::vector<Extract> extract;
    QString (*format)(double);
    QString SystemSample::*top;
};

const std::array<RowKind, TraceStack::rowCount>& rowKinds()
{
    static const std::array<RowKind, TraceStack::rowCount> table = {{
        {"CPU", "CPU", {[](const SystemSample& s) { return s.cpu; }}, percent,
         &SystemSample::topCPU},
        {"MEMORY", "内存", {usedMemory}, bytes, &SystemSample::topMem},
        {"NETWORK", "网络",
         {[](const SystemSample& s) { return s.netIn; },
          [](const SystemSample& s) { return s.netOut; }},
         rate, &SystemSample::topNet},
        {"DISK", "磁盘",
         {[](const SystemSample& s) { return s.diskRead; },
          [](const SystemSample& s) { return s.diskWrite; }},
         rate, &SystemSample::topDisk},
    }};
    return table;
}

// The last `n` samples of the history, oldest first.
std::pair<std::size_t, std::size_t> tail(const std::vector<SystemSample>& history, int n)
{
    const std::size_t size = history.size();
    const std::size_t first = size > std::size_t(n) ? size - std::size_t(n) : 0;
    return {first, size};
}

double scaleOf(int index, const SystemSample& latest, const std::vector<SystemSample>& history)
{
    if (index == 0)
        return 1.0;
    if (index == 1)
        return double(latest.memTotal);
    const auto [first, end] = tail(history, TraceGeometry::visible);
    double peak = 0;
    for (std::size_t k = first; k < end; ++k) {
        for (Extract f : rowKinds()[std::size_t(index)].extract)
            peak = std::max(peak, f(history[k]));
    }
    return TraceGeometry::ladderScale(peak, end > first);
}

QString valueText(int index, const SystemSample& s)
{
    switch (index) {
    case 0: return percent(s.cpu);
    case 1: return Fmt::bytes(usedMemory(s)) + QStringLiteral(" / ") + Fmt::bytes(double(s.memTotal));
    case 2: return QStringLiteral("↓ ") + rate(s.netIn);
    default: return QStringLiteral("R ") + rate(s.diskRead);
    }
}

QString detailText(int index, const SystemSample& s)
{
    switch (index) {
    case 0:
        return QStringLiteral("usr %1  sys %2")
            .arg(TraceGeometry::toInt(s.cpuUser * 100))
            .arg(TraceGeometry::toInt(s.cpuSystem * 100));
    case 1: {
        const QString swap = QStringLiteral("  swap ") + Fmt::bytes(double(s.swapUsed));
        const QString name = TraceGeometry::pressureName(s.pressure);
        return L10n::isChinese() ? QStringLiteral("压力 ") + name + swap : name + swap;
    }
    case 2: return QStringLiteral("↑ ") + rate(s.netOut);
    default: return QStringLiteral("W ") + rate(s.diskWrite);
    }
}

QFont valueFont()
{
    return Fonts::mono(16, QFont::Medium);
}

QFont detailFont()
{
    return Fonts::mono(9.5);
}

constexpr double lineSpacing = 3;

// The label's three lines at their full sizes: the least a row can take
// without cutting them.
int labelHeight()
{
    const QFontMetricsF t(PanelLabel::captionFont()), v(valueFont()), d(detailFont());
    return int(std::ceil(t.height() + v.height() + d.height() + 2 * lineSpacing));
}

} // namespace

// One row: the title and readings on the left, the trace on the right.
class TraceRow final : public QWidget {
public:
    TraceRow(std::vector<QColor> colors, QWidget* parent)
        : QWidget(parent), color_(colors.front()), trace_(new TraceLayerView(std::move(colors), this))
    {
        // Full height where the column has it; on a short window the
        // trace gives way down to what the label needs.
        setMinimumHeight(std::min(labelHeight(), TraceStack::rowHeight));
        setMaximumHeight(TraceStack::rowHeight);
    }

    TraceLayerView* trace() const { return trace_; }

    void present(const TraceStack::Row& row)
    {
        trace_->apply(row.layer);
        if (row.title == title_ && row.value == value_ && row.detail == detail_)
            return;
        title_ = row.title;
        value_ = row.value;
        detail_ = row.detail;
        // Fitted here, once per change, rather than on every paint.
        const double w = TraceStack::labelWidth;
        valueFit_ = Fonts::shrinkToFit(value_, valueFont(), w, 0.7);
        detailFit_ = Fonts::shrinkToFit(detail_, detailFont(), w, 0.8);
        update(QRect(0, 0, TraceStack::labelWidth, height()));
    }

protected:
    void resizeEvent(QResizeEvent*) override
    {
        const int left = TraceStack::labelWidth + TraceStack::labelGap;
        trace_->setGeometry(left, 0, std::max(0, width() - left), height());
    }

    void paintEvent(QPaintEvent*) override
    {
        RepaintCounter::count("trace row");
        QPainter p(this);
        p.setRenderHint(QPainter::TextAntialiasing);
        const QFont titleFont = PanelLabel::captionFont();
        const Fonts::Fitted& value = valueFit_;
        const Fonts::Fitted& detail = detailFit_;
        const QFontMetricsF t(titleFont), v(value.font), d(detail.font);
        const double spacing = lineSpacing;
        const double total = t.height() + v.height() + d.height() + 2 * spacing;
        double y = std::round((height() - total) / 2);
        const auto line = [&](const QString& text, const QFont& font, const QColor& color,
                              const QFontMetricsF& m) {
            p.setFont(font);
            p.setPen(color);
            p.drawText(QPointF(0, y + m.ascent()), text);
            y += m.height() + spacing;
        };
        line(title_, titleFont, color_, t);
        line(value.text, value.font, Theme::text(), v);
        line(detail.text, detail.font, Theme::dim(), d);
    }

private:
    QColor color_;
    TraceLayerView* trace_;
    QString title_, value_, detail_;
    Fonts::Fitted valueFit_, detailFit_;
};

TraceStack::Model TraceStack::build(const Snapshot& snapshot,
                                    const std::vector<SystemSample>& history, Date sampleDate)
{
    Model model;
    const SystemSample& s = snapshot.system;
    const auto [first, end] = tail(history, TraceGeometry::window);
    const std::vector<SystemSample> window(history.begin() + std::ptrdiff_t(first),
                                           history.begin() + std::ptrdiff_t(end));
    const std::vector<int> ticks = TraceGeometry::ticks(window);
    for (int i = 0; i < rowCount; ++i) {
        const RowKind& kind = rowKinds()[std::size_t(i)];
        Row& row = model.rows[std::size_t(i)];
        row.title = L10n::text(kind.en, kind.zh);
        row.value = valueText(i, s);
        row.detail = detailText(i, s);
        row.scale = scaleOf(i, s, history);
        const double divisor = std::max(row.scale, TraceGeometry::minimumScale);
        for (Extract f : kind.extract) {
            std::vector<double> values;
            values.reserve(window.size());
            for (const SystemSample& sample : window)
                values.push_back(f(sample) / divisor);
            row.layer.series.push_back(std::move(values));
        }
        row.layer.ticks = ticks;
        row.layer.interval = snapshot.interval;
        row.layer.stamp = sampleDate;
    }
    return model;
}

TraceStack::Model TraceStack::build(const Monitor& monitor)
{
    return build(monitor.snapshot(), monitor.history(), monitor.sampleDate());
}

std::vector<QColor> TraceStack::colors(int index)
{
    const auto faded = [](QColor c) {
        c.setAlphaF(0.55f);
        return c;
    };
    switch (index) {
    case 0: return {Theme::cpu()};
    case 1: return {Theme::mem()};
    case 2: return {Theme::net(), faded(Theme::net())};
    default: return {Theme::disk(), faded(Theme::disk())};
    }
}

std::optional<TraceLayerView::Overlay>
TraceStack::overlay(int index, double scale, const std::vector<SystemSample>& history,
                    Date sampleDate, double interval, Date now, QSizeF size, double hoverX)
{
    const int n = int(history.size());
    const double w = size.width();
    const double h = size.height();
    const double frac = TraceGeometry::glideFraction(now, sampleDate, interval);
    const auto hovered = TraceGeometry::hoverIndex(w, hoverX, n, frac);
    if (!hovered)
        return std::nullopt;
    const int index0 = *hovered;
    const SystemSample& sample = history[std::size_t(index0)];
    const RowKind& kind = rowKinds()[std::size_t(index)];
    const std::vector<QColor> palette = colors(index);

    TraceLayerView::Overlay o;
    o.x = TraceGeometry::newestX(w, frac) - TraceGeometry::step(w) * ((n - 1) - index0);
    const auto plot = TraceGeometry::plot(h, int(kind.extract.size()));
    const double s = std::max(scale, TraceGeometry::minimumScale);
    QStringList values;
    for (std::size_t i = 0; i < kind.extract.size(); ++i) {
        const double v = kind.extract[i](sample);
        values << kind.format(v);
        const QColor& color = palette[std::min(i, palette.size() - 1)];
        o.dots.push_back({QPointF(o.x, TraceGeometry::valueY(plot, int(i), v / s)), color});
    }
    const int age = TraceGeometry::roundToInt(history.back().date - sample.date);
    o.text = QStringLiteral("−%1s  ").arg(age) + values.join(QStringLiteral(" / "));
    const QString& top = sample.*kind.top;
    if (!top.isEmpty())
        o.text += QStringLiteral("  ▸ ") + top;
    return o;
}

TraceStack::TraceStack(Monitor& monitor, QWidget* parent) : QWidget(parent), monitor_(monitor)
{
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(rowSpacing);
    for (int i = 0; i < rowCount; ++i) {
        auto* row = new TraceRow(colors(i), this);
        rows_[std::size_t(i)] = row;
        stack->addWidget(row);
        connect(row->trace(), &TraceLayerView::pointerMoved, this, [this, i](double x) {
            hoverX_[std::size_t(i)] = x;
            refreshOverlay(i);
        });
        connect(row->trace(), &TraceLayerView::pointerLeft, this, [this, i] {
            hoverX_[std::size_t(i)].reset();
            refreshOverlay(i);
        });
    }
    connect(&monitor, &Monitor::snapshotChanged, this, &TraceStack::scheduleRefresh);
    connect(&monitor, &Monitor::historyChanged, this, &TraceStack::scheduleRefresh);
    connect(&monitor, &Monitor::sampleDateChanged, this, &TraceStack::scheduleRefresh);
    connect(&monitor, &Monitor::prefsChanged, this, &TraceStack::scheduleRefresh);
    refresh();
}

TraceStack::~TraceStack() = default;

TraceLayerView* TraceStack::trace(int index) const
{
    return rows_[std::size_t(index)]->trace();
}

QSize TraceStack::sizeHint() const
{
    return {QWidget::sizeHint().width(), rowCount * rowHeight + (rowCount - 1) * rowSpacing};
}

QSize TraceStack::minimumSizeHint() const
{
    const int row = std::min(labelHeight(), rowHeight);
    return {QWidget::minimumSizeHint().width(), rowCount * row + (rowCount - 1) * rowSpacing};
}

void TraceStack::scheduleRefresh()
{
    refreshGate_.schedule();
}

void TraceStack::refresh()
{
    Model next = build(monitor_);
    if (next == model_)
        return;
    model_ = std::move(next);
    for (int i = 0; i < rowCount; ++i) {
        rows_[std::size_t(i)]->present(model_.rows[std::size_t(i)]);
        if (hoverX_[std::size_t(i)])
            refreshOverlay(i);
    }
}

void TraceStack::refreshOverlay(int index)
{
    TraceLayerView* view = trace(index);
    const auto& x = hoverX_[std::size_t(index)];
    if (!x) {
        view->setOverlay(std::nullopt);
        return;
    }
    view->setOverlay(overlay(index, model_.rows[std::size_t(index)].scale, monitor_.history(),
                             monitor_.sampleDate(), monitor_.snapshot().interval, Date::now(),
                             view->size(), *x));
}
