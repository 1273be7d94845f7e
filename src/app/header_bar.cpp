#include "app/header_bar.h"

#include "app/status_pill.h"
#include "core/fmt.h"
#include "core/l10n.h"
#include "core/outside_text.h"
#include "model/monitor.h"
#include "ui/animation.h"
#include "ui/fonts.h"
#include "ui/frame_clock.h"
#include "ui/press_button.h"
#include "ui/shrink_label.h"
#include "ui/symbols.h"
#include "ui/theme.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QStaticText>

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

QStaticText prepared(const QString& text, const QFont& font)
{
    QStaticText layout(text);
    layout.setTextFormat(Qt::PlainText);
    layout.prepare(QTransform(), font);
    return layout;
}

// A rounded box with a 1-pixel border inside it, so the border never grows
// the box.
void paintBox(QPainter& p, const QRectF& box, const QColor& fill, const QColor& border)
{
    const double r = HeaderBar::controlRadius;
    QPainterPath shape;
    shape.addRoundedRect(box, r, r);
    p.fillPath(shape, fill);
    if (border.alpha() > 0) {
        p.setPen(QPen(border, 1));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(box.adjusted(0.5, 0.5, -0.5, -0.5), r - 0.5, r - 0.5);
    }
}

} // namespace

// Live: a quiet panel button. Frozen: a yellow one with dark text. The
// colours ease between the two on every change of the Monitor's flag,
// whoever changed it.
class FreezeToggle final : public PressButton {
public:
    static constexpr double symbolSize = 8.5;
    static constexpr double textSize = 10.5;
    static constexpr double gap = 5;
    static constexpr int padding = 9;

    explicit FreezeToggle(QWidget* parent)
        : PressButton(PressStyle::surface(HeaderBar::controlRadius), parent)
    {
        setFocusPolicy(Qt::NoFocus);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        setFixedHeight(int(HeaderBar::controlHeight));
        setContentsMargins(padding, 0, padding, 0);
        setLabelFont(textFont());
    }

    static QFont textFont() { return Fonts::font(textSize, QFont::Medium); }

    bool easing() const { return ink_.moving() || fill_.moving() || border_.moving(); }

    void present(const HeaderBar::Model& model)
    {
        setToolTip(model.freezeHelp);
        // The header's model changes with every snapshot; the toggle's look
        // only with the flag or the language.
        if (frozen_ == model.frozen && symbol_ == model.freezeSymbol && text() == model.freezeLabel)
            return;
        symbol_ = model.freezeSymbol;
        if (model.freezeLabel != text()) {
            setText(model.freezeLabel);
            label_ = prepared(model.freezeLabel, textFont());
            updateGeometry();
        }
        if (!frozen_ || *frozen_ != model.frozen) {
            // The first look is taken as it is; later ones ease in.
            const Animation animation = frozen_ && isVisible()
                ? Animation::timing(Motion::ease(), Motion::quick())
                : Animation::none();
            frozen_ = model.frozen;
            QColor clear = Theme::line();
            clear.setAlphaF(0);
            ink_.setTarget(model.frozen ? Theme::bg() : Theme::dim(), animation);
            fill_.setTarget(model.frozen ? Theme::warn() : Theme::panel(), animation);
            border_.setTarget(model.frozen ? clear : Theme::line(), animation);
            ease();
        }
        update();
    }

protected:
    QSizeF labelSize() const override
    {
        return {symbolSize + gap + label_.size().width(),
                std::max(symbolSize, label_.size().height())};
    }

    void paintLabel(QPainter& p, const QRectF& box, const QColor&) override
    {
        paintBox(p, restingRect(), fill_.value(), border_.value());
        const QColor ink = ink_.value();
        const double middle = box.center().y();
        const double left = std::round(box.center().x() - labelSize().width() / 2);
        Symbols::draw(p, QRectF(left, middle - symbolSize / 2, symbolSize, symbolSize), symbol_,
                      ink);
        p.setFont(textFont());
        p.setPen(ink);
        p.drawStaticText(
            QPointF(left + symbolSize + gap, std::round(middle - label_.size().height() / 2)),
            label_);
    }

    void hideEvent(QHideEvent* event) override
    {
        finish();
        PressButton::hideEvent(event);
    }

private:
    // The press feedback subscribes the button itself to the frame clock;
    // the colour ease runs under its own key beside it.
    void ease()
    {
        if (!easing() || !isVisible()) {
            finish();
            return;
        }
        FrameClock::shared().subscribe(&clock_, [this](double dt) {
            const bool still = stepAll(dt, ink_, fill_, border_);
            update();
            return still;
        });
    }

    void finish()
    {
        ink_.set(ink_.target());
        fill_.set(fill_.target());
        border_.set(border_.target());
        FrameClock::shared().unsubscribe(&clock_);
    }

    QString symbol_;
    QStaticText label_;
    std::optional<bool> frozen_;
    AnimatedColor ink_;
    AnimatedColor fill_;
    AnimatedColor border_;
    QObject clock_;
};

namespace {

// The gear in its own bordered box.
class SettingsButton final : public PressButton {
public:
    static constexpr double symbolSize = 11;

    explicit SettingsButton(QWidget* parent)
        : PressButton(PressStyle::icon(HeaderBar::controlRadius), parent)
    {
        setFocusPolicy(Qt::NoFocus);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        setColor(Theme::dim());
    }

protected:
    QSizeF labelSize() const override
    {
        return {HeaderBar::controlHeight, HeaderBar::controlHeight};
    }

    void paintLabel(QPainter& p, const QRectF& box, const QColor& color) override
    {
        paintBox(p, box, Theme::panel(), Theme::line());
        QRectF symbol(0, 0, symbolSize, symbolSize);
        symbol.moveCenter(box.center());
        Symbols::draw(p, symbol, u"gearshape", color, QFont::Medium);
    }
};

} // namespace

QString HeaderBar::cpuText(double percent)
{
    if (!std::isfinite(percent) || percent < 0)
        percent = 0;
    return Fmt::fixed(percent, percent < 100 ? 1 : 0) + u'%';
}

QString HeaderBar::machineLine(const HostInfo& host, double uptime)
{
    const QString dot = QStringLiteral(" · ");
    const QString up = L10n::text("up", "开机");
    return OutsideText::isolate(host.name) + dot + host.chip + dot + up + u' '
        + Fmt::duration(std::max(0.0, uptime));
}

QString HeaderBar::selfLine(double cpu, uint64_t mem)
{
    return L10n::text("self", "自身") + u' ' + cpuText(cpu) + QStringLiteral(" · ") +
           Fmt::bytes(double(mem));
}

HeaderBar::Model HeaderBar::build(const Monitor& monitor)
{
    Model model;
    const HostInfo& host = monitor.host();
    model.machine = machineLine(host, monitor.sampleDate() - host.bootTime);
    const Snapshot& snapshot = monitor.snapshot();
    model.self = selfLine(snapshot.selfCPU, snapshot.selfMem);
    model.selfHelp = L10n::text("CPU and memory used by Tavrin itself", "Tavrin 自身占用的处理器与内存");
    model.frozen = monitor.frozen();
    model.freezeLabel =
        model.frozen ? L10n::text("Frozen", "已冻结") : L10n::text("Freeze", "冻结");
    model.freezeSymbol = model.frozen ? QStringLiteral("play.fill") : QStringLiteral("pause.fill");
    model.freezeHelp = L10n::text(
        "Freeze the display for a closer look. Sampling and detection keep running (Ctrl+P)",
        "冻结画面以便查看，采样与异常检测继续（Ctrl+P）");
    model.settingsHelp = L10n::text("Settings (Ctrl+,)", "设置（Ctrl+,）");
    return model;
}

HeaderBar::HeaderBar(Monitor& monitor, QWidget* parent)
    : QWidget(parent), monitor_(monitor)
{
    setFixedHeight(barHeight);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);

    row_ = new QHBoxLayout(this);
    // The blank and the stack's spacing after it come before the word-mark.
    row_->setContentsMargins(titleBarBlank + spacing, 0, trailing, 0);
    row_->setSpacing(spacing);

    wordmark_ = new ShrinkLabel(Fonts::wordMarkText(), Fonts::wordMark(12, 2.5), Theme::text(), 1, this);
    wordmark_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    row_->addWidget(wordmark_);

    // One line at most: cut short, never wrapped, when the window is narrow.
    machine_ = new ShrinkLabel(QString(), Fonts::mono(10), Theme::faint(), 1, this);
    machine_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    row_->addWidget(machine_);
    row_->addStretch(1);

    self_ = new ShrinkLabel(QString(), Fonts::mono(10), Theme::faint(), 1, this);
    self_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    row_->addWidget(self_);

    pill_ = new StatusPill(monitor, this);
    row_->addWidget(pill_);

    freeze_ = new FreezeToggle(this);
    connect(freeze_, &QAbstractButton::clicked, this,
            [this] { monitor_.setFrozen(!monitor_.frozen()); });
    row_->addWidget(freeze_);

    settings_ = new SettingsButton(this);
    connect(settings_, &QAbstractButton::clicked, this, &HeaderBar::settingsRequested);
    row_->addWidget(settings_);

    connect(&monitor, &Monitor::snapshotChanged, this, &HeaderBar::scheduleRefresh);
    connect(&monitor, &Monitor::sampleDateChanged, this, &HeaderBar::scheduleRefresh);
    connect(&monitor, &Monitor::frozenChanged, this, &HeaderBar::scheduleRefresh);
    connect(&monitor, &Monitor::prefsChanged, this, &HeaderBar::scheduleRefresh);
    refresh();
}

QAbstractButton* HeaderBar::freezeToggle() const
{
    return freeze_;
}

void HeaderBar::setUpdatePill(QWidget* pill)
{
    if (pill == updatePill_)
        return;
    if (updatePill_) {
        row_->removeWidget(updatePill_);
        delete updatePill_.data();
    }
    updatePill_ = pill;
    if (pill)
        row_->insertWidget(row_->indexOf(freeze_), pill);
}

void HeaderBar::scheduleRefresh()
{
    refreshGate_.schedule();
}

void HeaderBar::refresh()
{
    Model next = build(monitor_);
    if (next == model_)
        return;
    model_ = std::move(next);
    machine_->setText(model_.machine);
    self_->setText(model_.self);
    self_->setToolTip(model_.selfHelp);
    freeze_->present(model_);
    settings_->setToolTip(model_.settingsHelp);
}

void HeaderBar::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), Theme::panel());
}
