#include "app/mode_switch.h"

#include "core/l10n.h"
#include "ui/fonts.h"
#include "ui/frame_clock.h"
#include "ui/motion.h"
#include "ui/press_button.h"
#include "ui/symbols.h"
#include "ui/theme.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QStaticText>

#include <algorithm>
#include <cmath>

// One item: symbol and title with the switch's own gap and weights, the
// press feedback of a surface button, never taking keyboard focus.
class ModeItem final : public PressButton {
public:
    ModeItem(Monitor::Mode mode, QWidget* parent)
        : PressButton(PressStyle::surface(ModeSwitch::pillRadius), parent), mode_(mode)
    {
        setFocusPolicy(Qt::NoFocus);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        setFixedHeight(int(ModeSwitch::itemHeight));
        setLabelFont(titleFont());
        setColor(Theme::dim());
    }

    Monitor::Mode mode() const { return mode_; }

    void present(const ModeSwitch::Item& item, double padding)
    {
        symbol_ = item.symbol;
        setToolTip(item.help);
        if (item.title != text()) {
            setText(item.title);
            title_ = QStaticText(item.title);
            title_.setTextFormat(Qt::PlainText);
            title_.prepare(QTransform(), titleFont());
        }
        const int pad = int(padding);
        setContentsMargins(pad, 0, pad, 0);
        updateGeometry();
        update();
    }

    static QFont titleFont() { return Fonts::font(ModeSwitch::titleSize, QFont::Medium); }

    // Symbol only; the title stays the button's text (its accessible name)
    // and the help its tooltip.
    void setCompact(bool compact)
    {
        if (compact == compact_)
            return;
        compact_ = compact;
        updateGeometry();
        update();
    }

    int widthFor(bool compact) const
    {
        const QMargins m = contentsMargins();
        return int(std::ceil(labelWidth(compact) + m.left() + m.right()));
    }

protected:
    double labelWidth(bool compact) const
    {
        return compact ? ModeSwitch::symbolSize
                       : ModeSwitch::symbolSize + ModeSwitch::itemGap + title_.size().width();
    }

    QSizeF labelSize() const override
    {
        return {labelWidth(compact_), std::max(ModeSwitch::symbolSize, title_.size().height())};
    }

    void paintLabel(QPainter& p, const QRectF& box, const QColor& color) override
    {
        const double middle = box.center().y();
        const double left = std::round(box.center().x() - labelSize().width() / 2);
        const double s = ModeSwitch::symbolSize;
        Symbols::draw(p, QRectF(left, middle - s / 2, s, s), symbol_, color, QFont::DemiBold);
        if (compact_)
            return;
        p.setFont(titleFont());
        p.setPen(color);
        p.drawStaticText(QPointF(left + s + ModeSwitch::itemGap,
                                 std::round(middle - title_.size().height() / 2)),
                         title_);
    }

private:
    Monitor::Mode mode_;
    bool compact_ = false;
    QString symbol_;
    QStaticText title_;
};

namespace {

Animation slide()
{
    return Animation::spring(Motion::standard());
}

} // namespace

ModeSwitch::Item ModeSwitch::item(const QString& symbol, const QString& title, Monitor::Mode mode)
{
    return Item{symbol, title, QString(), mode, false};
}

ModeSwitch::Model ModeSwitch::build(Monitor::Mode selected)
{
    struct Row {
        const char* symbol;
        const char* en;
        const char* zh;
        Monitor::Mode mode;
        const char* helpEn;
        const char* helpZh;
    };
    // Display order, left to right; the shortcuts are bound by the View menu.
    static constexpr Row rows[] = {
        {"list.bullet", "List", "列表", Monitor::Mode::table,
         "Usage by process group (Ctrl+1)", "按进程组列出占用（Ctrl+1）"},
        {"circle.hexagongrid", "Field", "力场", Monitor::Mode::field,
         "Bubbles sized by memory and colored by CPU (Ctrl+2)",
         "面积为内存、颜色为 CPU 的气泡图（Ctrl+2）"},
        {"point.3.connected.trianglepath.dotted", "Flows", "流向", Monitor::Mode::flow,
         "Which apps are talking to which remote hosts (Ctrl+3)",
         "各 App 正在与哪些远端通信（Ctrl+3）"},
        {"globe", "Domains", "域名", Monitor::Mode::domains,
         "Domains this computer has contacted, with recent activity (Ctrl+4)",
         "本机通信过的域名及其活动记录（Ctrl+4）"},
        {"door.left.hand.open", "Ports", "端口", Monitor::Mode::ports,
         "Listening ports and the processes that own them (Ctrl+5)",
         "正在监听的端口及其占用者（Ctrl+5）"},
    };

    Model model;
    model.padding = L10n::isChinese() ? 10 : 7;
    for (const Row& row : rows) {
        Item next = item(QString::fromLatin1(row.symbol), L10n::text(row.en, row.zh), row.mode);
        next.help = L10n::text(row.helpEn, row.helpZh);
        next.selected = row.mode == selected;
        model.items.push_back(std::move(next));
    }
    return model;
}

ModeSwitch::ModeSwitch(Monitor& monitor, QWidget* parent)
    : SegmentStrip(radius, Theme::panel(), parent), monitor_(monitor)
{
    for (std::size_t i = 0; i < items_.size(); ++i) {
        const Monitor::Mode mode = Monitor::allModes[i];
        auto* button = new ModeItem(mode, this);
        connect(button, &QAbstractButton::clicked, this, [this, mode] { monitor_.switchMode(mode); });
        row()->addWidget(button, 0, Qt::AlignVCenter);
        items_[i] = button;
    }
    connect(&monitor, &Monitor::modeChanged, this, &ModeSwitch::scheduleRefresh);
    connect(&monitor, &Monitor::prefsChanged, this, &ModeSwitch::scheduleRefresh);
    refresh();
}

int ModeSwitch::widthFor(bool compact) const
{
    int width = int(2 * inset + spacing * double(items_.size() - 1));
    for (ModeItem* item : items_)
        width += item->widthFor(compact);
    return width;
}

void ModeSwitch::setCompact(bool compact)
{
    if (compact == compact_)
        return;
    compact_ = compact;
    for (ModeItem* item : items_)
        item->setCompact(compact);
    if (layout())
        layout()->activate();
    adjustSize();
    if (sliding_)
        pill_.setTarget(pillTarget(), slide());
    update();
}

QWidget* ModeSwitch::itemFor(Monitor::Mode mode) const
{
    for (ModeItem* item : items_)
        if (item->mode() == mode)
            return item;
    return nullptr;
}

int ModeSwitch::selectedIndex() const
{
    for (std::size_t i = 0; i < model_.items.size(); ++i)
        if (model_.items[i].selected)
            return int(i);
    return -1;
}

QRectF ModeSwitch::itemRect(int index) const
{
    if (index < 0 || std::size_t(index) >= items_.size())
        return {};
    return QRectF(items_[std::size_t(index)]->geometry());
}

QRectF ModeSwitch::pillRect() const
{
    return sliding_ ? pill_.value() : pillTarget();
}

QRectF ModeSwitch::pillTarget() const
{
    return itemRect(selectedIndex());
}

bool ModeSwitch::moving() const
{
    return sliding_ || std::any_of(ink_.begin(), ink_.end(),
                                   [](const AnimatedColor& c) { return c.moving(); });
}

void ModeSwitch::scheduleRefresh()
{
    refreshGate_.schedule();
}

void ModeSwitch::refresh()
{
    Model next = build(monitor_.mode());
    if (next == model_)
        return;

    const bool first = model_.items.empty();
    const int before = selectedIndex();
    const QRectF from = pillRect();
    model_ = std::move(next);
    for (std::size_t i = 0; i < items_.size(); ++i)
        items_[i]->present(model_.items[i], model_.padding);
    // New titles change the items' widths: lay out now so the pill aims at
    // where the item will be, not where it was.
    if (layout())
        layout()->activate();

    const int after = selectedIndex();
    const bool animated = !first && before != after && isVisible();
    for (std::size_t i = 0; i < ink_.size(); ++i)
        ink_[i].setTarget(model_.items[i].selected ? Theme::text() : Theme::dim(),
                          animated ? slide() : Animation::none());
    if (animated) {
        if (!sliding_)
            pill_.set(from);
        pill_.setTarget(pillTarget(), slide());
        sliding_ = true;
        animate();
    } else if (!sliding_) {
        applyColors();
        update();
    } else {
        pill_.setTarget(pillTarget(), slide());
    }
}

void ModeSwitch::applyColors()
{
    for (std::size_t i = 0; i < items_.size(); ++i)
        items_[i]->setColor(ink_[i].value());
}

void ModeSwitch::animate()
{
    if (!isVisible()) {
        settle();
        return;
    }
    FrameClock::shared().subscribe(this, [this](double dt) {
        bool still = pill_.step(dt);
        for (AnimatedColor& ink : ink_)
            still |= ink.step(dt);
        if (!still) {
            settle();
            return false;
        }
        applyColors();
        update();
        return true;
    });
}

void ModeSwitch::settle()
{
    sliding_ = false;
    pill_.set(pillTarget());
    for (AnimatedColor& ink : ink_)
        ink.set(ink.target());
    FrameClock::shared().unsubscribe(this);
    applyColors();
    update();
}

void ModeSwitch::resizeEvent(QResizeEvent* event)
{
    // The items have just been laid out anew; a sliding pill bends towards
    // the selected item's new place.
    if (sliding_)
        pill_.setTarget(pillTarget(), slide());
    QWidget::resizeEvent(event);
}

void ModeSwitch::showEvent(QShowEvent* event)
{
    settle();
    QWidget::showEvent(event);
}

void ModeSwitch::hideEvent(QHideEvent* event)
{
    settle();
    QWidget::hideEvent(event);
}

void ModeSwitch::paintBetween(QPainter& p)
{
    const QRectF pill = pillRect();
    if (pill.isEmpty())
        return;
    QPainterPath shape;
    shape.addRoundedRect(pill, pillRadius, pillRadius);
    p.fillPath(shape, Theme::raised());
}
