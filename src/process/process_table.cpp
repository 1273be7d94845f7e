#include "process/process_table.h"

#include "core/l10n.h"
#include "process/process_cell.h"
#include "process/process_list.h"
#include "ui/desktop_settings.h"
#include "ui/fonts.h"
#include "ui/frame_clock.h"
#include "ui/press_button.h"
#include "ui/symbols.h"
#include "ui/theme.h"

#include <QFontMetricsF>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QFont titleFont()
{
    return Fonts::font(10, QFont::DemiBold, Fonts::Face::ui, Fonts::Width::condensed, 0.6);
}

} // namespace

ProcessTable::ProcessTable(Monitor& monitor, QWidget* parent)
    : QWidget(parent), monitor_(monitor)
{
    setMouseTracking(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, headerHeight + 1, 0, 0);
    layout->setSpacing(0);
    list_ = new ProcessList(monitor_, this);
    layout->addWidget(list_);
    auto repaint = [this] { update(0, 0, width(), headerHeight + 1); };
    connect(&monitor_, &Monitor::sortChanged, this, repaint);
    connect(&monitor_, &Monitor::ascendingChanged, this, repaint);
    connect(&monitor_, &Monitor::prefsChanged, this, repaint);
    connect(&monitor_.listHold(), &InteractionHold::staleChanged, this, repaint);
}

ProcessTable::~ProcessTable()
{
    FrameClock::shared().unsubscribe(this);
}

std::vector<ProcessTable::HeaderCell> ProcessTable::headerCells(double width)
{
    using Key = Monitor::SortKey;
    struct Column {
        const char* en;
        const char* zh;
        std::optional<Key> key;
        double width;
        const char* helpEn;
        const char* helpZh;
    };
    const Column columns[] = {
        {"", "", std::nullopt, ProcessCell::sparkColumn, nullptr, nullptr},
        {"CPU", "CPU", Key::cpu, ProcessCell::widths[0], nullptr, nullptr},
        {"Memory", "内存", Key::mem, ProcessCell::widths[1], nullptr, nullptr},
        {"Threads", "线程", Key::threads, ProcessCell::widths[2],
         "Thread count. “—” marks a system process that needs root to read",
         "线程数。「—」表示系统进程，读取需要 root 权限"},
        {"Handles", "句柄", Key::fds, ProcessCell::widths[3],
         "Open file handles: files, sockets and pipes", "打开的文件句柄数，包括文件、套接字与管道"},
        {"↓ Down", "↓ 下载", Key::netIn, ProcessCell::widths[4], nullptr, nullptr},
        {"↑ Up", "↑ 上传", Key::netOut, ProcessCell::widths[5], nullptr, nullptr},
    };
    // Each cell stands over its column of the rows, which drop columns
    // together with the header when the width runs short.
    const ProcessCell::Columns shown = ProcessCell::columns(width);
    const double first = shown.spark ? shown.sparkLeft : shown.left[0];
    std::vector<HeaderCell> cells;
    cells.push_back({L10n::text("Process", "进程"), Key::name,
                     QRectF(12, 0, std::max(0.0, first - 12), headerHeight), false, QString()});
    for (std::size_t i = 0; i < std::size(columns); ++i) {
        const Column& c = columns[i];
        double x;
        if (i == 0) {
            if (!shown.spark)
                continue;
            x = shown.sparkLeft;
        } else {
            if (!shown.shown[i - 1])
                continue;
            x = shown.left[i - 1];
        }
        cells.push_back({L10n::text(c.en, c.zh), c.key, QRectF(x, 0, c.width, headerHeight), true,
                         c.helpEn ? L10n::text(c.helpEn, c.helpZh) : QString()});
    }
    return cells;
}

int ProcessTable::cellAt(const QPointF& point) const
{
    if (point.y() < 0 || point.y() >= headerHeight)
        return -1;
    const auto cells = headerCells(width());
    for (std::size_t i = 0; i < cells.size(); ++i)
        if (cells[i].key && cells[i].rect.contains(point))
            return int(i);
    return -1;
}

void ProcessTable::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(QRectF(0, headerHeight, width(), 1), Theme::line());
    const QFont font = titleFont();
    const QFontMetricsF metrics(font);
    painter.setFont(font);
    constexpr PressStyle style = PressStyle::text();
    const bool reduce = DesktopSettings::instance().reduceMotion();
    for (const HeaderCell& cell : headerCells(width())) {
        if (!cell.key)
            continue;
        const bool current = monitor_.sort() == *cell.key;
        const Press& motion = press(*cell.key);
        const double hover = motion.hover.value();
        const double pressed = motion.press.value();
        const QColor color = brightened(current ? Theme::text() : Theme::dim(),
                                        style.labelBrightness(hover, pressed));
        QRectF text = cell.rect;
        if (!cell.trailing)
            text.setLeft(text.left() + 26);
        const double glyph = current ? 7 + 3 : 0;
        const double textWidth = metrics.horizontalAdvance(cell.title);
        const double left = cell.trailing ? text.right() - textWidth - glyph : text.left();
        painter.save();
        const double scale = style.scale(hover, pressed, reduce);
        if (scale != 1) {
            // About the label's own centre.
            const QPointF centre(left + (textWidth + glyph) / 2, headerHeight / 2.0);
            painter.translate(centre);
            painter.scale(scale, scale);
            painter.translate(-centre);
        }
        painter.setPen(color);
        painter.drawText(QRectF(left, 0, textWidth + 1, headerHeight), Qt::AlignLeft | Qt::AlignVCenter,
                         cell.title);
        if (current) {
            const bool stale = monitor_.listHold().stale();
            const QString symbol = stale ? QStringLiteral("pause.fill")
                : monitor_.ascending()   ? QStringLiteral("arrow.up")
                                         : QStringLiteral("arrow.down");
            Symbols::draw(painter, QRectF(left + textWidth + 3, (headerHeight - 7) / 2.0, 7, 7),
                          symbol,
                          brightened(stale ? Theme::cpu() : Theme::text(),
                                     style.labelBrightness(hover, pressed)),
                          QFont::Bold);
        }
        painter.restore();
    }
}

bool ProcessTable::moving() const
{
    return std::any_of(presses_.begin(), presses_.end(), [](const Press& p) {
        return p.hover.moving() || p.press.moving();
    });
}

void ProcessTable::animate()
{
    update(0, 0, width(), headerHeight);
    if (!isVisible()) {
        for (Press& p : presses_) {
            p.hover.set(p.hover.target());
            p.press.finish();
        }
        return;
    }
    if (!moving() || FrameClock::shared().subscribed(this))
        return;
    FrameClock::shared().subscribe(this, [this](double dt) {
        bool still = false;
        for (Press& p : presses_) {
            still = p.hover.step(dt) || still;
            still = p.press.step(dt) || still;
        }
        update(0, 0, width(), headerHeight);
        return still;
    });
}

void ProcessTable::setHovered(int cell)
{
    if (cell == hovered_)
        return;
    hovered_ = cell;
    const auto cells = headerCells(width());
    // -1 for no title under the pointer.
    const int key = cell >= 0 && cells[std::size_t(cell)].key ? int(*cells[std::size_t(cell)].key) : -1;
    for (Monitor::SortKey each : Monitor::allSortKeys) {
        AnimatedValue& hover = press(each).hover;
        const double target = key == int(each) ? 1 : 0;
        if (hover.target() != target)
            hover.setTarget(target, Animation::timing(Motion::ease(), Motion::quick()));
    }
    animate();
}

void ProcessTable::setPressed(int cell)
{
    const int before = std::exchange(pressed_, cell);
    const auto cells = headerCells(width());
    const bool reduce = DesktopSettings::instance().reduceMotion();
    if (before >= 0 && std::size_t(before) < cells.size() && cells[std::size_t(before)].key)
        press(*cells[std::size_t(before)].key).press.setPressed(false, reduce);
    if (cell >= 0)
        press(*cells[std::size_t(cell)].key).press.setPressed(true, reduce);
    animate();
}

void ProcessTable::mousePressEvent(QMouseEvent* event)
{
    setPressed(event->button() == Qt::LeftButton ? cellAt(event->position()) : -1);
}

void ProcessTable::mouseReleaseEvent(QMouseEvent* event)
{
    const int pressed = pressed_;
    setPressed(-1);
    if (pressed >= 0 && cellAt(event->position()) == pressed) {
        const auto cells = headerCells(width());
        monitor_.toggleSort(*cells[std::size_t(pressed)].key);
    }
}

void ProcessTable::mouseMoveEvent(QMouseEvent* event)
{
    setHovered(cellAt(event->position()));
}

void ProcessTable::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    setHovered(-1);
}

void ProcessTable::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    FrameClock::shared().unsubscribe(this);
    hovered_ = -1;
    pressed_ = -1;
    for (Press& p : presses_) {
        p.hover.set(0);
        p.press = PressMotion();
    }
}

bool ProcessTable::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const int cell = cellAt(help->pos());
        const auto cells = headerCells(width());
        if (cell >= 0 && !cells[std::size_t(cell)].help.isEmpty())
            QToolTip::showText(help->globalPos(), cells[std::size_t(cell)].help, this);
        else
            QToolTip::hideText();
        return true;
    }
    return QWidget::event(event);
}
