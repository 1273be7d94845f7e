#include "app/status_pill.h"

#include "core/date.h"
#include "core/incident.h"
#include "core/l10n.h"
#include "model/monitor.h"
#include "ui/fonts.h"
#include "ui/theme.h"

#include <QDateTime>
#include <QPainter>
#include <QPainterPath>

#include <cerrno>
#include <cmath>

StatusPill::Model StatusPill::build(std::size_t open, std::optional<Severity> worst)
{
    Model model;
    if (!worst)
        model.color = Theme::cpu();
    else
        model.color = *worst == Severity::critical ? Theme::crit() : Theme::warn();

    if (open == 0)
        model.label = L10n::text("All clear", "运行正常");
    else if (open == 1)
        model.label = L10n::text("1 issue", "1 项异常");
    else
        model.label = L10n::isChinese() ? QStringLiteral("%1 项异常").arg(open)
                                        : QStringLiteral("%1 issues").arg(open);

    model.help = open == 0
        ? L10n::text("No issues are active right now", "当前没有进行中的异常")
        : L10n::text("Issues active right now. Yellow is a warning, red is critical. See the "
                     "black box below for details.",
                     "进行中的异常数量。黄色为警告，红色为严重；详情见下方的黑匣子。");
    return model;
}

QString StatusPill::unreadableReason(int error)
{
    switch (error) {
    case EMFILE:
        return L10n::text("too many open files", "打开的文件过多");
    case ENFILE:
        return L10n::text("the system has too many open files", "系统打开的文件过多");
    case ENOMEM:
        return L10n::text("out of memory", "内存不足");
    case ENOENT:
        return L10n::text("/proc is missing", "找不到 /proc");
    case EACCES:
    case EPERM:
        return L10n::text("/proc is not readable", "无权读取 /proc");
    default:
        return L10n::isChinese() ? QStringLiteral("系统错误 %1").arg(error)
                                 : QStringLiteral("system error %1").arg(error);
    }
}

StatusPill::Model StatusPill::build(std::size_t open, std::optional<Severity> worst, int unreadable, Date figures)
{
    if (!unreadable)
        return build(open, worst);
    Model model;
    model.color = Theme::warn();
    const QString time = QDateTime::fromMSecsSinceEpoch(qint64(figures.unix() * 1000)).toString(QStringLiteral("HH:mm:ss"));
    model.label = L10n::isChinese()
        ? QStringLiteral("无法读取本机：%1 · 数据停在 %2").arg(unreadableReason(unreadable), time)
        : QStringLiteral("Can't read this computer: %1 · figures from %2").arg(unreadableReason(unreadable), time);
    model.help = L10n::text("The figures shown are the last ones read, and no issue opens or ends until the "
                            "computer can be read again. Tavrin keeps trying every second.",
                            "显示的是最后一次读到的数据；在能再次读取之前，不会新开或结束任何异常。Tavrin 每秒重试。");
    return model;
}

StatusPill::Model StatusPill::build(const Monitor& monitor)
{
    return build(monitor.openIncidents().size(), monitor.worstOpen(), monitor.unreadable(), monitor.sampleDate());
}

QFont StatusPill::labelFont()
{
    return Fonts::font(textSize, QFont::DemiBold);
}

StatusPill::StatusPill(Monitor& monitor, QWidget* parent)
    : QWidget(parent), monitor_(monitor)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(&monitor, &Monitor::incidentsChanged, this, &StatusPill::scheduleRefresh);
    // A language change brings new texts.
    connect(&monitor, &Monitor::prefsChanged, this, &StatusPill::scheduleRefresh);
    connect(&monitor, &Monitor::unreadableChanged, this, &StatusPill::scheduleRefresh);
    refresh();
}

void StatusPill::scheduleRefresh()
{
    refreshGate_.schedule();
}

void StatusPill::refresh()
{
    Model next = build(monitor_);
    if (next == model_)
        return;
    const bool relabelled = next.label != model_.label;
    model_ = std::move(next);
    setToolTip(model_.help);
    if (relabelled) {
        layout_ = QStaticText(model_.label);
        layout_.setTextFormat(Qt::PlainText);
        layout_.prepare(QTransform(), labelFont());
        updateGeometry();
    }
    update();
}

QSize StatusPill::sizeHint() const
{
    const double width = padding + dotSize + spacing + layout_.size().width() + padding;
    return {int(std::ceil(width)), int(pillHeight)};
}

void StatusPill::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box(rect());

    QColor wash = model_.color;
    wash.setAlphaF(float(washOpacity));
    QPainterPath shape;
    shape.addRoundedRect(box, radius, radius);
    p.fillPath(shape, wash);

    const double middle = box.center().y();
    p.setPen(Qt::NoPen);
    p.setBrush(model_.color);
    p.drawEllipse(QRectF(padding, middle - dotSize / 2, dotSize, dotSize));

    p.setFont(labelFont());
    p.setPen(model_.color);
    const QSizeF text = layout_.size();
    p.drawStaticText(QPointF(padding + dotSize + spacing, std::round(middle - text.height() / 2)),
                     layout_);
}
