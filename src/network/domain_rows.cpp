#include "network/domain_rows.h"

#include "model/monitor.h"
#include "network/heat_strip.h"
#include "ui/clipboard.h"
#include "ui/menu_plan.h"
#include "ui/desktop_settings.h"
#include "ui/fonts.h"
#include "ui/motion.h"
#include "ui/plain_text.h"
#include "ui/process_icon.h"
#include "ui/symbols.h"
#include "ui/text_face.h"
#include "ui/theme.h"

#include <QHelpEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

#include <algorithm>
#include <any>

using DomainsModel::Columns;

namespace {

// The row's faces; each keeps its shaped texts, which repeat from sample to
// sample ("·", "now", the names).
struct Faces {
    TextFace title{Fonts::font(12, QFont::Medium)};
    TextFace host{Fonts::mono(10.5)};
    TextFace small{Fonts::mono(9)};
    TextFace fresh{Fonts::font(9, QFont::Bold)};
    TextFace source{Fonts::font(8.5, QFont::DemiBold, Fonts::Face::ui, Fonts::Width::condensed)};
    TextFace figure{Fonts::mono(10.5)};
    TextFace seen{Fonts::mono(10)};
};

Faces& faces()
{
    static Faces f;
    return f;
}

constexpr double chevronWidth = 12;
constexpr double dotSize = 6;
constexpr double spacing = 6;
constexpr double iconSize = 17;
constexpr double iconStep = iconSize - 4;

// A badge is its text with 4 pixels either side.
constexpr double badgePadding = 8;

QRectF badgeBox(double x, double mid, TextFace& face, const QString& text)
{
    const double h = face.metrics().height() + 2;
    return {x, mid - h / 2, face.width(text) + badgePadding, h};
}

QString helpOf(const std::optional<DomainsModel::Badge>& badge)
{
    return badge ? badge->help : QString();
}

} // namespace

DomainRows::DomainRows(Monitor& monitor, std::function<void(const QString&)> toggle, QWidget* parent)
    : RowList(parent)
    , monitor_(monitor)
    , toggle_(std::move(toggle))
{
}

DomainRows::~DomainRows() = default;

void DomainRows::setContent(std::vector<DomainsModel::Site> sites,
                            std::vector<DomainsModel::Entry> entries, Date now, Date launched)
{
    std::optional<ReconcilePlan::Anchor> anchor;
    if (const auto& hovered = hoveredId()) {
        for (std::size_t i = 0; i < entries_.size(); ++i)
            if (entries_[i].id == *hovered) {
                anchor = anchorOf(int(i));
                break;
            }
    }
    std::vector<std::optional<Row>> old = std::move(built_);
    sites_ = std::move(sites);
    entries_ = std::move(entries);
    now_ = now;
    launched_ = launched;
    built_.assign(entries_.size(), std::nullopt);
    // The columns make room for every name of the list, on screen or not,
    // so they stay put while it scrolls.
    std::vector<DomainsModel::NameWidths> cells;
    cells.reserve(entries_.size());
    for (const DomainsModel::Entry& entry : entries_)
        cells.push_back(measure(DomainsModel::nameTexts(entry, sites_, now_, launched_)));
    const DomainsModel::NameNeed need = DomainsModel::need(cells);
    const bool relaid = need != need_;
    need_ = need;
    // Rows that leave fade out as they were drawn; one never drawn was
    // never on screen.
    const ReconcilePlan plan = reconcileRows(rowSlots(entries_), anchor, isVisible(), [&old](int index) {
        const auto& drawn = old[std::size_t(index)];
        return drawn ? std::any(*drawn) : std::any();
    });

    // The chevrons turn with the rows' motion; new rows take their state at once.
    const Animation turn =
        Animation::spring(Motion::standard()).unless(DesktopSettings::instance().reduceMotion());
    for (const DomainsModel::Entry& entry : entries_) {
        if (entry.kind != Row::Kind::site)
            continue;
        RowState* s = state(entry.id);
        if (!s)
            continue;
        const double target = entry.open ? 1 : 0;
        if (!s->styled || !isVisible()) {
            s->chevron.set(target);
            s->styled = true;
        } else if (s->chevron.target() != target) {
            s->chevron.setTarget(target, turn);
        }
    }
    animate();

    if (plan.changed || relaid) {
        viewport()->update();
        if (relaid)
            emit columnsChanged();
        return;
    }
    // The same rows in the same places: repaint those on screen whose look
    // changed.
    const QRectF shown = viewport()->rect();
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const QRectF r = rectOf(int(i));
        if (!r.intersects(shown))
            continue;
        if (!old[i] || !(*old[i] == row(int(i))))
            viewport()->update(r.toAlignedRect());
    }
}

const DomainRows::Row& DomainRows::row(int index) const
{
    std::optional<Row>& slot = built_[std::size_t(index)];
    if (!slot)
        slot = DomainsModel::rowOf(entries_[std::size_t(index)], sites_, now_, launched_);
    return *slot;
}

std::size_t DomainRows::builtRows() const
{
    return std::size_t(std::count_if(built_.begin(), built_.end(), [](const auto& r) { return r.has_value(); }));
}

QRectF DomainRows::rectOf(int row) const
{
    const DomainsModel::Entry& e = entries_[std::size_t(row)];
    const RowState* s = state(e.id);
    const double top = s ? s->top.value() - scrollOffset() : 0;
    return {0, std::round(top), double(viewport()->width()), e.height()};
}

DomainsModel::Columns DomainRows::columns(double width) const
{
    return DomainsModel::columns(width, need_, stripLeast_);
}

void DomainRows::setStripLeast(double width)
{
    if (width == stripLeast_)
        return;
    stripLeast_ = width;
    viewport()->update();
    emit columnsChanged();
}

DomainsModel::NameWidths DomainRows::measure(const DomainsModel::NameTexts& texts)
{
    Faces& f = faces();
    TextFace& title = texts.mono ? f.host : f.title;
    DomainsModel::NameWidths w;
    w.lead = texts.indent + dotSize + spacing;
    w.title = title.width(texts.title);
    const QString readable = DomainsModel::readableTitle(texts.title);
    w.readable = readable == texts.title ? w.title : title.width(readable);
    if (!texts.caption.isEmpty())
        w.caption = spacing + f.small.width(texts.caption);
    if (!texts.fresh.isEmpty())
        w.fresh = spacing + f.fresh.width(texts.fresh) + badgePadding;
    if (!texts.source.isEmpty())
        w.source = spacing + f.source.width(texts.source) + badgePadding;
    return w;
}

DomainRows::Layout DomainRows::layout(const Row& row, const QRectF& rect) const
{
    Faces& f = faces();
    const Columns c = columns(rect.width());
    const double mid = rect.center().y();
    Layout l;
    double x = rect.left() + c.name + row.indent;
    const double end = rect.left() + c.name + c.nameWidth - DomainsModel::NameWidths::end;
    if (row.children >= 1)
        l.chevron = QRectF(x - 18, mid - chevronWidth / 2, chevronWidth, chevronWidth);
    l.dot = QRectF(x, mid - dotSize / 2, dotSize, dotSize);
    x += dotSize + spacing;

    // The title first; the caption and the badges where they leave it
    // readable; the rate only where room is left.
    const DomainsModel::NameWidths widths = measure(DomainsModel::nameTexts(row));
    const DomainsModel::NameFit fit = DomainsModel::fitName(widths, c.nameWidth);
    TextFace& titleFace = row.mono ? f.host : f.title;
    double titleWidth = std::max(0.0, fit.title);
    l.titleText = row.title;
    if (titleWidth < widths.title) {
        // A cut title is mostly narrower than its room: what follows keeps
        // to the text.
        l.titleText = Fonts::elided(titleFace.metrics(), row.title, Qt::ElideMiddle, titleWidth);
        titleWidth = std::min(titleWidth, titleFace.width(l.titleText));
    }
    l.title = QRectF(x, rect.top(), titleWidth, rect.height());
    x += titleWidth;
    if (fit.caption) {
        l.hostCount = QRectF(x + spacing, rect.top(), widths.caption - spacing, rect.height());
        l.captionShown = true;
        x = l.hostCount.right();
    }
    if (fit.fresh) {
        l.fresh = badgeBox(x + spacing, mid, f.fresh, row.fresh->text);
        x = l.fresh.right();
    }
    if (fit.source) {
        l.source = badgeBox(x + spacing, mid, f.source, row.source->text);
        x = l.source.right();
    }
    const double rateWidth = row.rate.isEmpty() ? 0 : f.small.width(row.rate);
    if (rateWidth > 0 && x + spacing + rateWidth <= end) {
        l.rate = QRectF(x + spacing, rect.top(), rateWidth, rect.height());
        l.rateShown = true;
    }

    if (c.stripSpan > 0)
        l.strip = QRectF(rect.left() + c.strip, mid - Columns::stripHeight / 2, c.stripSpan,
                         Columns::stripHeight);
    if (c.appsShown) {
        const double ax = rect.left() + c.apps + Columns::appsLead;
        for (std::size_t i = 0; i < row.apps.size(); ++i)
            l.apps.push_back(QRectF(ax + iconStep * double(i), mid - iconSize / 2, iconSize, iconSize));
        if (!row.moreApps.isEmpty()) {
            const double after = l.apps.empty() ? ax : l.apps.back().right();
            l.more = QRectF(after + 8, rect.top(), f.small.width(row.moreApps), rect.height());
        }
    }
    if (c.connsShown)
        l.conns = QRectF(rect.left() + c.conns, rect.top(), Columns::connsWidth, rect.height());
    if (c.totalsShown) {
        l.received = QRectF(rect.left() + c.received, rect.top(), Columns::bytesWidth, rect.height());
        l.sent = QRectF(rect.left() + c.sent, rect.top(), Columns::bytesWidth, rect.height());
    }
    if (c.seenShown)
        l.seen = QRectF(rect.left() + c.seen, rect.top(), Columns::seenWidth, rect.height());
    return l;
}

void DomainRows::paintRow(QPainter& p, const RowPaint& paint)
{
    const Row* found = nullptr;
    if (paint.index >= 0)
        found = &row(paint.index);
    else if (paint.leaving)
        found = std::any_cast<Row>(paint.leaving);
    if (!found)
        return;
    const Row& row = *found;
    const RowState& s = *paint.state;
    const double opacity = s.opacity.value() * (row.departed ? 0.4 : 1.0);
    if (opacity <= 0)
        return;
    ++painted_;
    const QRectF r = paint.rect;
    Faces& f = faces();
    const Layout l = layout(row, r);

    p.save();
    p.setOpacity(opacity);
    if (row.shaded)
        p.fillRect(r, Theme::withAlpha(Theme::bg(), 0.5));
    p.setRenderHint(QPainter::Antialiasing);

    if (row.children >= 1) {
        p.save();
        p.translate(l.chevron.center());
        p.rotate(90 * s.chevron.value());
        Symbols::draw(p, QRectF(-chevronWidth / 2, -4, chevronWidth, 8), u"chevron.right", Theme::faint(),
                      QFont::Bold);
        p.restore();
    }
    p.setPen(Qt::NoPen);
    p.setBrush(row.dot);
    p.drawEllipse(l.dot);

    const auto left = TextFace::Align::left;
    const auto right = TextFace::Align::right;
    p.setPen(row.titleColor);
    (row.mono ? f.host : f.title).draw(p, l.title, l.titleText, left);
    if (l.captionShown) {
        p.setPen(Theme::faint());
        f.small.draw(p, l.hostCount, row.hostCount, left);
    }
    if (!l.fresh.isEmpty()) {
        p.setPen(Qt::NoPen);
        p.setBrush(Theme::warn());
        p.drawRoundedRect(l.fresh, 3, 3);
        p.setPen(Theme::bg());
        f.fresh.draw(p, l.fresh, row.fresh->text, TextFace::Align::centre);
    }
    if (!l.source.isEmpty()) {
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(Theme::line(), 1));
        p.drawRoundedRect(l.source.adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
        p.setPen(Theme::faint());
        f.source.draw(p, l.source, row.source->text, TextFace::Align::centre);
    }
    if (l.rateShown) {
        p.setPen(Theme::net());
        f.small.draw(p, l.rate, row.rate, left);
    }
    if (!l.strip.isEmpty()) {
        p.setRenderHint(QPainter::Antialiasing, false);
        p.drawPixmap(l.strip.topLeft(), strip(row.strip, l.strip.width(), p.device()->devicePixelRatioF()));
        p.setRenderHint(QPainter::Antialiasing);
    }

    for (std::size_t i = 0; i < l.apps.size(); ++i) {
        const DomainsModel::App& app = row.apps[i];
        p.drawPixmap(l.apps[i].topLeft(), icon(app, p.device()->devicePixelRatioF()));
    }
    if (!l.more.isEmpty()) {
        p.setPen(Theme::faint());
        f.small.draw(p, l.more, row.moreApps, left);
    }
    if (!l.conns.isEmpty()) {
        p.setPen(row.connsColor);
        f.figure.draw(p, l.conns, row.conns, right);
    }
    p.setPen(Theme::dim());
    if (!l.received.isEmpty()) {
        f.figure.draw(p, l.received, row.received, right);
        f.figure.draw(p, l.sent, row.sent, right);
    }
    if (!l.seen.isEmpty()) {
        p.setPen(row.seenColor);
        f.seen.draw(p, l.seen, row.seen, right);
    }

    const double wash = s.wash.value();
    if (wash > 0)
        p.fillRect(r, Theme::withAlpha(Qt::white, wash));
    p.restore();
}

// Pictures of strips and icons: a row repaints the same few many times, and
// their antialiased shapes cost more than placing a picture.
namespace {

template <class Draw>
const QPixmap& cached(QHash<QByteArray, QPixmap>& cache, const QByteArray& key, QSizeF size, qreal ratio,
                      Draw draw)
{
    auto it = cache.find(key);
    if (it != cache.end() && it->devicePixelRatio() == ratio)
        return *it;
    if (cache.size() > 2048)
        cache.clear();
    QPixmap picture((size * ratio).toSize());
    picture.setDevicePixelRatio(ratio);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    draw(p);
    p.end();
    return *cache.insert(key, picture);
}

} // namespace

const QPixmap& DomainRows::strip(const std::array<int8_t, DomainsModel::stripCells>& levels, double width,
                                 qreal ratio)
{
    QByteArray key(reinterpret_cast<const char*>(levels.data()), qsizetype(levels.size()));
    key += QByteArray::number(width);
    const QSizeF size(width, Columns::stripHeight);
    return cached(strips_, key, size, ratio,
                  [&](QPainter& p) { HeatStrip::paint(p, QRectF(QPointF(), size), levels); });
}

const QPixmap& DomainRows::icon(const DomainsModel::App& app, qreal ratio)
{
    const QByteArray key = (app.letter + QChar(0) + app.bundlePath.value_or(QString())).toUtf8();
    return cached(icons_, key, QSizeF(iconSize, iconSize), ratio, [&](QPainter& p) {
        p.setRenderHint(QPainter::Antialiasing);
        ProcessIcon::paint(p, QRectF(0, 0, iconSize, iconSize), iconSize, app.letter, app.bundlePath);
    });
}

std::optional<int> DomainRows::appAt(int row, QPointF position) const
{
    if (row < 0 || row >= int(entries_.size()))
        return std::nullopt;
    const Layout l = layout(this->row(row), rectOf(row));
    // Later icons lie over earlier ones.
    for (int i = int(l.apps.size()) - 1; i >= 0; --i)
        if (l.apps[std::size_t(i)].contains(position))
            return i;
    return std::nullopt;
}

std::optional<QString> DomainRows::helpAt(QPointF position) const
{
    const int index = rowAt(position.y());
    if (index < 0)
        return std::nullopt;
    const Row& row = this->row(index);
    if (auto app = appAt(index, position))
        return row.apps[std::size_t(*app)].name;
    const Layout l = layout(row, rectOf(index));
    auto near = [&](const QRectF& box) { return box.adjusted(-3, -3, 3, 3).contains(position); };
    if (near(l.dot))
        return row.dotHelp;
    if (!l.fresh.isEmpty() && l.fresh.contains(position))
        return helpOf(row.fresh);
    if (!l.source.isEmpty() && l.source.contains(position))
        return helpOf(row.source);
    if (l.titleText != row.title && l.title.contains(position))
        return row.title;
    return std::nullopt;
}

void DomainRows::show(const QString& key)
{
    monitor_.setSelection(key);
    monitor_.setFocusPid(std::nullopt);
}

void DomainRows::click(int row, QPointF position)
{
    if (row < 0 || row >= int(entries_.size()))
        return;
    if (auto app = appAt(row, position)) {
        show(this->row(row).apps[std::size_t(*app)].key);
        return;
    }
    rowClicked(row, position);
}

void DomainRows::rowClicked(int row, QPointF)
{
    const Row& r = this->row(row);
    if (r.kind == Row::Kind::site && toggle_)
        toggle_(r.site);
}

bool DomainRows::rowPressable(int row) const
{
    return row >= 0 && row < int(entries_.size()) && entries_[std::size_t(row)].kind == Row::Kind::site;
}

MenuPlan DomainRows::menuSpec(int row)
{
    MenuPlan plan;
    if (row < 0 || row >= int(entries_.size()))
        return plan;
    for (const DomainsModel::MenuEntry& entry : DomainsModel::menu(this->row(row))) {
        const QString value = entry.value;
        if (entry.kind == DomainsModel::MenuEntry::Kind::copy)
            plan.add(entry.title, [value] { copyPlain(value); });
        else
            plan.add(entry.title, [this, value] { show(value); });
    }
    return plan;
}

QMenu* DomainRows::rowMenu(int row, QWidget* parent)
{
    return buildMenu(menuSpec(row), parent);
}

void DomainRows::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        const int row = rowAt(event->position().y());
        if (auto app = appAt(row, event->position())) {
            show(this->row(row).apps[std::size_t(*app)].key);
            event->accept();
            return;
        }
    }
    RowList::mousePressEvent(event);
}

bool DomainRows::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        if (auto text = helpAt(help->pos()))
            QToolTip::showText(help->globalPos(), PlainText::toolTip(*text), viewport());
        else
            QToolTip::hideText();
        return true;
    }
    return RowList::viewportEvent(event);
}
