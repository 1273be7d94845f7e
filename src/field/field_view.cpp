#include "field/field_view.h"

#include "core/l10n.h"
#include "core/outside_text.h"
#include "field/field_style.h"
#include "field/legend_flow.h"
#include "ui/fonts.h"
#include "ui/frame_clock.h"
#include "ui/theme.h"

#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QStaticText>

// The five-part legend along the bottom-left corner; it takes no pointer
// input, so clicks and drags reach the bubbles below it. It lies over the
// canvas, so it repaints whenever a bubble near it does: it is drawn once
// into a picture, and each repaint copies that.
class FieldLegend : public QWidget {
public:
    explicit FieldLegend(QWidget* parent) : QWidget(parent)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        rebuild();
    }

    ~FieldLegend() override { FrameClock::shared().unsubscribe(this); }

    static QFont font()
    {
        return Fonts::font(9.5, QFont::DemiBold, Fonts::Face::ui, Fonts::Width::condensed, 0.6);
    }

    // Takes the texts of the current language; true when they changed, and
    // then the caller lays them out again with fit().
    bool rebuild()
    {
        const QStringList texts = FieldView::legendTexts();
        if (texts == texts_)
            return false;
        texts_ = texts;
        const QFontMetricsF metrics(font());
        widths_.clear();
        for (const QString& t : texts_)
            widths_.push_back(metrics.horizontalAdvance(t));
        height_ = metrics.height();
        flow_ = {};
        art_ = QPixmap();
        update();
        return true;
    }

    // Lays the entries out for a stage `width` wide.
    void fit(double width)
    {
        const LegendFlow next = LegendFlow::lay(widths_, width - 2 * inset, spacing);
        if (next.places == flow_.places && next.lines == flow_.lines)
            return;
        flow_ = next;
        art_ = QPixmap();
        update();
    }
    QSize extent() const
    {
        const double lines = std::max(1, flow_.lines);
        const double h = lines * height_ + (lines - 1) * lineGap;
        return QSize(int(std::ceil(flow_.width)) + 2 * inset, int(std::ceil(h)) + 2 * inset);
    }

    // The texts drawn, each in its box in the legend's coordinates.
    std::vector<std::pair<QString, QRectF>> entries() const
    {
        std::vector<std::pair<QString, QRectF>> shown;
        const QFontMetricsF metrics(font());
        // The lines stand on the legend's foot.
        const double top = height() - inset - (flow_.lines * height_ + (flow_.lines - 1) * lineGap);
        for (const LegendFlow::Place& place : flow_.places) {
            const QString& text = texts_[place.entry];
            const QString cut = place.width < widths_[std::size_t(place.entry)]
                ? Fonts::elided(metrics, text, Qt::ElideRight, place.width)
                : text;
            const double y = top + place.line * (height_ + lineGap);
            shown.emplace_back(cut, QRectF(inset + place.x, y, place.width, height_));
        }
        return shown;
    }

    void show(bool shown)
    {
        const double target = shown ? 1 : 0;
        if (opacity_.target() == target)
            return;
        opacity_.setTarget(target, Animation::timing(Motion::ease(), Motion::standard()));
        if (!isVisible()) {
            opacity_.set(target);
            update();
            return;
        }
        FrameClock::shared().subscribe(this, [this](double dt) {
            const bool moving = opacity_.step(dt);
            update();
            return moving;
        });
    }
    double opacity() const { return opacity_.value(); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        const double alpha = std::clamp(opacity_.value(), 0.0, 1.0);
        if (alpha <= 0)
            return;
        const double ratio = devicePixelRatioF();
        if (art_.isNull() || art_.devicePixelRatio() != ratio || art_.deviceIndependentSize() != QSizeF(size()))
            draw(ratio);
        QPainter p(this);
        p.setOpacity(alpha);
        p.drawPixmap(0, 0, art_);
    }
    void hideEvent(QHideEvent* event) override
    {
        FrameClock::shared().unsubscribe(this);
        opacity_.set(opacity_.target());
        QWidget::hideEvent(event);
    }

private:
    void draw(double ratio)
    {
        art_ = QPixmap((QSizeF(size()) * ratio).toSize());
        art_.setDevicePixelRatio(ratio);
        art_.fill(Qt::transparent);
        QPainter p(&art_);
        p.setFont(font());
        p.setPen(Theme::faint());
        for (const auto& [text, box] : entries())
            p.drawText(box.adjusted(0, 0, 2, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                       text);
    }

    static constexpr int inset = 12;
    static constexpr double spacing = 14;
    static constexpr double lineGap = 4;

    QStringList texts_;
    std::vector<double> widths_;
    LegendFlow flow_;
    QPixmap art_;
    double height_ = 0;
    Animated<double> opacity_{0.0};
};

QStringList FieldView::legendTexts()
{
    return {L10n::text("Size · memory", "面积 内存"), L10n::text("Color · CPU", "颜色 CPU"),
            L10n::text("Ticks · threads", "刻度 线程"), L10n::text("Particles · traffic", "粒子 流量"),
            L10n::text("Drag to throw", "拖拽可抛掷")};
}

QString FieldView::emptyText(const QString& filter, bool noGroups)
{
    if (!noGroups || filter.isEmpty())
        return {};
    return OutsideText::noMatch("apps", " App", filter);
}

FieldLayerView::Phase FieldView::phaseOf(Monitor::Mode mode)
{
    switch (mode) {
    case Monitor::Mode::field: return FieldLayerView::Phase::live;
    case Monitor::Mode::table: return FieldLayerView::Phase::toRows;
    case Monitor::Mode::flow:
    case Monitor::Mode::domains:
    case Monitor::Mode::ports: break;
    }
    return FieldLayerView::Phase::dissolve;
}

FieldView::Model FieldView::build(Monitor& monitor)
{
    Model m;
    m.groups = FieldStyle::chooseGroups(monitor.rows(), monitor.fieldPinned());
    m.flags = FieldStyle::mergeFlags(monitor.openIncidents());
    m.selection = monitor.selection();
    m.threadLimit = int(std::clamp<int64_t>(monitor.prefs().thresholds.threads, 0, INT32_MAX));
    m.fromRows = monitor.fieldFromRows();
    m.phase = phaseOf(monitor.mode());
    return m;
}

FieldView::FieldView(Monitor& monitor, FieldLayerView::MenuFactory menu, QWidget* parent)
    : QWidget(parent), monitor_(monitor)
{
    setAttribute(Qt::WA_NoSystemBackground);
    layer_ = new FieldLayerView(&monitor, this);
    layer_->menuFactory = std::move(menu);
    layer_->onSelect = [this](const std::optional<QString>& key) { select(key); };
    legend_ = new FieldLegend(this);
    empty_ = new QLabel(this);
    empty_->setTextFormat(Qt::PlainText);
    empty_->setAlignment(Qt::AlignCenter);
    empty_->setWordWrap(true);
    empty_->setFont(Fonts::font(12));
    empty_->setAttribute(Qt::WA_TransparentForMouseEvents);
    QPalette faint = empty_->palette();
    faint.setColor(QPalette::WindowText, Theme::faint());
    empty_->setPalette(faint);
    empty_->hide();
    connect(layer_, &FieldLayerView::coveringChanged, this, &FieldView::coveringChanged);

    for (auto signal : {&Monitor::snapshotChanged, &Monitor::filterChanged, &Monitor::sortChanged,
                        &Monitor::ascendingChanged, &Monitor::incidentsChanged,
                        &Monitor::selectionChanged, &Monitor::prefsChanged,
                        &Monitor::fieldFromRowsChanged, &Monitor::modeChanged})
        connect(&monitor, signal, this, &FieldView::scheduleRefresh);
    refresh();
}

FieldView::~FieldView() = default;

QString FieldView::shownEmptyText() const
{
    return empty_->isVisibleTo(this) ? empty_->text() : QString();
}

double FieldView::legendOpacity() const
{
    return legend_->opacity();
}

void FieldView::select(const std::optional<QString>& key)
{
    if (!key || key == monitor_.selection())
        monitor_.setSelection(std::nullopt);
    else
        monitor_.setSelection(key);
    monitor_.setFocusPid(std::nullopt);
}

void FieldView::scheduleRefresh()
{
    refreshGate_.schedule();
}

void FieldView::refresh()
{
    // Another language lays the legend out again.
    if (legend_->rebuild())
        placeLegend();
    legend_->show(legendShown_ && monitor_.mode() == Monitor::Mode::field);
    Model next = build(monitor_);
    // Before the early return: a longer filter that still keeps nothing
    // changes the text, not the model.
    const QString text = monitor_.mode() == Monitor::Mode::field
        ? emptyText(monitor_.filter(), next.groups.empty())
        : QString();
    if (empty_->text() != text)
        empty_->setText(text);
    empty_->setVisible(!text.isEmpty());
    if (model_ && *model_ == next)
        return;
    model_ = std::move(next);
    layer_->transition(model_->fromRows, model_->phase);
    layer_->apply(model_->groups, model_->flags, model_->selection, model_->threadLimit);
}

void FieldView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layer_->setGeometry(rect());
    empty_->setGeometry(rect().adjusted(24, 0, -24, 0));
    placeLegend();
}

void FieldView::placeLegend()
{
    legend_->fit(width());
    const QSize extent = legend_->extent();
    legend_->setGeometry(0, height() - extent.height(), std::min(width(), extent.width()),
                         extent.height());
    // The legend lies over the canvas; the bubbles keep out of its band so
    // it stays readable however many there are.
    layer_->setInset(QMarginsF(0, topClearance, 0, extent.height()));
    // Dots that orbit a bubble next to the band would run through its
    // text; none is drawn there.
    layer_->setKeepOut(QRectF(legend_->geometry()));
}

QRect FieldView::legendGeometry() const
{
    return legend_->geometry();
}

std::vector<std::pair<QString, QRectF>> FieldView::shownLegend() const
{
    std::vector<std::pair<QString, QRectF>> shown = legend_->entries();
    for (auto& [text, box] : shown)
        box.translate(legend_->pos());
    return shown;
}

void FieldView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!legendShown_) {
        legendShown_ = true;
        scheduleRefresh();
    }
}
