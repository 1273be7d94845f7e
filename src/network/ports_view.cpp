#include "network/ports_view.h"

#include "core/l10n.h"
#include "model/monitor.h"
#include "ui/clipboard.h"
#include "ui/fonts.h"
#include "ui/frame_clock.h"
#include "ui/icons.h"
#include "ui/plain_text.h"
#include "ui/process_icon.h"
#include "ui/row_feedback.h"
#include "ui/scheduler.h"
#include "ui/sound.h"
#include "ui/text_face.h"
#include "ui/theme.h"
#include "ui/widget_opacity.h"

#include <QFontMetricsF>
#include <QHelpEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QToolTip>
#include <QVBoxLayout>

#include <algorithm>

namespace {

enum Column { port, proto, service, owner, process, visibility };

QFont portFont()
{
    return Fonts::mono(13, QFont::Medium);
}

// The rows' faces, made once; they do not depend on the language.
struct RowFaces {
    TextFace port{portFont()};
    TextFace proto{Fonts::mono(9.5)};
    TextFace service{Fonts::font(11)};
    TextFace owner{Fonts::font(12, QFont::Medium)};
    TextFace process{Fonts::mono(10)};
    TextFace visibility{Fonts::font(11)};
    TextFace heading{Fonts::font(10, QFont::DemiBold, Fonts::Face::ui, Fonts::Width::condensed, 0.6)};
};

RowFaces& faces()
{
    static RowFaces f;
    return f;
}

QRectF cell(const PortsColumns& columns, int column, const QRectF& row)
{
    return QRectF(row.left() + columns.x[column], row.top(), columns.width[column], row.height());
}

// Where a cell's content is drawn: the cell less its gap before the next.
QRectF content(const PortsColumns& columns, int column, const QRectF& row)
{
    return QRectF(row.left() + columns.x[column], row.top(), columns.room[column], row.height());
}

void drawText(QPainter& painter, TextFace& face, const QRectF& rect, const QString& text,
              const QColor& colour, TextFace::Align align, Qt::TextElideMode elide)
{
    if (rect.width() <= 0)
        return;
    painter.setPen(colour);
    face.draw(painter, rect, text, align, true, elide);
}

// A name from outside may carry any number of marks above and below its
// letters; they stay inside the name's cell, which is the row's height.
void drawName(QPainter& painter, TextFace& face, const QRectF& rect, const QString& text,
              const QColor& colour)
{
    if (rect.width() <= 0)
        return;
    painter.save();
    painter.setClipRect(rect, Qt::IntersectClip);
    drawText(painter, face, rect, text, colour, TextFace::Align::left, Qt::ElideMiddle);
    painter.restore();
}

} // namespace

// ---------------------------------------------------------------------------
// The list

PortsList::PortsList(Monitor& monitor, QWidget* parent) : RowList(parent), monitor_(monitor)
{
    setFocusPolicy(Qt::NoFocus);
    monitor_.portsHold().holds(viewport());
}

PortsList::~PortsList()
{
    FrameClock::shared().unsubscribe(&copyClock_);
}

void PortsList::setRows(std::vector<PortRow> rows)
{
    if (rows == rows_)
        return;
    const bool sameOrder = rowIds(rows) == rowIds(rows_);
    std::vector<PortRow> old = std::exchange(rows_, std::move(rows));
    if (sameOrder) {
        // Fresh values in place: only the rows that changed are repainted.
        for (std::size_t i = 0; i < rows_.size(); ++i)
            if (!(rows_[i] == old[i]))
                repaintRow(rows_[i].id);
        return;
    }
    reconcileRows(rowSlots(rows_), std::nullopt, isVisible(),
                  [&old](int index) { return std::any(std::move(old[std::size_t(index)])); });
    std::erase_if(copies_, [this](const auto& entry) {
        return std::none_of(rows_.begin(), rows_.end(),
                            [&](const PortRow& row) { return row.id == entry.first; });
    });
    viewport()->update();
}

void PortsList::repaintRow(const QString& id)
{
    if (const std::optional<double> top = drawnTop(id))
        viewport()->update(QRect(0, int(std::floor(*top - scrollOffset())), viewport()->width(),
                                 int(PortRow::rowHeight) + 1));
}

QRectF PortsList::portTextRect(int row, const QRectF& rowRect) const
{
    if (row < 0 || row >= int(rows_.size()))
        return {};
    const QRectF box = content(PortsColumns::across(rowRect.width()), port, rowRect);
    const QString text = PortsModel::portText(rows_[std::size_t(row)]);
    const double check = CopyLook::gap + CopyLook::checkSize;
    const double width = std::min(box.width(), faces().port.width(text) + check);
    return QRectF(box.right() - width, box.top(), width, box.height());
}

const CopyLook* PortsList::copyLook(const QString& id) const
{
    auto it = copies_.find(id);
    return it == copies_.end() ? nullptr : &it->second;
}

MenuPlan PortsList::menuSpec(int row) const
{
    if (row < 0 || row >= int(rows_.size()))
        return {};
    return PortsModel::menu(rows_[std::size_t(row)], monitor_);
}

QMenu* PortsList::menu(int row, QWidget* parent) const
{
    return buildMenu(menuSpec(row), parent);
}

bool PortsList::rowPressable(int row) const
{
    return row >= 0 && row < int(rows_.size()) && rows_[std::size_t(row)].owner.has_value();
}

void PortsList::clicked(int row, QPointF position)
{
    if (row < 0 || row >= int(rows_.size()))
        return;
    const PortRow& target = rows_[std::size_t(row)];
    const std::optional<double> top = drawnTop(target.id);
    const QRectF rect(0, (top ? *top : 0) - scrollOffset(), viewport()->width(), PortRow::rowHeight);
    if (portTextRect(row, rect).contains(position)) {
        copyPlain(QString::number(target.listener.port));
        Sound::play(Sound::Cue::confirm);
        CopyLook& look = copies_[target.id];
        look.copied = true;
        animateCopies();
        // Each click ends its confirmation on its own schedule.
        QPointer<PortsList> self(this);
        const QString id = target.id;
        Scheduler::current().after(CopyLook::confirmSeconds, this, [self, id] {
            if (!self)
                return;
            auto it = self->copies_.find(id);
            if (it == self->copies_.end())
                return;
            it->second.copied = false;
            self->animateCopies();
        });
        return;
    }
    PortsModel::showInInspector(target, monitor_);
}

void PortsList::animateCopies()
{
    bool moving = false;
    for (auto& [id, look] : copies_) {
        moving = look.retarget() || moving;
        repaintRow(id);
    }
    if (moving && !isVisible()) {
        // Nothing ticks for a hidden list: the looks land where they go.
        for (auto& [id, look] : copies_) {
            look.confirm.set(look.confirm.target());
            look.brightness.set(look.brightness.target());
        }
        std::erase_if(copies_, [](const auto& entry) {
            return !entry.second.copied && !entry.second.hovering;
        });
        return;
    }
    if (!moving || FrameClock::shared().subscribed(&copyClock_))
        return;
    FrameClock::shared().subscribe(&copyClock_, [this](double dt) {
        bool any = false;
        for (auto& [id, look] : copies_) {
            if (!look.moving())
                continue;
            any = look.step(dt) || any;
            repaintRow(id);
        }
        // Looks at rest with nothing to show go.
        std::erase_if(copies_, [](const auto& entry) {
            const CopyLook& look = entry.second;
            return !look.moving() && !look.copied && !look.hovering;
        });
        return any;
    });
}

void PortsList::setPortHover(const std::optional<QString>& id)
{
    if (id == portHover_)
        return;
    if (portHover_)
        if (auto it = copies_.find(*portHover_); it != copies_.end())
            it->second.hovering = false;
    portHover_ = id;
    if (id)
        copies_[*id].hovering = true;
    animateCopies();
}

void PortsList::mouseMoveEvent(QMouseEvent* event)
{
    RowList::mouseMoveEvent(event);
    const int row = rowAt(event->position().y());
    std::optional<QString> over;
    if (row >= 0) {
        const PortRow& target = rows_[std::size_t(row)];
        const std::optional<double> top = drawnTop(target.id);
        const QRectF rect(0, (top ? *top : 0) - scrollOffset(), viewport()->width(),
                          PortRow::rowHeight);
        if (portTextRect(row, rect).contains(event->position()))
            over = target.id;
    }
    setPortHover(over);
}

void PortsList::leaveEvent(QEvent* event)
{
    RowList::leaveEvent(event);
    setPortHover(std::nullopt);
}

QString PortsList::helpAt(QPointF position) const
{
    const int row = rowAt(position.y());
    if (row < 0)
        return {};
    const PortRow& target = rows_[std::size_t(row)];
    const std::optional<double> top = drawnTop(target.id);
    const QRectF rect(0, (top ? *top : 0) - scrollOffset(), viewport()->width(), PortRow::rowHeight);
    if (portTextRect(row, rect).contains(position))
        return L10n::text("Click to copy", "点击复制");
    const PortsColumns columns = PortsColumns::across(rect.width());
    if (cell(columns, visibility, rect).contains(position))
        return PortsModel::visibilityHelp(target);
    // A name cut to fit beside its pid reads whole here.
    const QRectF processBox = content(columns, process, rect);
    if (processBox.contains(position)) {
        const QString whole = PortsModel::processText(target);
        if (faces().process.width(whole) > processBox.width())
            return whole;
    }
    return {};
}

bool PortsList::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString text = helpAt(help->pos());
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), PlainText::toolTip(text), viewport());
        return true;
    }
    return RowList::viewportEvent(event);
}

void PortsList::hideEvent(QHideEvent* event)
{
    RowList::hideEvent(event);
    FrameClock::shared().unsubscribe(&copyClock_);
    for (auto& [id, look] : copies_) {
        look.hovering = false;
        look.confirm.set(look.confirm.target());
        look.brightness.set(0);
    }
    portHover_.reset();
}

void PortsList::userScrolled()
{
    monitor_.portsHold().pulse(InteractionHold::Reason::scroll, 0.2);
}

void PortsList::paintRow(QPainter& painter, const RowPaint& paint)
{
    const PortRow& row = paint.leaving ? std::any_cast<const PortRow&>(*paint.leaving)
                                       : rows_[std::size_t(paint.index)];
    const RowState& state = *paint.state;
    const QRectF& rect = paint.rect;
    const PortsColumns columns = PortsColumns::across(rect.width());
    RowFaces& f = faces();
    painter.save();
    painter.setOpacity(state.opacity.value() * (row.closed ? 0.4 : 1.0));

    const QString portText = PortsModel::portText(row);
    const QRectF portBox = content(columns, port, rect);
    if (const CopyLook* look = copyLook(row.id))
        look->paint(painter, portBox, portText, f.port.font(), Theme::text(), Qt::ElideMiddle,
                    Qt::AlignRight);
    else
        drawText(painter, f.port, portBox, portText, Theme::text(), TextFace::Align::right,
                 Qt::ElideMiddle);

    drawText(painter, f.proto, content(columns, proto, rect), row.listener.proto, Theme::dim(),
             TextFace::Align::centre, Qt::ElideRight);
    drawText(painter, f.service, content(columns, service, rect), PortsModel::serviceText(row),
             Theme::dim(), TextFace::Align::left, Qt::ElideRight);

    const QRectF ownerBox = content(columns, owner, rect);
    if (ownerBox.width() > 18) {
        const QRectF icon(ownerBox.left(), ownerBox.center().y() - 9, 18, 18);
        const QString letter = row.owner ? Icons::letter(row.owner->name) : QStringLiteral("?");
        ProcessIcon::paint(painter, icon, 18, letter,
                           row.owner ? row.owner->bundlePath : std::nullopt);
        drawName(painter, f.owner, ownerBox.adjusted(26, 0, 0, 0), PortsModel::ownerText(row), Theme::text());
    }

    const QRectF processBox = content(columns, process, rect);
    drawName(painter, f.process, processBox,
             PortsModel::processText(row, processBox.width(), [&f](const QString& text) { return f.process.width(text); }),
             Theme::dim());

    const QRectF visibilityBox = cell(columns, visibility, rect);
    const bool warn = PortsModel::exposed(row);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(warn ? Theme::warn() : Theme::faint());
    painter.drawEllipse(QRectF(visibilityBox.left(), visibilityBox.center().y() - 3, 6, 6));
    if (!columns.visibilityDotOnly())
        drawText(painter, f.visibility, visibilityBox.adjusted(11, 0, 0, 0),
                 PortsModel::visibilityText(row), warn ? Theme::warn() : Theme::dim(),
                 TextFace::Align::left, Qt::ElideRight);

    if (state.wash.value() > 0)
        painter.fillRect(rect, QColor::fromRgbF(1, 1, 1, float(state.wash.value())));
    painter.restore();
}

// ---------------------------------------------------------------------------
// The header

class PortsView::Header : public QWidget {
public:
    explicit Header(QWidget* parent) : QWidget(parent)
    {
        // The headings, and the rule under them.
        setFixedHeight(headerHeight + 1);
        WidgetOpacity::claimGround(this);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const QRect headings(0, 0, width(), headerHeight);
        painter.fillRect(headings, Theme::bg());
        painter.fillRect(QRect(0, headerHeight, width(), 1), Theme::line());
        painter.setRenderHint(QPainter::TextAntialiasing);
        const PortsColumns columns = PortsColumns::across(width());
        const std::vector<QString> titles = PortsModel::headings();
        const TextFace::Align alignments[6] = {TextFace::Align::right, TextFace::Align::centre,
                                               TextFace::Align::left,  TextFace::Align::left,
                                               TextFace::Align::left,  TextFace::Align::left};
        const int shown = columns.visibilityDotOnly() ? 5 : 6;
        for (int i = 0; i < shown; ++i)
            drawText(painter, faces().heading, content(columns, i, QRectF(headings)),
                     titles[std::size_t(i)],
                     Theme::dim(), alignments[i], Qt::ElideRight);
    }
};

// ---------------------------------------------------------------------------
// The view

PortsView::PortsView(Monitor& monitor, QWidget* parent) : QWidget(parent), monitor_(monitor)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    header_ = new Header(this);
    column->addWidget(header_);
    list_ = new PortsList(monitor_, this);
    column->addWidget(list_, 1);
    empty_ = new QLabel(this);
    empty_->setTextFormat(Qt::PlainText);
    empty_->setAlignment(Qt::AlignCenter);
    empty_->setWordWrap(true);
    empty_->setFont(Fonts::font(12));
    QPalette faint = empty_->palette();
    faint.setColor(QPalette::WindowText, Theme::faint());
    empty_->setPalette(faint);
    empty_->hide();
    column->addWidget(empty_, 1);

    connect(&monitor_, &Monitor::snapshotChanged, this, [this] { gate_.schedule(); });
    connect(&monitor_, &Monitor::filterChanged, this, [this] { gate_.schedule(); });
    // A release puts every row in its sorted place at once.
    connect(&monitor_.portsHold(), &InteractionHold::activeChanged, this,
            [this] { gate_.schedule(); });
    refresh();
}

void PortsView::refresh()
{
    const QString& filter = monitor_.filter();
    std::vector<PortRow> rows =
        PortsModel::rows(monitor_.snapshot().listeners, filter, monitor_.owners(), monitor_.portsHold());
    const bool empty = rows.empty();
    list_->setRows(std::move(rows));
    if (empty) {
        const QString text = PortsModel::emptyText(filter);
        if (empty_->text() != text)
            empty_->setText(text);
    }
    if (list_->isHidden() != empty) {
        list_->setVisible(!empty);
        empty_->setVisible(empty);
    }
}
