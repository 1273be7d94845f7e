#include "field/reactor_view.h"

#include "model/monitor.h"
#include "ui/fonts.h"
#include "ui/panel_label.h"
#include "ui/theme.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStaticText>

#include <cmath>

// The figures in the middle of the ring and the tip above the pointer,
// painted over the gauge; it never takes the pointer.
class ReactorReadout final : public QWidget {
public:
    explicit ReactorReadout(QWidget* parent) : QWidget(parent)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

    void present(const QString& percent, const QString& detail)
    {
        if (percent == percent_.text() && detail == detail_.text())
            return;
        percent_ = prepared(percent, bigFont());
        detail_ = prepared(detail, detailFont());
        update();
    }

    void setTip(std::optional<QString> tip, QPointF at)
    {
        if (tip == tipText_ && (!tip || at == tipAt_))
            return;
        QRect dirty = tipRect().toAlignedRect();
        tipText_ = std::move(tip);
        tipAt_ = at;
        if (tipText_)
            tipLayout_ = prepared(*tipText_, tipFont());
        dirty |= tipRect().toAlignedRect();
        update(dirty.adjusted(-2, -2, 2, 2));
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        if (caption_.text().isEmpty()) {
            caption_ = prepared(QStringLiteral("CPU"), PanelLabel::captionFont());
            sign_ = prepared(QStringLiteral("%"), signFont());
        }
        const QFontMetricsF big(bigFont());
        const QFontMetricsF sign(signFont());
        const double captionH = caption_.size().height();
        const double rowH = big.height();
        const double detailH = detail_.size().height();
        const double total = captionH + 1 + rowH + 1 + detailH;
        double y = (height() - total) / 2;
        const double cx = width() / 2.0;

        p.setPen(Theme::dim());
        p.setFont(PanelLabel::captionFont());
        p.drawStaticText(QPointF(cx - caption_.size().width() / 2, y), caption_);
        y += captionH + 1;
        const double rowW = percent_.size().width() + 2 + sign_.size().width();
        const double left = cx - rowW / 2;
        p.setPen(Theme::text());
        p.setFont(bigFont());
        p.drawStaticText(QPointF(left, y), percent_);
        // The sign sits on the figure's baseline.
        p.setPen(Theme::dim());
        p.setFont(signFont());
        p.drawStaticText(QPointF(left + percent_.size().width() + 2, y + big.ascent() - sign.ascent()),
                         sign_);
        y += rowH + 1;
        p.setFont(detailFont());
        p.drawStaticText(QPointF(cx - detail_.size().width() / 2, y), detail_);

        if (tipText_) {
            p.setRenderHint(QPainter::Antialiasing);
            const QRectF box = tipRect();
            QPainterPath shape;
            shape.addRoundedRect(box, 5, 5);
            p.fillPath(shape, Theme::raised());
            p.setPen(QPen(Theme::line(), 1));
            p.setBrush(Qt::NoBrush);
            p.drawRoundedRect(box.adjusted(0.5, 0.5, -0.5, -0.5), 4.5, 4.5);
            p.setPen(Theme::text());
            p.setFont(tipFont());
            p.drawStaticText(box.topLeft() + QPointF(7, 4), tipLayout_);
        }
    }

private:
    static QFont bigFont() { return Fonts::mono(50, QFont::Light); }
    static QFont signFont() { return Fonts::mono(15); }
    static QFont detailFont() { return Fonts::mono(9.5); }
    static QFont tipFont() { return Fonts::mono(10.5, QFont::Medium); }

    static QStaticText prepared(const QString& text, const QFont& font)
    {
        QStaticText layout(text);
        layout.setTextFormat(Qt::PlainText);
        layout.prepare(QTransform(), font);
        return layout;
    }

    QRectF tipRect() const
    {
        if (!tipText_)
            return {};
        const QSizeF text = tipLayout_.size();
        const QSizeF box(text.width() + 14, text.height() + 8);
        return {tipAt_.x() - box.width() / 2, tipAt_.y() - 22 - box.height() / 2, box.width(),
                box.height()};
    }

    QStaticText caption_, sign_, percent_, detail_, tipLayout_;
    std::optional<QString> tipText_;
    QPointF tipAt_;
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
      readout_(new ReactorReadout(this))
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
    readout_->present(model_.percent, model_.detail);
    setHover(hover_);
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
    readout_->setTip(tip(), hover_.value_or(QPointF()));
}

void ReactorView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    gauge_->setGeometry(rect());
    readout_->setGeometry(rect());
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
