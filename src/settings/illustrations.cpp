#include "settings/illustrations.h"

#include "model/pref_binding.h"

#include "core/build_info.h"
#include "core/fmt.h"
#include "core/l10n.h"
#include "ui/fonts.h"
#include "ui/frame_clock.h"
#include "ui/menu_glyph.h"
#include "ui/panel_label.h"
#include "ui/switch.h"
#include "ui/widget_opacity.h"
#include "ui/theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QStaticText>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace Illustrations {

void paintPanel(QPainter& painter, const QRectF& rect)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(rect.adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
    painter.setBrush(Theme::panel());
    painter.setPen(QPen(Theme::line(), 1));
    painter.drawPath(shape);
    painter.restore();
}

Readouts readouts(const SystemSample& system)
{
    return {MenuGlyph::percentText(system.cpu),
            Fmt::bytes(static_cast<double>(system.memApp + system.memWired + system.memCompressed)),
            Fmt::bytes(system.netIn) + QStringLiteral("/s")};
}

} // namespace Illustrations

namespace {

void drawText(QPainter& p, const QRectF& box, const QString& text, const QFont& font,
              const QColor& color, Qt::Alignment align)
{
    p.setFont(font);
    p.setPen(color);
    const QString shown = Fonts::elided(QFontMetricsF(font), text, Qt::ElideRight, box.width());
    p.drawText(box, static_cast<int>(align | Qt::TextSingleLine), shown);
}

} // namespace

// ---- readouts

ReadoutsIllustration::ReadoutsIllustration(Monitor& monitor, QWidget* parent)
    : QWidget(parent)
    , monitor_(monitor)
{
    setFixedSize(420, 62);
    model_ = Illustrations::readouts(monitor.snapshot().system);
    connect(&monitor, &Monitor::snapshotChanged, this, [this] { gate_.schedule(); });
}

void ReadoutsIllustration::refresh()
{
    const auto next = Illustrations::readouts(monitor_.snapshot().system);
    if (next == model_)
        return;
    model_ = next;
    update();
}

void ReadoutsIllustration::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    Illustrations::paintPanel(p, rect());
    const double cell = (width() - 2.0) / 3;
    struct Cell {
        QString label, value;
        QColor color;
    };
    const Cell cells[] = {
        {QStringLiteral("CPU"), model_.cpu, Theme::cpu()},
        {L10n::text("MEMORY", "内存"), model_.memory, Theme::mem()},
        {L10n::text("DOWNLOAD", "下载"), model_.download, Theme::net()},
    };
    const QFont label = PanelLabel::captionFont();
    const QFont value = Fonts::mono(17, QFont::Medium);
    const double labelH = QFontMetricsF(label).height();
    const double valueH = QFontMetricsF(value).height();
    const double top = (height() - labelH - 4 - valueH) / 2;
    for (int i = 0; i < 3; ++i) {
        const double x = i * (cell + 1);
        if (i > 0)
            p.fillRect(QRectF(x - 1, (height() - 30) / 2.0, 1, 30), Theme::line());
        drawText(p, QRectF(x, top, cell, labelH), cells[i].label, label, cells[i].color, Qt::AlignHCenter);
        drawText(p, QRectF(x + 4, top + labelH + 4, cell - 8, valueH), cells[i].value, value,
                 Theme::text(), Qt::AlignHCenter);
    }
}

// ---- top bar

MenuBarIllustration::MenuBarIllustration(Monitor& monitor, QWidget* parent)
    : QWidget(parent)
    , monitor_(monitor)
{
    setFixedSize(420, 34);
    for (double load : monitor.snapshot().system.cores)
        loads_.emplace_back(load);
    percent_ = MenuGlyph::percentText(monitor.snapshot().system.cpu);
    connect(&monitor, &Monitor::snapshotChanged, this, [this] { gate_.schedule(); });
}

MenuBarIllustration::~MenuBarIllustration()
{
    FrameClock::shared().unsubscribe(this);
}

std::vector<double> MenuBarIllustration::shownLoads() const
{
    std::vector<double> result;
    for (const auto& load : loads_)
        result.push_back(load.value());
    return result;
}

void MenuBarIllustration::refresh()
{
    const SystemSample& system = monitor_.snapshot().system;
    bool changed = false;
    if (system.cores.size() != loads_.size()) {
        loads_.clear();
        for (double load : system.cores)
            loads_.emplace_back(load);
        changed = true;
    } else {
        const Animation ease = Animation::timing(TimingCurve{0, 0, 0.58, 1}, easeSeconds);
        for (std::size_t i = 0; i < loads_.size(); ++i) {
            if (loads_[i].target() != system.cores[i]) {
                loads_[i].setTarget(system.cores[i], ease);
                changed = true;
            }
        }
    }
    const QString percent = MenuGlyph::percentText(system.cpu);
    if (percent != percent_) {
        percent_ = percent;
        changed = true;
    }
    if (changed) {
        update();
        animate();
    }
}

void MenuBarIllustration::animate()
{
    if (!isVisible())
        return;
    FrameClock::shared().subscribe(this, [this](double dt) {
        bool moving = false;
        for (auto& load : loads_)
            moving = load.step(dt) || moving;
        update();
        return moving;
    });
}

void MenuBarIllustration::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    animate();
}

void MenuBarIllustration::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    FrameClock::shared().unsubscribe(this);
    for (auto& load : loads_)
        load.set(load.target());
}

void MenuBarIllustration::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    Illustrations::paintPanel(p, rect());
    p.setRenderHint(QPainter::Antialiasing);
    const double midY = height() / 2.0;
    double x = width() - 14.0;
    // From the right: the clock's place, the status item, three icons.
    x -= 44;
    p.setPen(Qt::NoPen);
    p.setBrush(Theme::line());
    p.drawRoundedRect(QRectF(x, midY - 5.5, 44, 11), 2, 2);

    const std::vector<double> loads = shownLoads();
    const QFont font = Fonts::font(12.5, QFont::Medium);
    const double textW = QFontMetricsF(font).horizontalAdvance(percent_);
    const double barsW = loads.empty() ? 0 : MenuGlyph::width(loads.size());
    const double itemW = 8 + barsW + (loads.empty() ? 0 : 5) + textW + 8;
    x -= 14 + itemW;
    const QRectF item(x, midY - 11, itemW, 22);
    p.setBrush(Theme::withAlpha(Qt::white, 0.08));
    p.drawRoundedRect(item, 5, 5);
    if (!loads.empty()) {
        p.save();
        p.translate(item.left() + 8, midY - MenuGlyph::height / 2);
        MenuGlyph::paint(p, loads, std::nullopt);
        p.restore();
    }
    drawText(p, QRectF(item.right() - 8 - textW - 1, item.top(), textW + 2, item.height()), percent_,
             font, Theme::text(), Qt::AlignVCenter | Qt::AlignRight);

    p.setPen(Qt::NoPen);
    p.setBrush(Theme::line());
    for (int i = 0; i < 3; ++i) {
        x -= 14 + 15;
        p.drawRoundedRect(QRectF(x, midY - 5.5, 15, 11), 2, 2);
    }
}

// ---- example incident

IncidentIllustration::IncidentIllustration(QWidget* parent)
    : QWidget(parent)
{
    setFixedSize(460, 34 + 8 + 14);
}

void IncidentIllustration::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRectF row(0, 0, 460, 34);
    Illustrations::paintPanel(p, row);
    p.setRenderHint(QPainter::Antialiasing);
    const double midY = row.center().y();
    double x = 12;
    p.setPen(Qt::NoPen);
    p.setBrush(Theme::warn());
    p.drawEllipse(QRectF(x, midY - 3.5, 7, 7));
    x += 7 + 10;

    auto put = [&](const QString& text, const QFont& font, const QColor& color) {
        const double w = QFontMetricsF(font).horizontalAdvance(text) + 1;
        drawText(p, QRectF(x, row.top(), w, row.height()), text, font, color, Qt::AlignVCenter);
        x += w + 10;
    };
    put(QStringLiteral("14:02:31"), Fonts::mono(10), Theme::faint());
    put(QStringLiteral("render-worker"), Fonts::font(11.5, QFont::DemiBold), Theme::text());
    put(L10n::text("Sustained high CPU", "CPU 持续偏高"), Fonts::font(11.5), Theme::dim());

    // The figures sit at the right end.
    const QFont peakFont = Fonts::mono(10.5, QFont::Medium);
    const QFont timeFont = Fonts::mono(10);
    const QString peak = QStringLiteral("412%");
    const QString lasted = QStringLiteral("1m 12s");
    const double lastedW = QFontMetricsF(timeFont).horizontalAdvance(lasted) + 1;
    const double peakW = QFontMetricsF(peakFont).horizontalAdvance(peak) + 1;
    double right = row.right() - 12;
    drawText(p, QRectF(right - lastedW, row.top(), lastedW, row.height()), lasted, timeFont,
             Theme::faint(), Qt::AlignVCenter | Qt::AlignRight);
    right -= lastedW + 10;
    drawText(p, QRectF(right - peakW, row.top(), peakW, row.height()), peak, peakFont, Theme::warn(),
             Qt::AlignVCenter | Qt::AlignRight);

    const QFont caption = Fonts::font(8.5, QFont::DemiBold, Fonts::Face::ui, Fonts::Width::condensed, 0.8);
    drawText(p, QRectF(0, row.bottom() + 8, 460, 14), L10n::text("EXAMPLE", "示例"), caption,
             Theme::faint(), Qt::AlignHCenter | Qt::AlignTop);
}

// ---- switches

namespace {

QWidget* switchRow(const QString& title, const QString& caption, Switch* control, QWidget* parent)
{
    auto* row = new QWidget(parent);
    row->setFixedHeight(48);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(14, 0, 14, 0);
    layout->setSpacing(12);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    texts->addStretch(1);
    auto label = [row](const QString& text, const QFont& font, const QColor& color) {
        auto* l = new QLabel(text, row);
        l->setTextFormat(Qt::PlainText);
        l->setFont(font);
        QPalette palette = l->palette();
        palette.setColor(QPalette::WindowText, color);
        l->setPalette(palette);
        return l;
    };
    texts->addWidget(label(title, Fonts::font(12.5, QFont::Medium), Theme::text()));
    texts->addWidget(label(caption, Fonts::font(11), Theme::dim()));
    texts->addStretch(1);
    layout->addLayout(texts);
    layout->addStretch(1);
    control->setParent(row);
    control->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(control, 0, Qt::AlignVCenter);
    return row;
}

} // namespace

SwitchesIllustration::SwitchesIllustration(Monitor& monitor, QWidget* parent)
    : QWidget(parent)
{
    setFixedWidth(420);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    resolve_ = new Switch(prefBinding(monitor, &Preferences::resolveHosts));
    // A copy that checks for no updates shows the switch off, disabled,
    // with the reason as its caption.
    const bool checks = BuildInfo::checksForUpdates();
    updates_ = new Switch(checks ? prefBinding(monitor, &Preferences::autoCheckUpdates) : Binding<bool>{});
    updates_->setEnabled(checks);
    if (!checks)
        WidgetOpacity::set(updates_, 0.45);
    layout->addWidget(switchRow(L10n::text("Reverse DNS lookups", "域名反查"),
                                L10n::text("Show remote IPs as names", "把远端 IP 显示为域名"),
                                resolve_, this));
    auto* rule = new QWidget(this);
    rule->setFixedHeight(1);
    layout->addWidget(rule);
    const QString host = BuildInfo::site().host();
    layout->addWidget(switchRow(
        L10n::text("Automatic update checks", "自动检查更新"),
        !checks ? L10n::text("This build has no update site and never checks", "这个构建没有更新站点，从不检查更新")
        : L10n::isChinese()
            ? QStringLiteral("每天向 %1 查询一次版本信息").arg(host)
            : QStringLiteral("Asks %1 for version information once a day").arg(host),
        updates_, this));
    setFixedHeight(48 * 2 + 1);
    // A change made elsewhere (the settings window) shows here at once.
    connect(&monitor, &Monitor::prefsChanged, this, [this] {
        resolve_->sync();
        updates_->sync();
    });
}

void SwitchesIllustration::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    Illustrations::paintPanel(p, rect());
    p.fillRect(QRectF(14, 48, width() - 14 - 1, 1), Theme::line());
}
