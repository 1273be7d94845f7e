#include "field/reactor_view.h"

#include "field/repaint_counter.h"
#include "model/monitor.h"
#include "ui/fonts.h"
#include "ui/theme.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStaticText>

#include <algorithm>
#include <cmath>

// The tip over a core sector or the memory ring while the pointer rests
// there: a small widget of its own, so the pulse under it never repaints
// it while there is no tip.
class ReactorTip final : public QWidget {
public:
    explicit ReactorTip(QWidget* parent) : QWidget(parent)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        hide();
    }

    void setTip(std::optional<QString> tip, QPointF at)
    {
        if (tip == text_ && (!tip || at == at_))
            return;
        text_ = std::move(tip);
        at_ = at;
        if (!text_) {
            hide();
            return;
        }
        layout_ = QStaticText(*text_);
        layout_.setTextFormat(Qt::PlainText);
        layout_.prepare(QTransform(), font());
        const QSizeF text = layout_.size();
        setGeometry(ReactorView::tipBox(QSizeF(text.width() + 14, text.height() + 8), at,
                                        parentWidget()->size()));
        update();
        show();
        raise();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        RepaintCounter::count("reactor tip");
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF box = rect();
        QPainterPath shape;
        shape.addRoundedRect(box, 5, 5);
        p.fillPath(shape, Theme::raised());
        p.setPen(QPen(Theme::line(), 1));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(box.adjusted(0.5, 0.5, -0.5, -0.5), 4.5, 4.5);
        p.setPen(Theme::text());
        p.setFont(font());
        p.drawStaticText(QPointF(7, 4), layout_);
    }

private:
    static QFont font() { return Fonts::mono(10.5, QFont::Medium); }

    std::optional<QString> text_;
    QPointF at_;
    QStaticText layout_;
};

ReactorView::Model ReactorView::build(const Monitor& monitor)
{
    const SystemSample& s = monitor.snapshot().system;
    Model m;
    m.gauge.cores = s.cores;
    m.gauge.mem = ReactorGeometry::memShares(s);
    m.gauge.cpu = s.cpu;
    m.gauge.kinds = monitor.host().coreKinds;
    m.gauge.stamp = monitor.sampleDate();
    m.system = s;
    m.percent = QString::number(ReactorGeometry::readoutPercent(s.cpu));
    const double gpu = std::isfinite(s.gpu) ? std::clamp(std::trunc(s.gpu * 100), -1e6, 1e6) : 0;
    m.detail = QStringLiteral("GPU %1%  LOAD %2")
                   .arg(int(gpu))
                   .arg(QString::asprintf("%.1f", s.load));
    return m;
}

ReactorView::ReactorView(Monitor& monitor, QWidget* parent)
    : QWidget(parent),
      monitor_(monitor),
      refreshGate_(this, [this] { refresh(); }),
      gauge_(new ReactorLayerView(this)),
      tip_(new ReactorTip(this))
{
    setMouseTracking(true);
    const auto schedule = [this] { refreshGate_.schedule(); };
    connect(&monitor, &Monitor::snapshotChanged, this, schedule);
    connect(&monitor, &Monitor::sampleDateChanged, this, schedule);
    connect(&monitor, &Monitor::prefsChanged, this, schedule);
    refresh();
}

void ReactorView::refresh()
{
    Model next = build(monitor_);
    if (next == model_)
        return;
    model_ = std::move(next);
    gauge_->apply(model_.gauge);
    gauge_->setReadout(model_.percent, model_.detail);
    setHover(hover_);
}

QRect ReactorView::tipBox(QSizeF box, QPointF at, QSize view)
{
    // Centred 22 above the pointer; over the top of the ring there is no
    // room for that, so it hangs below the pointer instead, clear of the
    // cursor. The view clips its children: the box stays inside it.
    QRectF r(at.x() - box.width() / 2, at.y() - 22 - box.height() / 2, box.width(), box.height());
    if (r.top() < 0)
        r.moveTop(at.y() + 22);
    r.moveLeft(std::clamp(r.left(), 0.0, std::max(0.0, view.width() - r.width())));
    r.moveTop(std::clamp(r.top(), 0.0, std::max(0.0, view.height() - r.height())));
    return r.toAlignedRect() & QRect(QPoint(), view);
}

QRect ReactorView::tipGeometry() const
{
    return tip_->isVisibleTo(this) ? tip_->geometry() : QRect();
}

std::optional<QString> ReactorView::tip() const
{
    if (!hover_)
        return std::nullopt;
    return ReactorGeometry(size(), model_.gauge.kinds).tip(*hover_, model_.system, model_.gauge.kinds);
}

void ReactorView::setHover(std::optional<QPointF> hover)
{
    hover_ = hover;
    tip_->setTip(tip(), hover_.value_or(QPointF()));
}

void ReactorView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    gauge_->setGeometry(rect());
}

void ReactorView::mouseMoveEvent(QMouseEvent* event)
{
    setHover(event->position());
}

void ReactorView::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    setHover(std::nullopt);
}
