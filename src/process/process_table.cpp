#include "process/process_table.h"

#include "core/l10n.h"
#include "process/process_cell.h"
#include "process/process_list.h"
#include "ui/fonts.h"
#include "ui/symbols.h"
#include "ui/theme.h"

#include <QFontMetricsF>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QVBoxLayout>

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
    const auto cells = headerCells(width());
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const HeaderCell& cell = cells[i];
        if (!cell.key)
            continue;
        const bool current = monitor_.sort() == *cell.key;
        QColor color = current ? Theme::text() : Theme::dim();
        // The text press style: brighter under the pointer, dimmer pressed.
        if (int(i) == pressed_)
            color = color.darker(105);
        else if (int(i) == hovered_)
            color = color.lighter(114);
        QRectF text = cell.rect;
        if (!cell.trailing)
            text.setLeft(text.left() + 26);
        const double glyph = current ? 7 + 3 : 0;
        const double textWidth = metrics.horizontalAdvance(cell.title);
        const double left = cell.trailing ? text.right() - textWidth - glyph : text.left();
        painter.setPen(color);
        painter.drawText(QRectF(left, 0, textWidth + 1, headerHeight), Qt::AlignLeft | Qt::AlignVCenter,
                         cell.title);
        if (current) {
            const bool stale = monitor_.listHold().stale();
            const QString symbol = stale ? QStringLiteral("pause.fill")
                : monitor_.ascending()   ? QStringLiteral("arrow.up")
                                         : QStringLiteral("arrow.down");
            Symbols::draw(painter, QRectF(left + textWidth + 3, (headerHeight - 7) / 2.0, 7, 7),
                          symbol, stale ? Theme::cpu() : Theme::text(), QFont::Bold);
        }
    }
}

void ProcessTable::mousePressEvent(QMouseEvent* event)
{
    pressed_ = event->button() == Qt::LeftButton ? cellAt(event->position()) : -1;
    update(0, 0, width(), headerHeight);
}

void ProcessTable::mouseReleaseEvent(QMouseEvent* event)
{
    const int pressed = std::exchange(pressed_, -1);
    if (pressed >= 0 && cellAt(event->position()) == pressed) {
        const auto cells = headerCells(width());
        monitor_.toggleSort(*cells[std::size_t(pressed)].key);
    }
    update(0, 0, width(), headerHeight);
}

void ProcessTable::mouseMoveEvent(QMouseEvent* event)
{
    const int cell = cellAt(event->position());
    if (cell != hovered_) {
        hovered_ = cell;
        update(0, 0, width(), headerHeight);
    }
}

void ProcessTable::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    if (hovered_ >= 0) {
        hovered_ = -1;
        update(0, 0, width(), headerHeight);
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
