#include "network/domains_view.h"

#include "core/l10n.h"
#include "model/monitor.h"
#include "network/chip.h"
#include "network/domain_rows.h"
#include "ui/fonts.h"
#include "ui/plain_text.h"
#include "ui/theme.h"

#include <QFontMetricsF>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

#include <cmath>

using DomainsModel::Columns;
using DomainsModel::Order;

namespace {

QFont headingFont()
{
    return Fonts::font(10, QFont::DemiBold, Fonts::Face::ui, Fonts::Width::condensed, 0.6);
}

QFont countsFont()
{
    return Fonts::mono(9.5);
}

} // namespace

DomainsView::DomainsView(Monitor& monitor, QWidget* parent)
    : QWidget(parent)
    , monitor_(monitor)
{
    for (Order order : DomainsModel::allOrders) {
        auto* chip = new Chip(DomainsModel::orderTitle(order), this);
        chip->setOn(order == state_.order, false);
        connect(chip, &QAbstractButton::clicked, this, [this, order] { setOrder(order); });
        chips_[std::size_t(order)] = chip;
    }
    live_ = new Chip(L10n::text("Live only", "仅当前连接"), this);
    connect(live_, &QAbstractButton::clicked, this, &DomainsView::toggleLiveOnly);

    rows_ = new DomainRows(monitor, [this](const QString& site) { toggle(site); }, this);
    monitor.domainsHold().holds(rows_->viewport());
    connect(rows_, &DomainRows::columnsChanged, this,
            [this] { update(QRect(0, headerHeight, width(), headingsHeight)); });

    connect(&monitor, &Monitor::snapshotChanged, this, &DomainsView::scheduleRefresh);
    connect(&monitor, &Monitor::filterChanged, this, &DomainsView::scheduleRefresh);
    connect(&monitor, &Monitor::prefsChanged, this, &DomainsView::scheduleRefresh);
    // The held order gives way to the live one when the hold lets go.
    connect(&monitor.domainsHold(), &InteractionHold::activeChanged, this, &DomainsView::scheduleRefresh);
    refresh();
}

DomainsView::~DomainsView() = default;

std::array<QString, 7> DomainsView::headings()
{
    return {L10n::text("Domain", "域名"),     L10n::text("Last 6 min", "近 6 分钟活动"),
            QStringLiteral("App"),           L10n::text("Conns", "连接"),
            L10n::text("↓ Total", "↓ 累计"), L10n::text("↑ Total", "↑ 累计"),
            L10n::text("Seen", "最近")};
}

QString DomainsView::stripHelp()
{
    return L10n::text("Each cell is 10 seconds; brighter means more data in that window. Evenly spaced "
                      "cells usually mean periodic traffic.",
                      "每格 10 秒，越亮表示这 10 秒内传输的数据越多；等距的亮格通常是周期性通信");
}

void DomainsView::setOrder(Order order)
{
    if (state_.order == order)
        return;
    state_.order = order;
    for (Order o : DomainsModel::allOrders)
        chips_[std::size_t(o)]->setOn(o == order);
    refresh();
}

void DomainsView::toggleLiveOnly()
{
    state_.liveOnly = !state_.liveOnly;
    live_->setOn(state_.liveOnly);
    refresh();
}

void DomainsView::toggle(const QString& site)
{
    if (!state_.expanded.remove(site))
        state_.expanded.insert(site);
    refresh();
}

void DomainsView::refresh()
{
    const Date now = monitor_.snapshot().system.date;
    const DomainLog& log = monitor_.domains();
    sites_ = DomainsModel::build(log.records, monitor_.filter(), state_, monitor_.domainsHold(), &copies_);
    const int fresh = DomainsModel::newCount(log.records, monitor_.launched(), now);

    Model next;
    next.counts = DomainsModel::counts(std::size_t(log.records.size()), sites_.size(), fresh);
    next.empty = sites_.empty();
    next.emptyText =
        DomainsModel::emptyText(monitor_.prefs().resolveHosts, monitor_.snapshot().connections,
                                monitor_.filter());
    rows_->setVisible(!next.empty);
    // The strip never narrows below its heading.
    rows_->setStripLeast(std::ceil(QFontMetricsF(headingFont()).horizontalAdvance(headings()[1])));
    rows_->setContent(sites_, DomainsModel::entries(sites_, state_, monitor_.domainsHold()), now,
                      monitor_.launched());
    if (next == model_)
        return;
    const bool emptied = next.empty != model_.empty || next.emptyText != model_.emptyText;
    model_ = std::move(next);
    update(countsRect().toAlignedRect());
    if (emptied)
        update(QRect(0, top, width(), height() - top));
}

QRectF DomainsView::countsRect() const
{
    const double left = live_->geometry().right() + 8;
    return QRectF(left, 0, std::max(0.0, width() - Columns::padding - left), headerHeight);
}

QRectF DomainsView::stripHeadingRect() const
{
    const Columns c = rows_->columns(width());
    return QRectF(c.strip, headerHeight, c.stripSpan, headingsHeight);
}

void DomainsView::layoutChildren()
{
    double x = Columns::padding;
    const int chipTop = int((headerHeight - Chip::height) / 2);
    for (Chip* chip : chips_) {
        chip->move(int(x), chipTop);
        x += chip->width() + 8;
    }
    // The divider: 2 points either side of a 1 point rule.
    x += 2 + 1 + 2 + 8;
    live_->move(int(x), chipTop);
    rows_->setGeometry(0, top, width(), std::max(0, height() - top));
}

void DomainsView::resizeEvent(QResizeEvent*)
{
    layoutChildren();
}

void DomainsView::hideEvent(QHideEvent* event)
{
    monitor_.domainsHold().set(InteractionHold::Reason::pointer, false);
    QWidget::hideEvent(event);
}

bool DomainsView::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        if (stripHeadingRect().contains(help->pos()))
            QToolTip::showText(help->globalPos(), PlainText::toolTip(stripHelp()), this);
        else
            QToolTip::hideText();
        return true;
    }
    return QWidget::event(event);
}

void DomainsView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), Theme::bg());

    // The divider between the order chips and "Live only".
    const double dividerX = chips_.back()->geometry().right() + 1 + 8 + 2;
    p.fillRect(QRectF(dividerX, (headerHeight - 14) / 2.0, 1, 14), Theme::line());

    const QRectF counts = countsRect();
    p.setFont(countsFont());
    p.setPen(model_.counts.warn ? Theme::warn() : Theme::faint());
    p.drawText(counts, Qt::AlignRight | Qt::AlignVCenter,
               Fonts::elided(p.fontMetrics(), model_.counts.text, Qt::ElideRight, int(counts.width())));

    const Columns c = rows_->columns(width());
    const auto titles = headings();
    p.setFont(headingFont());
    p.setPen(Theme::dim());
    const double y = headerHeight;
    const double h = headingsHeight;
    // A heading too long for its column is cut with an ellipsis.
    auto heading = [&](double x, double w, Qt::Alignment align, const QString& text) {
        if (w <= 0)
            return;
        p.drawText(QRectF(x, y, w, h), align | Qt::AlignVCenter,
                   Fonts::elided(p.fontMetrics(), text, Qt::ElideRight, int(std::floor(w))));
    };
    heading(c.name + 20, c.nameWidth - 20, Qt::AlignLeft, titles[0]);
    if (c.stripSpan > 0)
        heading(c.strip, c.stripSpan, Qt::AlignLeft, titles[1]);
    if (c.appsShown)
        heading(c.apps + Columns::appsLead, Columns::appsWidth, Qt::AlignLeft, titles[2]);
    if (c.connsShown)
        heading(c.conns, Columns::connsWidth, Qt::AlignRight, titles[3]);
    if (c.totalsShown) {
        heading(c.received, Columns::bytesWidth, Qt::AlignRight, titles[4]);
        heading(c.sent, Columns::bytesWidth, Qt::AlignRight, titles[5]);
    }
    if (c.seenShown)
        heading(c.seen, Columns::seenWidth, Qt::AlignRight, titles[6]);
    p.fillRect(QRectF(0, headerHeight + headingsHeight, width(), 1), Theme::line());

    if (model_.empty) {
        p.setFont(Fonts::font(12));
        p.setPen(Theme::faint());
        p.drawText(QRectF(0, top, width(), height() - top), Qt::AlignCenter | Qt::TextWordWrap,
                   model_.emptyText);
    }
}
